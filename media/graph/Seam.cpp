// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/Seam.h"

#include <algorithm>
#include <cmath>

namespace corvane::media {

std::int64_t Seam::frames(std::uint32_t rate) const {
    if (!isOn()) return 0;
    return static_cast<std::int64_t>(std::llround(seconds * rate));
}

std::vector<std::int64_t> crossfadeLengths(const std::vector<std::int64_t>& lengths, std::int64_t wanted) {
    std::vector<std::int64_t> fades;
    for (std::size_t i = 1; i < lengths.size(); ++i) {
        const std::int64_t shorter = std::max<std::int64_t>(0, std::min(lengths[i - 1], lengths[i]));
        fades.push_back(std::clamp<std::int64_t>(wanted, 0, shorter / 2));
    }
    return fades;
}

}  // namespace corvane::media
