#pragma once

#include <cstdint>
#include <vector>

#include "media/MediaType.h"

namespace corvane::media {

// The RIFF/WAVE header of our output: RIFF, a 28-byte JUNK chunk reserved for ds64, fmt
// (16-byte PCM), data. When the sizes outgrow 32 bits the same bytes become RF64 (EBU Tech
// 3306): "RF64", ds64 in place of JUNK and the 32-bit sizes set to 0xFFFFFFFF.
class WavHeader {
public:
    static constexpr std::size_t kSize = 80;
    static constexpr std::size_t kDataOffset = kSize;
    static constexpr std::uint64_t kMaxRiffSize = 0xFFFFFFFFull;

    explicit WavHeader(const WaveFormatEx& format) : format_(format) {}

    // The header for `dataBytes` of samples; a pad byte follows odd-sized data.
    // riffLimit: the largest RIFF size before RF64 is used (lowered by tests).
    std::vector<std::uint8_t> build(std::uint64_t dataBytes,
                                    std::uint64_t riffLimit = kMaxRiffSize) const;
    static bool needsRf64(std::uint64_t dataBytes, std::uint64_t riffLimit = kMaxRiffSize);
    static std::uint64_t riffSize(std::uint64_t dataBytes);

private:
    WaveFormatEx format_;
};

}  // namespace corvane::media
