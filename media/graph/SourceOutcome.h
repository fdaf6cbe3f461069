// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "media/HResult.h"
#include "media/decoders/Loudness.h"

namespace corvane::media {

// What one source of a join really delivered to the output.
struct SourceOutcome {
    std::string path;             // the file name's bytes
    std::int64_t startFrame = 0;  // output frame where its audio begins
    std::int64_t frames = 0;      // output frames it filled
    REFERENCE_TIME measured = 0;  // its length when it was added
    REFERENCE_TIME decoded = 0;   // the length it decoded to this time
    bool complete = false;        // the writer reached its end
    bool differs = false;         // decoded more than one codec frame away from `measured`
    bool matched = false;         // matched to a loudness on its own while joining
    LoudnessResult loudness;      // then its measurement
};

}  // namespace corvane::media
