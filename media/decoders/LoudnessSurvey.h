// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "media/decoders/Loudness.h"
#include "media/graph/MediaType.h"

namespace corvane::media {

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
    static LoudnessResult measure(const std::string& path, const WaveFormatEx& heardAs = {}, bool truePeak = true,
                                  const std::atomic<bool>* cancel = nullptr,
                                  const std::function<void(std::int64_t at)>& read = {});
    // Every file, in parallel; results in the order of `paths`. done(index, result) is called,
    // from the measuring threads, as each file is done, and read(index, at) as it goes.
    static std::vector<LoudnessResult> measureAll(const std::vector<std::string>& paths, const WaveFormatEx& heardAs,
                                                  bool truePeak = true,
                                                  const std::function<void(std::size_t index, const LoudnessResult&)>& done = {},
                                                  const std::atomic<bool>* cancel = nullptr,
                                                  const std::function<void(std::size_t index, std::int64_t at)>& read = {});
    // What is kept for the open file `fd` heard in `heardAs`: true with *r filled, or false.
    static bool kept(int fd, const WaveFormatEx& heardAs, LoudnessResult* r);
    // Keeps a measurement made elsewhere (while joining), and counts it as one that ran.
    static void keep(int fd, const WaveFormatEx& heardAs, const LoudnessResult& r);
    // How many measurements really ran in a worker (not taken from what was kept).
    static int measuredCount();
};

}  // namespace corvane::media
