// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/decoders/Loudness.h"
#include "media/decoders/WorkerProtocol.h"
#include "media/graph/MediaType.h"

namespace corvane::media {

// A file's audio as heard (floats at the output's rate and speakers), kept by its measurement
// in an unlinked scratch file, so that the join need not decode the file again.
struct KeptAudio {
    KeptAudio(int descriptor, std::int64_t size, const worker::Clock& decoded);
    ~KeptAudio();
    KeptAudio(const KeptAudio&) = delete;
    KeptAudio& operator=(const KeptAudio&) = delete;
    int fd;
    std::int64_t bytes;
    worker::Clock clock;  // what decoding the file counted
};
using KeptAudioPtr = std::shared_ptr<const KeptAudio>;

// A Loudness message's payload: its fixed part into *reply, the measurement into *r; false
// when it does not hold together.
bool readLoudnessReply(const std::vector<std::uint8_t>& payload, LoudnessResult* r, worker::LoudnessReply* reply);

// Room for `frames` of audio as heard in floats, with some to spare (a file may decode a
// little longer than measured).
std::int64_t keptAudioBytes(std::int64_t frames, int channels);

// An unlinked scratch file in the temporary folder ($TMPDIR, else /tmp) for `need` bytes of
// audio: -1 when it would take more than a quarter of the free room there, or more than a
// worker may write (worker::kScratchCeiling), or no such file can be made.
int openScratch(std::int64_t need);

// Loudness measurements in the sandboxed decoder workers, several files at once. A worker that
// stalls, crashes or runs out of memory is handled as for any file it reads: ended and named,
// or tried again with more memory. Results are kept for the life of the process by the file's
// identity (device, inode, size, modification time) and the format it is heard in, so a list
// joined again is not measured again.
class LoudnessSurvey {
  public:
    // One file. `heardAs`: the join's output format, whose mix and rate the file is measured in
    // (see LoudnessMeter); no channels for the file as it is. `truePeak` false measures the
    // sample peak only (the true peak costs four times the rest of the meter). `cancel` stops
    // it at once (E_ABORT). read(at) is told, now and then, how much audio (100 ns units) has
    // been measured.
    // keepBytes (with `kept`): keep the audio as heard, up to that many bytes, in *kept, unless
    // it is plain PCM or does not fit; what was kept before is taken without it.
    static LoudnessResult measure(const std::string& path, const WaveFormatEx& heardAs = {}, bool truePeak = true,
                                  const std::atomic<bool>* cancel = nullptr,
                                  const std::function<void(std::int64_t at)>& read = {},
                                  std::int64_t keepBytes = 0, KeptAudioPtr* kept = nullptr);
    // Every file, in parallel; results in the order of `paths`. done(index, result) is called,
    // from the measuring threads, as each file is done, and read(index, at) as it goes.
    static std::vector<LoudnessResult> measureAll(const std::vector<std::string>& paths, const WaveFormatEx& heardAs,
                                                  bool truePeak = true,
                                                  const std::function<void(std::size_t index, const LoudnessResult&)>& done = {},
                                                  const std::atomic<bool>* cancel = nullptr,
                                                  const std::function<void(std::size_t index, std::int64_t at)>& read = {},
                                                  const std::vector<std::int64_t>& keepBytes = {},
                                                  std::vector<KeptAudioPtr>* kept = nullptr);
    // What the kept audio of one join may take at most, and how many files.
    static constexpr std::int64_t kKeptCeiling = 2LL << 30;
    static constexpr int kKeptFiles = 256;
    // What is kept for the open file `fd` heard in `heardAs`: true with *r filled, or false.
    static bool kept(int fd, const WaveFormatEx& heardAs, LoudnessResult* r);
    // Keeps a measurement made elsewhere (while joining), and counts it as one that ran.
    static void keep(int fd, const WaveFormatEx& heardAs, const LoudnessResult& r);
    // How many measurements really ran in a worker (not taken from what was kept).
    static int measuredCount();
};

}  // namespace corvane::media
