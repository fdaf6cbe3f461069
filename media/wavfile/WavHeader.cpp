#include "media/wavfile/WavHeader.h"

#include <cstring>

namespace corvane::media {

std::uint64_t WavHeader::riffSize(std::uint64_t dataBytes, std::uint64_t trailing) const {
    // Everything after the RIFF size field: "WAVE", the chunks before the data, the data
    // chunk's header, the data and its pad byte, the chunks after it.
    return (size() - 8) + dataBytes + (dataBytes & 1) + trailing;
}

bool WavHeader::fits(std::uint64_t dataBytes, std::uint64_t riffLimit,
                     std::uint64_t trailing) const {
    return dataBytes <= kMaxRiffSize && riffSize(dataBytes, trailing) <= riffLimit;
}

bool WavHeader::needsRf64(std::uint64_t dataBytes, std::uint64_t riffLimit,
                          std::uint64_t trailing) const {
    return layout_ == Layout::Reserved && !fits(dataBytes, riffLimit, trailing);
}

WavHeader::Layout WavHeader::layoutFor(std::uint64_t plannedDataBytes, std::uint64_t trailing,
                                       std::uint64_t riffLimit) {
    const std::uint64_t margin = riffLimit / 16;
    const WavHeader canonical(WaveFormatEx{}, Layout::Canonical);
    if (plannedDataBytes > kMaxRiffSize - margin) return Layout::Reserved;
    return canonical.fits(plannedDataBytes + margin, riffLimit, trailing) ? Layout::Canonical
                                                                          : Layout::Reserved;
}

std::vector<std::uint8_t> WavHeader::build(std::uint64_t dataBytes, std::uint64_t riffLimit,
                                           std::uint64_t trailing) const {
    std::vector<std::uint8_t> h(size(), 0);
    std::uint8_t* p = h.data();
    const bool rf64 = needsRf64(dataBytes, riffLimit, trailing);
    const std::uint64_t riff = riffSize(dataBytes, trailing);
    std::memcpy(p + 0, rf64 ? "RF64" : "RIFF", 4);
    putLe32(p + 4, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(riff));
    std::memcpy(p + 8, "WAVE", 4);
    if (layout_ == Layout::Reserved) {
        std::memcpy(p + 12, rf64 ? "ds64" : "JUNK", 4);
        putLe32(p + 16, 28);
        if (rf64) {
            putLe64(p + 20, riff);
            putLe64(p + 28, dataBytes);
            putLe64(p + 36, format_.nBlockAlign ? dataBytes / format_.nBlockAlign : 0);
            putLe32(p + 44, 0);  // no table entries
        }
        p += 36;
    }
    std::memcpy(p + 12, "fmt ", 4);
    putLe32(p + 16, 16);
    putLe16(p + 20, WAVE_FORMAT_PCM);
    putLe16(p + 22, format_.nChannels);
    putLe32(p + 24, format_.nSamplesPerSec);
    putLe32(p + 28, format_.nAvgBytesPerSec);
    putLe16(p + 32, format_.nBlockAlign);
    putLe16(p + 34, format_.wBitsPerSample);
    std::memcpy(p + 36, "data", 4);
    putLe32(p + 40, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataBytes));
    return h;
}

}  // namespace corvane::media
