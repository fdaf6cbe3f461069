// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/Probe.h"
#include "media/Cause.h"
#include "media/ErrorText.h"

#include "media/decoders/AudioSource.h"
#include "media/decoders/FrameCounter.h"
#include "media/decoders/OggTally.h"
#include "media/wavfile/CueChunks.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <numeric>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavutil/intreadwrite.h>
#include <libavutil/mathematics.h>
}

namespace corvane::media {

namespace {

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
    return failed(VFW_E_INVALID_FILE_FORMAT, Cause::tr("the length it states is impossible"));
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
        return failed(VFW_E_DECODE_FAILED, src.invalidPackets() > 0 ? Cause::tr("the audio data is corrupt")
                                                                     : Cause::tr("no audio could be decoded"));
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

// The file as its sample table has it, before any edit list cuts it.
HRESULT openWithoutEditList(AudioSource& raw, int fd) {
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "ignore_editlist", "1", 0);
    const HRESULT hr = raw.openDescriptor(fd, &opts);
    av_dict_free(&opts);
    return hr;
}

// The last packet's duration in the sample table itself: the demuxer shortens it to where the
// edit list ends, which is stated in the movie's (often millisecond) timescale.
std::int64_t mp4LastSampleDuration(int fd) {
    AudioSource raw;
    if (FAILED(openWithoutEditList(raw, fd))) return -1;
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

void SampleClock::append(const SampleClock& later) {
    if (later.totalSamples == 0) return;
    if (later.settled == 0) {
        add(later.rate, later.samplesAtRate);
    } else {
        // Its earlier runs are time already; its last run goes on counting.
        if (rate > 0) settled += av_rescale(samplesAtRate, kUnitsPerSecond, rate);
        settled += later.settled;
        rate = later.rate;
        samplesAtRate = later.samplesAtRate;
        if (__builtin_add_overflow(totalSamples, later.totalSamples, &totalSamples)) overflowed = true;
    }
    largestFrame = std::max(largestFrame, later.largestFrame);
    overflowed = overflowed || later.overflowed || settled > kMaxProbeDuration;
}

REFERENCE_TIME SampleClock::duration() const {
    if (overflowed) return INT64_MAX;
    return settled + (rate > 0 ? av_rescale(samplesAtRate, kUnitsPerSecond, rate) : 0);
}

namespace {

// How many packets are decoded at either end. At the start, the decoder may drop priming or
// the file state a delay; the packets from checkFrom on must decode to what they count, or
// the counting is not trusted. At the end, `tail` packets are decoded after `preroll` packets
// that bring the decoder into state: what they decode to replaces what they count (a tag or
// damaged frames read as frames, a partial packet, padding the file states). Lossless codecs
// keep no state from frame to frame and have large frames: a few packets tell.
struct Ends {
    std::size_t head;
    std::size_t checkFrom;
    std::size_t preroll;
    std::size_t tail;
    std::size_t ring() const { return preroll + tail; }
};

Ends endsFor(AVCodecID id) {
    const AVCodecDescriptor* d = avcodec_descriptor_get(id);
    // WavPack counts as lossy too (its hybrid mode), yet every block decodes on its own.
    if (id == AV_CODEC_ID_WAVPACK || (d && (d->props & AV_CODEC_PROP_LOSSLESS) && !(d->props & AV_CODEC_PROP_LOSSY)))
        return {4, 2, 1, 3};
    return {32, 8, 8, 8};
}

struct Stored {
    PacketPtr pkt;
    PacketCount count;
    std::int64_t trim = 0;  // what its skip side data has the decoder drop
};

// How the counted rate and samples turn into what the decoder delivers: a container's
// placeholder rate (FLAC in MP4 above 65535 Hz), or SBR doubling both.
struct RateMap {
    int from = 0;
    int to = 0;
    std::int64_t num = 1;
    std::int64_t den = 1;

    PacketCount apply(PacketCount c) const {
        if (from == 0 || c.samples <= 0) return c;
        if (c.rate == from) return {to, c.samples * num / den};
        if (num != den && static_cast<std::int64_t>(to) * den == static_cast<std::int64_t>(from) * num)
            return {static_cast<int>(c.rate * num / den), c.samples * num / den};
        return c;
    }
};

std::int64_t skipSamplesOf(const AVPacket* pkt) {
    std::size_t size = 0;
    const uint8_t* skip = av_packet_get_side_data(pkt, AV_PKT_DATA_SKIP_SAMPLES, &size);
    return skip && size >= 8 ? static_cast<std::int64_t>(AV_RL32(skip)) + AV_RL32(skip + 4) : 0;
}

// A packet whose start the decoder drops: the first of a stream, or of a link chained to it.
bool startsTrimmed(const AVPacket* pkt) {
    std::size_t size = 0;
    const uint8_t* skip = av_packet_get_side_data(pkt, AV_PKT_DATA_SKIP_SAMPLES, &size);
    return skip && size >= 4 && AV_RL32(skip) > 0;
}

// The most packets decoded around the seams of chained links before the file is decoded in
// full instead: links of a few packets each are not worth the bookkeeping.
constexpr std::size_t kMaxSeamPackets = 4096;

// What a run of packets decodes to with a decoder of its own, drained at the end, as the
// join's decode would give it; per packet when asked.
struct Run {
    SampleClock clock;
    std::vector<PacketCount> perPacket;
    int channels = 0;
    int invalid = 0;
    bool badFormat = false;
    int badRate = 0;
    int badChannels = 0;
};

Run decodeRun(const AVCodecParameters* par, AVRational timeBase, const std::vector<const AVPacket*>& packets) {
    Run run;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    CodecContextPtr dec(avcodec_alloc_context3(codec));
    if (!codec || !dec || avcodec_parameters_to_context(dec.get(), par) < 0) return run;
    dec->pkt_timebase = timeBase;
    dec->thread_count = 1;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0) return run;
    FramePtr frame(av_frame_alloc());
    run.perPacket.assign(packets.size(), {});
    auto take = [&](std::size_t i) {
        for (int bad = 0;;) {
            const int err = avcodec_receive_frame(dec.get(), frame.get());
            if (isDataError(err) && ++bad < 256) continue;
            if (err < 0) return;
            if (!sampleRateInBounds(frame->sample_rate) || !channelCountInBounds(frame->ch_layout.nb_channels)) {
                run.badFormat = true;
                run.badRate = frame->sample_rate;
                run.badChannels = frame->ch_layout.nb_channels;
            } else if (frame->nb_samples > 0) {
                run.clock.add(frame->sample_rate, frame->nb_samples);
                run.channels = frame->ch_layout.nb_channels;
                if (i < run.perPacket.size())
                    run.perPacket[i] = {frame->sample_rate, run.perPacket[i].samples + frame->nb_samples};
            }
            av_frame_unref(frame.get());
        }
    };
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const int err = avcodec_send_packet(dec.get(), packets[i]);
        if (err < 0 && err != AVERROR(EAGAIN)) ++run.invalid;
        take(i);
    }
    avcodec_send_packet(dec.get(), nullptr);
    take(packets.empty() ? 0 : packets.size() - 1);
    return run;
}

ProbeResult badFormat(const Run& run) {
    return failed(VFW_E_BAD_AUDIO_FORMAT,
                  Cause::tr("unusable audio format (%1 Hz, %2 channels)").arg(run.badRate).arg(run.badChannels));
}

// The first head packet whose count and decode differ tells how the one maps to the other;
// from there on every packet of the head must agree. False: counting cannot be trusted here.
bool calibrate(const std::vector<Stored>& head, const Run& run, FrameCounter& counter, AVCodecID id,
               std::size_t checkFrom, RateMap* map) {
    const std::size_t from = std::min(checkFrom, head.size() / 2);
    if (FrameCounter::fixedFrames(id)) {
        // The fixed length is whatever the fullest packet decodes to.
        PacketCount longest;
        for (std::size_t i = from; i < run.perPacket.size(); ++i)
            if (run.perPacket[i].samples > longest.samples) longest = run.perPacket[i];
        if (longest.samples <= 0) return false;
        counter.setFrameLength(longest.rate, longest.samples);
        return true;
    }
    for (std::size_t i = from; i < head.size(); ++i) {
        const PacketCount c = head[i].count;
        const PacketCount d = run.perPacket[i];
        if (c.samples <= 0 || d.samples <= 0) continue;
        if (c.rate == d.rate && c.samples == d.samples) break;
        const std::int64_t g = std::gcd(c.samples, d.samples);
        *map = {c.rate, d.rate, d.samples / g, c.samples / g};
        const bool placeholder = map->num == map->den;
        const bool doubled = static_cast<std::int64_t>(d.rate) * c.samples == static_cast<std::int64_t>(c.rate) * d.samples;
        if (!placeholder && !doubled) return false;
        break;
    }
    std::int64_t counted = 0;
    std::int64_t decoded = 0;
    for (std::size_t i = from; i < head.size(); ++i) {
        if (head[i].trim > 0) return true;  // the decoder drops part of it: nothing to compare
        counted += map->apply(head[i].count).samples;
        decoded += run.perPacket[i].samples;
    }
    return counted == decoded;
}

// Where the single media data box of an MP4 file ends, or -1 when the file is not laid out
// that simply (fragments, several boxes).
std::int64_t mp4MediaDataEnd(int fd, std::int64_t fileSize) {
    std::int64_t at = 0;
    std::int64_t end = -1;
    while (at + 8 <= fileSize) {
        unsigned char h[16] = {};
        if (::pread(fd, h, sizeof h, at) < 8) break;
        std::int64_t size = AV_RB32(h);
        if (size == 1) size = static_cast<std::int64_t>(AV_RB64(h + 8));
        if (size == 0) size = fileSize - at;
        if (size < 8) return -1;
        if (!std::memcmp(h + 4, "moof", 4)) return -1;
        if (!std::memcmp(h + 4, "mdat", 4)) {
            if (end >= 0) return -1;
            end = std::min(fileSize, at + size);
        }
        if (size > fileSize - at) break;
        at += size;
    }
    return end;
}

// Whether FFmpeg's index of an MP4 file stops well short of its media data: an index cut
// (out of memory, or damaged) must fail, not give a shorter length. What other tracks keep
// after the audio's last packet is theirs.
bool indexEndsEarly(AudioSource& src, int fd, std::int64_t audioEnd) {
    if (!isFormat(src, "mp4") || audioEnd <= 0) return false;
    const std::int64_t end = mp4MediaDataEnd(fd, fileSizeOf(src));
    if (end < 0 || audioEnd > end) return false;
    std::int64_t others = 0;
    for (unsigned s = 0; s < src.format()->nb_streams; ++s) {
        AVStream* st = src.format()->streams[s];
        if (st == src.stream()) continue;
        const int n = avformat_index_get_entries_count(st);
        for (int i = 0; i < n; ++i)
            if (const AVIndexEntry* e = avformat_index_get_entry(st, i); e && e->pos >= audioEnd && e->pos < end)
                others += e->size;
    }
    const std::int64_t slack = 16 * 1024 + end / 200;
    return end - audioEnd - others > slack;
}

// Where the audio's own sample table ends in the file, edit lists aside: an edit list may
// end the track well before its table does, on purpose. -1 when it cannot be told.
std::int64_t mp4TableEnd(int fd) {
    AudioSource raw;
    if (FAILED(openWithoutEditList(raw, fd)) || !isFormat(raw, "mp4")) return -1;
    std::int64_t end = -1;
    const int n = avformat_index_get_entries_count(raw.stream());
    for (int i = 0; i < n; ++i)
        if (const AVIndexEntry* e = avformat_index_get_entry(raw.stream(), i))
            end = std::max<std::int64_t>(end, e->pos + e->size);
    if (end >= 0 && indexEndsEarly(raw, fd, end)) return -1;
    return end;
}

// Where a raw AC-3 stream's first frame starts in the file, as the demuxer's parser found it
// (past any tag or garbage); kNotRaw where the demuxer does more than cut the file into
// pieces for a parser, -1 where it cannot be told (a packet is read by then).
constexpr std::int64_t kNotRaw = -2;
std::int64_t rawStart(AudioSource& src) {
    const char* name = src.format()->iformat->name;
    if (std::strcmp(name, "ac3") != 0 && std::strcmp(name, "eac3") != 0) return kNotRaw;
    PacketPtr pkt(av_packet_alloc());
    if (!pkt || src.readPacket(pkt.get()) != S_OK) return -1;
    return pkt->pos;
}

// Copies a frame the counter split off into pkt, into the buffer it already has where it can.
bool copyInto(AVPacket* pkt, const std::uint8_t* data, int size) {
    AVBufferRef* buf = pkt->buf;
    if (buf && av_buffer_is_writable(buf) &&
        static_cast<std::size_t>(buf->size) >=
            static_cast<std::size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE) {
        pkt->buf = nullptr;
        av_packet_unref(pkt);
        pkt->buf = buf;
        pkt->data = buf->data;
        pkt->size = size;
    } else {
        av_packet_unref(pkt);
        if (av_new_packet(pkt, size) < 0) return false;
    }
    std::memcpy(pkt->data, data, static_cast<std::size_t>(size));
    std::memset(pkt->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    return true;
}

// The middle of an MP4 track, jumped over: its sample table states every packet, and the
// packets of these codecs each count the same, whatever they hold.
struct Jump {
    std::int64_t packets = 0;  // counted without being read
    PacketCount count;         // what each of them counts
    std::int64_t end = 0;      // where the last of them ends in the file
    int landing = -1;          // the index entry read next
    bool failed = false;       // the demuxer moved, but maybe not where asked: read again
};

Jump jumpOverMiddle(AudioSource& src, int fd, const std::vector<Stored>& head,
                    FrameCounter& counter, std::size_t ring) {
    Jump j;
    AVStream* st = src.stream();
    const AVCodecID id = st->codecpar->codec_id;
    if (!isFormat(src, "mp4") || (id != AV_CODEC_ID_AAC && !FrameCounter::fixedFrames(id)) ||
        head.empty())
        return j;
    const int from = static_cast<int>(head.size());
    const int landing = avformat_index_get_entries_count(st) - static_cast<int>(ring);
    // A fragmented file's index grows as it is read.
    if (landing <= from || mp4MediaDataEnd(fd, fileSizeOf(src)) < 0) return j;
    const PacketCount c = counter.count(head.back().pkt.get());
    for (int i = 0; i < from; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(st, i);
        const AVPacket* p = head[static_cast<std::size_t>(i)].pkt.get();
        const PacketCount k = counter.count(p);
        if (!e || e->pos != p->pos || e->size != p->size || k.rate != c.rate ||
            k.samples != c.samples)
            return j;
    }
    // Packets an edit list drops are decoded to nothing.
    for (int i = from; i < landing; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(st, i);
        if (!e || (e->flags & AVINDEX_DISCARD_FRAME)) return j;
        j.end = std::max(j.end, e->pos + e->size);
    }
    const std::int64_t ts = avformat_index_get_entry(st, landing)->timestamp;
    if (avformat_seek_file(src.format(), st->index, ts, ts, ts, AVSEEK_FLAG_ANY) < 0) {
        j.failed = true;
        return j;
    }
    j.packets = landing - from;
    j.count = c;
    j.landing = landing;
    return j;
}

// One packet as the file's own framing states it, where the demuxer must find it.
struct WalkedPacket {
    std::int64_t pos = 0;
    int size = 0;
    std::int64_t pts = 0;
    std::int64_t samples = 0;
};

// The middle of a file, walked without the demuxer: counted, but for the last packets walked,
// which are left for the demuxer to read, and it must read them exactly so.
struct Walk {
    std::int64_t packets = 0;  // counted without being read
    std::int64_t samples = 0;
    std::int64_t largest = 0;
    std::deque<WalkedPacket> landing;  // what the demuxer must read next
};

// A WavPack file's packets, read from their block headers alone.
class WavPackBlocks {
  public:
    WavPackBlocks(int fd, std::int64_t end) : fd_(fd), end_(end) {}

    // The packet starting at `at`; false where anything is not as in a plain file.
    bool next(std::int64_t at, WalkedPacket* out) {
        constexpr std::uint32_t kInitial = 0x800;
        constexpr std::uint32_t kFinal = 0x1000;
        // Sample size, mono, rate and DSD: each block of a packet as in the first packet.
        constexpr std::uint32_t kFormat = 0x3 | 0x4 | 0xFu << 23 | 0x80000000u;
        constexpr std::size_t kMaxBlocks = 64;
        const bool first = layout_.empty();
        out->pos = at;
        out->size = 0;
        for (std::size_t block = 0; block < kMaxBlocks; ++block) {
            unsigned char h[32];
            if (::pread(fd_, h, sizeof h, at) != static_cast<ssize_t>(sizeof h)) return false;
            const std::uint32_t ckSize = AV_RL32(h + 4);
            const unsigned version = AV_RL16(h + 8);
            const std::uint32_t index = AV_RL32(h + 16);
            const std::uint32_t samples = AV_RL32(h + 20);
            const std::uint32_t flags = AV_RL32(h + 24);
            // Stricter than the demuxer (a smaller largest block): what is walked, it reads alike.
            if (std::memcmp(h, "wvpk", 4) != 0 || ckSize < 24 || ckSize > 1000 * 1000 ||
                version < 0x402 || version > 0x410 || samples == 0 || samples > INT32_MAX)
                return false;
            // A rate of its own (index 15) or DSD is stated inside the block.
            if (((flags >> 23) & 0xF) == 0xF || (flags & 0x80000000u) != 0) return false;
            if (static_cast<bool>(flags & kInitial) != (block == 0)) return false;
            if (block == 0) {
                out->pts = index;
                out->samples = samples;
            } else if (index != out->pts || samples != out->samples) {
                return false;
            }
            if (first) {
                layout_.push_back(flags & kFormat);
            } else if (block >= layout_.size() || layout_[block] != (flags & kFormat)) {
                return false;
            }
            const std::int64_t blockEnd = at + 8 + ckSize;
            if (blockEnd > end_) return false;
            out->size += static_cast<int>(8 + ckSize);
            at = blockEnd;
            if (flags & kFinal) return first || block + 1 == layout_.size();
        }
        return false;
    }

  private:
    int fd_;
    std::int64_t end_;
    std::vector<std::uint32_t> layout_;  // each block's format in the first packet
};

// Where a WavPack file's audio can end at the latest: before an APE tag at its end, which the
// demuxer stops at (assumed to have a header, so never later than the demuxer's end).
std::int64_t wavPackEnd(int fd, std::int64_t fileSize) {
    unsigned char f[32];
    if (fileSize < 32 || ::pread(fd, f, sizeof f, fileSize - 32) != static_cast<ssize_t>(sizeof f))
        return -1;
    if (std::memcmp(f, "APETAGEX", 8) != 0) return fileSize;
    const std::int64_t tag = AV_RL32(f + 12);
    return std::max<std::int64_t>(0, fileSize - 32 - tag);
}

// WavPack from block header to block header: each states its size and samples, so the audio
// between is never read. Only plain blocks like the first are walked, and only where the
// demuxer would read them too.
Walk walkWavPack(AudioSource& src, int fd, const std::vector<Stored>& head, std::size_t keep) {
    Walk w;
    if (!isFormat(src, "wv") || src.stream()->codecpar->codec_id != AV_CODEC_ID_WAVPACK ||
        head.empty())
        return w;
    const std::int64_t end = wavPackEnd(fd, fileSizeOf(src));
    if (end <= 0) return w;
    WavPackBlocks walker(fd, end);
    // The head as the demuxer read it: the walk must find the very same packets.
    std::int64_t at = head.front().pkt->pos;
    WalkedPacket p;
    for (const Stored& s : head) {
        const AVPacket* pkt = s.pkt.get();
        if (!walker.next(at, &p) || p.pos != pkt->pos || p.size != pkt->size || p.pts != pkt->pts ||
            p.samples != s.count.samples || s.trim != 0)
            return w;
        at += p.size;
    }
    std::deque<WalkedPacket> kept;
    while (walker.next(at, &p)) {
        at += p.size;
        kept.push_back(p);
        if (kept.size() > keep) {
            ++w.packets;
            w.samples += kept.front().samples;
            w.largest = std::max(w.largest, kept.front().samples);
            kept.pop_front();
        }
    }
    if (kept.size() < keep || w.packets == 0) return {};
    w.landing = std::move(kept);
    return w;
}

// Frames an MPEG audio walk leaves for the demuxer: its seek may land up to kMpegSlack frames
// either side of where it was asked, and a ring's worth must follow.
constexpr std::size_t kMpegSlack = 32;

// The middle of an MPEG audio file, split into frames by FFmpeg's parser from large reads
// instead of the demuxer's small ones. Only frames like the head's are walked; the last
// `keep` are for the demuxer to read, which must read them exactly so, timestamps included
// (they place the padding the file states at its end).
Walk walkMpegAudio(AudioSource& src, int fd, const AVCodecParameters* par,
                   const std::vector<Stored>& head, std::size_t keep) {
    Walk w;
    const AVStream* st = src.stream();
    if (!isFormat(src, "mp3") || head.size() < 4 || st->time_base.num <= 0) return w;
    // From the second packet on (the first may be trimmed), alike and end to end in time.
    const PacketCount c = head.back().count;
    const std::int64_t ticks = head.back().pkt->duration;
    if (c.samples <= 0 || ticks <= 0) return w;
    for (std::size_t i = 1; i < head.size(); ++i) {
        const AVPacket* p = head[i].pkt.get();
        const AVPacket* before = head[i - 1].pkt.get();
        if (head[i].count.rate != c.rate || head[i].count.samples != c.samples ||
            p->duration != ticks || p->pts == AV_NOPTS_VALUE || before->pts == AV_NOPTS_VALUE ||
            p->pts != before->pts + before->duration || p->pos != before->pos + before->size ||
            head[i].trim != 0)
            return w;
    }
    FrameCounter parser;
    if (!parser.open(par)) return w;
    // From the second head packet on: the parser must split the head as the demuxer did.
    std::size_t matched = 1;
    std::int64_t at = head[1].pkt->pos;
    std::int64_t pts = head[1].pkt->pts;
    std::deque<WalkedPacket> kept;
    auto frame = [&](const std::uint8_t*, int size, PacketCount k) {
        if (matched < head.size()) {
            const AVPacket* p = head[matched].pkt.get();
            if (p->pos != at || p->size != size || k.rate != c.rate || k.samples != c.samples)
                return false;
            ++matched;
        } else {
            if (k.rate != c.rate || k.samples != c.samples) return false;
            kept.push_back({at, size, pts, k.samples});
            if (kept.size() > keep) {
                ++w.packets;
                w.samples += kept.front().samples;
                kept.pop_front();
            }
        }
        at += size;
        pts += ticks;
        return true;
    };
    constexpr std::size_t kPiece = 1 << 20;
    std::vector<std::uint8_t> piece(kPiece + AV_INPUT_BUFFER_PADDING_SIZE);
    for (off_t from = head[1].pkt->pos;;) {
        const ssize_t n = ::pread(fd, piece.data(), kPiece, from);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the end, or a read error the demuxer meets itself
        from += n;
        std::memset(piece.data() + n, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        if (!parser.split(piece.data(), static_cast<int>(n), frame)) break;
    }
    if (matched < head.size() || kept.size() < keep || w.packets == 0) return {};
    w.largest = c.samples;
    w.landing = std::move(kept);
    return w;
}

// A count, or the word that this file must be decoded in full (checked with no other
// demuxer of it open), or the MP4 table's end still to be read.
struct Count {
    ProbeResult result;
    bool decodeInFull = false;
    bool readMp4End = false;  // AAC in MP4 whose last packet the edit list shortens
    bool readMp4Table = false;  // the packets end well before the media data: cut, or edited?
    bool readAgain = false;     // the jump over the middle did not land where the index said
    std::int64_t lastPacketTicks = 0;
    std::int64_t frameSize = 0;
};

Count countSamples(AudioSource& src, int fd, bool mayJump) {
    Count out;
    AVStream* st = src.stream();
    const AVCodecParameters* par = st->codecpar;
    const int channels = par->ch_layout.nb_channels;
    FrameCounter counter;
    if (!FrameCounter::canCount(par->codec_id) || !counter.open(par)) {
        out.decodeInFull = true;
        return out;
    }
    if (const std::int64_t frames = wavPcmFrames(src); frames >= 0) {
        SampleClock clock;
        clock.add(par->sample_rate, frames);
        out.result = measured(clock, 0, channels);
        return out;
    }
    // A native FLAC stream states its length; it is believed only where its last frames end
    // exactly there, read without reading the whole file.
    if (isFormat(src, "flac") && st->duration > 0 && st->time_base.num == 1 &&
        st->time_base.den == par->sample_rate) {
        const std::int64_t end = flacEnd(src, st);
        if (end > 0 && end == st->duration && end / kMaxFlacSamplesPerByte <= fileSizeOf(src)) {
            SampleClock clock;
            clock.add(par->sample_rate, end);
            out.result = measured(clock, 0, channels);
            return out;
        }
        // A header that lies, or a file cut short: what decodes is the measure.
        out.decodeInFull = true;
        return out;
    }

    // Decoders start from the parameters the join's decoder starts from: a demuxer's parser
    // may change the stream's while it reads on (a stream of another rate glued on).
    struct ParametersDeleter {
        void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
    };
    std::unique_ptr<AVCodecParameters, ParametersDeleter> opened(avcodec_parameters_alloc());
    if (!opened || avcodec_parameters_copy(opened.get(), par) < 0) {
        out.result = failed(E_OUTOFMEMORY, Cause::tr("out of memory"));
        return out;
    }
    auto decode = [&](const std::vector<const AVPacket*>& pkts) { return decodeRun(opened.get(), st->time_base, pkts); };
    // A raw AC-3 stream is read straight from the file in large pieces that the counter splits
    // into the frames the demuxer's parser would give: else every frame is parsed twice.
    const std::int64_t splitAt = FrameCounter::splitsRaw(par->codec_id) ? rawStart(src) : kNotRaw;
    const bool split = splitAt >= 0;
    if (splitAt == -1) {
        out.decodeInFull = true;
        return out;
    }
    const Ends ends = endsFor(par->codec_id);
    std::vector<Stored> head;
    std::deque<Stored> ring;
    SampleClock middle;  // counted, between the decoded head and tail
    std::int64_t largestCount = 0;
    std::int64_t packets = 0;
    std::int64_t audioEnd = 0;
    RateMap map;
    Run headRun;
    bool calibrated = false;
    HRESULT hr = S_OK;
    auto addMiddle = [&](const Stored& s) {
        const PacketCount c = map.apply(s.count);
        largestCount = std::max(largestCount, c.samples);
        middle.add(c.rate, c.samples - s.trim);
    };
    auto calibrateHead = [&]() -> bool {
        std::vector<const AVPacket*> pkts;
        for (Stored& s : head) pkts.push_back(s.pkt.get());
        headRun = decode(pkts);
        // A fixed frame length is learnt from the decode before anything can be counted.
        const bool fixed = FrameCounter::fixedFrames(par->codec_id);
        if (fixed && !calibrate(head, headRun, counter, par->codec_id, ends.checkFrom, &map)) return false;
        if (!split)
            for (Stored& s : head) s.count = counter.count(s.pkt.get());
        for (const Stored& s : head)
            if (s.count.samples < 0) return false;
        calibrated = fixed || calibrate(head, headRun, counter, par->codec_id, ends.checkFrom, &map);
        return calibrated;
    };

    // Where chained links meet (Ogg), the packets around the seam are decoded, from `preroll`
    // packets before it, and what they decode to replaces their count; the last ring's worth
    // of them goes back to the ring, so the file's end is measured as ever.
    std::vector<Stored> seam;
    std::size_t seamLeft = 0;
    bool endsInSeam = false;
    auto closeSeam = [&](bool atEnd) -> bool {
        const std::size_t keep = atEnd ? 0 : ends.ring();
        std::vector<const AVPacket*> pkts;
        for (std::size_t i = 0; i + keep < seam.size(); ++i) pkts.push_back(seam[i].pkt.get());
        const Run across = decode(pkts);
        pkts.resize(ends.preroll);
        const Run before = decode(pkts);
        if (across.badFormat || across.clock.settled != 0 || before.clock.settled != 0) return false;
        for (std::size_t i = 0; i < ends.preroll; ++i) addMiddle(seam[i]);
        middle.add(across.clock.rate, across.clock.totalSamples - before.clock.totalSamples);
        largestCount = std::max(largestCount, across.clock.largestFrame);
        for (std::size_t i = seam.size() - keep; i < seam.size(); ++i) ring.push_back(std::move(seam[i]));
        seam.clear();
        return true;
    };

    // Packets that leave the ring are read into again: a long file has millions of them.
    PacketPtr spare;
    auto nextPacket = [&] { return spare ? std::move(spare) : PacketPtr(av_packet_alloc()); };
    // One packet in stream order, with its count where splitting it off gave one; false when
    // counting cannot go on and the file must be decoded in full.
    auto take = [&](PacketPtr pkt, const PacketCount* known) -> bool {
        ++packets;
        if (pkt->pos >= 0) audioEnd = std::max(audioEnd, pkt->pos + pkt->size);
        out.lastPacketTicks = pkt->duration;
        Stored s;
        s.trim = skipSamplesOf(pkt.get());
        s.pkt = std::move(pkt);
        if (known) s.count = *known;
        if (head.size() < ends.head) {
            head.push_back(std::move(s));
            return head.size() < ends.head || calibrateHead();
        }
        if (!known) s.count = counter.count(s.pkt.get());
        if (s.count.samples < 0) return false;
        if (s.count.linkStart || startsTrimmed(s.pkt.get())) {
            if (seam.empty()) {
                // A link too short to bring a decoder into state before the seam.
                if (ring.size() < ends.preroll) return false;
                while (ring.size() > ends.preroll) {
                    addMiddle(ring.front());
                    ring.pop_front();
                }
                for (Stored& r : ring) seam.push_back(std::move(r));
                ring.clear();
            }
            seamLeft = ends.head + ends.ring();
        }
        if (!seam.empty()) {
            seam.push_back(std::move(s));
            return seam.size() <= kMaxSeamPackets && (--seamLeft != 0 || closeSeam(false));
        }
        ring.push_back(std::move(s));
        if (ring.size() > ends.ring()) {
            addMiddle(ring.front());
            spare = std::move(ring.front().pkt);
            ring.pop_front();
        }
        return true;
    };
    // A Vorbis or Opus file of one link is tallied with libogg, far cheaper than demuxing it,
    // and the demuxer is moved to its last pages: what it reads there must be the packets
    // libogg ended with, else the file is read through.
    enum class OggJump { None, Done, Stop, ReadAgain };
    auto jumpOgg = [&]() -> OggJump {
        const bool vorbis = par->codec_id == AV_CODEC_ID_VORBIS;
        if ((!vorbis && par->codec_id != AV_CODEC_ID_OPUS) || !isFormat(src, "ogg") || map.from != 0 ||
            st->duration == AV_NOPTS_VALUE || st->duration <= 0 || st->time_base.num <= 0)
            return OggJump::None;
        constexpr std::size_t kTail = 4096;
        // Vorbis has three header packets, Opus two (its head and its tags).
        const OggTally t = tallyOgg(fd, opened.get(), vorbis ? 3 : 2, ends.head, kTail);
        if (!t.whole || t.packets < static_cast<std::int64_t>(ends.head + 4 * ends.ring()))
            return OggJump::None;
        for (std::size_t i = 0; i < ends.head; ++i) {
            const AVPacket* p = head[i].pkt.get();
            if (t.first[i].size != p->size || t.first[i].print != packetPrint(p->data, p->size))
                return OggJump::None;
        }
        // Two seconds before the end: the demuxer finds the page by its granule position. The
        // page it lands on must lie after the decoded head, or all is read again.
        const std::int64_t second = av_rescale(1, st->time_base.den, st->time_base.num);
        const std::int64_t start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
        const std::int64_t ts = start + st->duration - 2 * second;
        const AVPacket* last = head.back().pkt.get();
        if (last->pts == AV_NOPTS_VALUE || ts < last->pts + last->duration + second)
            return OggJump::None;
        if (avformat_seek_file(src.format(), st->index, ts, ts, ts, 0) < 0)
            return OggJump::ReadAgain;
        std::vector<PacketPtr> tail;
        for (;;) {
            PacketPtr p(av_packet_alloc());
            if (!p) return OggJump::ReadAgain;
            const HRESULT r = src.readPacket(p.get());
            if (r == S_FALSE) break;
            if (r != S_OK || tail.size() == t.last.size()) return OggJump::ReadAgain;
            tail.push_back(std::move(p));
        }
        // From a page before the last one on, as the demuxer reads the file's end in a full read.
        const std::size_t m = tail.size();
        if (m <= ends.ring() ||
            t.packets - static_cast<std::int64_t>(m) < static_cast<std::int64_t>(ends.head) ||
            tail.front()->pos < 0 || tail.front()->pos >= tail.back()->pos)
            return OggJump::ReadAgain;
        const std::size_t from = t.last.size() - m;
        std::int64_t read = 0;
        for (std::size_t i = 0; i < m; ++i) {
            const AVPacket* p = tail[i].get();
            if (t.last[from + i].size != p->size ||
                t.last[from + i].print != packetPrint(p->data, p->size))
                return OggJump::ReadAgain;
            read += t.last[from + i].count.samples;
        }
        middle.add(t.rate, t.samples - read);
        largestCount = std::max(largestCount, t.largest);
        for (std::size_t i = 0; i < m; ++i)
            if (!take(std::move(tail[i]), &t.last[from + i].count)) return OggJump::Stop;
        return OggJump::Done;
    };
    bool counting = true;
    QString readError;
    if (split) {
        auto frame = [&](const std::uint8_t* data, int size, PacketCount c) {
            PacketPtr p = nextPacket();
            if (!p || !copyInto(p.get(), data, size)) {
                hr = E_OUTOFMEMORY;
                return false;
            }
            counting = take(std::move(p), &c);
            return counting;
        };
        constexpr std::size_t kPiece = 256 * 1024;
        std::vector<std::uint8_t> piece(kPiece + AV_INPUT_BUFFER_PADDING_SIZE);
        for (off_t at = splitAt;;) {
            const ssize_t n = ::pread(fd, piece.data(), kPiece, at);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                const int e = errno;
                hr = fromErrno(e);
                readError = Cause::tr("read error: ") + QString::fromLocal8Bit(std::strerror(e));
                break;
            }
            if (n == 0) {
                hr = S_FALSE;
                counter.split(nullptr, 0, frame);
                break;
            }
            at += n;
            std::memset(piece.data() + n, 0, AV_INPUT_BUFFER_PADDING_SIZE);
            if (!counter.split(piece.data(), static_cast<int>(n), frame)) break;
        }
    } else {
        // After the jump, every packet must be the one the index has next, to its end.
        int expect = -1;
        std::deque<WalkedPacket> walked;  // likewise, after a walk over the middle
        bool landed = false;
        bool walkTrims = false;  // the demuxer places the end's padding by timestamp
        int walkRate = 0;
        // The middle a walk counted, and the packets the demuxer must then read as it did.
        auto adoptWalk = [&](Walk& w) {
            walkRate = head.back().count.rate;
            largestCount = std::max(largestCount, w.largest);
            middle.add(walkRate, w.samples);
            walked = std::move(w.landing);
        };
        bool jumpTried = false;
        PacketPtr pkt(av_packet_alloc());
        for (; pkt && (hr = src.readPacket(pkt.get())) == S_OK; pkt = nextPacket()) {
            if (expect >= 0) {
                const AVIndexEntry* e = avformat_index_get_entry(st, expect);
                if (!e || pkt->pos != e->pos || pkt->size != e->size ||
                    skipSamplesOf(pkt.get()) != 0) {
                    out.readAgain = true;
                    return out;
                }
                ++expect;
            } else if (!walked.empty()) {
                // The demuxer's own seek may land a few frames from where it was asked.
                for (; landed && !walked.empty() && walked.front().pos < pkt->pos;
                     walked.pop_front())
                    middle.add(walkRate, walked.front().samples);
                landed = false;
                if (walked.empty() || pkt->pos != walked.front().pos ||
                    pkt->size != walked.front().size || pkt->pts != walked.front().pts ||
                    (!walkTrims && skipSamplesOf(pkt.get()) != 0)) {
                    out.readAgain = true;
                    return out;
                }
                walked.pop_front();
            }
            if (!(counting = take(std::move(pkt), nullptr))) break;
            if (mayJump && !jumpTried && head.size() == ends.head && ring.empty() && seam.empty()) {
                jumpTried = true;
                const Jump jump = jumpOverMiddle(src, fd, head, counter, ends.ring());
                if (jump.failed) {
                    out.readAgain = true;
                    return out;
                }
                if (jump.packets > 0) {
                    const PacketCount c = map.apply(jump.count);
                    largestCount = std::max(largestCount, c.samples);
                    middle.add(c.rate, c.samples * jump.packets);
                    audioEnd = std::max(audioEnd, jump.end);
                    expect = jump.landing;
                } else if (Walk w =
                               map.from == 0 ? walkWavPack(src, fd, head, ends.ring() + 4) : Walk{};
                           w.packets > 0) {
                    const std::int64_t at = w.landing.front().pos;
                    if (avformat_seek_file(src.format(), -1, at, at, at, AVSEEK_FLAG_BYTE) < 0) {
                        out.readAgain = true;
                        return out;
                    }
                    adoptWalk(w);
                } else if (Walk m = map.from == 0 ? walkMpegAudio(src, fd, opened.get(), head,
                                                                  ends.ring() + 2 * kMpegSlack)
                                                  : Walk{};
                           m.packets > 0) {
                    // Asked by timestamp, so that the packets after it are stamped as in a
                    // full read: where the index entry made here is used, exactly there.
                    const WalkedPacket& to = m.landing[kMpegSlack];
                    if (av_add_index_entry(st, to.pos, to.pts, 0, 0, AVINDEX_KEYFRAME) < 0 ||
                        avformat_seek_file(src.format(), st->index, to.pts, to.pts, to.pts, 0) <
                            0) {
                        out.readAgain = true;
                        return out;
                    }
                    adoptWalk(m);
                    landed = true;
                    walkTrims = true;
                } else if (const OggJump o = jumpOgg(); o == OggJump::ReadAgain) {
                    out.readAgain = true;
                    return out;
                } else if (o == OggJump::Stop) {
                    counting = false;
                    break;
                }
            }
        }
        if (counting && !pkt) hr = E_OUTOFMEMORY;
        if (counting && hr == S_FALSE &&
            ((expect >= 0 && expect != avformat_index_get_entries_count(st)) || !walked.empty())) {
            out.readAgain = true;
            return out;
        }
    }
    if (!counting) {
        out.decodeInFull = true;
        return out;
    }
    if (FAILED(hr)) {
        out.result = failed(hr, hr == E_OUTOFMEMORY   ? Cause::tr("out of memory")
                                : readError.isEmpty() ? src.detail()
                                                      : readError);
        return out;
    }
    if (!seam.empty()) {
        if (!closeSeam(true)) {
            out.decodeInFull = true;
            return out;
        }
        endsInSeam = true;
    }
    out.readMp4Table = indexEndsEarly(src, fd, audioEnd);

    SampleClock clock;
    int outChannels = 0;
    std::int64_t largestFrame = 0;
    if (ring.size() < ends.ring() && !endsInSeam) {
        // Short enough to decode whole: every packet is still at hand.
        std::vector<const AVPacket*> pkts;
        for (Stored& s : head) pkts.push_back(s.pkt.get());
        for (Stored& s : ring) pkts.push_back(s.pkt.get());
        const Run all = decode(pkts);
        if (all.badFormat) {
            out.result = badFormat(all);
            return out;
        }
        if (all.clock.totalSamples == 0) {
            out.result = failed(VFW_E_DECODE_FAILED, all.invalid ? Cause::tr("the audio data is corrupt")
                                                                 : Cause::tr("no audio could be decoded"));
            return out;
        }
        clock = all.clock;
        outChannels = all.channels;
        largestFrame = all.clock.largestFrame;
    } else {
        if (!calibrated) {
            out.decodeInFull = true;
            return out;
        }
        if (headRun.badFormat) {
            out.result = badFormat(headRun);
            return out;
        }
        // A seam that reached the end has measured it already.
        Run withTail;
        Run preroll;
        if (!endsInSeam) {
            ring.back().count.samples += counter.flush().samples;
            std::vector<const AVPacket*> pkts;
            for (Stored& s : ring) pkts.push_back(s.pkt.get());
            withTail = decode(pkts);
            pkts.resize(ends.preroll);
            preroll = decode(pkts);
            for (std::size_t i = 0; i < ends.preroll; ++i) addMiddle(ring[i]);
        }
        if (withTail.badFormat) {
            out.result = badFormat(withTail);
            return out;
        }
        if (headRun.clock.totalSamples == 0 && withTail.clock.totalSamples == 0) {
            out.result = failed(VFW_E_DECODE_FAILED, headRun.invalid ? Cause::tr("the audio data is corrupt")
                                                                     : Cause::tr("no audio could be decoded"));
            return out;
        }
        // A stream that changes rate (streams glued together) is decoded in full: where one
        // gives way to the other, decoders deliver frames their framing does not foretell.
        const int rate = headRun.clock.rate;
        if (headRun.clock.settled != 0 || middle.settled != 0 || (middle.rate != 0 && middle.rate != rate) ||
            withTail.clock.settled != 0 || preroll.clock.settled != 0 || (!endsInSeam && withTail.clock.rate != rate) ||
            (preroll.clock.rate != 0 && preroll.clock.rate != rate)) {
            out.decodeInFull = true;
            return out;
        }
        clock = headRun.clock;
        clock.append(middle);
        clock.add(withTail.clock.rate, withTail.clock.totalSamples - preroll.clock.totalSamples);
        outChannels = headRun.channels ? headRun.channels : withTail.channels;
        largestFrame = std::max({headRun.clock.largestFrame, withTail.clock.largestFrame, largestCount});
    }
    if (clock.totalSamples == 0) {
        out.result = failed(VFW_E_DECODE_FAILED, Cause::tr("no audio could be decoded"));
        return out;
    }
    clock.largestFrame = largestFrame;
    out.result = measured(clock, 0, outChannels ? outChannels : channels);
    // MP4 states where the last AAC frame ends in the track's own timescale; the padding after
    // it is trimmed when that scale counts samples.
    out.frameSize = largestFrame;
    out.readMp4End = par->codec_id == AV_CODEC_ID_AAC && isFormat(src, "mp4") && st->time_base.num == 1 &&
                     st->time_base.den == clock.rate && out.lastPacketTicks > 0 &&
                     out.lastPacketTicks < largestFrame;
    return out;
}

// A tag of the file, else of its audio stream (Ogg keeps Vorbis comments there).
QString tagOf(AudioSource& src, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(src.format()->metadata, key, nullptr, 0);
    if ((!e || !*e->value) && src.stream())
        e = av_dict_get(src.stream()->metadata, key, nullptr, 0);
    return e ? cleanLabel(QString::fromUtf8(e->value)) : QString();
}

// What the decoder delivers, once it has decoded something; else what the container says.
SourceFormat sourceFormatOf(const AudioSource& src) {
    const AVCodecContext* c = src.codec();
    const AVCodecParameters* par = src.stream()->codecpar;
    SourceFormat f;
    f.rate = static_cast<std::uint32_t>(std::max(0, c && c->sample_rate > 0 ? c->sample_rate : par->sample_rate));
    const AVChannelLayout& layout = c && c->ch_layout.nb_channels > 0 ? c->ch_layout : par->ch_layout;
    f.channels = layout.nb_channels;
    f.channelMask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
    int format = c && c->sample_fmt != AV_SAMPLE_FMT_NONE ? c->sample_fmt : par->format;
    if (format < 0) return f;
    const auto packed = av_get_packed_sample_fmt(static_cast<AVSampleFormat>(format));
    f.isFloat = packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL;
    const int width = av_get_bytes_per_sample(packed) * 8;
    const int raw = c && c->bits_per_raw_sample > 0 ? c->bits_per_raw_sample : par->bits_per_raw_sample;
    // Integer decoders state how many of the bits carry sound (24 of 32 for 24-bit FLAC).
    f.bits = !f.isFloat && raw > 0 && raw < width ? raw : width;
    return f;
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
    Count count;
    QString title;
    QString artist;
    QString codec;
    SourceFormat format;
    // A jump over the middle that did not land where the index said leaves the demuxer
    // somewhere unknown: the file is opened again and read through.
    for (bool mayJump = true;; mayJump = false) {
        AudioSource src;
        // Demuxers that index every packet they read (Ogg, FLAC) would grow and copy that
        // index through the whole file; counting never seeks back into it.
        AVDictionary* opts = nullptr;
        av_dict_set(&opts, "indexmem", "4096", 0);
        HRESULT hr = src.openDescriptor(fd, &opts);
        av_dict_free(&opts);
        if (FAILED(hr)) return failed(hr, src.detail());
        title = tagOf(src, "title");
        artist = tagOf(src, "artist");
        codec = QString::fromLatin1(avcodec_get_name(src.stream()->codecpar->codec_id));
        count = countSamples(src, fd, mayJump);
        format = sourceFormatOf(src);
        if (!count.readAgain || !mayJump) break;
    }
    // Only one demuxer of a file is open at a time: a long file's index is large.
    // An index cut short (out of memory, or damaged) must fail, not give a shorter length;
    // an edit list that ends the track early leaves the table whole.
    if (count.readMp4Table && mp4TableEnd(fd) < 0)
        return failed(VFW_E_INVALID_FILE_FORMAT, Cause::tr("the file's index ends before its audio does"));
    ProbeResult r = count.decodeInFull ? probeByDecoding(fd) : count.result;
    if (count.readMp4End && SUCCEEDED(r.hr)) {
        std::int64_t last = mp4LastSampleDuration(fd);
        // The edit list may end the track earlier than its table on purpose: more than a
        // millisecond off is not rounding.
        const std::int64_t tolerance = r.sampleRate / 1000 + 1;
        if (last <= 0 || last > count.frameSize || std::llabs(last - count.lastPacketTicks) > tolerance)
            last = count.lastPacketTicks;
        SampleClock clock;
        clock.add(r.sampleRate, r.samples);
        clock.largestFrame = r.frameSamples;
        const int channels = r.channels;
        r = measured(clock, count.frameSize - last, channels);
    }
    if (SUCCEEDED(r.hr)) {
        r.title = title;
        r.artist = artist;
        r.codec = codec;
        r.format = format;
        r.format.rate = std::max<std::uint32_t>(format.rate, static_cast<std::uint32_t>(r.sampleRate));
    }
    return r;
}

}  // namespace corvane::media
