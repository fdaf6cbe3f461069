// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/SampleConverter.h"
#include "media/Cause.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "media/ErrorText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

namespace corvane::media {

namespace {

// Bits the samples of a decoded format carry, for integers; 0 for float.
int integerBits(AVSampleFormat fmt) {
    switch (av_get_packed_sample_fmt(fmt)) {
        case AV_SAMPLE_FMT_U8: return 8;
        case AV_SAMPLE_FMT_S16: return 16;
        case AV_SAMPLE_FMT_S32: return 32;
        case AV_SAMPLE_FMT_S64: return 64;
        default: return 0;
    }
}

bool isExactInput(AVSampleFormat fmt, int outBits) {
    const int bits = integerBits(fmt);
    return bits > 0 && bits <= 16 && bits <= outBits;
}

constexpr std::uint64_t kFrontSpeakers = AV_CH_FRONT_LEFT | AV_CH_FRONT_RIGHT | AV_CH_FRONT_CENTER |
                                         AV_CH_FRONT_LEFT_OF_CENTER | AV_CH_FRONT_RIGHT_OF_CENTER;

// Triangular dither of one step peak: the sum of two uniform values, both halves of one
// 32-bit LCG draw. Drawn once into a table that sources read from their own starting points;
// at 2^17 values it repeats less often than every second and a half of stereo sound.
constexpr std::size_t kDitherSize = 1u << 17;

// Inputs this short may be shorter than the resampler's filter (about 200 samples at the
// default filter going down to 8000 Hz, thousands from the highest rates).
constexpr std::int64_t kShortInput = 65536;

const float* ditherTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t(kDitherSize);
        std::uint32_t r = 0x2545F491u;
        for (float& v : t) {
            r = r * 1664525u + 1013904223u;
            v = (static_cast<float>(r & 0xFFFF) + static_cast<float>(r >> 16) - 65535.0f) * (1.0f / 65536.0f);
        }
        return t;
    }();
    return table.data();
}

}  // namespace

void channelLayoutOf(const WaveFormatEx& format, AVChannelLayout* layout) {
    const std::uint32_t mask = format.channelMask();
    if (mask != 0 && std::popcount(mask) == format.nChannels &&
        av_channel_layout_from_mask(layout, mask) == 0)
        return;
    av_channel_layout_default(layout, format.nChannels);
}

SampleConverter::SampleConverter(const WaveFormatEx& out, std::uint32_t seed)
    : out_(out) {
    ditherPos_ = (seed * 2654435761u) & (kDitherSize - 1);
}

SampleConverter::~SampleConverter() { av_channel_layout_uninit(&inLayout_); }

