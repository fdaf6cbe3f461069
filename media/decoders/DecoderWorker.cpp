#include "media/decoders/DecoderWorker.h"

#include <fcntl.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "media/decoders/AudioSource.h"
#include "media/ErrorText.h"
#include "media/decoders/Probe.h"
#include "media/decoders/SampleConverter.h"
#include "media/decoders/WorkerProtocol.h"

namespace corvane::media {

namespace {

// Converted audio goes back in pieces of about this size: few messages, little memory.
constexpr std::size_t kChunkBytes = 256 * 1024;

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

void limit(int resource, rlim_t value) {
    const rlimit r{value, value};
    ::setrlimit(resource, &r);
}

// Only what decoding an already opened file needs: reading and seeking it, memory, the one
// socket to the program, and ending. Everything else fails with EPERM: no opening files, no
// sockets, no new processes, no changing the limits.
bool installFilter() {
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!ctx) return false;
    const int allowed[] = {
        SCMP_SYS(read),
        SCMP_SYS(write),
        SCMP_SYS(readv),
        SCMP_SYS(writev),
        SCMP_SYS(pread64),
        SCMP_SYS(preadv),
        SCMP_SYS(lseek),
        SCMP_SYS(close),
        SCMP_SYS(dup),
        SCMP_SYS(fstat),
        SCMP_SYS(newfstatat),
        SCMP_SYS(fcntl),
        SCMP_SYS(fadvise64),
        SCMP_SYS(mmap),
        SCMP_SYS(munmap),
        SCMP_SYS(mremap),
        SCMP_SYS(mprotect),
        SCMP_SYS(brk),
        SCMP_SYS(madvise),
        SCMP_SYS(futex),
        SCMP_SYS(sendmsg),
        SCMP_SYS(recvmsg),
        SCMP_SYS(sendto),
        SCMP_SYS(recvfrom),
        SCMP_SYS(exit),
        SCMP_SYS(exit_group),
        SCMP_SYS(rt_sigreturn),
        SCMP_SYS(rt_sigprocmask),
        SCMP_SYS(rt_sigaction),
        SCMP_SYS(tgkill),
        SCMP_SYS(gettid),
        SCMP_SYS(getpid),
        SCMP_SYS(clock_gettime),
        SCMP_SYS(gettimeofday),
        SCMP_SYS(restart_syscall),
        SCMP_SYS(sched_yield),
        SCMP_SYS(getrandom),
    };
    bool ok = true;
    for (int sys : allowed) ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, sys, 0) == 0;
    ok = ok && seccomp_load(ctx) == 0;
    seccomp_release(ctx);
    return ok;
}

void sendEnd(int sock, HRESULT hr, const SampleClock& clock, bool opened, const QString& detail) {
    worker::EndReply end;
    end.hr = hr;
    end.clock = {clock.rate, clock.largestFrame, clock.totalSamples, clock.duration()};
    end.opened = opened ? 1 : 0;
    const QByteArray text = detail.toUtf8();
    worker::send(sock, worker::Type::End, &end, sizeof end, text.constData(),
                 static_cast<std::size_t>(text.size()));
}

void misbehave(worker::TestFault fault, int sock, const char* path) {
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
    const QString said = takeFfmpegError();
    if (FAILED(hr) && !said.isEmpty() && !detail.contains(said, Qt::CaseInsensitive))
        detail = detail.isEmpty() ? said : QStringLiteral("%1 (%2)").arg(detail, said);
}

void probe(int sock, int fd, const std::vector<std::uint8_t>& payload) {
    worker::ProbeRequest req;
    if (payload.size() != sizeof req) ::_exit(2);
    std::memcpy(&req, payload.data(), sizeof req);
    req.path[sizeof req.path - 1] = 0;
    if (req.fault != worker::TestFault::None) {
        misbehave(req.fault, sock, req.path);
        return;
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
    // The texts follow the fixed part, each ended by a NUL: the detail, the title, the artist,
    // the codec.
    QByteArray text;
    for (const QString& t : {r.detail, r.title, r.artist, r.codec}) text += t.toUtf8() + '\0';
    worker::send(sock, worker::Type::ProbeResult, &reply, sizeof reply, text.constData(),
                 static_cast<std::size_t>(text.size()));
}

void render(int sock, int fd, const std::vector<std::uint8_t>& payload) {
    worker::RenderRequest req;
    if (payload.size() != sizeof req) ::_exit(2);
    std::memcpy(&req, payload.data(), sizeof req);
    SampleClock clock;
    AudioSource source;
    takeFfmpegError();
    HRESULT hr = source.openDescriptor(fd);
    if (FAILED(hr)) {
        QString why = source.detail();
        withFfmpegError(hr, why);
        sendEnd(sock, hr, clock, false, why);
        return;
    }
    SampleConverter converter(req.format, req.seed);
    FramePtr frame(av_frame_alloc());
    std::vector<std::uint8_t> pcm;
    pcm.reserve(kChunkBytes + (1u << 20));
    std::int64_t sent = 0;
    auto flush = [&] {
        if (pcm.empty()) return true;
        const worker::Clock c{clock.rate, clock.largestFrame, clock.totalSamples, clock.duration()};
        if (!worker::send(sock, worker::Type::Data, &c, sizeof c, pcm.data(), pcm.size()))
            return false;
        sent += static_cast<std::int64_t>(pcm.size());
        pcm.clear();
        if (req.fault != worker::TestFault::None && sent >= req.faultAfterBytes)
            misbehave(req.fault, sock, "");
        return true;
    };
    while ((hr = source.decodeFrame(frame.get())) == S_OK) {
        clock.add(frame->sample_rate, frame->nb_samples);
        hr = converter.convert(frame.get(), pcm);
        av_frame_unref(frame.get());
        if (FAILED(hr)) break;
        if (pcm.size() >= kChunkBytes && !flush()) ::_exit(0);  // the program went away
    }
    if (SUCCEEDED(hr)) hr = converter.drain(pcm);
    if (!flush()) ::_exit(0);
    QString why =
        FAILED(hr) ? (source.detail().isEmpty() ? converter.detail() : source.detail()) : QString();
    withFfmpegError(hr, why);
    sendEnd(sock, SUCCEEDED(hr) ? S_OK : hr, clock, true, why);
}

}  // namespace

void enterSandbox(std::uint64_t memoryLimit) {
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
    limit(RLIMIT_CORE, 0);
    limit(RLIMIT_FSIZE, 0);
    limit(RLIMIT_NOFILE, 16);
#if !defined(__SANITIZE_ADDRESS__)
    // An address sanitizer reserves its own shadow and heap regions: it bounds nothing then.
    limit(RLIMIT_DATA, statusField("VmData:") + memoryLimit);
    limit(RLIMIT_AS, statusField("VmSize:") + memoryLimit);
#else
    (void)memoryLimit;
#endif
    if (!installFilter()) ::_exit(3);
}

int runDecoderWorker(int sock) {
    for (;;) {
        worker::Header h{};
        std::vector<std::uint8_t> payload;
        int fd = -1;
        if (!worker::receive(sock, &h, &payload, &fd)) return 0;
        if (h.type == worker::Type::Probe)
            probe(sock, fd, payload);
        else if (h.type == worker::Type::Render)
            render(sock, fd, payload);
        else
            return 2;
        if (fd >= 0) ::close(fd);
    }
}

}  // namespace corvane::media
