// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane::media {

// A marker in the WAV file: where a source's audio begins, and its name.
struct CuePoint {
    std::uint32_t frame = 0;  // sample frame of the data chunk
    std::string label;        // UTF-8
};

// The chunks that follow the data: "cue " with one point per marker (ids from 1) and a
// LIST of type "adtl" with one "labl" per point; each chunk padded to an even size. Empty
// without points.
std::vector<std::uint8_t> buildCueChunks(const std::vector<CuePoint>& points);
// Their size, without building them.
std::uint64_t cueChunksSize(const std::vector<std::string>& labels);

// A title fit for a label, a cue sheet and a label track: one line, no control characters,
// surrounding blanks dropped, at most kMaxLabelLength UTF-16 units.
constexpr int kMaxLabelLength = 256;
QString cleanLabel(const QString& text);

}  // namespace corvane::media
