// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "media/graph/FilterGraph.h"
#include "media/graph/Seam.h"
#include "media/graph/Timeline.h"

namespace corvane::media {

class TimelineSourceFilter;

enum ConnectFlags { CONNECTF_DYNAMIC_NONE = 0, CONNECTF_DYNAMIC_SOURCES = 1 };

// Renders a timeline: builds a filter graph whose front end has one output pin per group.
class RenderEngine {
public:
    static HRESULT Create(std::unique_ptr<RenderEngine>& out);
    ~RenderEngine();

    // The timeline stays its owner's; it must outlive the render.
    HRESULT SetTimelineObject(Timeline* timeline);
    HRESULT GetTimelineObject(Timeline** timeline) const;
    HRESULT SetDynamicReconnectLevel(int level);
    // What the front end puts between the sources (nothing unless set).
    void SetSeam(const Seam& seam);
    const Seam& seam() const { return seam_; }
    HRESULT ConnectFrontEnd();
    HRESULT GetFilterGraph(FilterGraph** graph) const;
    HRESULT GetGroupOutputPin(long group, Pin** pin) const;
    // Stops the graph and tears it down.
    HRESULT ScrapIt();

private:
    Timeline* timeline_ = nullptr;
    int reconnectLevel_ = CONNECTF_DYNAMIC_NONE;
    Seam seam_;
    std::unique_ptr<FilterGraph> graph_;
    TimelineSourceFilter* frontEnd_ = nullptr;
};

}  // namespace corvane::media
