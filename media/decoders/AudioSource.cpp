// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/AudioSource.h"
#include "media/Cause.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "media/ErrorText.h"
#include "media/decoders/Fault.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

namespace corvane::media {

namespace {

constexpr int kIoBufferSize = 64 * 1024;
// A stream this broken is not worth decoding further.
constexpr int kMaxConsecutiveInvalid = 256;

// FFmpeg's own texts for the errors of its own kinds that reading a file meets, listed so
// that they are translated as ours are (anything else stays as FFmpeg says it).
[[maybe_unused]] const char* const kFfmpegTexts[] = {
    QT_TRANSLATE_NOOP("Cause", "Invalid data found when processing input"),
    QT_TRANSLATE_NOOP("Cause", "End of file"),
    QT_TRANSLATE_NOOP("Cause", "Decoder not found"),
    QT_TRANSLATE_NOOP("Cause", "Demuxer not found"),
    QT_TRANSLATE_NOOP("Cause", "Stream not found"),
    QT_TRANSLATE_NOOP("Cause", "Not yet implemented in FFmpeg, patches welcome"),
    QT_TRANSLATE_NOOP("Cause", "Internal bug, should not have happened"),
    QT_TRANSLATE_NOOP("Cause", "Unknown error occurred"),
    QT_TRANSLATE_NOOP("Cause", "Generic error in an external library"),
    QT_TRANSLATE_NOOP("Cause", "Input changed"),
};

QString avText(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return Cause::tr(buf);
}

// Containers whose first bytes say what they are: opened without probing every demuxer.
const AVInputFormat* formatFromMagic(int fd) {
    unsigned char b[12] = {};
    const ssize_t n = ::pread(fd, b, sizeof b, 0);
    if (n < 12) return nullptr;
    if (!std::memcmp(b, "RIFF", 4) && !std::memcmp(b + 8, "WAVE", 4)) return av_find_input_format("wav");
    if (!std::memcmp(b, "fLaC", 4)) return av_find_input_format("flac");
    if (!std::memcmp(b, "OggS", 4)) return av_find_input_format("ogg");
    if (!std::memcmp(b, "FORM", 4) && (!std::memcmp(b + 8, "AIFF", 4) || !std::memcmp(b + 8, "AIFC", 4)))
        return av_find_input_format("aiff");
    return nullptr;
}

int refuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

}  // namespace

void AVFormatContextDeleter::operator()(AVFormatContext* p) const { avformat_close_input(&p); }

bool sampleRateInBounds(int rate) { return rate >= kMinSampleRate && rate <= kMaxSampleRate; }
bool channelCountInBounds(int channels) { return channels >= 1 && channels <= kMaxChannels; }

bool isDataError(int averror) {
    if (averror == AVERROR_INVALIDDATA || averror == AVERROR_PATCHWELCOME) return true;
    // AVERROR(errno) is the errno negated; the rest are tags of four characters.
    constexpr int kLargestErrno = 4095;
    return averror < -kLargestErrno && averror != AVERROR_EOF && averror != AVERROR_EXIT &&
           averror != AVERROR_BUG && averror != AVERROR_BUG2 && averror != AVERROR_EXTERNAL;
}

struct AudioSource::Io {
    int fd = -1;
    AVIOContext* avio = nullptr;
    int lastErrno = 0;

    ~Io() {
        if (avio) {
            av_freep(&avio->buffer);
            avio_context_free(&avio);
        }
        if (fd >= 0) ::close(fd);
    }

