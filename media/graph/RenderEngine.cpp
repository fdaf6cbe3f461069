// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/RenderEngine.h"

#include "media/decoders/Fault.h"
#include "media/graph/TimelineSourceFilter.h"

namespace corvane::media {

HRESULT RenderEngine::Create(std::unique_ptr<RenderEngine>& out) {
    if (HRESULT hr = Fault::check("RenderEngine::Create"); FAILED(hr)) return hr;
    out = std::make_unique<RenderEngine>();
    return S_OK;
}

RenderEngine::~RenderEngine() { ScrapIt(); }

HRESULT RenderEngine::SetTimelineObject(Timeline* timeline) {
    if (HRESULT hr = Fault::check("RenderEngine::SetTimelineObject"); FAILED(hr)) return hr;
    if (!timeline) return E_POINTER;
    if (graph_) return VFW_E_NOT_STOPPED;
    timeline_ = timeline;
    return S_OK;
}

HRESULT RenderEngine::GetTimelineObject(Timeline** timeline) const {
    if (!timeline) return E_POINTER;
    if (HRESULT hr = Fault::check("RenderEngine::GetTimelineObject"); FAILED(hr)) return hr;
    if (!timeline_) return E_UNEXPECTED;
    *timeline = timeline_;
    return S_OK;
}

HRESULT RenderEngine::SetDynamicReconnectLevel(int level) {
    if (level < CONNECTF_DYNAMIC_NONE || level > CONNECTF_DYNAMIC_SOURCES) return E_INVALIDARG;
    // Sources are always opened when their turn comes; the level is kept for the record.
    reconnectLevel_ = level;
    return S_OK;
}

void RenderEngine::SetSeam(const Seam& seam) {
    seam_ = seam;
    if (frontEnd_) frontEnd_->setSeam(seam);
}

HRESULT RenderEngine::ConnectFrontEnd() {
    if (HRESULT hr = Fault::check("RenderEngine::ConnectFrontEnd"); FAILED(hr)) return hr;
    if (!timeline_) return E_UNEXPECTED;
    if (graph_) return S_OK;
    auto graph = std::make_unique<FilterGraph>();
    auto frontEnd = std::make_unique<TimelineSourceFilter>(*timeline_);
    TimelineSourceFilter* raw = frontEnd.get();
    raw->setSeam(seam_);
    if (HRESULT hr = graph->AddFilter(std::move(frontEnd), "Render Engine Front End"); FAILED(hr))
        return hr;
    graph_ = std::move(graph);
    frontEnd_ = raw;
    return S_OK;
}

HRESULT RenderEngine::GetFilterGraph(FilterGraph** graph) const {
    if (!graph) return E_POINTER;
    if (HRESULT hr = Fault::check("RenderEngine::GetFilterGraph"); FAILED(hr)) return hr;
    if (!graph_) return E_UNEXPECTED;
    *graph = graph_.get();
    return S_OK;
}

HRESULT RenderEngine::GetGroupOutputPin(long group, Pin** pin) const {
    if (!pin) return E_POINTER;
    if (HRESULT hr = Fault::check("RenderEngine::GetGroupOutputPin"); FAILED(hr)) return hr;
    if (!frontEnd_) return E_UNEXPECTED;
    *pin = frontEnd_->groupPin(group);
    return *pin ? S_OK : E_INVALIDARG;
}

HRESULT RenderEngine::ScrapIt() {
    if (graph_) graph_->stop();
    frontEnd_ = nullptr;
    graph_.reset();
    return S_OK;
}

}  // namespace corvane::media