HRESULT SampleConverter::configure(const AVFrame* frame) {
    av_channel_layout_uninit(&inLayout_);
    if (av_channel_layout_copy(&inLayout_, &frame->ch_layout) < 0) return E_OUTOFMEMORY;
    inRate_ = frame->sample_rate;
    inFormat_ = frame->format;
    inSamples_ = 0;
    outSamples_ = 0;

    AVChannelLayout outLayout{};
    channelLayoutOf(out_, &outLayout);
    AVChannelLayout in{};
    const int inChannels = frame->ch_layout.nb_channels;
    const bool fullyDescribed = frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE;
    if (fullyDescribed)
        av_channel_layout_copy(&in, &frame->ch_layout);
    else if (inChannels == out_.nChannels)
        av_channel_layout_copy(&in, &outLayout);  // unnamed channels keep their places
    else
        av_channel_layout_default(&in, inChannels);
    const bool sameChannels = av_channel_layout_compare(&in, &outLayout) == 0;
    const int inBits = integerBits(static_cast<AVSampleFormat>(frame->format));
    const bool sameRate = frame->sample_rate == static_cast<int>(out_.nSamplesPerSec);
    // Integers into integers at least as wide (or 24 and 32 bits, which are never dithered, so
    // they take rounding alone); float into float.
    // A gain changes every sample: such a source goes the float way.
    copy_ = gain_ == 1.0f && sameRate && sameChannels &&
            (out_.isFloat() ? av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame->format)) == AV_SAMPLE_FMT_FLT
                            : inBits > 0 && inBits <= 32 && (inBits <= out_.wBitsPerSample || out_.wBitsPerSample >= 24));
    if (copy_) {
        av_channel_layout_uninit(&in);
        av_channel_layout_uninit(&outLayout);
        swr_.reset();
        return S_OK;
    }

    SwrContext* raw = nullptr;
    int err = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT,
                                  static_cast<int>(out_.nSamplesPerSec), &in,
                                  static_cast<AVSampleFormat>(frame->format), frame->sample_rate,
                                  0, nullptr);
    swr_.reset(raw);
    if (err < 0 || !raw) {
        av_channel_layout_uninit(&in);
        av_channel_layout_uninit(&outLayout);
        detail_ = Cause::tr("cannot convert this audio format");
        return err < 0 ? fromAvError(err) : E_OUTOFMEMORY;
    }
    // Mixing down must never clip: scale the matrix so every output row sums to at most 1.
    // Stereo to mono is therefore (L + R) / 2, whether the channels are labelled or not.
    av_opt_set_double(raw, "rematrix_maxval", 1.0, 0);

    const bool mono = inChannels == 1;
    std::vector<double> matrix;
    if (mono && out_.nChannels > 1) {
        // Spread at full level to every front speaker, as a mono file sounds from a pair.
        for (int c = 0; c < out_.nChannels; ++c) {
            const auto speaker = av_channel_layout_channel_from_index(&outLayout, static_cast<unsigned>(c));
            const bool front = speaker >= 0 && speaker < 64 && (kFrontSpeakers >> speaker) & 1;
            matrix.push_back(front || outLayout.order != AV_CHANNEL_ORDER_NATIVE ? 1.0 : 0.0);
        }
    } else if (!fullyDescribed && inChannels != static_cast<int>(out_.nChannels)) {
        // Channels of no known meaning: every output channel takes their average.
        matrix.assign(static_cast<std::size_t>(out_.nChannels * inChannels), 1.0 / inChannels);
    }
    if (!matrix.empty()) {
        err = swr_set_matrix(raw, matrix.data(), inChannels);
        if (err < 0) {
            av_channel_layout_uninit(&in);
            av_channel_layout_uninit(&outLayout);
            detail_ = Cause::tr("cannot mix these channels");
            return fromAvError(err);
        }
    }
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&outLayout);
    err = swr_init(raw);
    if (err < 0) {
        detail_ = Cause::tr("cannot convert this audio format");
        return fromAvError(err);
    }
    exact_ = sameRate && isExactInput(static_cast<AVSampleFormat>(frame->format), out_.wBitsPerSample) &&
             (sameChannels || mono);
    return S_OK;
}

HRESULT SampleConverter::convert(const AVFrame* frame, PcmBytes& pcm) {
    if (frame->nb_samples <= 0) return S_OK;
    const bool changed = (!swr_ && !copy_) || frame->sample_rate != inRate_ || frame->format != inFormat_ ||
                         av_channel_layout_compare(&frame->ch_layout, &inLayout_) != 0;
    if (changed) {
        if (swr_) {
            if (HRESULT hr = drain(pcm); FAILED(hr)) return hr;
        }
        if (HRESULT hr = configure(frame); FAILED(hr)) return hr;
    }
    inSamples_ += frame->nb_samples;
    if (copy_) {
        copyAcross(frame, pcm);
        return S_OK;
    }
    return run(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples, pcm);
}

HRESULT SampleConverter::drain(PcmBytes& pcm) {
    if (!swr_) return S_OK;
    const auto outRate = static_cast<int>(out_.nSamplesPerSec);
    if (inRate_ == outRate || inSamples_ >= kShortInput) return run(nullptr, 0, pcm);
    // The resampler's own flush mirrors the last samples to fill its filter, and an input
    // shorter than the filter leaves some of its output behind. Silence fills the filter
    // instead, and what comes out past the input's own length is cut.
    const std::int64_t expected = av_rescale_rnd(inSamples_, outRate, inRate_, AV_ROUND_NEAR_INF);
    const std::size_t start = pcm.size();
    const int channels = inLayout_.nb_channels;
    const auto format = static_cast<AVSampleFormat>(inFormat_);
    const int chunk = std::max(256, inRate_ / 50);
    uint8_t** silence = nullptr;
    if (av_samples_alloc_array_and_samples(&silence, nullptr, channels, chunk, format, 0) < 0) return E_OUTOFMEMORY;
    av_samples_set_silence(silence, 0, chunk, channels, format);
    HRESULT hr = S_OK;
    for (int i = 0; i < 64 && outSamples_ < expected && SUCCEEDED(hr); ++i)
        hr = run(const_cast<const uint8_t**>(silence), chunk, pcm);
    av_freep(&silence[0]);
    av_freep(&silence);
    if (FAILED(hr)) return hr;
    const auto appended = static_cast<std::int64_t>((pcm.size() - start) / out_.nBlockAlign);
    const std::int64_t extra = std::min(std::max<std::int64_t>(0, outSamples_ - expected), appended);
    pcm.resize(pcm.size() - static_cast<std::size_t>(extra) * out_.nBlockAlign);
    swr_.reset();  // what it still holds is the silence
    return S_OK;
}

