// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "media/HResult.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace corvane::media {

// Input bounds: FFmpeg opens files declaring absurd rates or channel counts and only fails
// much later, so they are refused here.
constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 768000;
constexpr int kMaxChannels = 64;

struct AVFormatContextDeleter {
    void operator()(AVFormatContext* p) const;
};
struct AVCodecContextDeleter {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct AVPacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct AVFrameDeleter {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, AVFormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, AVCodecContextDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, AVPacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;

bool sampleRateInBounds(int rate);
bool channelCountInBounds(int channels);
// A decoder's complaint about one packet's data, to be skipped as players do: decoders use
// codes of their own for it (AC-3's incomplete frame), not only AVERROR_INVALIDDATA. Errors
// of the system (out of memory) and FFmpeg's own faults are not.
bool isDataError(int averror);

// One sound file opened for its best audio stream: demuxing on our own file descriptor
// (no protocol parsing of the name, and nested opens refused), decoding with libavcodec.
class AudioSource {
public:
    AudioSource();
    ~AudioSource();
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    // path: the file name's bytes; formatOptions (optional) go to the demuxer. On failure
    // detail() tells why.
    HRESULT open(const std::string& path, AVDictionary** formatOptions = nullptr);
    // Reads a file already opened (and checked) by someone else, from its start: the
    // descriptor is duplicated, so the caller keeps its own.
    HRESULT openDescriptor(int fd, AVDictionary** formatOptions = nullptr);

    // Opens a sound file for reading as the program reads them: a regular, non-empty file,
    // no protocol taken from its name. Returns the descriptor, or -1 with *hr and *why set.
    static int openFile(const std::string& path, HRESULT* hr, QString* why);

    AVStream* stream() const { return stream_; }
    AVFormatContext* format() const { return fmt_.get(); }
    AVCodecContext* codec() const { return codec_.get(); }

    // Next packet of the audio stream: S_OK, S_FALSE at the end, or a failure.
    HRESULT readPacket(AVPacket* pkt);
    // Next decoded frame: S_OK, S_FALSE when the stream is drained, or a failure.
    // Packets the decoder rejects as invalid are skipped, as players do.
    HRESULT decodeFrame(AVFrame* frame);

    const QString& detail() const { return detail_; }
    int invalidPackets() const { return invalidPackets_; }

private:
    HRESULT fail(HRESULT hr, const QString& why);
    HRESULT checkFrame(const AVFrame* frame);

    struct Io;
    std::unique_ptr<Io> io_;
    FormatContextPtr fmt_;
    CodecContextPtr codec_;
    PacketPtr pkt_;
    AVStream* stream_ = nullptr;
    bool inputDone_ = false;
    bool drained_ = false;
    int invalidPackets_ = 0;
    QString detail_;
};

}  // namespace corvane::media
