// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/wavfile/WavHeader.h"

#include <cstring>

namespace corvane::media {

namespace {
constexpr std::size_t kReservation = WavHeader::kReservedSize - WavHeader::kCanonicalSize;
constexpr std::size_t kFactSize = 12;
}  // namespace

WavHeader::WavHeader(const WaveFormatEx& format, Layout layout,
                     const std::optional<BroadcastExtension>& bext)
    : format_(format),
      layout_(layout),
      bext_(bext ? bext->toChunk() : std::vector<std::uint8_t>{}) {}

WavHeader WavHeader::forPlan(const WaveFormatEx& format, std::uint64_t plannedDataBytes,
                             std::uint64_t trailing, std::uint64_t riffLimit,
                             const std::optional<BroadcastExtension>& bext) {
    WavHeader h(format, Layout::Canonical, bext);
    h.layout_ = layoutFor(plannedDataBytes, trailing, riffLimit, h.size());
    return h;
}

std::size_t WavHeader::fmtSize() const {
    // The classic formats keep their 16 bytes (no cbSize), as they always have.
    return format_.wFormatTag == WAVE_FORMAT_EXTENSIBLE ? WaveFormatEx::kExtensibleSize : 16;
}

std::size_t WavHeader::size() const {
    return 12 + (layout_ == Layout::Reserved ? kReservation : 0) + 8 + fmtSize() +
           (format_.isFloat() ? kFactSize : 0) + bext_.size() + 8;
}

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
                                       std::uint64_t riffLimit, std::size_t canonicalSize) {
    const std::uint64_t margin = riffLimit / 16;
    if (plannedDataBytes > kMaxRiffSize - margin) return Layout::Reserved;
    const std::uint64_t data = plannedDataBytes + margin;
    const std::uint64_t riff = (canonicalSize - 8) + data + (data & 1) + trailing;
    return riff <= riffLimit ? Layout::Canonical : Layout::Reserved;
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
    putLe32(p + 16, static_cast<std::uint32_t>(fmtSize()));
    if (format_.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        const std::vector<std::uint8_t> fmt = format_.toBytes();
        std::memcpy(p + 20, fmt.data(), fmt.size());
    } else {
        putLe16(p + 20, WAVE_FORMAT_PCM);
        putLe16(p + 22, format_.nChannels);
        putLe32(p + 24, format_.nSamplesPerSec);
        putLe32(p + 28, format_.nAvgBytesPerSec);
        putLe16(p + 32, format_.nBlockAlign);
        putLe16(p + 34, format_.wBitsPerSample);
    }
    p += 20 + fmtSize();
    if (format_.isFloat()) {
        // Sample frames; with RF64 they are stated in ds64.
        const std::uint64_t frames = format_.nBlockAlign ? dataBytes / format_.nBlockAlign : 0;
        std::memcpy(p, "fact", 4);
        putLe32(p + 4, 4);
        putLe32(p + 8, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(frames));
        p += kFactSize;
    }
    if (!bext_.empty()) {
        std::memcpy(p, bext_.data(), bext_.size());
        p += bext_.size();
    }
    std::memcpy(p, "data", 4);
    putLe32(p + 4, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataBytes));
    return h;
}

}  // namespace corvane::media
