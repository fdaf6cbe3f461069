// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "media/graph/Filter.h"

namespace corvane::media {

// "Wave Format": converts PCM to the format set on its output through the stream
// configuration. The conversion itself (libswresample, see SampleConverter) runs on the
// source's decoding threads, so every source converts in parallel; what reaches this
// filter is already in its output format and passes straight on.
class WaveFormatFilter : public Filter, public StreamConfig {
public:
    static HRESULT Create(std::unique_ptr<WaveFormatFilter>& out);
    WaveFormatFilter();

    StreamConfig* queryStreamConfig() override { return this; }
    HRESULT GetFormat(MediaType& type) override;
    HRESULT SetFormat(const MediaType& type) override;

    std::optional<WaveFormatEx> conversionTarget() const override;
    std::optional<MediaType> proposedType(const Pin* output) const override;
    bool acceptsType(const Pin* input, const MediaType& type) const override;

    HRESULT receive(Pin* input, const MediaSample& sample) override;
    HRESULT endOfStream(Pin* input) override;

private:
    Pin* in_;
    Pin* out_;
    std::optional<MediaType> output_;  // unset: the input's format
};

}  // namespace corvane::media
