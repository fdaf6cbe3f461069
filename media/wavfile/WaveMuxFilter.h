// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "media/graph/Filter.h"
#include "media/wavfile/WavHeader.h"

namespace corvane::media {

// "Wave Mux": turns PCM into a WAV byte stream. The header goes out first with no data,
// its sizes are brought up to date about once a second and at the end, so an interrupted
// render still leaves a valid file holding what was written. When the render ends (done or
// stopped) a cue point and label per source it reached follow the data.
class WaveMuxFilter : public Filter, public ConfigInterleaving {
  public:
    static HRESULT Create(std::unique_ptr<WaveMuxFilter>& out);
    WaveMuxFilter();

    ConfigInterleaving* queryConfigInterleaving() override { return this; }
    HRESULT put_Mode(int mode) override;

    std::optional<MediaType> proposedType(const Pin* output) const override;
    bool acceptsType(const Pin* input, const MediaType& type) const override;
    void connected(Pin* pin) override;

    HRESULT start() override;
    HRESULT receive(Pin* input, const MediaSample& sample) override;
    HRESULT endOfStream(Pin* input) override;
    HRESULT stop() override;

    std::uint64_t dataBytes() const { return dataBytes_; }

    // The join's length before the first byte: it picks the header's layout. Without a plan
    // the RF64 placeholder is kept.
    void setPlannedDataBytes(std::uint64_t bytes) { planned_ = bytes; }
    // One title (UTF-8) per source, in timeline order; markers are written only when set.
    void setMarkerTitles(std::vector<std::string> titles);
    // A Broadcast WAV `bext` chunk before the data; none when not set. Its time reference is
    // at the output's rate (convertTimeReference).
    void setBroadcastExtension(std::optional<BroadcastExtension> bext) { bext_ = std::move(bext); }
    // Why the last failure of the multiplexer itself happened.
    const QString& detail() const { return detail_; }

    // The RIFF size beyond which RF64 is written; tests lower it.
    static void setRiffLimit(std::uint64_t limit);
    static std::uint64_t riffLimit();
    // How often the header is brought up to date while data flows (1 s); tests shorten it.
    static void setHeaderInterval(std::chrono::milliseconds interval);

  private:
    HRESULT writeHeader(bool first = false, bool meanwhile = false);
    HRESULT finish();
    HRESULT salvage();
    std::vector<std::uint8_t> markerChunks() const;

    Pin* in_;
    Pin* out_;
    WaveFormatEx format_;
    WavHeader header_{WaveFormatEx{}, WavHeader::Layout::Reserved};
    std::optional<std::uint64_t> planned_;
    std::optional<std::vector<std::string>> titles_;
    std::optional<BroadcastExtension> bext_;
    std::uint64_t trailing_ = 0;  // bytes of chunks after the data
    QString detail_;
    int interleaving_ = INTERLEAVE_NONE;
    std::uint64_t dataBytes_ = 0;
    bool open_ = false;
    bool failed_ = false;  // a write downstream failed
    bool placedAhead_ = false;
    std::chrono::steady_clock::time_point lastHeader_;
};

}  // namespace corvane::media
