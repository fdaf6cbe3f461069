#pragma once

#include <chrono>
#include <cstdint>

#include "media/Filter.h"
#include "media/WavHeader.h"

namespace corvane::media {

// "Wave Mux": turns PCM into a WAV byte stream. The header goes out first with no data,
// its sizes are brought up to date about once a second and at the end, so an interrupted
// render still leaves a valid file holding what was written.
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

    // The RIFF size beyond which RF64 is written; tests lower it.
    static void setRiffLimit(std::uint64_t limit);
    static std::uint64_t riffLimit();
    // How often the header is brought up to date while data flows (1 s); tests shorten it.
    static void setHeaderInterval(std::chrono::milliseconds interval);

  private:
    HRESULT writeHeader(bool first = false);
    HRESULT finish();
    HRESULT salvage();

    Pin* in_;
    Pin* out_;
    WaveFormatEx format_;
    int interleaving_ = INTERLEAVE_NONE;
    std::uint64_t dataBytes_ = 0;
    bool open_ = false;
    bool failed_ = false;  // a write downstream failed
    std::chrono::steady_clock::time_point lastHeader_;
};

}  // namespace corvane::media
