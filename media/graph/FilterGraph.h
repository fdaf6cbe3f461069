// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "media/graph/Filter.h"
#include "media/graph/MediaEvent.h"

namespace corvane::media {

class FilterGraph;

// Running and stopping the graph.
class MediaControl {
public:
    explicit MediaControl(FilterGraph& graph) : graph_(graph) {}
    HRESULT Run();
    HRESULT Stop();

private:
    FilterGraph& graph_;
};

// Owns its filters; connects pins; runs them as one.
class FilterGraph {
public:
    FilterGraph();
    ~FilterGraph();

    HRESULT AddFilter(std::unique_ptr<Filter> filter, const std::string& name);
    Filter* findFilter(const std::string& name) const;
    const std::vector<std::unique_ptr<Filter>>& filters() const { return filters_; }

    // Connects an output pin to an input pin with the type the output proposes.
    HRESULT Connect(Pin* output, Pin* input);
    HRESULT Disconnect(Pin* pin);
    // Connects again with the output's current proposal (after a format change).
    HRESULT Reconnect(Pin* output);

    HRESULT QueryMediaControl(MediaControl** control);
    HRESULT QueryMediaEvent(MediaEvent** events);
    MediaEvent& events() { return events_; }

    bool running() const { return running_; }
    HRESULT run();
    HRESULT stop();

    // Progress of a running render, in 100 ns of output written, and the whole length.
    std::atomic<REFERENCE_TIME> position{0};
    std::atomic<REFERENCE_TIME> duration{0};
    // Audio measured so far by the sources matched while they are joined.
    std::atomic<REFERENCE_TIME> measured{0};

private:
    std::vector<std::unique_ptr<Filter>> filters_;
    MediaControl control_;
    MediaEvent events_;
    bool running_ = false;
    std::vector<Filter*> started_;
};

}  // namespace corvane::media
