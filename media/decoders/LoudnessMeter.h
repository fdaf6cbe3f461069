// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ebur128.h>

#include <memory>
#include <vector>

#include "media/decoders/Loudness.h"
#include "media/decoders/SampleConverter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace corvane::media {

// Measures decoded audio with libebur128: integrated loudness (gated), true peak, and the
// gating blocks for combining with other files, in memory that does not grow with the file. The channel map follows the layout measured
// (LFE unused, surrounds weighted, a single channel as one speaker).
class LoudnessMeter {
  public:
    // heardAs: the output format the audio will be joined into. The meter then reads what the
    // render makes of it (the same mix of channels, the same rate) before any gain: a mono file
    // spread to two speakers counts twice, a stereo file mixed to mono as the mono it becomes.
    // A format of no channels measures the stream as it is, at its own rate and channels.
    // truePeak: measure the true peak (4x oversampled) as well as the sample peak.
    LoudnessMeter(const WaveFormatEx& heardAs, bool truePeak);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    HRESULT add(const AVFrame* frame);
    // What the last add() or finish() measured, as floats in the format heard: valid until the
    // next call. Empty when measuring a file as it is.
    const PcmBytes& rendered() const { return rendered_; }
    // Ends the measurement and fills the result's figures.
    HRESULT finish(LoudnessResult* result);

  private:
    HRESULT configure(const AVFrame* frame);
    HRESULT configureHeard();
    HRESULT addRendered();
    void mapChannels(const AVChannelLayout& layout);
    HRESULT feed(const float* samples, std::size_t frames);
    HRESULT flushPartial();

    WaveFormatEx heardAs_;
    std::unique_ptr<SampleConverter> render_;  // only when measuring as heard
    PcmBytes rendered_;
    bool truePeak_;
    ebur128_state* state_ = nullptr;
    std::unique_ptr<SwrContext, SwrContextDeleter> swr_;
    int rate_ = 0;
    int format_ = -1;
    AVChannelLayout layout_{};
    int channels_ = 0;
    std::size_t blockStep_ = 0;  // frames in 100 ms, as the meter rounds them
    std::size_t fed_ = 0;        // frames given to the meter since it was (re)configured
    bool stepWindow_ = false;    // blocks made of the energies of their four steps
    double steps_[4] = {};       // the energies of the last four steps
    std::vector<float> pending_;  // less than 100 ms, interleaved
    std::vector<float> converted_;
    std::vector<double> peaks_;  // largest true peak of each configuration, linear
    std::vector<double> samplePeaks_;
    double bound_ = 0.0;  // linear
    double segmentPeak_ = 0.0;  // the largest sample since the meter last restarted, linear
    GatingHistogram gating_;
};

}  // namespace corvane::media
