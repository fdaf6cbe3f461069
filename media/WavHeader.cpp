#include "media/WavHeader.h"

#include <cstring>

namespace corvane::media {

std::uint64_t WavHeader::riffSize(std::uint64_t dataBytes) {
    // "WAVE" + JUNK/ds64 chunk + fmt chunk + data chunk header + data + pad
    return 4 + (8 + 28) + (8 + 16) + 8 + dataBytes + (dataBytes & 1);
}

bool WavHeader::needsRf64(std::uint64_t dataBytes, std::uint64_t riffLimit) {
    return riffSize(dataBytes) > riffLimit || dataBytes > 0xFFFFFFFFull;
}

std::vector<std::uint8_t> WavHeader::build(std::uint64_t dataBytes, std::uint64_t riffLimit) const {
    std::vector<std::uint8_t> h(kSize, 0);
    std::uint8_t* p = h.data();
    const bool rf64 = needsRf64(dataBytes, riffLimit);
    const std::uint64_t riff = riffSize(dataBytes);
    std::memcpy(p + 0, rf64 ? "RF64" : "RIFF", 4);
    putLe32(p + 4, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(riff));
    std::memcpy(p + 8, "WAVE", 4);
    std::memcpy(p + 12, rf64 ? "ds64" : "JUNK", 4);
    putLe32(p + 16, 28);
    if (rf64) {
        putLe64(p + 20, riff);
        putLe64(p + 28, dataBytes);
        putLe64(p + 36, format_.nBlockAlign ? dataBytes / format_.nBlockAlign : 0);
        putLe32(p + 44, 0);  // no table entries
    }
    std::memcpy(p + 48, "fmt ", 4);
    putLe32(p + 52, 16);
    putLe16(p + 56, WAVE_FORMAT_PCM);
    putLe16(p + 58, format_.nChannels);
    putLe32(p + 60, format_.nSamplesPerSec);
    putLe32(p + 64, format_.nAvgBytesPerSec);
    putLe16(p + 68, format_.nBlockAlign);
    putLe16(p + 70, format_.wBitsPerSample);
    std::memcpy(p + 72, "data", 4);
    putLe32(p + 76, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataBytes));
    return h;
}

}  // namespace corvane::media
