// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/Filter.h"

#include "media/decoders/Fault.h"

namespace corvane::media {

HRESULT Pin::QueryDirection(PIN_DIRECTION* direction) const {
    if (!direction) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

HRESULT Filter::EnumPins(std::vector<Pin*>& pins) const {
    if (HRESULT hr = Fault::check("Filter::EnumPins"); FAILED(hr)) return hr;
    pins.clear();
    for (auto& p : pins_) pins.push_back(p.get());
    return S_OK;
}

std::optional<MediaType> Filter::proposedType(const Pin*) const { return std::nullopt; }

bool Filter::acceptsType(const Pin*, const MediaType&) const { return false; }

HRESULT Filter::receive(Pin*, const MediaSample&) { return E_UNEXPECTED; }

HRESULT Filter::endOfStream(Pin*) { return S_OK; }

Pin* Filter::addPin(PIN_DIRECTION direction, std::string name) {
    pins_.push_back(std::make_unique<Pin>(this, direction, std::move(name)));
    return pins_.back().get();
}

Pin* Filter::firstPin(PIN_DIRECTION direction) const {
    for (auto& p : pins_)
        if (p->direction() == direction) return p.get();
    return nullptr;
}

HRESULT Filter::deliver(Pin* output, const MediaSample& sample) {
    Pin* peer = output ? output->connectedTo() : nullptr;
    if (!peer) return VFW_E_NOT_CONNECTED;
    return peer->filter()->receive(peer, sample);
}

HRESULT Filter::deliverEndOfStream(Pin* output) {
    Pin* peer = output ? output->connectedTo() : nullptr;
    if (!peer) return VFW_E_NOT_CONNECTED;
    return peer->filter()->endOfStream(peer);
}

}  // namespace corvane::media
