// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/DecoderWorker.h"

#include <fcntl.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <utility>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "media/decoders/AllocationGuard.h"
#include "media/decoders/AudioSource.h"
#include "media/decoders/LoudnessMeter.h"
#include "media/Cause.h"
#include "media/ErrorText.h"
#include "media/decoders/Probe.h"
#include "media/decoders/SampleConverter.h"
#include "media/decoders/WorkerProtocol.h"

namespace corvane::media {

namespace {

// Converted audio goes back in pieces of about this size: few messages, little memory.
constexpr std::size_t kChunkBytes = 256 * 1024;
// A measurement says how far it has got after each this much audio (100 ns units).
constexpr REFERENCE_TIME kMeasuredStep = 30LL * 10'000'000;

[[noreturn]] void outOfMemory() {
    ::_exit(worker::kExitOutOfMemory);
}

// Bytes of the process's address space and data, from /proc, before the limits go on.
std::uint64_t statusField(const char* name) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(name);
    while (std::getline(in, line))
        if (line.compare(0, n, name) == 0)
            return std::strtoull(line.c_str() + n + 1, nullptr, 10) * 1024;
    return 0;
}

void limit(int resource, rlim_t value, rlim_t ceiling) {
    const rlimit r{value, ceiling};
    ::setrlimit(resource, &r);
}

// Only what decoding an already opened file needs; everything else fails with EPERM. Each
// call is here for a reason:
bool installFilter() {
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!ctx) return false;
    const int allowed[] = {
        SCMP_SYS(read),        // the file handed over, and requests on the socket
        SCMP_SYS(pread64),     // a look at a file's first bytes to tell its format; the scratch file
        SCMP_SYS(pwrite64),    // the scratch file the program handed over (nothing else is open to write)
        SCMP_SYS(lseek),       // demuxers seek in the file
        SCMP_SYS(fstat),       // the size of a descriptor it holds (never of a path)
        SCMP_SYS(fadvise64),   // read-ahead for the file
        SCMP_SYS(dup),         // a source keeps its own copy of the descriptor
        SCMP_SYS(close),       // and lets it go
        SCMP_SYS(fcntl),       // descriptor flags
        SCMP_SYS(write),       // FFmpeg's log, on /dev/null unless asked for
        SCMP_SYS(sendto),      // answers to the program (send)
        SCMP_SYS(sendmsg),     // answers to the program (the header of each)
        SCMP_SYS(recvfrom),    // requests from the program (recv)
        SCMP_SYS(recvmsg),     // requests, with the descriptor they carry
        SCMP_SYS(brk),         // memory, within the limits set
        SCMP_SYS(mmap),
        SCMP_SYS(munmap),
        SCMP_SYS(mremap),
        SCMP_SYS(mprotect),
        SCMP_SYS(madvise),     // memory handed back after each request
        SCMP_SYS(futex),       // locks in the C++ and C libraries
        SCMP_SYS(sched_yield),
        SCMP_SYS(clock_gettime),  // timing in the libraries, usually without a system call
        SCMP_SYS(gettimeofday),
        SCMP_SYS(getrandom),   // the C library's allocator seeds itself
        SCMP_SYS(getpid),      // abort() signals its own process
        SCMP_SYS(gettid),
        SCMP_SYS(rt_sigprocmask),  // abort() unblocks and resets its signal
        SCMP_SYS(rt_sigaction),
        SCMP_SYS(rt_sigreturn),
        SCMP_SYS(restart_syscall),
        SCMP_SYS(exit),
        SCMP_SYS(exit_group),
    };
    bool ok = true;
    for (int sys : allowed) ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, sys, 0) == 0;
    // A signal only to itself (abort(), raise()): never to the program or anything else.
    // Workers run one thread, so its thread id is its process id.
    const auto self = static_cast<scmp_datum_t>(::getpid());
    ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 2, SCMP_A0(SCMP_CMP_EQ, self),
                                SCMP_A1(SCMP_CMP_EQ, self)) == 0;
    ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(kill), 1, SCMP_A0(SCMP_CMP_EQ, self)) == 0;
    ok = ok && seccomp_load(ctx) == 0;
    seccomp_release(ctx);
    return ok;
}

