// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvane::media {

// The Broadcast WAV `bext` chunk (EBU Tech 3285), as far as a join carries it over from its
// first file: texts as bytes, cut to their fields' widths when written. A new file claims no
// UMID and no loudness of its own: those describe the recording, not the join.
struct BroadcastExtension {
    std::string description;          // 256 bytes
    std::string originator;           // 32
    std::string originatorReference;  // 32
    std::string originationDate;      // 10, "yyyy-mm-dd"
    std::string originationTime;      // 8, "hh:mm:ss"
    std::uint64_t timeReference = 0;  // sample frames since midnight, at the file's rate
    std::string codingHistory;        // free length, CR LF ended rows

    static constexpr std::size_t kFixedSize = 602;  // the body before the coding history

    // The whole chunk: "bext", its size and the body (version 1), always of even size.
    std::vector<std::uint8_t> toChunk() const;
    // The body of a `bext` chunk; nothing when it is too short to hold the time reference.
    static std::optional<BroadcastExtension> fromBody(std::span<const std::uint8_t> body);

    bool operator==(const BroadcastExtension&) const = default;
};

// A time reference at inRate restated at outRate, rounded to the nearest frame.
std::uint64_t convertTimeReference(std::uint64_t frames, std::uint32_t inRate,
                                   std::uint32_t outRate);

// The `bext` chunk of a RIFF/WAVE, RF64 or BW64 file, wherever it lies among the chunks.
// From the file's bytes (all of them, or its start when the chunk comes before the data), or
// from an open file read in place (the data chunk is stepped over, not read).
std::optional<BroadcastExtension> readBroadcastExtension(std::span<const std::uint8_t> wav);
std::optional<BroadcastExtension> readBroadcastExtension(int fd);

}  // namespace corvane::media
