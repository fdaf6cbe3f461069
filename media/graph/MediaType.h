#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace corvane::media {

enum class MajorType { Null, Audio, Stream };
enum class SubType { Null, PCM, Wave };
enum class FormatType { Null, WaveFormatEx };

constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

// The PCM description, laid out like the platform's WAVEFORMATEX (18 bytes, little-endian).
struct WaveFormatEx {
    std::uint16_t wFormatTag = WAVE_FORMAT_PCM;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;

    static constexpr std::size_t kSize = 18;
    std::vector<std::uint8_t> toBytes() const;
    static std::optional<WaveFormatEx> fromBytes(const std::vector<std::uint8_t>& bytes);
    // PCM with consistent block alignment and byte rate, 8 or 16 bits, 1 or 2 channels.
    bool isSupportedPcm() const;
    bool operator==(const WaveFormatEx&) const = default;
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

}  // namespace corvane::media
