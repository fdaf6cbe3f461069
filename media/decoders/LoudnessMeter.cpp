// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "media/ErrorText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane::media {

namespace {

// Weights by the place of each speaker (ITU-R BS.1770-4): the surrounds, from 60 to 120
// degrees off centre, weigh 1.41; the LFE is not heard.
int channelFor(const AVChannelLayout& layout, AVChannel c) {
    // Back speakers are the surrounds of 5.1; beside side speakers (7.1) they sit behind them,
    // outside the weighted arc.
    const bool sides = av_channel_layout_index_from_channel(&layout, AV_CHAN_SIDE_LEFT) >= 0 ||
                       av_channel_layout_index_from_channel(&layout, AV_CHAN_SIDE_RIGHT) >= 0;
    switch (c) {
        case AV_CHAN_FRONT_LEFT: return EBUR128_LEFT;
        case AV_CHAN_FRONT_RIGHT: return EBUR128_RIGHT;
        case AV_CHAN_FRONT_CENTER: return EBUR128_CENTER;
        case AV_CHAN_SIDE_LEFT: return EBUR128_LEFT_SURROUND;
        case AV_CHAN_SIDE_RIGHT: return EBUR128_RIGHT_SURROUND;
        case AV_CHAN_BACK_LEFT: return sides ? EBUR128_Mp135 : EBUR128_LEFT_SURROUND;
        case AV_CHAN_BACK_RIGHT: return sides ? EBUR128_Mm135 : EBUR128_RIGHT_SURROUND;
        case AV_CHAN_LOW_FREQUENCY:
        case AV_CHAN_LOW_FREQUENCY_2: return EBUR128_UNUSED;
        case AV_CHAN_FRONT_LEFT_OF_CENTER: return EBUR128_Mp030;
        case AV_CHAN_FRONT_RIGHT_OF_CENTER: return EBUR128_Mm030;
        case AV_CHAN_BACK_CENTER: return EBUR128_Mp180;
        case AV_CHAN_WIDE_LEFT: return EBUR128_Mp060;
        case AV_CHAN_WIDE_RIGHT: return EBUR128_Mm060;
        case AV_CHAN_TOP_FRONT_LEFT: return EBUR128_Up030;
        case AV_CHAN_TOP_FRONT_RIGHT: return EBUR128_Um030;
        case AV_CHAN_TOP_FRONT_CENTER: return EBUR128_Up000;
        case AV_CHAN_TOP_BACK_LEFT: return EBUR128_Up135;
        case AV_CHAN_TOP_BACK_RIGHT: return EBUR128_Um135;
        case AV_CHAN_TOP_BACK_CENTER: return EBUR128_Up180;
        case AV_CHAN_TOP_SIDE_LEFT: return EBUR128_Up090;
        case AV_CHAN_TOP_SIDE_RIGHT: return EBUR128_Um090;
        case AV_CHAN_TOP_CENTER: return EBUR128_Tp000;
        default: return EBUR128_LEFT;  // a channel of no known place: heard from the front
    }
}

// The meter gives each gating block's loudness and the peaks; the blocks are gated here, from
// the histogram that files also combine with. Its own integrated mode would keep every block
// of the file in a list: some 45 MB for 20 hours.
// The sample peak is taken here too, in one pass over all channels: the meter's own takes a
// strided pass per channel, a sixth of its time.
constexpr int kMeterMode = EBUR128_MODE_M;

float peakOf(const float* x, std::size_t n) {
    std::size_t i = 0;
    float peak = 0.0f;
#if defined(__SSE2__)
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 top = _mm_setzero_ps();
    for (; i + 4 <= n; i += 4) top = _mm_max_ps(top, _mm_and_ps(_mm_loadu_ps(x + i), magnitude));
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, top);
    peak = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
#endif
    for (; i < n; ++i) peak = std::max(peak, std::fabs(x[i]));
    return peak;
}

