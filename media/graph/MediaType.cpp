#include "media/graph/MediaType.h"

namespace corvane::media {

void putLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void putLe64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint16_t getLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t getLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::vector<std::uint8_t> WaveFormatEx::toBytes() const {
    std::vector<std::uint8_t> b(kSize);
    putLe16(&b[0], wFormatTag);
    putLe16(&b[2], nChannels);
    putLe32(&b[4], nSamplesPerSec);
    putLe32(&b[8], nAvgBytesPerSec);
    putLe16(&b[12], nBlockAlign);
    putLe16(&b[14], wBitsPerSample);
    putLe16(&b[16], cbSize);
    return b;
}

std::optional<WaveFormatEx> WaveFormatEx::fromBytes(const std::vector<std::uint8_t>& b) {
    if (b.size() < 16) return std::nullopt;
    WaveFormatEx w;
    w.wFormatTag = getLe16(&b[0]);
    w.nChannels = getLe16(&b[2]);
    w.nSamplesPerSec = getLe32(&b[4]);
    w.nAvgBytesPerSec = getLe32(&b[8]);
    w.nBlockAlign = getLe16(&b[12]);
    w.wBitsPerSample = getLe16(&b[14]);
    w.cbSize = b.size() >= kSize ? getLe16(&b[16]) : 0;
    return w;
}

bool WaveFormatEx::isSupportedPcm() const {
    if (wFormatTag != WAVE_FORMAT_PCM) return false;
    if (nChannels != 1 && nChannels != 2) return false;
    if (wBitsPerSample != 8 && wBitsPerSample != 16) return false;
    if (nSamplesPerSec < 1000 || nSamplesPerSec > 768000) return false;
    return nBlockAlign == nChannels * (wBitsPerSample / 8) &&
           nAvgBytesPerSec == nBlockAlign * nSamplesPerSec;
}

MediaType MediaType::pcm(const WaveFormatEx& wfx) {
    MediaType mt;
    mt.majortype = MajorType::Audio;
    mt.subtype = SubType::PCM;
    mt.bFixedSizeSamples = true;
    mt.bTemporalCompression = false;
    mt.lSampleSize = wfx.nBlockAlign;
    mt.formattype = FormatType::WaveFormatEx;
    mt.format = wfx.toBytes();
    return mt;
}

std::optional<WaveFormatEx> MediaType::waveFormat() const {
    if (formattype != FormatType::WaveFormatEx) return std::nullopt;
    return WaveFormatEx::fromBytes(format);
}

}  // namespace corvane::media