HRESULT SampleConverter::run(const uint8_t** in, int inSamples, PcmBytes& pcm) {
    const int channels = out_.nChannels;
    for (;;) {
        const int capacity = swr_get_out_samples(swr_.get(), inSamples);
        if (capacity < 0) return fromAvError(capacity);
        const int room = std::max(capacity, 256);
        buffer_.resize(static_cast<std::size_t>(room) * static_cast<std::size_t>(channels));
        auto* dst = reinterpret_cast<uint8_t*>(buffer_.data());
        const int got = swr_convert(swr_.get(), &dst, room, in, inSamples);
        if (got < 0) {
            detail_ = Cause::tr("audio conversion failed");
            return fromAvError(got);
        }
        if (got > 0) {
            outSamples_ += got;
            const std::size_t samples = static_cast<std::size_t>(got) * channels;
            // Loudness matching. A gain other than 1 changes every sample, so such a source
            // never takes a bit-exact pass-through path, and its quantisation is dithered.
            if (gain_ != 1.0f)
                for (std::size_t i = 0; i < samples; ++i) buffer_[i] *= gain_;
            const std::size_t at = pcm.size();
            pcm.resize(at + samples * (out_.wBitsPerSample / 8));
            quantize(buffer_.data(), samples, pcm.data() + at);
        }
        // Input is taken whole; only a drain may need more rounds.
        if (in || got == 0) return S_OK;
    }
}

void SampleConverter::quantizeFloats(const float* in, std::size_t frames, PcmBytes& pcm) {
    const std::size_t samples = frames * out_.nChannels;
    outSamples_ += static_cast<std::int64_t>(frames);
    buffer_.assign(in, in + samples);
    if (gain_ != 1.0f)
        for (float& v : buffer_) v *= gain_;
    const std::size_t at = pcm.size();
    pcm.resize(at + samples * (out_.wBitsPerSample / 8));
    quantize(buffer_.data(), samples, pcm.data() + at);
}

namespace {

// Scales, adds the dither, clamps and rounds to nearest (ties to even), eight samples at a
// time where the processor allows; the tail takes the same steps one by one.
template <int Bits>
void quantizeTo(const float* in, const float* dither, std::size_t samples, std::uint8_t* out) {
    constexpr float scale = Bits == 16 ? 32768.0f : 128.0f;
    constexpr float lo = -scale;
    constexpr float hi = scale - 1.0f;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 vScale = _mm_set1_ps(scale);
    const __m128 vLo = _mm_set1_ps(lo);
    const __m128 vHi = _mm_set1_ps(hi);
    for (; i + 8 <= samples; i += 8) {
        __m128i q[2];
        for (int h = 0; h < 2; ++h) {
            __m128 v = _mm_mul_ps(_mm_loadu_ps(in + i + 4 * h), vScale);
            if (dither) v = _mm_add_ps(v, _mm_loadu_ps(dither + i + 4 * h));
            v = _mm_and_ps(v, _mm_cmpord_ps(v, v));  // corrupt float input may hold NaN
            v = _mm_min_ps(_mm_max_ps(v, vLo), vHi);
            q[h] = _mm_cvtps_epi32(v);
        }
        const __m128i words = _mm_packs_epi32(q[0], q[1]);
        if constexpr (Bits == 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), words);
        } else {
            const __m128i offset = _mm_add_epi16(words, _mm_set1_epi16(128));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(offset, offset));
        }
    }
#endif
    // Adding and taking away 1.5 * 2^23 rounds to nearest for anything clamped this small.
    constexpr float magic = 12582912.0f;
    for (; i < samples; ++i) {
        float v = in[i] * scale + (dither ? dither[i] : 0.0f);
        v = v == v ? v : 0.0f;
        v = v < lo ? lo : v;
        v = v > hi ? hi : v;
        const int q = static_cast<int>((v + magic) - magic);
        if constexpr (Bits == 16) {
            const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(q));
            out[2 * i] = static_cast<std::uint8_t>(u);
            out[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
        } else {
            out[i] = static_cast<std::uint8_t>(q + 128);
        }
    }
}

// 24 and 32 bits: deep enough that no dither is wanted, only rounding.
template <int Bits>
void quantizeWide(const float* in, std::size_t samples, std::uint8_t* out) {
    constexpr double scale = Bits == 24 ? 8388608.0 : 2147483648.0;
    for (std::size_t i = 0; i < samples; ++i) {
        double v = static_cast<double>(in[i]) * scale;
        v = v == v ? v : 0.0;
        v = std::clamp(v, -scale, scale - 1.0);
        const auto q = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::nearbyint(v)));
        for (int b = 0; b < Bits / 8; ++b) out[(Bits / 8) * i + b] = static_cast<std::uint8_t>(q >> (8 * b));
    }
}

