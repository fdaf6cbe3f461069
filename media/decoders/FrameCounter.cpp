// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/FrameCounter.h"

#include <cstring>

extern "C" {
#include <libavcodec/vorbis_parser.h>
#include <libavutil/intreadwrite.h>
}

namespace corvane::media {

namespace {

struct ParserDeleter {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct ContextDeleter {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct VorbisDeleter {
    void operator()(AVVorbisParseContext* p) const { av_vorbis_parse_free(&p); }
};

constexpr int kOpusRate = 48000;
constexpr std::int64_t kAacFrame = 1024;

bool usesParser(AVCodecID id) {
    switch (id) {
        case AV_CODEC_ID_MP1:
        case AV_CODEC_ID_MP2:
        case AV_CODEC_ID_MP3:
        case AV_CODEC_ID_AC3:
        case AV_CODEC_ID_EAC3:
        case AV_CODEC_ID_DTS:
        case AV_CODEC_ID_FLAC:
            return true;
        default:
            return false;
    }
}

}  // namespace

// FFmpeg's parser splits packet bytes into codec frames and reads each frame's own header.
struct FrameCounter::Parser {
    std::unique_ptr<AVCodecParserContext, ParserDeleter> parser;
    std::unique_ptr<AVCodecContext, ContextDeleter> ctx;
    std::unique_ptr<AVVorbisParseContext, VorbisDeleter> vorbis;
    bool counted = false;
    int uncounted = 0;
};

FrameCounter::FrameCounter() = default;
FrameCounter::~FrameCounter() = default;

bool FrameCounter::fixedFrames(AVCodecID id) {
    return id == AV_CODEC_ID_ALAC || id == AV_CODEC_ID_TTA || id == AV_CODEC_ID_APE;
}

bool FrameCounter::canCount(AVCodecID id) {
    return av_get_exact_bits_per_sample(id) > 0 || usesParser(id) || fixedFrames(id) || id == AV_CODEC_ID_AAC ||
           id == AV_CODEC_ID_OPUS || id == AV_CODEC_ID_VORBIS || id == AV_CODEC_ID_WAVPACK;
}

bool FrameCounter::open(const AVCodecParameters* par) {
    id_ = par->codec_id;
    rate_ = par->sample_rate;
    if (!canCount(id_)) return false;
    if (const int bits = av_get_exact_bits_per_sample(id_); bits > 0) {
        pcmBits_ = bits * par->ch_layout.nb_channels;
        return pcmBits_ > 0;
    }
    if (id_ == AV_CODEC_ID_VORBIS) {
        parser_ = std::make_unique<Parser>();
        parser_->vorbis.reset(av_vorbis_parse_init(par->extradata, par->extradata_size));
        return parser_->vorbis != nullptr;
    }
    if (!usesParser(id_)) return true;
    parser_ = std::make_unique<Parser>();
    parser_->parser.reset(av_parser_init(id_));
    parser_->ctx.reset(avcodec_alloc_context3(nullptr));
    if (!parser_->parser || !parser_->ctx || avcodec_parameters_to_context(parser_->ctx.get(), par) < 0) return false;
    // Demuxers hand FLAC over frame by frame; its parser would otherwise wait for more.
    if (id_ == AV_CODEC_ID_FLAC) parser_->parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    return true;
}

PacketCount FrameCounter::count(const AVPacket* pkt) {
    if (pcmBits_ > 0) return {rate_, static_cast<std::int64_t>(pkt->size) * 8 / pcmBits_};
    if (fixedFrames(id_)) return fixed_.samples > 0 ? fixed_ : PacketCount{0, -1};
    switch (id_) {
        case AV_CODEC_ID_OPUS:
            return countOpus(pkt);
        case AV_CODEC_ID_AAC:
            return countAac(pkt);
        case AV_CODEC_ID_WAVPACK:
            return countWavPack(pkt);
        case AV_CODEC_ID_VORBIS:
            return countVorbis(pkt);
        default:
            break;
    }
    PacketCount total{rate_, 0};
    split(pkt->data, pkt->size, [&](const std::uint8_t*, int, PacketCount c) {
        if (c.samples > 0) total = {c.rate, total.samples + c.samples};
        return true;
    });
    return total;
}

PacketCount FrameCounter::flush() {
    PacketCount total{rate_, 0};
    if (!parser_ || !parser_->parser) return total;
    split(nullptr, 0, [&](const std::uint8_t*, int, PacketCount c) {
        if (c.samples > 0) total = {c.rate, total.samples + c.samples};
        return true;
    });
    return total;
}

bool FrameCounter::splitsRaw(AVCodecID id) {
    return id == AV_CODEC_ID_AC3 || id == AV_CODEC_ID_EAC3;
}

bool FrameCounter::split(const std::uint8_t* data, int size,
                         const std::function<bool(const std::uint8_t*, int, PacketCount)>& frame) {
    if (!parser_ || !parser_->parser) return false;
    if (!data || size <= 0) {
        // As the demuxer drains its parser at the end of the file.
        for (int i = 0; i < 16; ++i) {
            std::uint8_t* out = nullptr;
            int outSize = 0;
            av_parser_parse2(parser_->parser.get(), parser_->ctx.get(), &out, &outSize, nullptr, 0,
                             AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (outSize <= 0) break;
            if (!frame(out, outSize, parse(out, outSize))) return false;
        }
        return true;
    }
    while (size > 0) {
        std::uint8_t* out = nullptr;
        int outSize = 0;
        const int used = av_parser_parse2(parser_->parser.get(), parser_->ctx.get(), &out, &outSize,
                                          data, size, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (outSize > 0 && !frame(out, outSize, parse(out, outSize))) return false;
        if (used < 0 || (used == 0 && outSize <= 0)) break;
        data += used;
        size -= used;
    }
    return true;
}

PacketCount FrameCounter::parse(const std::uint8_t*, int outSize) {
    Parser& p = *parser_;
    if (outSize > 0 && p.parser->duration > 0) {
        const int rate = p.ctx->sample_rate > 0 ? p.ctx->sample_rate : rate_;
        // The MPEG audio parser gives no duration until it has seen a header twice; the
        // frames it passed on before are of the same kind as the first it measured.
        const std::int64_t n = p.parser->duration * (1 + (p.counted ? 0 : p.uncounted));
        p.counted = true;
        return {rate, n};
    }
    if (outSize > 0 && !p.counted && p.uncounted < 2) ++p.uncounted;
    return {rate_, 0};
}

// Vorbis packets state their block size by mode, which the setup header of their own link
// defines: a chained link brings its three headers in-band, and counting goes on with them.
PacketCount FrameCounter::countVorbis(const AVPacket* pkt) {
    if (pkt->size > 0 && (pkt->data[0] & 1)) {
        const int type = pkt->data[0] >> 1;  // 0 identification, 1 comment, 2 setup
        if (type > 2 || pkt->size < 7 || std::memcmp(pkt->data + 1, "vorbis", 6) != 0) return {rate_, -1};
        if (type == 0)
            for (auto& h : vorbisHeaders_) h.clear();
        vorbisHeaders_[type].assign(pkt->data, pkt->data + pkt->size);
        if (type == 0 && pkt->size >= 16) {
            const int rate = static_cast<int>(AV_RL32(pkt->data + 12));
            if (rate > 0) rate_ = rate;
        }
        if (type == 2) {
            // Xiph lacing: 2, the first two sizes in 255s, then the three headers.
            std::vector<std::uint8_t> extra{2};
            for (int i = 0; i < 2; ++i) {
                std::size_t n = vorbisHeaders_[i].size();
                for (; n >= 255; n -= 255) extra.push_back(255);
                extra.push_back(static_cast<std::uint8_t>(n));
            }
            for (const auto& h : vorbisHeaders_) extra.insert(extra.end(), h.begin(), h.end());
            extra.resize(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
            parser_->vorbis.reset(av_vorbis_parse_init(extra.data(), static_cast<int>(extra.size()) -
                                                                         AV_INPUT_BUFFER_PADDING_SIZE));
            for (auto& h : vorbisHeaders_) h.clear();
        }
        return {rate_, 0, type == 0};
    }
    if (!parser_->vorbis) return {rate_, -1};
    int flags = 0;
    const int n = av_vorbis_parse_frame_flags(parser_->vorbis.get(), pkt->data, pkt->size, &flags);
    if (n < 0) return {rate_, -1};
    return {rate_, flags ? 0 : n};
}

// RFC 6716, 3.1: the TOC byte gives the frame duration by configuration and the number of
// frames by its code; a multistream packet's first stream speaks for all.
PacketCount FrameCounter::countOpus(const AVPacket* pkt) const {
    if (pkt->size < 1) return {kOpusRate, 0};
    const int toc = pkt->data[0];
    const int config = toc >> 3;
    static constexpr int kSilk[] = {480, 960, 1920, 2880};
    static constexpr int kHybrid[] = {480, 960};
    static constexpr int kCelt[] = {120, 240, 480, 960};
    const int frame = config < 12 ? kSilk[config % 4] : config < 16 ? kHybrid[config % 2] : kCelt[config % 4];
    int frames = 1;
    switch (toc & 3) {
        case 0:
            frames = 1;
            break;
        case 1:
        case 2:
            frames = 2;
            break;
        default:
            if (pkt->size < 2) return {kOpusRate, -1};
            frames = pkt->data[1] & 0x3F;
            break;
    }
    // A packet of no frames or over 120 ms is malformed, and the decoder drops it: so do the
    // headers of a link chained with the same serial number, which arrive as packets.
    if (frames == 0 || frames * frame > kOpusRate / 1000 * 120)
        return {kOpusRate, 0, pkt->size >= 8 && std::memcmp(pkt->data, "OpusHead", 8) == 0};
    return {kOpusRate, static_cast<std::int64_t>(frames) * frame};
}

// ADTS states each frame's rate and its raw blocks; a frame cut short by the end of the file
// is no frame. Other containers carry one raw block per packet.
PacketCount FrameCounter::countAac(const AVPacket* pkt) const {
    static constexpr int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                     16000, 12000, 11025, 8000,  7350};
    const std::uint8_t* b = pkt->data;
    if (pkt->size < 7 || b[0] != 0xFF || (b[1] & 0xF6) != 0xF0) return {rate_, kAacFrame};
    const int index = (b[2] >> 2) & 0xF;
    const int rate = index < 13 ? kRates[index] : rate_;
    const int length = ((b[3] & 3) << 11) | (b[4] << 3) | (b[5] >> 5);
    if (pkt->size < length) return {rate, 0};
    return {rate, ((b[6] & 3) + 1) * kAacFrame};
}

// Every WavPack block header states the samples it holds; the blocks of one packet (one per
// channel pair) cover the same samples.
PacketCount FrameCounter::countWavPack(const AVPacket* pkt) const {
    if (pkt->size < 32 || std::memcmp(pkt->data, "wvpk", 4) != 0) return {rate_, -1};
    return {rate_, static_cast<std::int64_t>(AV_RL32(pkt->data + 20))};
}

}  // namespace corvane::media