worker::Clock clockOf(const SampleClock& clock) {
    return {clock.rate, clock.largestFrame, clock.totalSamples, clock.duration()};
}

void sendEnd(int sock, HRESULT hr, const worker::Clock& clock, bool opened, const QString& detail) {
    worker::EndReply end;
    end.hr = hr;
    end.clock = clock;
    end.opened = opened ? 1 : 0;
    const QByteArray text = detail.toUtf8();
    worker::send(sock, worker::Type::End, &end, sizeof end, text.constData(),
                 static_cast<std::size_t>(text.size()));
}

void misbehave(worker::TestFault fault, int sock, const char* path, pid_t target = 0) {
    switch (fault) {
        case worker::TestFault::None:
            return;
        case worker::TestFault::Abort:
            std::abort();
        case worker::TestFault::Spin:
            for (volatile unsigned long i = 0;;) i = i + 1u;
        case worker::TestFault::Balloon:
            for (;;) {
                auto* p = static_cast<char*>(std::malloc(1 << 20));
                if (!p) outOfMemory();
                std::memset(p, 1, 1 << 20);
            }
        case worker::TestFault::Freeze:
            ::kill(::getpid(), SIGSTOP);
            return;
        case worker::TestFault::KillSelf:
            ::kill(::getpid(), SIGKILL);
            return;
        case worker::TestFault::Escape: {
            // Signal 0 only asks whether the target may be signalled.
            const bool signalled = ::syscall(SYS_tgkill, target, target, 0) == 0;
            const int signalErr = errno;
            const bool killed = ::kill(target, 0) == 0;
            const int killErr = errno;
            struct stat st {};
            const bool statted = ::syscall(SYS_newfstatat, AT_FDCWD, path, &st, 0) == 0;
            const int statErr = errno;
            worker::ProbeReply reply;
            reply.hr = signalled || killed || statted ? E_FAIL : S_OK;
            const QByteArray text = QStringLiteral("tgkill %1, kill %2, newfstatat %3")
                                        .arg(signalled ? QStringLiteral("allowed") : QString::fromLocal8Bit(strerror(signalErr)),
                                             killed ? QStringLiteral("allowed") : QString::fromLocal8Bit(strerror(killErr)),
                                             statted ? QStringLiteral("allowed") : QString::fromLocal8Bit(strerror(statErr)))
                                        .toUtf8() + '\0';
            worker::send(sock, worker::Type::ProbeResult, &reply, sizeof reply, text.constData(),
                         static_cast<std::size_t>(text.size()));
            return;
        }
        case worker::TestFault::OpenByPath: {
            const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
            worker::ProbeReply reply;
            reply.hr = fd >= 0 ? S_OK : fromErrno(errno);
            worker::send(sock, worker::Type::ProbeResult, &reply, sizeof reply);
            return;
        }
    }
}

// A failure's cause with what FFmpeg itself said about it, where it said something new.
void withFfmpegError(HRESULT hr, QString& detail) {
    // Translated like the cause, which may be the same text.
    const QString said = Cause::tr(takeFfmpegError().toUtf8().constData());
    if (FAILED(hr) && !said.isEmpty() && !detail.contains(said, Qt::CaseInsensitive))
        detail = detail.isEmpty() ? said : QStringLiteral("%1 (%2)").arg(detail, said);
}

void probe(int sock, int fd, const std::vector<std::uint8_t>& payload) {
    worker::ProbeRequest req;
    if (payload.size() != sizeof req) ::_exit(2);
    std::memcpy(&req, payload.data(), sizeof req);
    req.path[sizeof req.path - 1] = 0;
    if (req.fault != worker::TestFault::None) {
        misbehave(req.fault, sock, req.path, req.target);
        if (req.fault != worker::TestFault::Freeze) return;
    }
    takeFfmpegError();
    ProbeResult r = probeDescriptor(fd);
    withFfmpegError(r.hr, r.detail);
    worker::ProbeReply reply;
    reply.hr = r.hr;
    reply.duration = r.duration;
    reply.samples = r.samples;
    reply.sampleRate = r.sampleRate;
    reply.channels = r.channels;
    reply.frameSamples = r.frameSamples;
    reply.format = r.format;
    // The texts follow the fixed part, each ended by a NUL: the detail, the title, the artist,
    // the codec.
    QByteArray text;
    for (const QString& t : {r.detail, r.title, r.artist, r.codec}) text += t.toUtf8() + '\0';
    worker::send(sock, worker::Type::ProbeResult, &reply, sizeof reply, text.constData(),
                 static_cast<std::size_t>(text.size()));
}

