// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/FilterGraph.h"

#include <algorithm>

#include "media/decoders/Fault.h"

namespace corvane::media {

HRESULT MediaControl::Run() {
    if (HRESULT hr = Fault::check("MediaControl::Run"); FAILED(hr)) return hr;
    return graph_.run();
}

HRESULT MediaControl::Stop() { return graph_.stop(); }

FilterGraph::FilterGraph() : control_(*this) {}

FilterGraph::~FilterGraph() { stop(); }

HRESULT FilterGraph::AddFilter(std::unique_ptr<Filter> filter, const std::string& name) {
    if (HRESULT hr = Fault::check("FilterGraph::AddFilter"); FAILED(hr)) return hr;
    if (!filter) return E_POINTER;
    if (running_) return VFW_E_NOT_STOPPED;
    if (findFilter(name)) return E_INVALIDARG;
    filter->name_ = name;
    filter->graph_ = this;
    filters_.push_back(std::move(filter));
    return S_OK;
}

Filter* FilterGraph::findFilter(const std::string& name) const {
    for (auto& f : filters_)
        if (f->name() == name) return f.get();
    return nullptr;
}

HRESULT FilterGraph::Connect(Pin* output, Pin* input) {
    if (HRESULT hr = Fault::check("FilterGraph::Connect"); FAILED(hr)) return hr;
    if (!output || !input) return E_POINTER;
    if (running_) return VFW_E_NOT_STOPPED;
    if (output->direction() != PINDIR_OUTPUT || input->direction() != PINDIR_INPUT)
        return E_INVALIDARG;
    if (output->filter()->graph() != this || input->filter()->graph() != this) return E_INVALIDARG;
    if (output->peer_ || input->peer_) return VFW_E_ALREADY_CONNECTED;
    const std::optional<MediaType> type = output->filter()->proposedType(output);
    if (!type || !input->filter()->acceptsType(input, *type)) return VFW_E_TYPE_NOT_ACCEPTED;
    output->peer_ = input;
    input->peer_ = output;
    output->type_ = *type;
    input->type_ = *type;
    output->filter()->connected(output);
    input->filter()->connected(input);
    return S_OK;
}

HRESULT FilterGraph::Disconnect(Pin* pin) {
    if (!pin) return E_POINTER;
    if (running_) return VFW_E_NOT_STOPPED;
    if (Pin* peer = pin->peer_) {
        peer->peer_ = nullptr;
        peer->type_ = MediaType{};
    }
    pin->peer_ = nullptr;
    pin->type_ = MediaType{};
    return S_OK;
}

HRESULT FilterGraph::Reconnect(Pin* output) {
    if (!output || output->direction() != PINDIR_OUTPUT) return E_INVALIDARG;
    Pin* input = output->peer_;
    if (!input) return S_OK;
    const std::optional<MediaType> type = output->filter()->proposedType(output);
    if (!type || !input->filter()->acceptsType(input, *type)) return VFW_E_TYPE_NOT_ACCEPTED;
    output->type_ = *type;
    input->type_ = *type;
    output->filter()->connected(output);
    input->filter()->connected(input);
    return S_OK;
}

HRESULT FilterGraph::QueryMediaControl(MediaControl** control) {
    if (!control) return E_POINTER;
    if (HRESULT hr = Fault::check("FilterGraph::QueryMediaControl"); FAILED(hr)) return hr;
    *control = &control_;
    return S_OK;
}

HRESULT FilterGraph::QueryMediaEvent(MediaEvent** events) {
    if (!events) return E_POINTER;
    if (HRESULT hr = Fault::check("FilterGraph::QueryMediaEvent"); FAILED(hr)) return hr;
    *events = &events_;
    return S_OK;
}

HRESULT FilterGraph::run() {
    if (running_) return S_FALSE;
    // Sinks first: the file must be open before samples can arrive.
    auto hopsToSink = [](Filter* f) {
        int hops = 0;
        for (Filter* cur = f; hops < 64; ++hops) {
            std::vector<Pin*> pins;
            cur->EnumPins(pins);
            auto out = std::find_if(pins.begin(), pins.end(), [](Pin* p) {
                return p->direction() == PINDIR_OUTPUT && p->connectedTo();
            });
            if (out == pins.end()) break;
            cur = (*out)->connectedTo()->filter();
        }
        return hops;
    };
    std::vector<std::pair<int, Filter*>> order;
    for (auto& f : filters_) order.emplace_back(hopsToSink(f.get()), f.get());
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    started_.clear();
    position = 0;
    for (auto& [hops, f] : order) {
        (void)hops;
        const HRESULT hr = f->start();
        if (FAILED(hr)) {
            for (auto it = started_.rbegin(); it != started_.rend(); ++it) (*it)->stop();
            started_.clear();
            return hr;
        }
        started_.push_back(f);
    }
    running_ = true;
    return S_OK;
}

HRESULT FilterGraph::stop() {
    if (!running_) return S_FALSE;
    HRESULT result = S_OK;
    // Sources first, so nothing flows while the sinks finish.
    for (auto it = started_.rbegin(); it != started_.rend(); ++it) {
        const HRESULT hr = (*it)->stop();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    started_.clear();
    running_ = false;
    return result;
}

}  // namespace corvane::media