// The most the meter's true-peak interpolator (libebur128: 49 taps of Hann-windowed sinc,
// oversampling 4 times below 96 kHz, twice below 192 kHz, not at all above) can make of a
// sample peak: the largest sum of its coefficients' magnitudes over its phases.
double interpolatorGain(int rate) {
    const int factor = rate < 96000 ? 4 : rate < 192000 ? 2 : 1;
    if (factor == 1) return 1.0;
    constexpr int kTaps = 49;
    std::vector<double> phases(static_cast<std::size_t>(factor), 0.0);
    for (int j = 0; j < kTaps; ++j) {
        const double m = j - (kTaps - 1) / 2.0;
        double c = std::abs(m) > 1e-10 ? std::sin(m * M_PI / factor) / (m * M_PI / factor) : 1.0;
        c *= 0.5 * (1.0 - std::cos(2.0 * M_PI * j / (kTaps - 1)));
        phases[static_cast<std::size_t>(j % factor)] += std::abs(c);
    }
    return *std::max_element(phases.begin(), phases.end());
}

// Whether the meter's 100 ms window is exactly one step (it rounds the two differently):
// then each block is made of four sums of a step, not summed over 400 ms anew every step,
// which took a third of the meter's time.
bool stepWindowFits(int rate, std::size_t step) {
    return static_cast<std::size_t>(rate) * 100 / 1000 == step;
}

}  // namespace

LoudnessMeter::LoudnessMeter(const WaveFormatEx& heardAs, bool truePeak) : heardAs_(heardAs), truePeak_(truePeak) {
    // Float at the output's rate and speakers: the render's conversion without its quantising.
    if (heardAs.nChannels > 0)
        render_ = std::make_unique<SampleConverter>(
            WaveFormatEx::ieeeFloat(heardAs.nSamplesPerSec, heardAs.nChannels, heardAs.channelMask()), 0);
}

LoudnessMeter::~LoudnessMeter() {
    if (state_) ebur128_destroy(&state_);
    av_channel_layout_uninit(&layout_);
}

HRESULT LoudnessMeter::configure(const AVFrame* frame) {
    // Another rate or channel count starts the meter's blocks afresh (its gated history stays);
    // only a new sample format or layout goes on where it was.
    const bool restart = !state_ || frame->sample_rate != rate_ || frame->ch_layout.nb_channels != channels_;
    if (state_ && restart) {
        if (HRESULT hr = flushPartial(); FAILED(hr)) return hr;
        double peak = 0.0;
        for (int c = 0; c < channels_; ++c)
            if (truePeak_ && ebur128_true_peak(state_, static_cast<unsigned>(c), &peak) == EBUR128_SUCCESS)
                peaks_.push_back(peak);
        samplePeaks_.push_back(segmentPeak_);
        bound_ = std::max(bound_, segmentPeak_ * interpolatorGain(rate_));
        segmentPeak_ = 0.0;
    }
    av_channel_layout_uninit(&layout_);
    if (av_channel_layout_copy(&layout_, &frame->ch_layout) < 0) return E_OUTOFMEMORY;
    rate_ = frame->sample_rate;
    format_ = frame->format;
    channels_ = frame->ch_layout.nb_channels;
    if (channels_ <= 0 || rate_ <= 0) return VFW_E_DECODE_FAILED;

    // Interleaved float at the stream's own rate and channels: what the meter reads.
    AVChannelLayout same{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
        av_channel_layout_copy(&same, &frame->ch_layout);
    else
        av_channel_layout_default(&same, channels_);
    SwrContext* raw = nullptr;
    int err = swr_alloc_set_opts2(&raw, &same, AV_SAMPLE_FMT_FLT, rate_, &same,
                                  static_cast<AVSampleFormat>(frame->format), rate_, 0, nullptr);
    swr_.reset(raw);
    if (err >= 0 && raw) err = swr_init(raw);
    av_channel_layout_uninit(&same);
    if (err < 0 || !raw) return err < 0 ? fromAvError(err) : E_OUTOFMEMORY;

    const unsigned long rate = static_cast<unsigned long>(rate_);
    if (!state_) {
        state_ = ebur128_init(static_cast<unsigned>(channels_), rate,
                              kMeterMode | (truePeak_ ? EBUR128_MODE_TRUE_PEAK : 0));
        if (!state_) return E_OUTOFMEMORY;
    } else if (restart) {
        if (const int e = ebur128_change_parameters(state_, static_cast<unsigned>(channels_), rate);
            e != EBUR128_SUCCESS && e != EBUR128_ERROR_NO_CHANGE)
            return E_OUTOFMEMORY;
    }
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE || frame->ch_layout.order == AV_CHANNEL_ORDER_CUSTOM) {
        mapChannels(frame->ch_layout);
    } else {
        // Unlabelled: heard from the front, a single channel as one speaker.
        for (int c = 0; c < channels_; ++c)
            ebur128_set_channel(state_, static_cast<unsigned>(c),
                                channels_ == 1 ? EBUR128_CENTER : c == 1 ? EBUR128_RIGHT : EBUR128_LEFT);
    }
    // The meter's own rounding of 100 ms; each full step it is given ends a gating block.
    if (restart) {
        blockStep_ = (static_cast<std::size_t>(rate_) + 5) / 10;
        fed_ = 0;
        pending_.clear();
        stepWindow_ = stepWindowFits(rate_, blockStep_);
    }
    return S_OK;
}

