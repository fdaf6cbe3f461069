// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/MediaType.h"

#include <algorithm>
#include <bit>
#include <iterator>

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

std::uint64_t getLe64(const std::uint8_t* p) {
    return getLe32(p) | (static_cast<std::uint64_t>(getLe32(p + 4)) << 32);
}

namespace {

// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT: the format tag in 32 bits, then these twelve bytes.
constexpr std::uint8_t kSubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                             0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// The speaker positions WAVEFORMATEXTENSIBLE names (front left .. top back right).
constexpr std::uint32_t kKnownSpeakers = 0x3FFFF;

}  // namespace

std::vector<std::uint8_t> WaveFormatEx::toBytes() const {
    const bool extensible = wFormatTag == WAVE_FORMAT_EXTENSIBLE;
    std::vector<std::uint8_t> b(extensible ? kExtensibleSize : kSize);
    putLe16(&b[0], wFormatTag);
    putLe16(&b[2], nChannels);
    putLe32(&b[4], nSamplesPerSec);
    putLe32(&b[8], nAvgBytesPerSec);
    putLe16(&b[12], nBlockAlign);
    putLe16(&b[14], wBitsPerSample);
    putLe16(&b[16], cbSize);
    if (extensible) {
        putLe16(&b[18], wValidBitsPerSample);
        putLe32(&b[20], dwChannelMask);
        putLe32(&b[24], subFormat);
        std::copy(std::begin(kSubFormatTail), std::end(kSubFormatTail), b.begin() + 28);
    }
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
    if (w.wFormatTag == WAVE_FORMAT_EXTENSIBLE && w.cbSize >= 22 && b.size() >= kExtensibleSize) {
        w.wValidBitsPerSample = getLe16(&b[18]);
        w.dwChannelMask = getLe32(&b[20]);
        // Only the standard sub-formats built on a tag are known; others stay 0.
        const std::uint32_t tag = getLe32(&b[24]);
        if (tag <= 0xFFFF &&
            std::equal(std::begin(kSubFormatTail), std::end(kSubFormatTail), b.begin() + 28))
            w.subFormat = static_cast<std::uint16_t>(tag);
    }
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

bool WaveFormatEx::isSupportedFormat() const {
    if (wFormatTag != WAVE_FORMAT_EXTENSIBLE) return isSupportedPcm();
    if (cbSize != 22 || nChannels < 1 || nChannels > kMaxChannels) return false;
    if (subFormat == WAVE_FORMAT_PCM) {
        if (wBitsPerSample != 8 && wBitsPerSample != 16 && wBitsPerSample != 24 &&
            wBitsPerSample != 32)
            return false;
    } else if (subFormat != WAVE_FORMAT_IEEE_FLOAT || wBitsPerSample != 32) {
        return false;
    }
    if (wValidBitsPerSample < 1 || wValidBitsPerSample > wBitsPerSample) return false;
    if ((dwChannelMask & ~kKnownSpeakers) != 0 || std::popcount(dwChannelMask) > nChannels)
        return false;
    if (nSamplesPerSec < 1000 || nSamplesPerSec > 768000) return false;
    return nBlockAlign == nChannels * (wBitsPerSample / 8) &&
           nAvgBytesPerSec == nBlockAlign * nSamplesPerSec;
}

std::uint32_t WaveFormatEx::defaultChannelMask(int channels) {
    // FL FR FC LFE BL BR FLC FRC BC SL SR: bits 0 to 10.
    constexpr std::uint32_t masks[] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};
    return channels >= 1 && channels <= kMaxChannels ? masks[channels] : 0;
}

namespace {

WaveFormatEx described(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits,
                       std::uint16_t tag, std::optional<std::uint32_t> channelMask) {
    WaveFormatEx w;
    w.nChannels = channels;
    w.nSamplesPerSec = rate;
    w.wBitsPerSample = bits;
    w.nBlockAlign = static_cast<std::uint16_t>(channels * (bits / 8));
    w.nAvgBytesPerSec = w.nBlockAlign * rate;
    const std::uint32_t mask = channelMask.value_or(WaveFormatEx::defaultChannelMask(channels));
    if (tag == WAVE_FORMAT_PCM && channels <= 2 && bits <= 16 &&
        mask == WaveFormatEx::defaultChannelMask(channels))
        return w;  // the classic form, byte for byte as the sixteen formats are described
    w.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    w.cbSize = 22;
    w.wValidBitsPerSample = bits;
    w.dwChannelMask = mask;
    w.subFormat = tag;
    return w;
}

}  // namespace

WaveFormatEx WaveFormatEx::pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits,
                               std::optional<std::uint32_t> channelMask) {
    return described(rate, channels, bits, WAVE_FORMAT_PCM, channelMask);
}

WaveFormatEx WaveFormatEx::ieeeFloat(std::uint32_t rate, std::uint16_t channels,
                                     std::optional<std::uint32_t> channelMask) {
    return described(rate, channels, 32, WAVE_FORMAT_IEEE_FLOAT, channelMask);
}

std::uint16_t WaveFormatEx::sampleFormatTag() const {
    return wFormatTag == WAVE_FORMAT_EXTENSIBLE ? subFormat : wFormatTag;
}

std::uint32_t WaveFormatEx::channelMask() const {
    return wFormatTag == WAVE_FORMAT_EXTENSIBLE ? dwChannelMask : defaultChannelMask(nChannels);
}

MediaType MediaType::pcm(const WaveFormatEx& wfx) {
    MediaType mt;
    mt.majortype = MajorType::Audio;
    mt.subtype = wfx.isFloat() ? SubType::IEEE_FLOAT : SubType::PCM;
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