// One decoded sample as a 32-bit integer whose top bits are the sample.
template <AVSampleFormat Packed>
inline std::int32_t leftAligned(const std::uint8_t* p) {
    if constexpr (Packed == AV_SAMPLE_FMT_U8) {
        return static_cast<std::int32_t>((static_cast<std::uint32_t>(*p) - 128u) << 24);
    } else if constexpr (Packed == AV_SAMPLE_FMT_S16) {
        std::int16_t v;
        std::memcpy(&v, p, 2);
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << 16);
    } else {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <int Bytes>
inline void putAligned(std::int32_t v, std::uint8_t* out) {
    if constexpr (Bytes < 4) {
        // Round to nearest, saturating: exact for samples that fit, which is what comes here.
        constexpr int shift = 32 - 8 * Bytes;
        const std::int64_t r = (static_cast<std::int64_t>(v) + (std::int64_t{1} << (shift - 1))) >> shift;
        constexpr std::int64_t hi = (std::int64_t{1} << (8 * Bytes - 1)) - 1;
        const auto q = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::min(r, hi)));
        if constexpr (Bytes == 1) {
            out[0] = static_cast<std::uint8_t>(q + 128u);
            return;
        }
        for (int b = 0; b < Bytes; ++b) out[b] = static_cast<std::uint8_t>(q >> (8 * b));
    } else {
        std::memcpy(out, &v, 4);
    }
}

#if defined(__x86_64__)
// Four samples at a time: clamped so that rounding cannot overflow, rounded, and the three
// bytes of each picked out. Returns how many it did; it leaves at least six to the caller,
// as each store writes four bytes past the twelve it fills.
__attribute__((target("ssse3"))) std::size_t packTo24Ssse3(const std::uint8_t* in, std::size_t samples,
                                                            std::uint8_t* out) {
    const __m128i top = _mm_set1_epi32(0x7FFFFF7F);
    const __m128i half = _mm_set1_epi32(128);
    const __m128i pick = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::size_t i = 0;
    for (; i + 6 <= samples; i += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * i));
        const __m128i over = _mm_cmpgt_epi32(v, top);
        v = _mm_or_si128(_mm_andnot_si128(over, v), _mm_and_si128(over, top));
        v = _mm_srai_epi32(_mm_add_epi32(v, half), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * i), _mm_shuffle_epi8(v, pick));
    }
    return i;
}
#endif

// 32-bit samples into 24 (how 24-bit FLAC, WavPack and ALAC decode): rounded as putAligned
// does, each stored as four bytes whose last the next sample overwrites.
void packTo24(const std::uint8_t* in, std::size_t samples, std::uint8_t* out) {
    if (samples == 0) return;
    std::size_t i = 0;
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) i = packTo24Ssse3(in, samples, out);
#endif
    for (; i + 1 < samples; ++i) {
        std::int32_t v;
        std::memcpy(&v, in + 4 * i, 4);
        const std::int64_t r = std::min<std::int64_t>((static_cast<std::int64_t>(v) + 128) >> 8, 8388607);
        const auto q = static_cast<std::uint32_t>(static_cast<std::int32_t>(r));
        std::memcpy(out + 3 * i, &q, 4);
    }
    putAligned<3>(leftAligned<AV_SAMPLE_FMT_S32>(in + 4 * (samples - 1)), out + 3 * (samples - 1));
}

// Planar float channels into interleaved frames: a pair (the usual case) four frames at a time.
void interleaveFloats(const AVFrame* frame, std::uint8_t* out) {
    const int channels = frame->ch_layout.nb_channels;
    const auto n = static_cast<std::size_t>(frame->nb_samples);
    std::size_t i = 0;
#if defined(__SSE2__)
    if (channels == 2) {
        const auto* left = reinterpret_cast<const float*>(frame->extended_data[0]);
        const auto* right = reinterpret_cast<const float*>(frame->extended_data[1]);
        for (; i + 4 <= n; i += 4) {
            const __m128 l = _mm_loadu_ps(left + i);
            const __m128 r = _mm_loadu_ps(right + i);
            _mm_storeu_ps(reinterpret_cast<float*>(out + 8 * i), _mm_unpacklo_ps(l, r));
            _mm_storeu_ps(reinterpret_cast<float*>(out + 8 * i + 16), _mm_unpackhi_ps(l, r));
        }
    }
#endif
    for (int c = 0; c < channels; ++c) {
        const std::uint8_t* in = frame->extended_data[c];
        for (std::size_t k = i; k < n; ++k)
            std::memcpy(out + (k * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)) * 4, in + k * 4, 4);
    }
}