void LoudnessMeter::mapChannels(const AVChannelLayout& layout) {
    for (int c = 0; c < channels_; ++c) {
        const int where = channels_ == 1 ? EBUR128_CENTER
                                         : channelFor(layout, av_channel_layout_channel_from_index(&layout, static_cast<unsigned>(c)));
        ebur128_set_channel(state_, static_cast<unsigned>(c), where);
    }
}

HRESULT LoudnessMeter::configureHeard() {
    rate_ = static_cast<int>(heardAs_.nSamplesPerSec);
    channels_ = heardAs_.nChannels;
    if (channels_ <= 0 || rate_ <= 0) return VFW_E_DECODE_FAILED;
    state_ = ebur128_init(static_cast<unsigned>(channels_), static_cast<unsigned long>(rate_),
                          kMeterMode | (truePeak_ ? EBUR128_MODE_TRUE_PEAK : 0));
    if (!state_) return E_OUTOFMEMORY;
    AVChannelLayout layout{};
    channelLayoutOf(heardAs_, &layout);
    mapChannels(layout);
    av_channel_layout_uninit(&layout);
    blockStep_ = (static_cast<std::size_t>(rate_) + 5) / 10;
    fed_ = 0;
    stepWindow_ = stepWindowFits(rate_, blockStep_);
    return S_OK;
}

HRESULT LoudnessMeter::addRendered() {
    if (rendered_.empty()) return S_OK;
    if (!state_)
        if (HRESULT hr = configureHeard(); FAILED(hr)) return hr;
    // Fed where it was rendered (the buffer's allocation suits floats): no copy.
    const std::size_t samples = rendered_.size() / sizeof(float);
    auto* rendered = reinterpret_cast<float*>(rendered_.data());
    for (std::size_t i = 0; i < samples; ++i)
        if (!std::isfinite(rendered[i])) rendered[i] = 0.0f;
    return feed(rendered, samples / static_cast<std::size_t>(channels_));
}

HRESULT LoudnessMeter::feed(const float* samples, std::size_t frames) {
    // Whole 100 ms steps, so that after each one the momentary loudness is the gating block the
    // meter has just taken: its energy goes into the histogram that files combine with.
    const auto ch = static_cast<std::size_t>(channels_);
    segmentPeak_ = std::max(segmentPeak_, static_cast<double>(peakOf(samples, frames * ch)));
    while (frames > 0) {
        if (pending_.empty() && frames >= blockStep_) {
            if (ebur128_add_frames_float(state_, samples, blockStep_) != EBUR128_SUCCESS) return E_OUTOFMEMORY;
            samples += blockStep_ * ch;
            frames -= blockStep_;
        } else {
            const std::size_t take = std::min(frames, blockStep_ - pending_.size() / ch);
            pending_.insert(pending_.end(), samples, samples + take * ch);
            samples += take * ch;
            frames -= take;
            if (pending_.size() / ch < blockStep_) break;
            if (ebur128_add_frames_float(state_, pending_.data(), blockStep_) != EBUR128_SUCCESS) return E_OUTOFMEMORY;
            pending_.clear();
        }
        fed_ += blockStep_;
        if (stepWindow_) {
            // The meter sums only the step just given; a block is the mean of its last four.
            double lufs = 0.0;
            if (ebur128_loudness_window(state_, 100, &lufs) != EBUR128_SUCCESS) return E_FAIL;
            steps_[fed_ / blockStep_ % 4] = std::isfinite(lufs) ? energyOfLoudness(lufs) : 0.0;
            if (fed_ >= 4 * blockStep_) {
                const double energy = (steps_[0] + steps_[1] + steps_[2] + steps_[3]) / 4.0;
                if (energy > 0.0) gating_.add(energy);
            }
        } else if (fed_ >= 4 * blockStep_) {
            double lufs = 0.0;
            if (ebur128_loudness_momentary(state_, &lufs) == EBUR128_SUCCESS && std::isfinite(lufs))
                gating_.add(energyOfLoudness(lufs));
        }
    }
    return S_OK;
}

