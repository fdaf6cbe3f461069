// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/CaptureGraphBuilder.h"

#include "media/decoders/Fault.h"

namespace corvane::media {

namespace {

Pin* firstFreePin(Filter* f, PIN_DIRECTION direction) {
    std::vector<Pin*> pins;
    if (FAILED(f->EnumPins(pins))) return nullptr;
    for (Pin* p : pins)
        if (p->direction() == direction && !p->connectedTo()) return p;
    return nullptr;
}

}  // namespace

HRESULT CaptureGraphBuilder::Create(std::unique_ptr<CaptureGraphBuilder>& out) {
    if (HRESULT hr = Fault::check("CaptureGraphBuilder::Create"); FAILED(hr)) return hr;
    out = std::make_unique<CaptureGraphBuilder>();
    return S_OK;
}

HRESULT CaptureGraphBuilder::SetFiltergraph(FilterGraph* graph) {
    if (HRESULT hr = Fault::check("CaptureGraphBuilder::SetFiltergraph"); FAILED(hr)) return hr;
    if (!graph) return E_POINTER;
    if (graph_) return E_UNEXPECTED;
    graph_ = graph;
    return S_OK;
}

HRESULT CaptureGraphBuilder::RenderStream(const MediaType* type, Pin* source, Filter* intermediate,
                                          Filter* sink) {
    if (HRESULT hr = Fault::check("CaptureGraphBuilder::RenderStream"); FAILED(hr)) return hr;
    if (!graph_) return E_UNEXPECTED;
    if (!source || !sink) return E_POINTER;
    if (type && type->majortype != MajorType::Audio) return VFW_E_CANNOT_RENDER;
    Pin* from = source;
    if (intermediate) {
        Pin* in = firstFreePin(intermediate, PINDIR_INPUT);
        if (!in) return VFW_E_CANNOT_RENDER;
        if (HRESULT hr = graph_->Connect(from, in); FAILED(hr)) return hr;
        from = firstFreePin(intermediate, PINDIR_OUTPUT);
        if (!from) return VFW_E_CANNOT_RENDER;
    }
    Pin* in = firstFreePin(sink, PINDIR_INPUT);
    if (!in) return VFW_E_CANNOT_RENDER;
    return graph_->Connect(from, in);
}

HRESULT CaptureGraphBuilder::FindInterface(PinCategory, MajorType, Filter* filter, StreamConfig** out) {
    if (!filter || !out) return E_POINTER;
    if (HRESULT hr = Fault::check("CaptureGraphBuilder::FindInterface"); FAILED(hr)) return hr;
    // Walk upstream from the filter's inputs, nearest first.
    Filter* current = filter;
    for (int hops = 0; hops < 64; ++hops) {
        std::vector<Pin*> pins;
        if (FAILED(current->EnumPins(pins))) return E_FAIL;
        Pin* upstream = nullptr;
        for (Pin* p : pins)
            if (p->direction() == PINDIR_INPUT && p->connectedTo()) upstream = p->connectedTo();
        if (!upstream) break;
        current = upstream->filter();
        if (StreamConfig* config = current->queryStreamConfig()) {
            *out = config;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

}  // namespace corvane::media