// The scratch file the program handed over for the next render, or -1.
int gScratch = -1;

void keepScratch(int fd) {
    if (gScratch >= 0) ::close(gScratch);
    gScratch = fd;
}

// Sends a measurement as the Loudness message; `reply` brings what the request adds to it.
bool sendLoudness(int sock, worker::LoudnessReply reply, HRESULT hr, const LoudnessResult& result, const QString& why) {
    reply.hr = SUCCEEDED(hr) ? S_OK : hr;
    reply.integrated = result.integrated;
    reply.truePeak = result.truePeak;
    reply.samplePeak = result.samplePeak;
    reply.truePeakBound = result.truePeakBound;
    const std::size_t bins = SUCCEEDED(hr) ? result.gating.bins.size() : 0;
    reply.bins = static_cast<std::uint32_t>(bins);
    QByteArray extra(reinterpret_cast<const char*>(result.gating.bins.data()),
                     static_cast<qsizetype>(bins * sizeof(GatingHistogram::Bin)));
    extra += why.toUtf8();
    return worker::send(sock, worker::Type::Loudness, &reply, sizeof reply, extra.constData(),
                        static_cast<std::size_t>(extra.size()));
}

// Tells the program how far a measurement has read, after each kMeasuredStep of audio.
struct MeasuredTeller {
    int sock;
    REFERENCE_TIME told = 0;
    void operator()(const SampleClock& clock) {
        if (const REFERENCE_TIME at = clock.duration(); at - told >= kMeasuredStep) {
            told = at;
            const worker::Clock c = clockOf(clock);
            if (!worker::send(sock, worker::Type::Measured, &c, sizeof c)) ::_exit(0);  // the program went away
        }
    }
};

// Converted float audio kept in the scratch file, written in large pieces, within a bound.
struct Scratch {
    int fd = -1;
    std::int64_t bound = 0;
    std::int64_t size = 0;
    bool whole = true;  // everything measured is in it
    PcmBytes pending;

    void keep(const PcmBytes& floats) {
        if (!whole || floats.empty()) return;
        if (fd < 0 || size + static_cast<std::int64_t>(pending.size() + floats.size()) > bound) {
            whole = false;
            return;
        }
        if (pending.capacity() == 0) pending.reserve(kChunkBytes + (64u << 10));
        const std::size_t at = pending.size();
        pending.resize(at + floats.size());
        std::memcpy(pending.data() + at, floats.data(), floats.size());
        if (pending.size() >= kChunkBytes) flush();
    }
    void flush() {
        for (std::size_t done = 0; whole && done < pending.size();) {
            const ssize_t n = ::pwrite(fd, pending.data() + done, pending.size() - done, size);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                whole = false;  // no room after all: the file is decoded again
                break;
            }
            done += static_cast<std::size_t>(n);
            size += n;
        }
        pending.clear();
    }
    // Hands what it holds to `use` in pieces of whole frames, in order.
    template <typename Use>
    HRESULT readBack(std::size_t frameBytes, Use&& use) const {
        const std::size_t step = (kChunkBytes / frameBytes) * frameBytes;
        PcmBytes floats(step);
        for (std::int64_t at = 0; at < size;) {
            const ssize_t n = ::pread(fd, floats.data(), std::min<std::int64_t>(static_cast<std::int64_t>(step), size - at), at);
            if (n <= 0 || static_cast<std::size_t>(n) % frameBytes != 0) return n < 0 ? fromErrno(errno) : E_FAIL;
            at += n;
            if (const HRESULT hr = use(floats.data(), static_cast<std::size_t>(n) / frameBytes); FAILED(hr)) return hr;
        }
        return S_OK;
    }
};

// Plain PCM reads again faster than it goes through a scratch file and back.
bool isPlainPcm(AVCodecID id) { return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT; }

