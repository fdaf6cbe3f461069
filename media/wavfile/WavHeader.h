// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "media/graph/MediaType.h"
#include "media/wavfile/BroadcastExtension.h"

namespace corvane::media {

// The RIFF/WAVE header of our output, in one of two layouts chosen before the first byte:
// - Canonical: the classic 44 bytes (RIFF, fmt, data) that simple readers expect; its sizes
//   must fit 32 bits, so it is only used when the planned output is well inside them.
// - Reserved: RIFF, a 28-byte JUNK chunk kept for ds64, fmt, data (80 bytes). When the sizes
//   outgrow 32 bits the same bytes become RF64 (EBU Tech 3306): "RF64", ds64 in place of
//   JUNK and the 32-bit sizes set to 0xFFFFFFFF.
// The sizes above are those of the classic PCM formats. WAVE_FORMAT_EXTENSIBLE has a 40-byte
// fmt chunk; float adds a `fact` chunk (sample frames) after it, and a Broadcast WAV `bext`
// chunk, when given, follows before the data, as recorders place it.
// Chunks after the data (markers) count in the RIFF size as `trailing` bytes.
class WavHeader {
  public:
    enum class Layout { Canonical, Reserved };
    static constexpr std::size_t kCanonicalSize = 44;
    static constexpr std::size_t kReservedSize = 80;
    static constexpr std::uint64_t kMaxRiffSize = 0xFFFFFFFFull;

    explicit WavHeader(const WaveFormatEx& format, Layout layout = Layout::Canonical,
                       const std::optional<BroadcastExtension>& bext = std::nullopt);

    // The header for a planned output: its layout by layoutFor() with this header's size.
    static WavHeader forPlan(const WaveFormatEx& format, std::uint64_t plannedDataBytes,
                             std::uint64_t trailing, std::uint64_t riffLimit = kMaxRiffSize,
                             const std::optional<BroadcastExtension>& bext = std::nullopt);

    Layout layout() const { return layout_; }
    // All bytes before the samples.
    std::size_t size() const;

    // The header for `dataBytes` of samples (a pad byte follows odd-sized data) and `trailing`
    // bytes of chunks after them. riffLimit: the largest RIFF size before RF64 is used (lowered
    // by tests); a canonical header is only built for sizes that fit().
    std::vector<std::uint8_t> build(std::uint64_t dataBytes, std::uint64_t riffLimit = kMaxRiffSize,
                                    std::uint64_t trailing = 0) const;
    std::uint64_t riffSize(std::uint64_t dataBytes, std::uint64_t trailing = 0) const;
    // Whether the 32-bit sizes can state these sizes.
    bool fits(std::uint64_t dataBytes, std::uint64_t riffLimit = kMaxRiffSize,
              std::uint64_t trailing = 0) const;
    // Reserved layout only: whether the sizes have outgrown 32 bits.
    bool needsRf64(std::uint64_t dataBytes, std::uint64_t riffLimit = kMaxRiffSize,
                   std::uint64_t trailing = 0) const;

    // The layout for a planned output. Sources may decode a little longer than they measured,
    // so the canonical header is chosen only with a sixteenth of the limit to spare.
    // canonicalSize: the header's size without the RF64 reservation.
    static Layout layoutFor(std::uint64_t plannedDataBytes, std::uint64_t trailing,
                            std::uint64_t riffLimit = kMaxRiffSize,
                            std::size_t canonicalSize = kCanonicalSize);

  private:
    std::size_t fmtSize() const;

    WaveFormatEx format_;
    Layout layout_;
    std::vector<std::uint8_t> bext_;  // the whole chunk, or empty
};

}  // namespace corvane::media
