// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "media/HResult.h"
#include "media/graph/MediaType.h"
#include "media/graph/PcmBytes.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace corvane::media {

struct SwrContextDeleter {
    void operator()(SwrContext* p) const { swr_free(&p); }
};

// The speakers a WAV format's channels feed, in its order (which is FFmpeg's): its mask, or
// FFmpeg's usual layout for the count where the mask does not name every channel.
void channelLayoutOf(const WaveFormatEx& format, AVChannelLayout* layout);

// Turns decoded frames of any rate, layout and sample format into the PCM of one WAV format
// (8, 16, 24 or 32-bit integers or 32-bit float, 1 to 8 channels in the order of its mask).
// Mono is spread to the front channels, anything wider is mixed down without clipping, and a
// reduction to 16 or 8 bits is dithered (triangular, from a fixed seed). Frames that already
// have the output's rate and channels and no more bits than it holds are copied across
// sample for sample, untouched. A change of input format mid-stream drains the resampler and
// builds a new one.
class SampleConverter {
public:
    // seed: makes the dither of one source repeatable whatever thread converts it.
    SampleConverter(const WaveFormatEx& out, std::uint32_t seed);
    ~SampleConverter();

    // Appends the frame's samples, converted, to `pcm` (interleaved output bytes).
    HRESULT convert(const AVFrame* frame, PcmBytes& pcm);
    // Appends what the resampler still holds: exactly the input's length at the output rate,
    // rounded, however short the input was.
    HRESULT drain(PcmBytes& pcm);

    const QString& detail() const { return detail_; }
    // Appends float samples already at the output's rate and channels (interleaved), as this
    // converter's resampler would have made them: the gain and quantisation alone.
    void quantizeFloats(const float* in, std::size_t frames, PcmBytes& pcm);
    // A fixed linear gain on the float samples, after resampling and before quantisation.
    void setGain(float gain) { gain_ = gain; }

private:
    HRESULT configure(const AVFrame* frame);
    HRESULT run(const uint8_t** in, int inSamples, PcmBytes& pcm);
    void quantize(const float* in, std::size_t samples, std::uint8_t* out);
    void copyAcross(const AVFrame* frame, PcmBytes& pcm);

    WaveFormatEx out_;
    std::unique_ptr<SwrContext, SwrContextDeleter> swr_;
    int inRate_ = 0;
    int inFormat_ = -1;
    AVChannelLayout inLayout_{};
    bool exact_ = false;  // the input fits the output without loss: no dither
    bool copy_ = false;   // the input is the output's samples in another container
    std::size_t ditherPos_ = 0;  // where this source reads the shared dither table
    std::int64_t inSamples_ = 0;   // since the resampler was built
    std::int64_t outSamples_ = 0;
    float gain_ = 1.0f;
    std::vector<float> buffer_;
    QString detail_;
};

}  // namespace corvane::media
