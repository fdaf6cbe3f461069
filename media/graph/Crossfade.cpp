// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/Crossfade.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace corvane::media {

namespace {

// One sample layout: read as a value centred on 0 in the format's own units, written back
// rounded to nearest and clamped (integers) or as is (float).
struct U8 {
    static constexpr int kBytes = 1;
    static double read(const std::uint8_t* p) { return static_cast<double>(*p) - 128.0; }
    static void write(std::uint8_t* p, double v) {
        *p = static_cast<std::uint8_t>(std::clamp(std::nearbyint(v), -128.0, 127.0) + 128.0);
    }
};
struct S16 {
    static constexpr int kBytes = 2;
    static double read(const std::uint8_t* p) {
        std::int16_t s;
        std::memcpy(&s, p, 2);
        return s;
    }
    static void write(std::uint8_t* p, double v) {
        const auto s = static_cast<std::int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
        std::memcpy(p, &s, 2);
    }
};
struct S24 {
    static constexpr int kBytes = 3;
    static double read(const std::uint8_t* p) {
        const std::int32_t s = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                                         static_cast<std::uint32_t>(p[1]) << 16 |
                                                         static_cast<std::uint32_t>(p[2]) << 24) >> 8;
        return s;
    }
    static void write(std::uint8_t* p, double v) {
        const auto s = static_cast<std::int32_t>(std::clamp(std::nearbyint(v), -8388608.0, 8388607.0));
        p[0] = static_cast<std::uint8_t>(s);
        p[1] = static_cast<std::uint8_t>(s >> 8);
        p[2] = static_cast<std::uint8_t>(s >> 16);
    }
};
struct S32 {
    static constexpr int kBytes = 4;
    static double read(const std::uint8_t* p) {
        std::int32_t s;
        std::memcpy(&s, p, 4);
        return s;
    }
    static void write(std::uint8_t* p, double v) {
        const auto s = static_cast<std::int32_t>(std::clamp(std::nearbyint(v), -2147483648.0, 2147483647.0));
        std::memcpy(p, &s, 4);
    }
};
struct F32 {
    static constexpr int kBytes = 4;
    static double read(const std::uint8_t* p) {
        float s;
        std::memcpy(&s, p, 4);
        return s;
    }
    static void write(std::uint8_t* p, double v) {
        const auto s = static_cast<float>(v);
        std::memcpy(p, &s, 4);
    }
};

// The gains frame by frame along a fade. Equal power turns a phasor by one frame's angle
// instead of calling sin and cos for every frame; started exactly at each call, so its
// rounding stays far below the finest sample step even over a 30-second fade.
class GainWalk {
  public:
    GainWalk(Seam::Curve curve, std::int64_t k, std::int64_t length) : curve_(curve), k_(k), length_(length) {
        Crossfade::gains(curve, k, length, in_, out_);
        if (curve == Seam::Curve::EqualPower && length > 0) {
            const double step = std::numbers::pi / 2 / static_cast<double>(length);
            cosStep_ = std::cos(step);
            sinStep_ = std::sin(step);
        }
    }
    double in() const { return in_; }
    double out() const { return out_; }
    void next() {
        ++k_;
        if (curve_ == Seam::Curve::Linear || length_ <= 0) {
            Crossfade::gains(curve_, k_, length_, in_, out_);
            return;
        }
        const double in = in_ * cosStep_ + out_ * sinStep_;
        out_ = out_ * cosStep_ - in_ * sinStep_;
        in_ = in;
    }

  private:
    Seam::Curve curve_;
    std::int64_t k_;
    std::int64_t length_;
    double in_ = 0, out_ = 0;
    double cosStep_ = 1, sinStep_ = 0;
};

template <typename S>
void mixAs(int channels, Seam::Curve curve, const std::uint8_t* from, std::uint8_t* into, std::int64_t frames,
           std::int64_t offset, std::int64_t length) {
    GainWalk g(curve, offset, length);
    for (std::int64_t f = 0; f < frames; ++f, g.next()) {
        for (int c = 0; c < channels; ++c) {
            std::uint8_t* p = into + (f * channels + c) * S::kBytes;
            const double a = S::read(from + (f * channels + c) * S::kBytes) * g.out();
            S::write(p, S::read(p) * g.in() + a);
        }
    }
}

template <typename S>
void fadeOutAs(int channels, Seam::Curve curve, std::uint8_t* data, std::int64_t frames, std::int64_t offset,
               std::int64_t length) {
    GainWalk g(curve, offset, length);
    for (std::int64_t f = 0; f < frames; ++f, g.next()) {
        for (int c = 0; c < channels; ++c) {
            std::uint8_t* p = data + (f * channels + c) * S::kBytes;
            S::write(p, S::read(p) * g.out());
        }
    }
}

template <typename F>
void bySampleFormat(const WaveFormatEx& format, F&& f) {
    const int bytes = format.nChannels ? format.nBlockAlign / format.nChannels : 0;
    if (format.isFloat()) return f(F32{});
    switch (bytes) {
        case 1: return f(U8{});
        case 2: return f(S16{});
        case 3: return f(S24{});
        case 4: return f(S32{});
        default: return;
    }
}

}  // namespace

