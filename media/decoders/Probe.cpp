#include "media/decoders/Probe.h"

#include "media/decoders/AudioSource.h"
#include "media/wavfile/CueChunks.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include <unistd.h>

extern "C" {
#include <libavutil/intreadwrite.h>
#include <libavutil/mathematics.h>
}

namespace corvane::media {

namespace {

// Enough packets to get full frames out of any decoder with a start-up delay.
constexpr int kValidationPackets = 32;
// No sound file is longer than this; a count beyond it comes from a lie or a broken file.
constexpr REFERENCE_TIME kMaxProbeDuration = 10000LL * 3600 * kUnitsPerSecond;
// The most samples one FLAC byte can stand for (a constant subframe of the largest block).
constexpr std::int64_t kMaxFlacSamplesPerByte = 8192;

ProbeResult failed(HRESULT hr, const QString& detail) {
    ProbeResult r;
    r.hr = hr;
    r.detail = detail;
    return r;
}

ProbeResult implausible() {
    return failed(VFW_E_INVALID_FILE_FORMAT, QStringLiteral("the length it states is impossible"));
}

// A finished count: samples less what the decoder trims, in time and at the last rate.
ProbeResult measured(const SampleClock& clock, std::int64_t trimmed, int channels) {
    if (clock.overflowed || clock.rate <= 0) return implausible();
    const REFERENCE_TIME total = clock.duration();
    const REFERENCE_TIME cut = av_rescale(std::min(trimmed, clock.totalSamples), kUnitsPerSecond, clock.rate);
    ProbeResult r;
    r.hr = S_OK;
    r.duration = std::max<REFERENCE_TIME>(0, total - cut);
    if (r.duration > kMaxProbeDuration) return implausible();
    r.sampleRate = clock.rate;
    r.channels = channels;
    r.samples = av_rescale(r.duration, clock.rate, kUnitsPerSecond);
    r.frameSamples = clock.largestFrame;
    return r;
}

bool isFormat(const AudioSource& src, const char* name) {
    return std::strstr(src.format()->iformat->name, name) != nullptr;
}

// How a codec's packets are turned into sample counts without decoding them.
enum class Counting {
    Pcm,        // bytes per sample frame are fixed
    Parser,     // the codec's parser reads each frame's own header
    FrameSize,  // every packet is one frame of the size the decoder delivers
    Decode,     // nothing short of decoding is exact
};

Counting countingFor(AVCodecID id) {
    if (av_get_exact_bits_per_sample(id) > 0) return Counting::Pcm;
    switch (id) {
        case AV_CODEC_ID_MP1:
        case AV_CODEC_ID_MP2:
        case AV_CODEC_ID_MP3:
        case AV_CODEC_ID_AC3:
        case AV_CODEC_ID_EAC3:
        case AV_CODEC_ID_DTS:
        case AV_CODEC_ID_FLAC:
            return Counting::Parser;
        case AV_CODEC_ID_AAC:
            return Counting::FrameSize;  // its parser does not count (SBR makes headers unreliable)
        default:
            return Counting::Decode;
    }
}

// Codec frames in an AAC packet: ADTS may carry several raw blocks under one header, and a
// frame cut short by the end of the file does not decode.
int aacFramesIn(const AVPacket* pkt) {
    const std::uint8_t* b = pkt->data;
    if (pkt->size < 7 || b[0] != 0xFF || (b[1] & 0xF6) != 0xF0) return 1;
    const int length = ((b[3] & 3) << 11) | (b[4] << 3) | (b[5] >> 5);
    return pkt->size < length ? 0 : (b[6] & 3) + 1;
}

struct ParserDeleter {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};

// Splits packet bytes into codec frames with FFmpeg's parser and counts each frame's samples
// from its own header, whatever the container claims about the packet.
class FrameParser {
public:
    bool open(AVCodecID id, const AVCodecParameters* par) {
        parser_.reset(av_parser_init(id));
        ctx_.reset(avcodec_alloc_context3(nullptr));
        if (!parser_ || !ctx_ || avcodec_parameters_to_context(ctx_.get(), par) < 0) return false;
        fallbackRate_ = par->sample_rate;
        // Demuxers hand FLAC over frame by frame; its parser would otherwise wait for more.
        if (id == AV_CODEC_ID_FLAC) parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
        return true;
    }
    void feed(const std::uint8_t* data, int size, SampleClock& clock) {
        while (size > 0) {
            bool out = false;
            const int used = parse(data, size, clock, &out);
            if (used < 0 || (used == 0 && !out)) break;
            data += used;
            size -= used;
        }
    }
    void flush(SampleClock& clock) {
        for (int i = 0; i < 16; ++i) {
            bool out = false;
            parse(nullptr, 0, clock, &out);
            if (!out) break;
        }
    }

private:
    int parse(const std::uint8_t* data, int size, SampleClock& clock, bool* out) {
        std::uint8_t* frame = nullptr;
        int outSize = 0;
        const int used = av_parser_parse2(parser_.get(), ctx_.get(), &frame, &outSize, data, size, AV_NOPTS_VALUE,
                                          AV_NOPTS_VALUE, 0);
        *out = outSize > 0;
        if (outSize > 0 && parser_->duration > 0) {
            const int rate = ctx_->sample_rate > 0 ? ctx_->sample_rate : fallbackRate_;
            // The MPEG audio parser gives no duration until it has seen a header twice; the
            // frames it passed on before are of the same kind as the first it measured.
            clock.add(rate, parser_->duration * (1 + (counted_ ? 0 : uncounted_)));
            counted_ = true;
        } else if (outSize > 0 && !counted_ && uncounted_ < 2) {
            ++uncounted_;
        }
        return used;
    }

