#include "media/Probe.h"

#include "media/AudioSource.h"

#include <algorithm>
#include <climits>
#include <cstring>

extern "C" {
#include <libavutil/intreadwrite.h>
#include <libavutil/mathematics.h>
}

namespace corvane::media {

namespace {

// Enough packets to get a first frame out of any decoder with a start-up delay.
constexpr int kValidationPackets = 32;

// Counts decoded samples exactly, across sample-rate changes.
struct SampleClock {
    std::int64_t samplesAtRate = 0;
    int rate = 0;
    REFERENCE_TIME settled = 0;  // 100 ns of the runs at earlier rates
    std::int64_t totalSamples = 0;

    void add(int frameRate, int n) {
        if (frameRate != rate) {
            if (rate > 0) settled += av_rescale(samplesAtRate, kUnitsPerSecond, rate);
            rate = frameRate;
            samplesAtRate = 0;
        }
        samplesAtRate += n;
        totalSamples += n;
    }
    REFERENCE_TIME duration() const {
        return settled + (rate > 0 ? av_rescale(samplesAtRate, kUnitsPerSecond, rate) : 0);
    }
};

ProbeResult failed(HRESULT hr, const QString& detail) {
    ProbeResult r;
    r.hr = hr;
    r.detail = detail;
    return r;
}

// A length known in samples at the stream's own rate.
ProbeResult measured(std::int64_t samples, const AVCodecParameters* par) {
    ProbeResult r;
    r.hr = S_OK;
    r.samples = samples;
    r.sampleRate = par->sample_rate;
    r.channels = par->ch_layout.nb_channels;
    r.duration = av_rescale(samples, kUnitsPerSecond, par->sample_rate);
    return r;
}

// Counts by decoding everything: for streams whose packets do not carry durations.
ProbeResult probeByDecoding(const std::string& path) {
    AudioSource src;
    HRESULT hr = src.open(path);
    if (FAILED(hr)) return failed(hr, src.detail());
    FramePtr frame(av_frame_alloc());
    SampleClock clock;
    int channels = 0;
    while ((hr = src.decodeFrame(frame.get())) == S_OK) {
        clock.add(frame->sample_rate, frame->nb_samples);
        channels = frame->ch_layout.nb_channels;
        av_frame_unref(frame.get());
    }
    if (FAILED(hr)) return failed(hr, src.detail());
    if (clock.totalSamples == 0 && src.invalidPackets() > 0)
        return failed(VFW_E_DECODE_FAILED, QStringLiteral("no audio could be decoded"));
    ProbeResult r;
    r.hr = S_OK;
    r.duration = clock.duration();
    r.samples = clock.totalSamples;
    r.sampleRate = clock.rate;
    r.channels = channels;
    return r;
}

// Where the last frames of a FLAC stream end, in samples, or 0 when that cannot be told
// without reading it all. The first frame is decoded first, so the stream is known usable.
std::int64_t flacEnd(AudioSource& src, AVStream* st) {
    PacketPtr pkt(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (src.readPacket(pkt.get()) != S_OK) return 0;
    if (avcodec_send_packet(src.codec(), pkt.get()) < 0 || avcodec_receive_frame(src.codec(), frame.get()) < 0)
        return 0;
    if (!sampleRateInBounds(frame->sample_rate) || !channelCountInBounds(frame->ch_layout.nb_channels)) return 0;
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

}  // namespace

ProbeResult probeFile(const std::string& path) {
    AudioSource src;
    HRESULT hr = src.open(path);
    if (FAILED(hr)) return failed(hr, src.detail());

    AVStream* st = src.stream();
    AVCodecContext* dec = src.codec();
    // Packet durations of these codecs do not add up to what decodes (block overlap,
    // pre-skip counted twice): count what the decoder delivers instead.
    switch (st->codecpar->codec_id) {
        case AV_CODEC_ID_VORBIS:
        case AV_CODEC_ID_OPUS:
        case AV_CODEC_ID_SPEEX:
            return probeByDecoding(path);
        default:
            break;
    }
    // FLAC: the stream header states the length to the sample; reading the last frames (not
    // the whole file) confirms the file really reaches that far.
    if (std::strcmp(src.format()->iformat->name, "flac") == 0 && st->duration > 0 &&
        st->time_base.num == 1 && st->time_base.den == st->codecpar->sample_rate) {
        if (const std::int64_t end = flacEnd(src, st); end > 0) {
            return measured(std::min<std::int64_t>(st->duration, end), st->codecpar);
        }
    }
    // PCM in WAV: the length is what the data chunk holds of whole blocks, as far as the file
    // really reaches; reading every packet would only copy the file.
    const AVCodecParameters* par = st->codecpar;
    if (std::strcmp(src.format()->iformat->name, "wav") == 0 && av_get_exact_bits_per_sample(par->codec_id) > 0 &&
        par->block_align > 0 && st->duration > 0 && st->time_base.num == 1 && st->time_base.den == par->sample_rate) {
        AVIOContext* pb = src.format()->pb;
        const std::int64_t dataStart = avio_tell(pb);
        const std::int64_t fileSize = avio_size(pb);
        if (dataStart > 0 && fileSize >= dataStart) {
            const std::int64_t available = (fileSize - dataStart) / par->block_align;
            return measured(std::min<std::int64_t>(st->duration, available), st->codecpar);
        }
    }

    PacketPtr pkt(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!pkt || !frame) return failed(E_OUTOFMEMORY, QStringLiteral("out of memory"));

    std::int64_t ticks = 0;      // packet durations, in the stream's time base
    std::int64_t trimmed = 0;    // samples the decoder will drop (delay, padding)
    bool decodedSome = false;
    int packets = 0;
    int validationLeft = kValidationPackets;
    int invalid = 0;
    while ((hr = src.readPacket(pkt.get())) == S_OK) {
        if (pkt->duration <= 0 && pkt->size > 0) return probeByDecoding(path);
        ticks += pkt->duration;
        ++packets;
        std::size_t sideSize = 0;
        if (const uint8_t* skip = av_packet_get_side_data(pkt.get(), AV_PKT_DATA_SKIP_SAMPLES, &sideSize);
            skip && sideSize >= 8)
            trimmed += static_cast<std::int64_t>(AV_RL32(skip)) + AV_RL32(skip + 4);
        if (!decodedSome && validationLeft > 0) {
            --validationLeft;
            if (avcodec_send_packet(dec, pkt.get()) < 0) ++invalid;
            while (avcodec_receive_frame(dec, frame.get()) == 0) {
                if (!sampleRateInBounds(frame->sample_rate) ||
                    !channelCountInBounds(frame->ch_layout.nb_channels))
                    return failed(VFW_E_BAD_AUDIO_FORMAT,
                                  QStringLiteral("unusable audio format (%1 Hz, %2 channels)")
                                      .arg(frame->sample_rate)
                                      .arg(frame->ch_layout.nb_channels));
                decodedSome = true;
                av_frame_unref(frame.get());
            }
        }
    }
    if (FAILED(hr)) return failed(hr, src.detail());
    if (!decodedSome && packets > 0) {
        // Decoders with a start-up delay may hold the only frames until drained.
        avcodec_send_packet(dec, nullptr);
        while (avcodec_receive_frame(dec, frame.get()) == 0) {
            decodedSome = true;
            av_frame_unref(frame.get());
        }
        if (!decodedSome)
            return failed(VFW_E_DECODE_FAILED, invalid ? QStringLiteral("the audio data is corrupt")
                                                       : QStringLiteral("no audio could be decoded"));
    }

    const int rate = st->codecpar->sample_rate;
    const REFERENCE_TIME total = av_rescale_q(ticks, st->time_base, AVRational{1, kUnitsPerSecond});
    const REFERENCE_TIME cut = av_rescale(trimmed, kUnitsPerSecond, rate);
    ProbeResult r;
    r.hr = S_OK;
    r.duration = total > cut ? total - cut : 0;
    r.sampleRate = rate;
    r.channels = st->codecpar->ch_layout.nb_channels;
    r.samples = av_rescale(r.duration, rate, kUnitsPerSecond);
    return r;
}

}  // namespace corvane::media