    static int read(void* opaque, uint8_t* buf, int size) {
        auto* io = static_cast<Io*>(opaque);
        if (FAILED(Fault::check("AudioSource::read"))) {
            io->lastErrno = EIO;
            return AVERROR(EIO);
        }
        for (;;) {
            const ssize_t n = ::read(io->fd, buf, static_cast<size_t>(size));
            if (n > 0) return static_cast<int>(n);
            if (n == 0) return AVERROR_EOF;
            if (errno == EINTR) continue;
            io->lastErrno = errno;
            return AVERROR(errno);
        }
    }

    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* io = static_cast<Io*>(opaque);
        if (whence & AVSEEK_SIZE) {
            // The plain descriptor call: the C library's fstat() takes the path-based one, which
            // a decoder worker may not make.
            struct stat st {};
            return ::syscall(SYS_fstat, io->fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
        }
        const off_t r = ::lseek(io->fd, offset, whence & ~AVSEEK_FORCE);
        return r < 0 ? AVERROR(errno) : static_cast<int64_t>(r);
    }
};

AudioSource::AudioSource() : pkt_(av_packet_alloc()) {
    // Broken inputs are reported through our own messages; FFmpeg's log stays quiet unless
    // asked for.
    static const bool quiet = [] {
        if (!std::getenv("CORVANE_FFMPEG_LOG")) av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
}
AudioSource::~AudioSource() {
    // The format context refers to the I/O context: close it first.
    codec_.reset();
    fmt_.reset();
    io_.reset();
}

HRESULT AudioSource::fail(HRESULT hr, const QString& why) {
    detail_ = why;
    return hr;
}

int AudioSource::openFile(const std::string& path, HRESULT* hr, QString* why) {
    if (*hr = Fault::check("AudioSource::open"); FAILED(*hr)) {
        *why = errorText(*hr);
        return -1;
    }
    // O_NONBLOCK keeps a FIFO from hanging the open; regular files ignore it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *hr = fromErrno(errno);
        *why = QString::fromLocal8Bit(strerror(errno));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *hr = fromErrno(errno);
        *why = QString::fromLocal8Bit(strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        *hr = VFW_E_INVALID_FILE_FORMAT;
        *why = S_ISDIR(st.st_mode) ? Cause::tr("it is a folder") : Cause::tr("not a regular file");
    } else if (st.st_size == 0) {
        *hr = VFW_E_INVALID_FILE_FORMAT;
        *why = Cause::tr("the file is empty");
    } else {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        *hr = S_OK;
        return fd;
    }
    ::close(fd);
    return -1;
}

HRESULT AudioSource::open(const std::string& path, AVDictionary** formatOptions) {
    HRESULT hr = S_OK;
    QString why;
    const int fd = openFile(path, &hr, &why);
    if (fd < 0) return fail(hr, why);
    hr = openDescriptor(fd, formatOptions);
    ::close(fd);
    return hr;
}

HRESULT AudioSource::openDescriptor(int fd, AVDictionary** formatOptions) {
    if (!pkt_) return fail(E_OUTOFMEMORY, errorText(E_OUTOFMEMORY));
    io_ = std::make_unique<Io>();
    io_->fd = ::dup(fd);
    if (io_->fd < 0 || ::lseek(io_->fd, 0, SEEK_SET) != 0)
        return fail(fromErrno(errno), QString::fromLocal8Bit(strerror(errno)));
    ::posix_fadvise(io_->fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer) return fail(E_OUTOFMEMORY, errorText(E_OUTOFMEMORY));
    io_->avio = avio_alloc_context(buffer, kIoBufferSize, 0, io_.get(), &Io::read, nullptr, &Io::seek);
    if (!io_->avio) {
        av_free(buffer);
        return fail(E_OUTOFMEMORY, errorText(E_OUTOFMEMORY));
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return fail(E_OUTOFMEMORY, errorText(E_OUTOFMEMORY));
    raw->pb = io_->avio;
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    raw->io_open = &refuseNestedOpen;
    // Streams whose codec is in doubt (PCM in WAV that might hide compressed audio) are
    // probed packet by packet through the whole file otherwise, which costs far more than
    // reading it.
    raw->max_probe_packets = 0;
    int err = avformat_open_input(&raw, nullptr, formatFromMagic(io_->fd), formatOptions);
    if (err < 0) return fail(fromAvError(err), avText(err));  // raw is freed on failure
    fmt_.reset(raw);

    auto hasUsableAudio = [this]() {
        const int idx = av_find_best_stream(fmt_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (idx < 0) return false;
        const AVCodecParameters* par = fmt_->streams[idx]->codecpar;
        return par->codec_id != AV_CODEC_ID_NONE && par->sample_rate > 0 &&
               par->ch_layout.nb_channels > 0;
    };
    // Most containers describe their streams in the header; the rest need a look at the data.
    // Opus also needs it where its pre-roll and the container's start disagree (an encoder
    // that resampled): only the look at the data makes the demuxer trim what comes before
    // the start, as FFmpeg's own decode does.
    auto isOpus = [this] {
        const int idx = av_find_best_stream(fmt_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        return idx >= 0 && fmt_->streams[idx]->codecpar->codec_id == AV_CODEC_ID_OPUS;
    };
    if (!hasUsableAudio() || isOpus()) {
        err = avformat_find_stream_info(fmt_.get(), nullptr);
        if (err < 0) return fail(fromAvError(err), avText(err));
    }
    const AVCodec* decoder = nullptr;
    const int idx = av_find_best_stream(fmt_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (idx == AVERROR_STREAM_NOT_FOUND)
        return fail(VFW_E_NO_AUDIO_STREAM, Cause::tr("the file has no audio stream"));
    if (idx < 0 || !decoder)
        return fail(VFW_E_UNSUPPORTED_STREAM, Cause::tr("no decoder for its audio"));
    stream_ = fmt_->streams[idx];
    for (unsigned i = 0; i < fmt_->nb_streams; ++i)
        if (static_cast<int>(i) != idx) fmt_->streams[i]->discard = AVDISCARD_ALL;

    const AVCodecParameters* par = stream_->codecpar;
    if (!sampleRateInBounds(par->sample_rate) || !channelCountInBounds(par->ch_layout.nb_channels))
        return fail(VFW_E_BAD_AUDIO_FORMAT,
                    Cause::tr("unusable audio format (%1 Hz, %2 channels)")
                        .arg(par->sample_rate)
                        .arg(par->ch_layout.nb_channels));

    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_) return fail(E_OUTOFMEMORY, errorText(E_OUTOFMEMORY));
    err = avcodec_parameters_to_context(codec_.get(), par);
    if (err < 0) return fail(fromAvError(err), avText(err));
    codec_->pkt_timebase = stream_->time_base;
    // Sources decode in parallel with each other; one thread each is enough.
    codec_->thread_count = 1;
    err = avcodec_open2(codec_.get(), decoder, nullptr);
    if (err < 0) return fail(fromAvError(err), avText(err));
    return S_OK;
}

HRESULT AudioSource::readPacket(AVPacket* pkt) {
    for (;;) {
        av_packet_unref(pkt);
        const int err = av_read_frame(fmt_.get(), pkt);
        if (err == AVERROR_EOF) return S_FALSE;
        if (err < 0) {
            // A stream that merely ends in garbage counts as ended; a failing read does not.
            if (io_->lastErrno != 0)
                return fail(fromErrno(io_->lastErrno),
                            Cause::tr("read error: ") +
                                QString::fromLocal8Bit(strerror(io_->lastErrno)));
            return S_FALSE;
        }
        if (pkt->stream_index == stream_->index) return S_OK;
    }
}

HRESULT AudioSource::checkFrame(const AVFrame* frame) {
    if (!sampleRateInBounds(frame->sample_rate) ||
        !channelCountInBounds(frame->ch_layout.nb_channels) || frame->nb_samples < 0)
        return fail(VFW_E_BAD_AUDIO_FORMAT,
                    Cause::tr("unusable audio format (%1 Hz, %2 channels)")
                        .arg(frame->sample_rate)
                        .arg(frame->ch_layout.nb_channels));
    return S_OK;
}

HRESULT AudioSource::decodeFrame(AVFrame* frame) {
    int consecutiveInvalid = 0;
    for (;;) {
        if (drained_) return S_FALSE;
        int err = avcodec_receive_frame(codec_.get(), frame);
        if (err == 0) return checkFrame(frame);
        if (err == AVERROR_EOF) {
            drained_ = true;
            return S_FALSE;
        }
        if (err != AVERROR(EAGAIN)) {
            // A frame the decoder could not finish: skip it like a bad packet.
            if (isDataError(err) && ++consecutiveInvalid < kMaxConsecutiveInvalid) continue;
            return fail(fromAvError(err), avText(err));
        }
        if (inputDone_) {
            drained_ = true;
            return S_FALSE;
        }
        const HRESULT hr = readPacket(pkt_.get());
        if (FAILED(hr)) return hr;
        if (hr == S_FALSE) {
            inputDone_ = true;
            avcodec_send_packet(codec_.get(), nullptr);
            continue;
        }
        err = avcodec_send_packet(codec_.get(), pkt_.get());
        if (isDataError(err)) {
            ++invalidPackets_;
            if (++consecutiveInvalid >= kMaxConsecutiveInvalid)
                return fail(VFW_E_DECODE_FAILED, Cause::tr("the audio data is corrupt"));
            continue;
        }
        if (err < 0 && err != AVERROR(EAGAIN)) return fail(fromAvError(err), avText(err));
        consecutiveInvalid = 0;
    }
}

}  // namespace corvane::media
