// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "media/graph/FilterGraph.h"

namespace corvane::media {

enum class PinCategory { None, LookUpstreamOnly };

// Builds chains in a filter graph: connects a pin through an intermediate filter to a sink,
// and finds interfaces along a chain.
class CaptureGraphBuilder {
public:
    static HRESULT Create(std::unique_ptr<CaptureGraphBuilder>& out);

    HRESULT SetFiltergraph(FilterGraph* graph);
    // source → intermediate (optional) → sink, each by its first free pin.
    HRESULT RenderStream(const MediaType* type, Pin* source, Filter* intermediate, Filter* sink);
    // The stream configuration of the first pin upstream of `filter` that offers one.
    HRESULT FindInterface(PinCategory category, MajorType type, Filter* filter, StreamConfig** out);

private:
    FilterGraph* graph_ = nullptr;
};

}  // namespace corvane::media