// Lets go of the scratch file when a request is done with it.
struct Closer {
    Scratch& s;
    ~Closer() {
        if (s.fd >= 0) ::close(s.fd);
    }
};

// Decodes the whole file into the meter, keeping what it heard in the scratch file as it goes.
HRESULT meterAll(AudioSource& source, LoudnessMeter& meter, Scratch& scratch, SampleClock& clock, MeasuredTeller& tell,
                 LoudnessResult* result) {
    if (isPlainPcm(source.codec()->codec_id)) scratch.whole = false;
    FramePtr frame(av_frame_alloc());
    HRESULT hr;
    while ((hr = source.decodeFrame(frame.get())) == S_OK) {
        clock.add(frame->sample_rate, frame->nb_samples);
        hr = meter.add(frame.get());
        av_frame_unref(frame.get());
        if (FAILED(hr)) return hr;
        scratch.keep(meter.rendered());
        tell(clock);  // a long file shows its progress, not only its end
    }
    if (FAILED(hr)) return hr;
    if (hr = meter.finish(result); FAILED(hr)) return hr;
    result->hr = S_OK;
    scratch.keep(meter.rendered());
    scratch.flush();
    return S_OK;
}

// Measures the file first (loudness of the audio as the join converts it, before any gain)
// and works out its gain. Its converted audio goes to the scratch file meanwhile; where the
// true peak decides the gain, that is measured from the scratch file, or from a second read.
HRESULT measureFirst(int sock, int fd, AudioSource& source, const worker::RenderRequest& req, Scratch& scratch,
                     SampleClock& clock, double* gainDb, QString* why) {
    LoudnessMeter meter(req.format, false);
    LoudnessResult result;
    MeasuredTeller tell{sock};
    HRESULT hr = meterAll(source, meter, scratch, clock, tell, &result);
    FileGain gain = eachFileGain(result, req.target, req.ceiling);
    if (SUCCEEDED(hr) && truePeakDecides(result, gain.wantedDb, req.ceiling)) {
        // The true peak, measured on the same audio: from the scratch file, or decoded again.
        LoudnessMeter peaks(req.format, true);
        SampleClock again;
        MeasuredTeller tellAgain{sock};
        if (scratch.whole) {
            FramePtr frame(av_frame_alloc());
            AVChannelLayout layout{};
            channelLayoutOf(req.format, &layout);
            hr = scratch.readBack(sizeof(float) * req.format.nChannels, [&](std::uint8_t* floats, std::size_t frames) {
                frame->format = AV_SAMPLE_FMT_FLT;
                frame->sample_rate = static_cast<int>(req.format.nSamplesPerSec);
                frame->nb_samples = static_cast<int>(frames);
                av_channel_layout_copy(&frame->ch_layout, &layout);
                frame->extended_data = frame->data;
                frame->data[0] = floats;
                const HRESULT added = peaks.add(frame.get());
                frame->data[0] = nullptr;
                av_channel_layout_uninit(&frame->ch_layout);
                again.add(frame->sample_rate, frame->nb_samples);
                tellAgain(again);
                return added;
            });
            av_channel_layout_uninit(&layout);
            if (SUCCEEDED(hr)) hr = peaks.finish(&result);
        } else {
            AudioSource second;
            Scratch none;
            none.whole = false;
            hr = second.openDescriptor(fd);
            if (SUCCEEDED(hr)) hr = meterAll(second, peaks, none, again, tellAgain, &result);
            if (FAILED(hr)) *why = second.detail();
        }
        if (SUCCEEDED(hr)) result.hr = S_OK;
        gain = eachFileGain(result, req.target, req.ceiling);
    }
    if (FAILED(hr) && why->isEmpty())
        *why = source.detail().isEmpty() ? QStringLiteral("its loudness could not be measured") : source.detail();
    *gainDb = gain.gainDb;
    worker::LoudnessReply reply;
    reply.opened = 1;
    reply.gainDb = gain.gainDb;
    if (!sendLoudness(sock, reply, hr, result, *why)) ::_exit(0);
    return hr;
}