HRESULT LoudnessMeter::flushPartial() {
    // Less than 100 ms: no gating block of its own, but its peaks count.
    if (pending_.empty()) return S_OK;
    const std::size_t frames = pending_.size() / static_cast<std::size_t>(channels_);
    const bool ok = ebur128_add_frames_float(state_, pending_.data(), frames) == EBUR128_SUCCESS;
    pending_.clear();
    return ok ? S_OK : E_OUTOFMEMORY;
}

HRESULT LoudnessMeter::add(const AVFrame* frame) {
    if (frame->nb_samples <= 0) return S_OK;
    if (render_) {
        rendered_.clear();
        if (HRESULT hr = render_->convert(frame, rendered_); FAILED(hr)) return hr;
        return addRendered();
    }
    if (!state_ || frame->sample_rate != rate_ || frame->format != format_ ||
        av_channel_layout_compare(&frame->ch_layout, &layout_) != 0)
        if (HRESULT hr = configure(frame); FAILED(hr)) return hr;
    converted_.resize(static_cast<std::size_t>(frame->nb_samples) * static_cast<std::size_t>(channels_));
    auto* out = reinterpret_cast<uint8_t*>(converted_.data());
    const int got = swr_convert(swr_.get(), &out, frame->nb_samples,
                                const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (got < 0) return fromAvError(got);
    // Corrupt float input may hold NaN or infinities: silence instead, as the render does.
    for (float& v : converted_)
        if (!std::isfinite(v)) v = 0.0f;
    return feed(converted_.data(), static_cast<std::size_t>(got));
}

HRESULT LoudnessMeter::finish(LoudnessResult* result) {
    result->gating = gating_;
    result->integrated = -std::numeric_limits<double>::infinity();
    const double none = -std::numeric_limits<double>::infinity();
    result->truePeak = truePeak_ ? none : std::numeric_limits<double>::quiet_NaN();
    result->samplePeak = none;
    result->truePeakBound = none;
    if (render_) {
        rendered_.clear();
        if (HRESULT hr = render_->drain(rendered_); FAILED(hr)) return hr;
        if (HRESULT hr = addRendered(); FAILED(hr)) return hr;
    }
    if (!state_) return S_OK;  // no audio at all
    if (HRESULT hr = flushPartial(); FAILED(hr)) return hr;
    double peak = 0.0, sample = 0.0;
    for (double p : peaks_) peak = std::max(peak, p);
    for (double p : samplePeaks_) sample = std::max(sample, p);
    for (int c = 0; c < channels_; ++c) {
        double p = 0.0;
        if (truePeak_ && ebur128_true_peak(state_, static_cast<unsigned>(c), &p) == EBUR128_SUCCESS)
            peak = std::max(peak, p);
    }
    sample = std::max(sample, segmentPeak_);
    bound_ = std::max(bound_, segmentPeak_ * interpolatorGain(rate_));
    if (truePeak_ && peak > 0.0) result->truePeak = 20.0 * std::log10(peak);
    if (sample > 0.0) result->samplePeak = 20.0 * std::log10(sample);
    // Rounding in the interpolator's arithmetic: a hair of room.
    result->truePeakBound = truePeak_ ? result->truePeak : bound_ > 0.0 ? 20.0 * std::log10(bound_) + 0.001 : none;
    result->integrated = integratedLoudness({&gating_});
    return S_OK;
}

}  // namespace corvane::media