void Crossfade::gains(Seam::Curve curve, std::int64_t k, std::int64_t length, double& in, double& out) {
    // Sampled at the middle of each frame: symmetric, and never quite 0 or 1 inside the fade.
    const double x = length > 0 ? (static_cast<double>(k) + 0.5) / static_cast<double>(length) : 1.0;
    if (curve == Seam::Curve::Linear) {
        in = x;
        out = 1.0 - x;
    } else {
        in = std::sin(x * std::numbers::pi / 2);
        out = std::cos(x * std::numbers::pi / 2);
    }
}

void Crossfade::mix(const WaveFormatEx& format, Seam::Curve curve, const std::uint8_t* from, std::uint8_t* into,
                    std::int64_t frames, std::int64_t offset, std::int64_t length) {
    bySampleFormat(format, [&](auto s) {
        mixAs<decltype(s)>(format.nChannels, curve, from, into, frames, offset, length);
    });
}

void Crossfade::fadeOut(const WaveFormatEx& format, Seam::Curve curve, std::uint8_t* data, std::int64_t frames,
                        std::int64_t offset, std::int64_t length) {
    bySampleFormat(format, [&](auto s) {
        fadeOutAs<decltype(s)>(format.nChannels, curve, data, frames, offset, length);
    });
}

Crossfade::Crossfade(const WaveFormatEx& format, Seam::Curve curve, Deliver deliver)
    : format_(format), curve_(curve), deliver_(std::move(deliver)), frameBytes_(format.nBlockAlign) {}

std::int64_t Crossfade::held() const { return static_cast<std::int64_t>(held_.size() / frameBytes_); }

HRESULT Crossfade::send(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return S_OK;
    if (HRESULT hr = deliver_(data, size); FAILED(hr)) return hr;
    delivered_ += static_cast<std::int64_t>(size / frameBytes_);
    return S_OK;
}

void Crossfade::beginSource(std::int64_t holdFrom, std::int64_t fadeOut) {
    heldFrames_ = held();
    mixed_ = 0;
    next_.clear();
    holdFrom_ = holdFrom;
    fadeOut_ = std::max<std::int64_t>(0, fadeOut);
    position_ = 0;
}

HRESULT Crossfade::write(std::uint8_t* data, std::size_t size) {
    const auto n = static_cast<std::int64_t>(size / frameBytes_);
    if (mixed_ < heldFrames_) {
        const std::int64_t m = std::min(n, heldFrames_ - mixed_);
        mix(format_, curve_, held_.data() + mixed_ * static_cast<std::int64_t>(frameBytes_), data, m, mixed_,
            heldFrames_);
        mixed_ += m;
        // The previous tail is used up: its buffer takes this source's tail, so no more than
        // one fade is ever held.
        if (mixed_ == heldFrames_ && next_.empty()) {
            held_.swap(next_);
            next_.clear();
        }
    }
    const std::int64_t pass = fadeOut_ > 0 ? std::clamp<std::int64_t>(holdFrom_ - position_, 0, n) : n;
    position_ += n;
    if (HRESULT hr = send(data, static_cast<std::size_t>(pass) * frameBytes_); FAILED(hr)) return hr;
    next_.insert(next_.end(), data + pass * static_cast<std::int64_t>(frameBytes_), data + size);
    // A source that decodes longer than planned keeps only a fade's worth held back.
    const std::size_t keep = static_cast<std::size_t>(fadeOut_) * frameBytes_;
    if (next_.size() > 2 * keep + size) {
        const std::size_t excess = next_.size() - keep;
        if (HRESULT hr = send(next_.data(), excess); FAILED(hr)) return hr;
        next_.erase(next_.begin(), next_.begin() + static_cast<std::ptrdiff_t>(excess));
    }
    return S_OK;
}

HRESULT Crossfade::endSource() {
    // A source shorter than the fade into it: the rest of the previous tail fades out alone,
    // after the frames it did cover.
    if (mixed_ < heldFrames_) {
        std::uint8_t* rest = held_.data() + mixed_ * static_cast<std::int64_t>(frameBytes_);
        fadeOut(format_, curve_, rest, heldFrames_ - mixed_, mixed_, heldFrames_);
        if (next_.empty()) {
            if (HRESULT hr = send(rest, held_.size() - static_cast<std::size_t>(mixed_) * frameBytes_); FAILED(hr))
                return hr;
        } else {
            next_.insert(next_.end(), rest, held_.data() + held_.size());
        }
    }
    const std::size_t keep = static_cast<std::size_t>(fadeOut_) * frameBytes_;
    if (next_.size() > keep) {
        const std::size_t excess = next_.size() - keep;
        if (HRESULT hr = send(next_.data(), excess); FAILED(hr)) return hr;
        next_.erase(next_.begin(), next_.begin() + static_cast<std::ptrdiff_t>(excess));
    }
    held_.swap(next_);
    next_.clear();
    heldFrames_ = 0;
    mixed_ = 0;
    return S_OK;
}

HRESULT Crossfade::flush() {
    const std::int64_t n = held();
    fadeOut(format_, curve_, held_.data(), n, 0, n);
    HRESULT hr = send(held_.data(), held_.size());
    held_.clear();
    return hr;
}

}  // namespace corvane::media