void render(int sock, int fd, const std::vector<std::uint8_t>& payload) {
    worker::RenderRequest req;
    if (payload.size() != sizeof req) ::_exit(2);
    std::memcpy(&req, payload.data(), sizeof req);
    // A measuring render misbehaves, when asked to from the start, while it measures.
    if (req.measure && req.fault != worker::TestFault::None && req.faultAfterBytes == 0) {
        misbehave(req.fault, sock, "");
        req.fault = worker::TestFault::None;
    }
    Scratch scratch;
    scratch.fd = std::exchange(gScratch, -1);
    scratch.bound = req.scratchBytes;
    const Closer closer{scratch};
    SampleClock clock;
    auto source = std::make_unique<AudioSource>();
    takeFfmpegError();
    HRESULT hr = req.replay ? S_OK : source->openDescriptor(fd);
    if (FAILED(hr)) {
        QString why = source->detail();
        withFfmpegError(hr, why);
        if (req.measure && !sendLoudness(sock, {}, hr, {}, why)) ::_exit(0);
        sendEnd(sock, hr, clockOf(clock), false, why);
        return;
    }
    SampleConverter converter(req.format, req.seed);
    converter.setGain(req.gain);
    bool replay = false;
    if (req.replay) {
        // Measured before, its audio kept: nothing to decode.
        if (scratch.fd < 0) ::_exit(2);
        scratch.size = req.replayBytes;
        replay = true;
    }
    if (req.measure && !replay) {
        double gainDb = 0.0;
        QString why;
        hr = measureFirst(sock, fd, *source, req, scratch, clock, &gainDb, &why);
        if (FAILED(hr)) {
            withFfmpegError(hr, why);
            sendEnd(sock, hr, clockOf(clock), true, why);
            return;
        }
        const auto gain = static_cast<float>(std::pow(10.0, gainDb / 20.0));
        converter.setGain(gain);
        // A file that keeps its level may be copied bit for bit: decoded again for that.
        replay = scratch.whole && gain != 1.0f;
        if (!replay) {
            source = std::make_unique<AudioSource>();
            hr = source->openDescriptor(fd);
            clock = {};
            if (FAILED(hr)) {
                QString why2 = source->detail();
                withFfmpegError(hr, why2);
                sendEnd(sock, hr, clockOf(clock), true, why2);
                return;
            }
        }
    }
    FramePtr frame(av_frame_alloc());
    PcmBytes pcm;
    pcm.reserve(kChunkBytes + (1u << 20));
    std::int64_t sent = 0;
    auto flush = [&] {
        if (pcm.empty()) return true;
        const worker::Clock c = req.replay ? req.replayClock : clockOf(clock);
        if (!worker::send(sock, worker::Type::Data, &c, sizeof c, pcm.data(), pcm.size()))
            return false;
        sent += static_cast<std::int64_t>(pcm.size());
        pcm.clear();
        if (req.fault != worker::TestFault::None && sent >= req.faultAfterBytes)
            misbehave(req.fault, sock, "");
        return true;
    };
    if (replay) {
        // The measured audio again, from the scratch file: only the gain and quantising are left.
        hr = scratch.readBack(sizeof(float) * req.format.nChannels, [&](const std::uint8_t* floats, std::size_t frames) {
            converter.quantizeFloats(reinterpret_cast<const float*>(floats), frames, pcm);
            if (pcm.size() >= kChunkBytes && !flush()) ::_exit(0);  // the program went away
            return S_OK;
        });
        if (!flush()) ::_exit(0);
        sendEnd(sock, hr, req.replay ? req.replayClock : clockOf(clock), true,
                FAILED(hr) ? QStringLiteral("its measured audio could not be read back") : QString());
        return;
    }
    while ((hr = source->decodeFrame(frame.get())) == S_OK) {
        clock.add(frame->sample_rate, frame->nb_samples);
        hr = converter.convert(frame.get(), pcm);
        av_frame_unref(frame.get());
        if (FAILED(hr)) break;
        if (pcm.size() >= kChunkBytes && !flush()) ::_exit(0);  // the program went away
    }
    if (SUCCEEDED(hr)) hr = converter.drain(pcm);
    if (!flush()) ::_exit(0);
    QString why =
        FAILED(hr) ? (source->detail().isEmpty() ? converter.detail() : source->detail()) : QString();
    withFfmpegError(hr, why);
    sendEnd(sock, SUCCEEDED(hr) ? S_OK : hr, clockOf(clock), true, why);
}

