// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

namespace corvane::media {

// What lies between two files of a join.
struct Seam {
    enum class Kind { Nothing, Silence, Crossfade };
    enum class Curve { EqualPower, Linear };

    Kind kind = Kind::Nothing;
    double seconds = 0;  // length of the silence or the crossfade
    Curve curve = Curve::EqualPower;

    static constexpr double kMinSeconds = 0.1;
    static constexpr double kMaxSeconds = 30.0;
    static constexpr double kDefaultSilence = 2.0;
    static constexpr double kDefaultCrossfade = 3.0;

    // The length in whole output frames, rounded once so every seam of a join is the same.
    std::int64_t frames(std::uint32_t rate) const;
    bool isOn() const { return kind != Kind::Nothing && seconds > 0; }
};

// The crossfade at each seam of sources that fill `lengths` frames: the wanted length, or
// half of the shorter of the two sources where that is less (a source's fade-in and
// fade-out then never overlap).
std::vector<std::int64_t> crossfadeLengths(const std::vector<std::int64_t>& lengths, std::int64_t wanted);

}  // namespace corvane::media
