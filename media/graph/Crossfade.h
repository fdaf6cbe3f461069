// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "media/HResult.h"
#include "media/graph/MediaType.h"
#include "media/graph/Seam.h"

namespace corvane::media {

// The seam stage of a crossfading join, on the writer's side of the render: each source's
// last frames are held back and mixed, in the output format, with the first frames of the
// next one. Only the fade is ever copied or held; the rest of a source passes through as
// the blocks it came in.
class Crossfade {
  public:
    using Deliver = std::function<HRESULT(const std::uint8_t* data, std::size_t size)>;

    Crossfade(const WaveFormatEx& format, Seam::Curve curve, Deliver deliver);

    // A source begins: its first frames fade in over what the one before held back, and from
    // its frame `holdFrom` on (`fadeOut` frames by plan) it is held back to fade out under the
    // next one. Its audio begins at output frame delivered().
    void beginSource(std::int64_t holdFrom, std::int64_t fadeOut);
    // Frames of the current source; mixed in place where they fade in.
    HRESULT write(std::uint8_t* data, std::size_t size);
    // The current source ended. What it held back waits for the next; what of the previous
    // tail it was too short to cover fades out alone.
    HRESULT endSource();
    // Whatever is still held fades out alone and goes out (before silence, or at the end).
    HRESULT flush();
    // Frames handed on so far.
    std::int64_t delivered() const { return delivered_; }
    std::int64_t held() const;

    // Gains of frame `k` of a fade `length` frames long: what fades in and what fades out.
    static void gains(Seam::Curve curve, std::int64_t k, std::int64_t length, double& in, double& out);
    // Mixes `frames` frames: into[i] = into[i] * in(offset + i) + from[i] * out(offset + i), in
    // floating point, rounded to nearest and clamped for integer samples.
    static void mix(const WaveFormatEx& format, Seam::Curve curve, const std::uint8_t* from,
                    std::uint8_t* into, std::int64_t frames, std::int64_t offset, std::int64_t length);
    // Scales `frames` frames by the fading-out gain alone.
    static void fadeOut(const WaveFormatEx& format, Seam::Curve curve, std::uint8_t* data,
                        std::int64_t frames, std::int64_t offset, std::int64_t length);

  private:
    HRESULT send(const std::uint8_t* data, std::size_t size);

    WaveFormatEx format_;
    Seam::Curve curve_;
    Deliver deliver_;
    std::size_t frameBytes_;
    std::vector<std::uint8_t> held_;  // the previous source's tail
    std::int64_t heldFrames_ = 0;     // its length when this source began: the fade's length
    std::int64_t mixed_ = 0;          // how much of it this source has covered
    std::vector<std::uint8_t> next_;  // this source's tail, for the next
    std::int64_t holdFrom_ = 0;
    std::int64_t fadeOut_ = 0;
    std::int64_t position_ = 0;  // frames of this source seen
    std::int64_t delivered_ = 0;
};

}  // namespace corvane::media
