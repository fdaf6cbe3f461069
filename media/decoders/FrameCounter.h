// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace corvane::media {

// Samples a packet stands for, read from the codec's own framing without decoding it.
struct PacketCount {
    int rate = 0;
    std::int64_t samples = 0;
    // The packet opens another stream chained after the first (Ogg links): what the decoder
    // makes of the seam is not in the framing.
    bool linkStart = false;
};

// Counts each packet of one stream from its codec's framing: PCM from its size, MPEG audio,
// AC-3, DTS and FLAC from FFmpeg's parsers, AAC from its frames, Opus from each packet's TOC,
// Vorbis from each packet's mode, WavPack from its block headers, and codecs of one fixed
// frame length (ALAC, TTA, APE) from that length. What the decoder makes of the first and
// the last packets is the caller's to learn by decoding them.
class FrameCounter {
public:
    FrameCounter();
    ~FrameCounter();
    FrameCounter(const FrameCounter&) = delete;
    FrameCounter& operator=(const FrameCounter&) = delete;

    // Whether this codec can be counted at all; the rest must be decoded in full.
    static bool canCount(AVCodecID id);
    // Codecs whose every packet holds the same number of samples, but the last.
    static bool fixedFrames(AVCodecID id);

    bool open(const AVCodecParameters* par);
    // The fixed frame length, learnt from the decoder.
    void setFrameLength(int rate, std::int64_t samples) { fixed_ = {rate, samples}; }
    // The packet's samples; samples < 0 when its framing cannot be read.
    PacketCount count(const AVPacket* pkt);
    // What a parser still holds at the end of the stream.
    PacketCount flush();

    // Codecs whose raw stream this counter can split into frames itself, as the demuxer's
    // parser would: reading them unparsed saves parsing every frame twice.
    static bool splitsRaw(AVCodecID id);
    // Splits the next bytes of a raw stream (nullptr, 0: its end) into frames, handing each
    // with its samples to `frame`; false when `frame` refused one.
    bool split(const std::uint8_t* data, int size,
               const std::function<bool(const std::uint8_t*, int, PacketCount)>& frame);

private:
    PacketCount countOpus(const AVPacket* pkt) const;
    PacketCount countAac(const AVPacket* pkt) const;
    PacketCount countWavPack(const AVPacket* pkt) const;
    PacketCount countVorbis(const AVPacket* pkt);
    PacketCount parse(const std::uint8_t* data, int size);

    struct Parser;
    std::unique_ptr<Parser> parser_;
    AVCodecID id_ = AV_CODEC_ID_NONE;
    int rate_ = 0;
    int pcmBits_ = 0;
    PacketCount fixed_;
    std::vector<std::uint8_t> vorbisHeaders_[3];  // a chained link's, until its setup arrives
};

}  // namespace corvane::media
