// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/wavfile/WaveFormatFilter.h"

#include "media/decoders/Fault.h"
#include "media/graph/FilterGraph.h"

namespace corvane::media {

HRESULT WaveFormatFilter::Create(std::unique_ptr<WaveFormatFilter>& out) {
    if (HRESULT hr = Fault::check("WaveFormat::Create"); FAILED(hr)) return hr;
    out = std::make_unique<WaveFormatFilter>();
    return S_OK;
}

WaveFormatFilter::WaveFormatFilter() {
    in_ = addPin(PINDIR_INPUT, "in");
    out_ = addPin(PINDIR_OUTPUT, "out");
}

HRESULT WaveFormatFilter::GetFormat(MediaType& type) {
    if (HRESULT hr = Fault::check("StreamConfig::GetFormat"); FAILED(hr)) return hr;
    const std::optional<MediaType> t = proposedType(out_);
    if (!t) return VFW_E_NOT_CONNECTED;
    type = *t;
    return S_OK;
}

HRESULT WaveFormatFilter::SetFormat(const MediaType& type) {
    if (HRESULT hr = Fault::check("StreamConfig::SetFormat"); FAILED(hr)) return hr;
    if (graph() && graph()->running()) return VFW_E_NOT_STOPPED;
    const std::optional<WaveFormatEx> wfx = type.waveFormat();
    if (type.majortype != MajorType::Audio || !wfx || !wfx->isSupportedFormat())
        return VFW_E_TYPE_NOT_ACCEPTED;
    const std::optional<MediaType> previous = output_;
    output_ = MediaType::pcm(*wfx);
    if (out_->connectedTo() && graph()) {
        if (HRESULT hr = graph()->Reconnect(out_); FAILED(hr)) {
            output_ = previous;
            graph()->Reconnect(out_);
            return hr;
        }
    }
    return S_OK;
}

std::optional<WaveFormatEx> WaveFormatFilter::conversionTarget() const {
    const std::optional<MediaType> t = proposedType(out_);
    return t ? t->waveFormat() : std::nullopt;
}

std::optional<MediaType> WaveFormatFilter::proposedType(const Pin* output) const {
    if (output != out_) return std::nullopt;
    if (output_) return output_;
    if (!in_->connectedTo()) return std::nullopt;
    return in_->connectionMediaType();
}

bool WaveFormatFilter::acceptsType(const Pin* input, const MediaType& type) const {
    return input == in_ && type.majortype == MajorType::Audio && type.subtype == SubType::PCM &&
           type.waveFormat().has_value();
}

HRESULT WaveFormatFilter::receive(Pin*, const MediaSample& sample) { return deliver(out_, sample); }

HRESULT WaveFormatFilter::endOfStream(Pin*) { return deliverEndOfStream(out_); }

}  // namespace corvane::media
