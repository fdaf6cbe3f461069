// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "media/decoders/FrameCounter.h"

namespace corvane::media {

// One audio packet as libogg delimits it: enough to tell it is the same packet the demuxer
// gives, and what it counts.
struct OggMark {
    int size = 0;
    std::uint64_t print = 0;
    PacketCount count;
};

// A fingerprint of a packet's bytes at both ends: packets are told apart by where they
// start and end, the fingerprint merely confirms it.
std::uint64_t packetPrint(const std::uint8_t* data, int size);

// An Ogg file of one logical stream, read through with libogg and counted packet by packet:
// far cheaper than demuxing every packet, and of no use when anything is irregular.
struct OggTally {
    bool whole = false;          // one link, every page whole with its checksum right, all counted
    std::int64_t packets = 0;    // audio packets, the stream's headers not included
    std::vector<OggMark> first;  // the first of them
    std::deque<OggMark> last;    // the last of them
    std::int64_t samples = 0;    // counted in the packets after `first`
    std::int64_t largest = 0;    // the largest count of a packet
    int rate = 0;
};

// Reads the file from its start: `headers` header packets, then audio packets, whose first
// `head` and last `tail` are kept.
OggTally tallyOgg(int fd, const AVCodecParameters* par, int headers, std::size_t head,
                  std::size_t tail);

}  // namespace corvane::media
