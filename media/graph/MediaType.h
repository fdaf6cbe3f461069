// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace corvane::media {

enum class MajorType { Null, Audio, Stream };
enum class SubType { Null, PCM, IEEE_FLOAT, Wave };
enum class FormatType { Null, WaveFormatEx };

constexpr std::uint16_t WAVE_FORMAT_PCM = 1;
constexpr std::uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr std::uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// The PCM description, laid out like the platform's WAVEFORMATEX (18 bytes, little-endian),
// or WAVEFORMATEXTENSIBLE (40 bytes) when wFormatTag is WAVE_FORMAT_EXTENSIBLE: more than two
// channels, more than 16 bits, or float. The sixteen classic formats stay plain PCM.
struct WaveFormatEx {
    std::uint16_t wFormatTag = WAVE_FORMAT_PCM;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
    // WAVE_FORMAT_EXTENSIBLE only (cbSize 22). The sub-format GUID is the standard one built
    // on a format tag (PCM or IEEE float): the tag is kept here.
    std::uint16_t wValidBitsPerSample = 0;
    std::uint32_t dwChannelMask = 0;
    std::uint16_t subFormat = 0;

    static constexpr std::size_t kSize = 18;
    static constexpr std::size_t kExtensibleSize = 40;
    static constexpr int kMaxChannels = 8;
    std::vector<std::uint8_t> toBytes() const;
    static std::optional<WaveFormatEx> fromBytes(const std::vector<std::uint8_t>& bytes);
    // PCM with consistent block alignment and byte rate, 8 or 16 bits, 1 or 2 channels.
    bool isSupportedPcm() const;
    // What the WAV file can hold: the classic PCM formats above, or WAVE_FORMAT_EXTENSIBLE
    // with 1 to 8 channels of PCM (8, 16, 24 or 32 bits) or 32-bit float, a channel mask of
    // no more speakers than channels, and consistent block alignment and byte rate.
    bool isSupportedFormat() const;

    // Integer samples: the classic form for 1 or 2 channels of 8 or 16 bits in the usual
    // layout, WAVE_FORMAT_EXTENSIBLE otherwise. Without a mask the usual one for the count.
    static WaveFormatEx pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits,
                            std::optional<std::uint32_t> channelMask = std::nullopt);
    // 32-bit float samples, always WAVE_FORMAT_EXTENSIBLE (more than 16 bits).
    static WaveFormatEx ieeeFloat(std::uint32_t rate, std::uint16_t channels,
                                  std::optional<std::uint32_t> channelMask = std::nullopt);
    // The speakers of the usual layout for 1 to 8 channels (mono is front centre; 4 is quad,
    // 6 is 5.1, 8 is 7.1); 0 (none named) for other counts.
    static std::uint32_t defaultChannelMask(int channels);

    // The format the samples are in: WAVE_FORMAT_PCM or WAVE_FORMAT_IEEE_FLOAT.
    std::uint16_t sampleFormatTag() const;
    bool isFloat() const { return sampleFormatTag() == WAVE_FORMAT_IEEE_FLOAT; }
    // The speakers the channels feed, in order; the usual ones for the classic formats.
    std::uint32_t channelMask() const;
    bool operator==(const WaveFormatEx&) const = default;
};

// What one source file's samples are: what an output "same as the files" is chosen from.
struct SourceFormat {
    std::uint32_t rate = 0;
    int channels = 0;
    std::uint64_t channelMask = 0;  // the speakers, when the file names them; 0 when not
    int bits = 0;                   // significant bits per sample (32 or 64 for float)
    bool isFloat = false;
    bool known() const { return rate > 0 && channels > 0 && bits > 0; }
    bool operator==(const SourceFormat&) const = default;
};

struct MediaType {
    MajorType majortype = MajorType::Null;
    SubType subtype = SubType::Null;
    bool bFixedSizeSamples = false;
    bool bTemporalCompression = false;
    std::uint32_t lSampleSize = 0;
    FormatType formattype = FormatType::Null;
    std::vector<std::uint8_t> format;  // the format block (WAVEFORMATEX for audio)

    static MediaType pcm(const WaveFormatEx& wfx);
    std::optional<WaveFormatEx> waveFormat() const;
};

// Little-endian field access by offset, as the format block is addressed.
void putLe16(std::uint8_t* p, std::uint16_t v);
void putLe32(std::uint8_t* p, std::uint32_t v);
void putLe64(std::uint8_t* p, std::uint64_t v);
std::uint16_t getLe16(const std::uint8_t* p);
std::uint32_t getLe32(const std::uint8_t* p);
std::uint64_t getLe64(const std::uint8_t* p);

}  // namespace corvane::media