template <AVSampleFormat Packed, int Bytes>
void copyInts(const AVFrame* frame, bool planar, std::uint8_t* out) {
    const int channels = frame->ch_layout.nb_channels;
    constexpr std::size_t inBytes = Packed == AV_SAMPLE_FMT_U8 ? 1 : Packed == AV_SAMPLE_FMT_S16 ? 2 : 4;
    const auto n = static_cast<std::size_t>(frame->nb_samples);
    if (!planar) {
        const std::uint8_t* in = frame->extended_data[0];
        if constexpr (Packed == AV_SAMPLE_FMT_S32 && Bytes == 3) {
            packTo24(in, n * channels, out);
            return;
        }
        for (std::size_t i = 0; i < n * channels; ++i) putAligned<Bytes>(leftAligned<Packed>(in + i * inBytes), out + i * Bytes);
        return;
    }
    for (int c = 0; c < channels; ++c) {
        const std::uint8_t* in = frame->extended_data[c];
        std::uint8_t* to = out + static_cast<std::size_t>(c) * Bytes;
        for (std::size_t i = 0; i < n; ++i)
            putAligned<Bytes>(leftAligned<Packed>(in + i * inBytes), to + i * channels * Bytes);
    }
}

template <int Bytes>
void copyIntsFrom(AVSampleFormat packed, const AVFrame* frame, bool planar, std::uint8_t* out) {
    switch (packed) {
        case AV_SAMPLE_FMT_U8: return copyInts<AV_SAMPLE_FMT_U8, Bytes>(frame, planar, out);
        case AV_SAMPLE_FMT_S16: return copyInts<AV_SAMPLE_FMT_S16, Bytes>(frame, planar, out);
        default: return copyInts<AV_SAMPLE_FMT_S32, Bytes>(frame, planar, out);
    }
}

}  // namespace

void SampleConverter::copyAcross(const AVFrame* frame, PcmBytes& pcm) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const auto packed = av_get_packed_sample_fmt(format);
    const bool planar = av_sample_fmt_is_planar(format);
    const std::size_t bytes = out_.wBitsPerSample / 8;
    const std::size_t at = pcm.size();
    const std::size_t size = static_cast<std::size_t>(frame->nb_samples) * out_.nBlockAlign;
    pcm.resize(at + size);
    std::uint8_t* out = pcm.data() + at;
    outSamples_ += frame->nb_samples;
    if (!planar && av_get_bytes_per_sample(packed) == static_cast<int>(bytes)) {
        std::memcpy(out, frame->extended_data[0], size);  // the very bytes
        return;
    }
    if (out_.isFloat()) {
        interleaveFloats(frame, out);
        return;
    }
    switch (bytes) {
        case 1: copyIntsFrom<1>(packed, frame, planar, out); break;
        case 2: copyIntsFrom<2>(packed, frame, planar, out); break;
        case 3: copyIntsFrom<3>(packed, frame, planar, out); break;
        default: copyIntsFrom<4>(packed, frame, planar, out); break;
    }
}

void SampleConverter::quantize(const float* in, std::size_t samples, std::uint8_t* out) {
    const std::size_t bytes = out_.wBitsPerSample / 8;
    if (out_.isFloat()) {
        for (std::size_t i = 0; i < samples; ++i) {
            const float v = in[i] == in[i] ? in[i] : 0.0f;
            std::memcpy(out + 4 * i, &v, 4);
        }
        return;
    }
    if (bytes == 3) return quantizeWide<24>(in, samples, out);
    if (bytes == 4) return quantizeWide<32>(in, samples, out);
    if (exact_ && gain_ == 1.0f) {
        if (bytes == 2)
            quantizeTo<16>(in, nullptr, samples, out);
        else
            quantizeTo<8>(in, nullptr, samples, out);
        return;
    }
    // Runs that do not wrap around the dither table, so each stays one vector loop.
    const float* table = ditherTable();
    while (samples > 0) {
        const std::size_t run = std::min(samples, kDitherSize - ditherPos_);
        if (bytes == 2)
            quantizeTo<16>(in, table + ditherPos_, run, out);
        else
            quantizeTo<8>(in, table + ditherPos_, run, out);
        in += run;
        out += run * bytes;
        samples -= run;
        ditherPos_ = (ditherPos_ + run) & (kDitherSize - 1);
    }
}

}  // namespace corvane::media
