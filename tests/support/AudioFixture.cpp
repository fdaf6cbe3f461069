// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/AudioFixture.h"

#include <QFile>
#include <cmath>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace corvane::test {

namespace {

QString avErr(int e) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(e, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

struct OutputCtx {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* enc = nullptr;
    SwrContext* swr = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* pkt = nullptr;
    ~OutputCtx() {
        av_frame_free(&frame);
        av_packet_free(&pkt);
        swr_free(&swr);
        avcodec_free_context(&enc);
        if (fmt) {
            if (fmt->pb) avio_closep(&fmt->pb);
            avformat_free_context(fmt);
        }
    }
};

int drainEncoder(AVFormatContext* fmt, AVCodecContext* enc, AVPacket* pkt, AVStream* st, const AVFrame* frame) {
    int err = avcodec_send_frame(enc, frame);
    if (err < 0) return err;
    for (;;) {
        err = avcodec_receive_packet(enc, pkt);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return 0;
        if (err < 0) return err;
        av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
        pkt->stream_index = st->index;
        err = av_interleaved_write_frame(fmt, pkt);
        if (err < 0) return err;
    }
}

}  // namespace

Signal sine(double freq, double amplitude) {
    return [freq, amplitude](int channel, long long n, int rate) {
        return amplitude * std::sin(2.0 * M_PI * freq * static_cast<double>(n) / rate + 0.7 * channel);
    };
}

QString encodeFile(const QString& path, const EncodeOptions& opts, const Signal& signal) {
    OutputCtx o;
    const QByteArray file = QFile::encodeName(path);
    int err = avformat_alloc_output_context2(&o.fmt, nullptr,
                                             opts.container.empty() ? nullptr : opts.container.c_str(),
                                             file.constData());
    if (err < 0 || !o.fmt) return QStringLiteral("no muxer: ") + avErr(err);
    const AVCodec* codec = avcodec_find_encoder_by_name(opts.encoder.c_str());
    if (!codec) return QStringLiteral("no encoder ") + QString::fromStdString(opts.encoder);
    AVStream* st = avformat_new_stream(o.fmt, nullptr);
    o.enc = avcodec_alloc_context3(codec);
    o.enc->sample_rate = opts.sampleRate;
    if (opts.channelMask)
        av_channel_layout_from_mask(&o.enc->ch_layout, opts.channelMask);
    else
        av_channel_layout_default(&o.enc->ch_layout, opts.channels);
    o.enc->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    if (!opts.sampleFormat.empty()) o.enc->sample_fmt = av_get_sample_fmt(opts.sampleFormat.c_str());
    if (opts.bitsPerRawSample) o.enc->bits_per_raw_sample = opts.bitsPerRawSample;
    if (opts.bitRate) o.enc->bit_rate = opts.bitRate;
    o.enc->time_base = AVRational{1, opts.sampleRate};
    o.enc->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    if (o.fmt->oformat->flags & AVFMT_GLOBALHEADER) o.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* copts = nullptr;
    for (auto& [k, v] : opts.codecOptions) av_dict_set(&copts, k.c_str(), v.c_str(), 0);
    err = avcodec_open2(o.enc, codec, &copts);
    av_dict_free(&copts);
    if (err < 0) return QStringLiteral("encoder open: ") + avErr(err);
    avcodec_parameters_from_context(st->codecpar, o.enc);
    st->time_base = o.enc->time_base;
    AVStream* vst = nullptr;
    AVCodecContext* venc = nullptr;
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> vencGuard(nullptr, [](AVCodecContext* c) {
        avcodec_free_context(&c);
    });
    if (!opts.videoEncoder.empty()) {
        const AVCodec* vcodec = avcodec_find_encoder_by_name(opts.videoEncoder.c_str());
        if (!vcodec) return QStringLiteral("no video encoder");
        vst = avformat_new_stream(o.fmt, nullptr);
        venc = avcodec_alloc_context3(vcodec);
        vencGuard.reset(venc);
        venc->width = 64;
        venc->height = 48;
        venc->pix_fmt = AV_PIX_FMT_YUV420P;
        venc->time_base = AVRational{1, 10};
        if (o.fmt->oformat->flags & AVFMT_GLOBALHEADER) venc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if ((err = avcodec_open2(venc, vcodec, nullptr)) < 0) return QStringLiteral("video open: ") + avErr(err);
        avcodec_parameters_from_context(vst->codecpar, venc);
        vst->time_base = venc->time_base;
    }
    err = avio_open(&o.fmt->pb, file.constData(), AVIO_FLAG_WRITE);
    if (err < 0) return QStringLiteral("open: ") + avErr(err);
    AVDictionary* mopts = nullptr;
    for (auto& [k, v] : opts.muxerOptions) av_dict_set(&mopts, k.c_str(), v.c_str(), 0);
    for (auto& [k, v] : opts.metadata) av_dict_set(&o.fmt->metadata, k.c_str(), v.c_str(), 0);
    err = avformat_write_header(o.fmt, &mopts);
    av_dict_free(&mopts);
    if (err < 0) return QStringLiteral("header: ") + avErr(err);

    AVChannelLayout layout{};
    av_channel_layout_copy(&layout, &o.enc->ch_layout);  // the signal's channels as they are
    err = swr_alloc_set_opts2(&o.swr, &o.enc->ch_layout, o.enc->sample_fmt, opts.sampleRate, &layout,
                              AV_SAMPLE_FMT_DBL, opts.sampleRate, 0, nullptr);
    if (err < 0 || swr_init(o.swr) < 0) return QStringLiteral("swr");

    const int frameSize = (o.enc->frame_size > 0 &&
                           !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
                              ? o.enc->frame_size
                              : 1024;
    o.frame = av_frame_alloc();
    o.pkt = av_packet_alloc();
    std::vector<double> buf;
    long long n = 0;
    while (n < opts.frames) {
        const int count = static_cast<int>(std::min<long long>(frameSize, opts.frames - n));
        buf.resize(static_cast<std::size_t>(count) * opts.channels);
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < opts.channels; ++c)
                buf[static_cast<std::size_t>(i) * opts.channels + c] = signal(c, n + i, opts.sampleRate);
        av_frame_unref(o.frame);
        o.frame->nb_samples = count;
        o.frame->format = o.enc->sample_fmt;
        o.frame->sample_rate = opts.sampleRate;
        av_channel_layout_copy(&o.frame->ch_layout, &o.enc->ch_layout);
        if (av_frame_get_buffer(o.frame, 0) < 0) return QStringLiteral("frame");
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(buf.data())};
        if (swr_convert(o.swr, o.frame->data, count, in, count) != count) return QStringLiteral("convert");
        o.frame->pts = n;
        if ((err = drainEncoder(o.fmt, o.enc, o.pkt, st, o.frame)) < 0) return QStringLiteral("encode: ") + avErr(err);
        n += count;
    }
    if ((err = drainEncoder(o.fmt, o.enc, o.pkt, st, nullptr)) < 0) return QStringLiteral("flush: ") + avErr(err);
    if (venc) {
        // Grey pictures, one tenth of a second each.
        std::unique_ptr<AVFrame, void (*)(AVFrame*)> picture(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
        std::unique_ptr<AVPacket, void (*)(AVPacket*)> vpkt(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
        picture->format = venc->pix_fmt;
        picture->width = venc->width;
        picture->height = venc->height;
        if (av_frame_get_buffer(picture.get(), 0) < 0) return QStringLiteral("picture");
        for (int i = 0; i < opts.videoFrames; ++i) {
            av_frame_make_writable(picture.get());
            for (int p = 0; p < 3; ++p)
                std::memset(picture->data[p], 128, static_cast<std::size_t>(picture->linesize[p]) * (p ? 24 : 48));
            picture->pts = i;
            if ((err = drainEncoder(o.fmt, venc, vpkt.get(), vst, picture.get())) < 0)
                return QStringLiteral("video: ") + avErr(err);
        }
        if ((err = drainEncoder(o.fmt, venc, vpkt.get(), vst, nullptr)) < 0)
            return QStringLiteral("video flush: ") + avErr(err);
    }
    if ((err = av_write_trailer(o.fmt)) < 0) return QStringLiteral("trailer: ") + avErr(err);
    return {};
}

QString remuxFile(const QString& from, const QString& to, const std::map<std::string, std::string>& muxerOptions) {
    AVFormatContext* in = nullptr;
    int err = avformat_open_input(&in, QFile::encodeName(from).constData(), nullptr, nullptr);
    if (err < 0) return QStringLiteral("open: ") + avErr(err);
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> inGuard(in, [](AVFormatContext* f) { avformat_close_input(&f); });
    if ((err = avformat_find_stream_info(in, nullptr)) < 0) return QStringLiteral("info: ") + avErr(err);
    AVFormatContext* out = nullptr;
    const QByteArray file = QFile::encodeName(to);
    if ((err = avformat_alloc_output_context2(&out, nullptr, nullptr, file.constData())) < 0) return avErr(err);
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> outGuard(out, [](AVFormatContext* f) {
        if (f->pb) avio_closep(&f->pb);
        avformat_free_context(f);
    });
    const int audio = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio < 0) return QStringLiteral("no audio");
    AVStream* st = avformat_new_stream(out, nullptr);
    avcodec_parameters_copy(st->codecpar, in->streams[audio]->codecpar);
    st->codecpar->codec_tag = 0;
    st->time_base = in->streams[audio]->time_base;
    out->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    if ((err = avio_open(&out->pb, file.constData(), AVIO_FLAG_WRITE)) < 0) return avErr(err);
    AVDictionary* mopts = nullptr;
    for (auto& [k, v] : muxerOptions) av_dict_set(&mopts, k.c_str(), v.c_str(), 0);
    err = avformat_write_header(out, &mopts);
    av_dict_free(&mopts);
    if (err < 0) return QStringLiteral("header: ") + avErr(err);
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(in, pkt) >= 0) {
        if (pkt->stream_index == audio) {
            pkt->stream_index = 0;
            av_packet_rescale_ts(pkt, in->streams[audio]->time_base, st->time_base);
            pkt->pos = -1;
            if ((err = av_interleaved_write_frame(out, pkt)) < 0) break;
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    if (err < 0) return QStringLiteral("write: ") + avErr(err);
    if ((err = av_write_trailer(out)) < 0) return QStringLiteral("trailer: ") + avErr(err);
    return {};
}

Decoded decodeFile(const QString& path) {
    Decoded d;
    AVFormatContext* fmt = nullptr;
    const QByteArray file = QFile::encodeName(path);
    if (avformat_open_input(&fmt, file.constData(), nullptr, nullptr) < 0) return d;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> guard(
        fmt, [](AVFormatContext* f) { avformat_close_input(&f); });
    avformat_find_stream_info(fmt, nullptr);
    const AVCodec* codec = nullptr;
    const int idx = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (idx < 0) return d;
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decGuard(
        dec, [](AVCodecContext* c) { avcodec_free_context(&c); });
    avcodec_parameters_to_context(dec, fmt->streams[idx]->codecpar);
    dec->pkt_timebase = fmt->streams[idx]->time_base;
    if (avcodec_open2(dec, codec, nullptr) < 0) return d;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwrContext* swr = nullptr;
    auto take = [&](AVFrame* f) {
        if (!swr) {
            d.sampleRate = f->sample_rate;
            d.channels = f->ch_layout.nb_channels;
            swr_alloc_set_opts2(&swr, &f->ch_layout, AV_SAMPLE_FMT_FLT, f->sample_rate, &f->ch_layout,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
            swr_init(swr);
        }
        const std::size_t at = d.samples.size();
        d.samples.resize(at + static_cast<std::size_t>(f->nb_samples) * d.channels);
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(d.samples.data() + at)};
        swr_convert(swr, out, f->nb_samples, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == idx && avcodec_send_packet(dec, pkt) >= 0)
            while (avcodec_receive_frame(dec, frame) == 0) take(frame);
        av_packet_unref(pkt);
    }
    avcodec_send_packet(dec, nullptr);
    while (avcodec_receive_frame(dec, frame) == 0) take(frame);
    swr_free(&swr);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    return d;
}

double WavFile::sample(long long n, int c) const {
    const std::size_t at = static_cast<std::size_t>(n) * blockAlign + static_cast<std::size_t>(c) * (bits / 8);
    if (bits == 8) return (static_cast<int>(data[at]) - 128) / 128.0;
    if (bits == 16) return static_cast<std::int16_t>(data[at] | (data[at + 1] << 8)) / 32768.0;
    std::uint32_t u = 0;
    for (int b = 0; b < bits / 8; ++b) u |= static_cast<std::uint32_t>(data[at + b]) << (8 * b + 32 - bits);
    if (formatTag == 3 || subFormat == 3) {
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    return static_cast<std::int32_t>(u) / 2147483648.0;
}

namespace {
unsigned le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (unsigned(p[3]) << 24); }
unsigned long long le64(const unsigned char* p) {
    return le32(p) | (static_cast<unsigned long long>(le32(p + 4)) << 32);
}
}  // namespace

WavFile readWav(const QString& path) {
    WavFile w;
    const std::vector<unsigned char> b = readBytes(path);
    w.fileSize = b.size();
    if (b.size() < 12) {
        w.error = QStringLiteral("too short");
        return w;
    }
    w.riffId.assign(reinterpret_cast<const char*>(b.data()), 4);
    if ((w.riffId != "RIFF" && w.riffId != "RF64") || std::memcmp(&b[8], "WAVE", 4) != 0) {
        w.error = QStringLiteral("not RIFF/WAVE");
        return w;
    }
    w.rf64 = w.riffId == "RF64";
    w.riffSize = le32(&b[4]);
    unsigned long long ds64Data = 0;
    std::size_t pos = 12;
    bool haveFmt = false;
    while (pos + 8 <= b.size()) {
        const std::string id(reinterpret_cast<const char*>(&b[pos]), 4);
        unsigned long long size = le32(&b[pos + 4]);
        const std::size_t body = pos + 8;
        if (id == "ds64" && body + 28 <= b.size()) {
            w.riffSize = le64(&b[body]);
            ds64Data = le64(&b[body + 8]);
        } else if (id == "fmt " && body + 16 <= b.size()) {
            w.formatTag = b[body] | (b[body + 1] << 8);
            w.channels = b[body + 2] | (b[body + 3] << 8);
            w.sampleRate = static_cast<int>(le32(&b[body + 4]));
            w.byteRate = static_cast<int>(le32(&b[body + 8]));
            w.blockAlign = b[body + 12] | (b[body + 13] << 8);
            w.bits = b[body + 14] | (b[body + 15] << 8);
            if (w.formatTag == 0xFFFE && size >= 40 && body + 40 <= b.size()) {
                w.channelMask = le32(&b[body + 20]);
                w.subFormat = b[body + 24] | (b[body + 25] << 8);
            }
            haveFmt = true;
        } else if (id == "fact" && body + 4 <= b.size()) {
            w.factFrames = le32(&b[body]);
        } else if (id == "data") {
            if (w.rf64 && size == 0xFFFFFFFFull) size = ds64Data;
            w.dataOffset = body;
            w.dataSize = size;
            const std::size_t avail = std::min<std::size_t>(b.size() - body, size);
            w.data.assign(b.begin() + static_cast<std::ptrdiff_t>(body),
                          b.begin() + static_cast<std::ptrdiff_t>(body + avail));
            w.ok = haveFmt && avail == size;
            if (!w.ok) {
                w.error = haveFmt ? QStringLiteral("data shorter than declared")
                                  : QStringLiteral("no fmt");
                return w;
            }
        } else if (w.dataOffset && id == "cue " && body + 4 <= b.size()) {
            const unsigned n = le32(&b[body]);
            for (unsigned i = 0; i < n && body + 4 + 24ull * (i + 1) <= b.size(); ++i) {
                const std::size_t c = body + 4 + 24ull * i;
                w.cues.push_back({le32(&b[c]), le32(&b[c + 4]), le32(&b[c + 20]),
                                  std::string(reinterpret_cast<const char*>(&b[c + 8]), 4)});
            }
        } else if (w.dataOffset && id == "LIST" && body + 4 <= b.size() &&
                   std::memcmp(&b[body], "adtl", 4) == 0) {
            for (std::size_t q = body + 4; q + 8 <= std::min<std::size_t>(b.size(), body + size);) {
                const unsigned sub = le32(&b[q + 4]);
                if (std::memcmp(&b[q], "labl", 4) == 0 && sub >= 4 && q + 8 + sub <= b.size()) {
                    std::string text(reinterpret_cast<const char*>(&b[q + 12]), sub - 4);
                    if (!text.empty() && text.back() == '\0') text.pop_back();
                    w.labels[le32(&b[q + 8])] = text;
                }
                q += 8 + sub + (sub & 1);
            }
        }
        if (w.dataOffset && id != "data") w.chunksAfterData.push_back(id);
        if (!w.dataOffset && id != "data") w.chunksBeforeData.push_back(id);
        const unsigned long long next = body + size + (size & 1);
        if (next > b.size()) {
            // Past the declared data of a file whose writer was killed lie samples, not chunks.
            break;
        }
        pos = static_cast<std::size_t>(next);
    }
    if (!w.dataOffset) w.error = QStringLiteral("no data chunk");
    return w;
}

bool writeBytes(const QString& path, const std::vector<unsigned char>& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
           static_cast<qint64>(bytes.size());
}

std::vector<unsigned char> readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray a = f.readAll();
    return std::vector<unsigned char>(a.begin(), a.end());
}

}  // namespace corvane::test