void measure(int sock, int fd, const std::vector<std::uint8_t>& payload) {
    worker::MeasureRequest req;
    if (payload.size() != sizeof req) ::_exit(2);
    std::memcpy(&req, payload.data(), sizeof req);
    if (req.fault != worker::TestFault::None) misbehave(req.fault, sock, "");
    worker::LoudnessReply reply;
    LoudnessResult result;
    Scratch scratch;
    scratch.fd = std::exchange(gScratch, -1);
    scratch.bound = req.scratchBytes;
    scratch.whole = scratch.fd >= 0 && req.heardAs.nChannels > 0;
    const Closer closer{scratch};
    AudioSource source;
    takeFfmpegError();
    HRESULT hr = source.openDescriptor(fd);
    QString why;
    if (SUCCEEDED(hr)) {
        reply.opened = 1;
        LoudnessMeter meter(req.heardAs, req.truePeak != 0);
        SampleClock clock;
        MeasuredTeller tell{sock};
        hr = meterAll(source, meter, scratch, clock, tell, &result);
        if (SUCCEEDED(hr) && scratch.whole) reply.kept = scratch.size;
        reply.clock = clockOf(clock);
        if (FAILED(hr) && source.detail().isEmpty()) why = QStringLiteral("its loudness could not be measured");
    }
    if (FAILED(hr)) {
        if (why.isEmpty()) why = source.detail();
        withFfmpegError(hr, why);
    }
    sendLoudness(sock, reply, hr, result, why);
}

}  // namespace

worker::ReadyReply enterSandbox(std::uint64_t allowance, std::uint64_t ceiling) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    std::set_new_handler(outOfMemory);
    // Nothing of the program's own output reaches the terminal or a redirected file.
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        if (!std::getenv("CORVANE_FFMPEG_LOG")) ::dup2(null, 2);
        ::close(null);
    }
    limit(RLIMIT_CORE, 0, 0);
    // Only the scratch file the program hands over is ever written, within its own bound.
    limit(RLIMIT_FSIZE, worker::kScratchCeiling, worker::kScratchCeiling);
    limit(RLIMIT_NOFILE, 16, 16);
    worker::ReadyReply ready;
#if !defined(__SANITIZE_ADDRESS__)
    // The program moves the soft limits within the hard ones for each request (prlimit): a
    // file may take what it needs within the budget, and the worker itself can raise neither.
    ready.addressSpace = statusField("VmSize:");
    ready.data = statusField("VmData:");
    limit(RLIMIT_DATA, ready.data + allowance, ready.data + ceiling);
    limit(RLIMIT_AS, ready.addressSpace + allowance, ready.addressSpace + ceiling);
    makeAllocationFailuresFatal();
#else
    // An address sanitizer reserves its own shadow and heap regions: it bounds nothing then.
    (void)allowance;
    (void)ceiling;
#endif
    if (!installFilter()) ::_exit(3);
    return ready;
}

int runDecoderWorker(int sock, const worker::ReadyReply& ready) {
    if (!worker::send(sock, worker::Type::Ready, &ready, sizeof ready)) return 0;
    for (;;) {
        worker::Header h{};
        std::vector<std::uint8_t> payload;
        int fd = -1;
        if (!worker::receive(sock, &h, &payload, &fd)) return 0;
        if (h.type == worker::Type::Probe)
            probe(sock, fd, payload);
        else if (h.type == worker::Type::Render)
            render(sock, fd, payload);
        else if (h.type == worker::Type::Measure)
            measure(sock, fd, payload);
        else if (h.type == worker::Type::Scratch) {
            keepScratch(fd);
            continue;  // kept for the render that follows
        }
        else
            return 2;
        if (fd >= 0) ::close(fd);
        // What a long file's index took goes back to the system before the next request; an
        // ordinary file's few buffers stay for the next, which would only fault them in again.
        const struct mallinfo2 heap = ::mallinfo2();
        if (heap.arena + heap.hblkhd > (64u << 20)) ::malloc_trim(0);
    }
}

}  // namespace corvane::media