    std::unique_ptr<AVCodecParserContext, ParserDeleter> parser_;
    CodecContextPtr ctx_;
    int fallbackRate_ = 0;
    bool counted_ = false;
    int uncounted_ = 0;
};

// Counts by decoding everything, exactly as the join will.
ProbeResult probeByDecoding(int fd) {
    AudioSource src;
    HRESULT hr = src.openDescriptor(fd);
    if (FAILED(hr)) return failed(hr, src.detail());
    FramePtr frame(av_frame_alloc());
    SampleClock clock;
    int channels = 0;
    while ((hr = src.decodeFrame(frame.get())) == S_OK) {
        clock.add(frame->sample_rate, frame->nb_samples);
        channels = frame->ch_layout.nb_channels;
        av_frame_unref(frame.get());
        if (clock.overflowed || clock.duration() > kMaxProbeDuration) return implausible();
    }
    if (FAILED(hr)) return failed(hr, src.detail());
    if (clock.totalSamples == 0)
        return failed(VFW_E_DECODE_FAILED, src.invalidPackets() > 0 ? QStringLiteral("the audio data is corrupt")
                                                                     : QStringLiteral("no audio could be decoded"));
    return measured(clock, 0, channels);
}

// Where the decoded FLAC stream ends, in samples, read from its last frames after the first
// was decoded; 0 when that cannot be told without reading it all.
std::int64_t flacEnd(AudioSource& src, AVStream* st) {
    PacketPtr pkt(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (src.readPacket(pkt.get()) != S_OK) return 0;
    if (avcodec_send_packet(src.codec(), pkt.get()) < 0 || avcodec_receive_frame(src.codec(), frame.get()) < 0)
        return 0;
    // Frame numbers count from the start of the stream only when the first frame is at 0.
    if (frame->pts != 0 || !sampleRateInBounds(frame->sample_rate) ||
        !channelCountInBounds(frame->ch_layout.nb_channels))
        return 0;
    const std::int64_t target = std::max<std::int64_t>(0, st->duration - 4 * 65536);
    if (avformat_seek_file(src.format(), st->index, INT64_MIN, target, target, 0) < 0) return 0;
    // Decoded, not counted: a frame cut short by the end of the file does not decode.
    avcodec_flush_buffers(src.codec());
    std::int64_t end = 0;
    HRESULT hr;
    auto take = [&] {
        while (avcodec_receive_frame(src.codec(), frame.get()) == 0) {
            if (frame->pts != AV_NOPTS_VALUE) end = std::max<std::int64_t>(end, frame->pts + frame->nb_samples);
            av_frame_unref(frame.get());
        }
    };
    while ((hr = src.readPacket(pkt.get())) == S_OK) {
        if (avcodec_send_packet(src.codec(), pkt.get()) >= 0) take();
    }
    avcodec_send_packet(src.codec(), nullptr);
    take();
    return FAILED(hr) ? 0 : end;
}

std::int64_t fileSizeOf(AudioSource& src) { return avio_size(src.format()->pb); }

// PCM in WAV whose header agrees with its format: the whole blocks the data chunk holds, as
// far as the file really reaches. -1 when the header cannot be taken at its word.
std::int64_t wavPcmFrames(AudioSource& src) {
    const AVStream* st = src.stream();
    const AVCodecParameters* par = st->codecpar;
    const int frameBytes = av_get_exact_bits_per_sample(par->codec_id) * par->ch_layout.nb_channels / 8;
    if (!isFormat(src, "wav") || frameBytes <= 0 || par->block_align != frameBytes || st->duration <= 0 ||
        st->time_base.num != 1 || st->time_base.den != par->sample_rate)
        return -1;
    const std::int64_t dataStart = avio_tell(src.format()->pb);
    const std::int64_t fileSize = fileSizeOf(src);
    if (dataStart <= 0 || fileSize < dataStart || st->duration > (fileSize - dataStart) / frameBytes) return -1;
    return st->duration;
}

// The last packet's duration in the sample table itself: the demuxer shortens it to where the
// edit list ends, which is stated in the movie's (often millisecond) timescale.
std::int64_t mp4LastSampleDuration(int fd) {
    AudioSource raw;
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "ignore_editlist", "1", 0);
    const HRESULT hr = raw.openDescriptor(fd, &opts);
    av_dict_free(&opts);
    if (FAILED(hr)) return -1;
    AVStream* st = raw.stream();
    avformat_seek_file(raw.format(), st->index, INT64_MIN, INT64_MAX, INT64_MAX, 0);
    PacketPtr pkt(av_packet_alloc());
    std::int64_t last = -1;
    while (raw.readPacket(pkt.get()) == S_OK) last = pkt->duration;
    return last;
}

}  // namespace

void SampleClock::add(int frameRate, std::int64_t n) {
    if (n <= 0 || frameRate <= 0) return;
    if (frameRate != rate) {
        if (rate > 0) settled += av_rescale(samplesAtRate, kUnitsPerSecond, rate);
        rate = frameRate;
        samplesAtRate = 0;
    }
    largestFrame = std::max(largestFrame, n);
    if (__builtin_add_overflow(samplesAtRate, n, &samplesAtRate) ||
        __builtin_add_overflow(totalSamples, n, &totalSamples) || settled > kMaxProbeDuration)
        overflowed = true;
}

REFERENCE_TIME SampleClock::duration() const {
    if (overflowed) return INT64_MAX;
    return settled + (rate > 0 ? av_rescale(samplesAtRate, kUnitsPerSecond, rate) : 0);
}

namespace {

ProbeResult countSamples(AudioSource& src, int fd) {
    HRESULT hr = S_OK;
    AVStream* st = src.stream();
    AVCodecContext* dec = src.codec();
    const AVCodecParameters* par = st->codecpar;
    const int channels = par->ch_layout.nb_channels;
    Counting counting = countingFor(par->codec_id);
    if (counting == Counting::Decode) return probeByDecoding(fd);

    if (const std::int64_t frames = wavPcmFrames(src); frames >= 0) {
        SampleClock clock;
        clock.add(par->sample_rate, frames);
        return measured(clock, 0, channels);
    }
    // A native FLAC stream states its length; it is believed only where its last frames end
    // exactly there, read without reading the whole file.
    if (isFormat(src, "flac") && st->duration > 0 && st->time_base.num == 1 &&
        st->time_base.den == par->sample_rate) {
        const std::int64_t end = flacEnd(src, st);
        if (end > 0 && end == st->duration && end / kMaxFlacSamplesPerByte <= fileSizeOf(src)) {
            SampleClock clock;
            clock.add(par->sample_rate, end);
            return measured(clock, 0, channels);
        }
        // A header that lies, or a file cut short: what decodes is the measure.
        return probeByDecoding(fd);
    }

    PacketPtr pkt(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!pkt || !frame) return failed(E_OUTOFMEMORY, QStringLiteral("out of memory"));

    const int pcmBits = av_get_exact_bits_per_sample(par->codec_id) * channels;
    FrameParser parser;
    SampleClock clock;           // codec-level samples of every packet
    SampleClock decodedFrames;   // what the first packets decoded to: the frame size and rate
    std::int64_t trimmed = 0;    // samples the decoder drops (delay, padding), as the file states
    std::int64_t packets = 0;
    std::int64_t codecFrames = 0;
    std::int64_t lastPacketTicks = 0;
    bool decodedSome = false;
    int validationLeft = kValidationPackets;
    int invalid = 0;
    while ((hr = src.readPacket(pkt.get())) == S_OK) {
        if (packets++ == 0 && counting == Counting::Parser && !parser.open(par->codec_id, par))
            return probeByDecoding(fd);
        std::size_t sideSize = 0;
        if (const uint8_t* skip = av_packet_get_side_data(pkt.get(), AV_PKT_DATA_SKIP_SAMPLES, &sideSize);
            skip && sideSize >= 8)
            trimmed += static_cast<std::int64_t>(AV_RL32(skip)) + AV_RL32(skip + 4);
        lastPacketTicks = pkt->duration;
        if (validationLeft > 0) {
            --validationLeft;
            if (avcodec_send_packet(dec, pkt.get()) < 0) ++invalid;
            while (avcodec_receive_frame(dec, frame.get()) == 0) {
                if (!sampleRateInBounds(frame->sample_rate) || !channelCountInBounds(frame->ch_layout.nb_channels))
                    return failed(VFW_E_BAD_AUDIO_FORMAT, QStringLiteral("unusable audio format (%1 Hz, %2 channels)")
                                                              .arg(frame->sample_rate)
                                                              .arg(frame->ch_layout.nb_channels));
                decodedSome = true;
                decodedFrames.add(frame->sample_rate, frame->nb_samples);
                av_frame_unref(frame.get());
            }
        }
        switch (counting) {
            case Counting::Pcm:
                if (pcmBits > 0) clock.add(par->sample_rate, static_cast<std::int64_t>(pkt->size) * 8 / pcmBits);
                break;
            case Counting::Parser:
                parser.feed(pkt->data, pkt->size, clock);
                break;
            case Counting::FrameSize:
                codecFrames += aacFramesIn(pkt.get());
                break;
            case Counting::Decode:
                break;
        }
    }
    if (FAILED(hr)) return failed(hr, src.detail());
    if (!decodedSome && packets > 0) {
        // Decoders with a start-up delay may hold the only frames until drained.
        avcodec_send_packet(dec, nullptr);
        while (avcodec_receive_frame(dec, frame.get()) == 0) {
            decodedSome = true;
            decodedFrames.add(frame->sample_rate, frame->nb_samples);
            av_frame_unref(frame.get());
        }
    }
    if (!decodedSome)
        return failed(VFW_E_DECODE_FAILED, invalid ? QStringLiteral("the audio data is corrupt")
                                                   : QStringLiteral("no audio could be decoded"));
    if (counting == Counting::Parser) parser.flush(clock);

    if (counting == Counting::FrameSize) {
        // One frame per packet, of the size and at the rate the decoder showed (SBR doubles both).
        const std::int64_t frameSize = decodedFrames.largestFrame;
        if (frameSize <= 0 || codecFrames > INT64_MAX / frameSize) return implausible();
        clock.add(decodedFrames.rate, codecFrames * frameSize);
        clock.largestFrame = frameSize;
        // MP4 states where the last frame ends in the track's own timescale; the padding after
        // it is trimmed when that scale counts samples.
        if (isFormat(src, "mp4") && st->time_base.num == 1 && st->time_base.den == decodedFrames.rate &&
            lastPacketTicks > 0 && lastPacketTicks < frameSize) {
            std::int64_t last = mp4LastSampleDuration(fd);
            // The edit list may end the track earlier than its table on purpose: more than a
            // millisecond off is not rounding.
            const std::int64_t tolerance = decodedFrames.rate / 1000 + 1;
            if (last <= 0 || last > frameSize || std::llabs(last - lastPacketTicks) > tolerance)
                last = lastPacketTicks;
            trimmed += frameSize - last;
        }
    }
    if (clock.totalSamples == 0) return failed(VFW_E_DECODE_FAILED, QStringLiteral("no audio could be decoded"));
    return measured(clock, trimmed, channels);
}

// A tag of the file, else of its audio stream (Ogg keeps Vorbis comments there).
QString tagOf(AudioSource& src, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(src.format()->metadata, key, nullptr, 0);
    if ((!e || !*e->value) && src.stream())
        e = av_dict_get(src.stream()->metadata, key, nullptr, 0);
    return e ? cleanLabel(QString::fromUtf8(e->value)) : QString();
}

}  // namespace

ProbeResult probeFile(const std::string& path) {
    HRESULT hr = S_OK;
    QString why;
    const int fd = AudioSource::openFile(path, &hr, &why);
    if (fd < 0) return failed(hr, why);
    ProbeResult r = probeDescriptor(fd);
    ::close(fd);
    return r;
}

ProbeResult probeDescriptor(int fd) {
    AudioSource src;
    HRESULT hr = src.openDescriptor(fd);
    if (FAILED(hr)) return failed(hr, src.detail());
    ProbeResult r = countSamples(src, fd);
    if (SUCCEEDED(r.hr)) {
        r.title = tagOf(src, "title");
        r.artist = tagOf(src, "artist");
        r.codec = QString::fromLatin1(avcodec_get_name(src.stream()->codecpar->codec_id));
    }
    return r;
}

}  // namespace corvane::media
