// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/decoders/Loudness.h"
#include "media/decoders/LoudnessSurvey.h"
#include "media/graph/MediaType.h"
#include "media/graph/PcmBytes.h"
#include "media/decoders/WorkerPool.h"

namespace corvane::media {

// A source of the join, decoded and converted in a worker: the file is opened here and handed
// over, and converted PCM comes back. Every wait on the worker watches its progress and the
// caller's stop flag, so a stalled decoder never holds up the join or its Stop.
class WorkerSource {
  public:
    WorkerSource() = default;
    ~WorkerSource();
    WorkerSource(const WorkerSource&) = delete;
    WorkerSource& operator=(const WorkerSource&) = delete;

    // Opens the file and starts its worker; on failure detail() says why. Setting *stop
    // (optional) makes every call return E_ABORT at once.
    HRESULT start(const std::string& path, const WaveFormatEx& format, std::uint32_t seed,
                  const std::atomic<bool>* stop = nullptr, float gain = 1.0f);
    // Matched to a loudness on its own: the file is measured (or its kept measurement taken)
    // before its audio comes, and takes the gain that gives. `frames`: its planned length, for
    // the room its audio takes meanwhile. measured(at) is told, now and then, how much audio
    // (100 ns units) the measurement has read. Before start().
    void match(const LoudnessMatch& match, std::int64_t frames, std::function<void(std::int64_t at)> measured = {});
    // Or joined from its audio kept when it was measured: no decoding, unless the gain is 1
    // (which copies some sources bit for bit). Before start().
    void replay(KeptAudioPtr kept) { kept_ = std::move(kept); }
    // The measurement, once read() returned the first audio or the end (failed otherwise).
    const LoudnessResult& loudness() const { return loudness_; }
    // Appends the next converted audio to pcm and updates *decoded (everything decoded so far):
    // S_OK, S_FALSE at the end, or a failure (detail() says why).
    HRESULT read(PcmBytes& pcm, worker::Clock* decoded);

    const QString& detail() const { return detail_; }
    // Whether a failure came after the file opened as sound (decoding) or before.
    bool opened() const { return opened_; }

  private:
    HRESULT fail(HRESULT hr, const QString& why);
    HRESULT launch(std::uint64_t allowance, bool urgent);
    // The worker went silent: why, or a fresh start with more memory when that may help.
    HRESULT lost(Wait how);

    HRESULT readLoudness();

    std::string path_;
    LoudnessMatch match_;
    std::int64_t frames_ = 0;
    std::function<void(std::int64_t)> measured_;
    LoudnessResult loudness_;
    KeptAudioPtr kept_;
    int keyFd_ = -1;  // the file, to keep its measurement by
    WaveFormatEx format_{};
    std::uint32_t seed_ = 0;
    float gain_ = 1.0f;
    const std::atomic<bool>* stop_ = nullptr;
    Worker worker_;
    std::unique_ptr<WorkerProgress> progress_;
    bool delivered_ = false;
    bool finished_ = false;
    bool opened_ = false;
    QString detail_;
    std::vector<std::uint8_t> message_;
};

}  // namespace corvane::media
