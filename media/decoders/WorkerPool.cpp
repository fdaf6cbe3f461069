#include "media/decoders/WorkerPool.h"

#include <QByteArrayList>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "media/ErrorText.h"
#include "media/decoders/AudioSource.h"
#include "media/decoders/DecoderWorker.h"
#include "media/graph/RenderPipeline.h"

namespace corvane::media {

namespace {

constexpr int kMaxWorkers = 8;
constexpr std::uint64_t kTotalWorkerMemory = 1ull << 30;
constexpr std::uint64_t kMaxWorkerMemory = 256ull << 20;
constexpr int kPollMillis = 50;

// What the program asks of the process that forks workers, and what it answers.
struct ForkRequest {
    char op = 0;  // 'S' spawn a worker, 'W' wait for one that ended
    pid_t pid = 0;
    std::uint64_t memoryLimit = 0;
};
struct ForkReply {
    pid_t pid = 0;
    int status = 0;
};

// Every byte of a request is set, its padding too: all of it goes over the socket.
void prepare(ForkRequest& req, char op) {
    std::memset(static_cast<void*>(&req), 0, sizeof req);
    req.op = op;
}

std::mutex gForkMutex;  // one request to the forking process at a time
int gForkSocket = -1;

std::mutex gPoolMutex;
std::condition_variable gPoolChanged;
std::vector<Worker> gIdle;
int gAlive = 0;

std::atomic<std::int64_t> gProbeCpuMillis{60'000};
std::mutex gFaultMutex;
worker::TestFault gFault = worker::TestFault::None;
std::int64_t gFaultAfter = 0;
std::string gFaultVictim;

[[noreturn]] void workerChild(int forkSocket, int sock, std::uint64_t memoryLimit) {
    ::close(forkSocket);
    if (sock != 3) {
        ::dup2(sock, 3);
        ::close(sock);
    } else {
        ::fcntl(3, F_SETFD, 0);
    }
    ::close_range(4, ~0u, 0);
    ::prctl(PR_SET_NAME, "corvane-decode", 0, 0, 0);
    enterSandbox(memoryLimit);
    ::_exit(runDecoderWorker(3));
}

// The forking process: single-threaded for its whole life, so a fork of it is always safe.
[[noreturn]] void forkServer(int sock, pid_t program) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::getppid() != program) ::_exit(0);
    ::prctl(PR_SET_NAME, "corvane-fork", 0, 0, 0);
    // Ctrl-C, a closed terminal or a stop sent to the whole process group are the program's
    // to handle (it stops the join cleanly); its workers end with it, or when it ends them.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(sig, SIG_IGN);
    for (;;) {
        ForkRequest req;
        if (!worker::receivePayload(sock, &req, sizeof req)) ::_exit(0);
        ForkReply reply;
        if (req.op == 'S') {
            int sv[2];
            if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
                reply.pid = -1;
                worker::send(sock, worker::Type::End, &reply, sizeof reply);
                continue;
            }
            reply.pid = ::fork();
            if (reply.pid == 0) {
                ::close(sv[0]);
                workerChild(sock, sv[1], req.memoryLimit);
            }
            ::close(sv[1]);
            worker::send(sock, worker::Type::End, &reply, sizeof reply, nullptr, 0,
                         reply.pid > 0 ? sv[0] : -1);
            ::close(sv[0]);
        } else if (req.op == 'W') {
            reply.pid = ::waitpid(req.pid, &reply.status, 0);
            worker::send(sock, worker::Type::End, &reply, sizeof reply);
        } else {
            ::_exit(2);
        }
    }
}

ForkReply askForkServer(const ForkRequest& req, int* fd) {
    std::lock_guard lock(gForkMutex);
    ForkReply reply;
    reply.pid = -1;
    if (gForkSocket < 0 || !worker::sendPayload(gForkSocket, &req, sizeof req)) return reply;
    worker::Header h{};
    std::vector<std::uint8_t> payload;
    if (!worker::receive(gForkSocket, &h, &payload, fd) || payload.size() != sizeof reply)
        return reply;
    std::memcpy(&reply, payload.data(), sizeof reply);
    return reply;
}

QString causeOf(int status) {
    if (WIFEXITED(status) && WEXITSTATUS(status) == worker::kExitOutOfMemory)
        return QStringLiteral("out of memory");
    if (WIFSIGNALED(status)) {
        switch (WTERMSIG(status)) {
            case SIGXCPU:
            case SIGKILL:
                return QStringLiteral("timed out");
            default:
                return QStringLiteral("crashed");
        }
    }
    return QStringLiteral("failed");
}

ProbeResult probeFailed(HRESULT hr, const QString& why) {
    ProbeResult r;
    r.hr = hr;
    r.detail = why;
    return r;
}

}  // namespace

void WorkerPool::start() {
    if (gForkSocket >= 0) return;
    routeFfmpegLog();  // the workers inherit it
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return;
    const pid_t program = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(sv[0]);
        ::close(sv[1]);
        return;
    }
    if (pid == 0) {
        ::close(sv[0]);
        forkServer(sv[1], program);
    }
    ::close(sv[1]);
    gForkSocket = sv[0];
}

int WorkerPool::capacity() {
    return std::clamp(RenderPipeline::workerCount(), 1, kMaxWorkers);
}

std::uint64_t WorkerPool::memoryLimit() {
    return std::min(kMaxWorkerMemory, kTotalWorkerMemory / static_cast<std::uint64_t>(capacity()));
}

Worker WorkerPool::acquire(QString* why) {
    {
        std::unique_lock lock(gPoolMutex);
        gPoolChanged.wait(lock, [] { return !gIdle.empty() || gAlive < capacity(); });
        if (!gIdle.empty()) {
            Worker w = gIdle.back();
            gIdle.pop_back();
            return w;
        }
        ++gAlive;
    }
    ForkRequest req;
    prepare(req, 'S');
    req.memoryLimit = memoryLimit();
    int sock = -1;
    const ForkReply reply = askForkServer(req, &sock);
    if (reply.pid <= 0 || sock < 0) {
        if (sock >= 0) ::close(sock);
        {
            std::lock_guard lock(gPoolMutex);
            --gAlive;
        }
        gPoolChanged.notify_one();
        *why = QStringLiteral("the decoder could not be started");
        return {};
    }
    return Worker{reply.pid, sock};
}

QString WorkerPool::release(Worker& w, bool reusable) {
    if (!w) return {};
    QString cause;
    if (reusable) {
        std::lock_guard lock(gPoolMutex);
        gIdle.push_back(w);
    } else {
        kill(w);
        ::close(w.sock);
        ForkRequest req;
        prepare(req, 'W');
        req.pid = w.pid;
        const ForkReply reply = askForkServer(req, nullptr);
        if (reply.pid == w.pid) cause = causeOf(reply.status);
        std::lock_guard lock(gPoolMutex);
        --gAlive;
    }
    gPoolChanged.notify_one();
    w = {};
    return cause;
}

void WorkerPool::kill(const Worker& w) {
    // Still a child of the forking process until it is waited for: the pid cannot be reused.
    if (w) ::kill(w.pid, SIGKILL);
}

std::int64_t WorkerPool::cpuMillis(const Worker& w) {
    std::ifstream in("/proc/" + std::to_string(w.pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long ticks = 0;
    // utime and stime are the 12th and 13th fields after the command name.
    for (int i = 0; i < 13 && fields >> field; ++i)
        if (i >= 11) ticks += std::atoll(field.c_str());
    return ticks * 1000 / std::max(1L, ::sysconf(_SC_CLK_TCK));
}

void WorkerPool::setProbeCpuLimit(std::int64_t millis) {
    gProbeCpuMillis = millis;
}

void WorkerPool::setTestFault(worker::TestFault fault, const std::string& victim,
                              std::int64_t afterBytes) {
    std::lock_guard lock(gFaultMutex);
    gFault = fault;
    gFaultVictim = victim;
    gFaultAfter = afterBytes;
}

worker::TestFault WorkerPool::testFaultFor(const std::string& path, std::int64_t* afterBytes) {
    std::lock_guard lock(gFaultMutex);
    if (gFault == worker::TestFault::None || path.find(gFaultVictim) == std::string::npos)
        return worker::TestFault::None;
    if (afterBytes) *afterBytes = gFaultAfter;
    return gFault;
}

ProbeResult WorkerPool::probe(const std::string& path, const std::atomic<bool>* cancel) {
    return probeMany({path}, cancel).front();
}

namespace {

enum class Reply { Ok, Cancelled, Stopped };

// Waits for the answer to the oldest request sent to w, within the probe's CPU limit.
Reply awaitProbe(const Worker& w, const std::atomic<bool>* cancel, ProbeResult* r) {
    const std::int64_t cpuStart = WorkerPool::cpuMillis(w);
    for (;;) {
        pollfd p{w.sock, POLLIN, 0};
        const int n = ::poll(&p, 1, kPollMillis);
        if (cancel && cancel->load()) return Reply::Cancelled;
        if (n > 0) break;
        if (WorkerPool::cpuMillis(w) - cpuStart > gProbeCpuMillis.load()) {
            r->detail = QStringLiteral("timed out");
            return Reply::Stopped;
        }
    }
    worker::Header h{};
    std::vector<std::uint8_t> payload;
    if (!worker::receive(w.sock, &h, &payload) || h.type != worker::Type::ProbeResult ||
        payload.size() < sizeof(worker::ProbeReply))
        return Reply::Stopped;
    worker::ProbeReply reply;
    std::memcpy(&reply, payload.data(), sizeof reply);
    r->hr = reply.hr;
    r->duration = reply.duration;
    r->samples = reply.samples;
    r->sampleRate = reply.sampleRate;
    r->channels = reply.channels;
    r->frameSamples = reply.frameSamples;
    // The detail, the title and the artist, each ended by a NUL.
    const QByteArray texts(reinterpret_cast<const char*>(payload.data()) + sizeof reply,
                           static_cast<qsizetype>(payload.size() - sizeof reply));
    const QList<QByteArray> parts = texts.split('\0');
    r->detail = QString::fromUtf8(parts.value(0));
    r->title = QString::fromUtf8(parts.value(1));
    r->artist = QString::fromUtf8(parts.value(2));
    r->codec = QString::fromUtf8(parts.value(3));
    r->fromDecoder = true;
    return Reply::Ok;
}

}  // namespace

std::vector<ProbeResult> WorkerPool::probeMany(const std::vector<std::string>& paths,
                                               const std::atomic<bool>* cancel) {
    std::vector<ProbeResult> results(paths.size());
    std::vector<std::size_t> todo(paths.size());
    for (std::size_t i = 0; i < todo.size(); ++i) todo[i] = i;
    auto cancelAll = [&](const std::vector<std::size_t>& left, std::size_t from) {
        for (std::size_t k = from; k < left.size(); ++k)
            results[left[k]] = probeFailed(E_ABORT, QStringLiteral("cancelled"));
    };
    while (!todo.empty()) {
        if (cancel && cancel->load()) {
            cancelAll(todo, 0);
            break;
        }
        QString why;
        Worker w = acquire(&why);
        if (!w) {
            for (std::size_t j : todo) results[j] = probeFailed(E_FAIL, why);
            break;
        }
        // Every request goes out at once and the answers come back in order: one round trip
        // per batch, not per file.
        std::vector<std::size_t> pending;
        for (std::size_t j : todo) {
            HRESULT hr = S_OK;
            const int fd = AudioSource::openFile(paths[j], &hr, &why);
            if (fd < 0) {
                results[j] = probeFailed(hr, why);
                continue;
            }
            worker::ProbeRequest req;
            req.fault = testFaultFor(paths[j]);
            if (req.fault == worker::TestFault::OpenByPath)
                std::strncpy(req.path, paths[j].c_str(), sizeof req.path - 1);
            const bool sent =
                worker::send(w.sock, worker::Type::Probe, &req, sizeof req, nullptr, 0, fd);
            ::close(fd);
            pending.push_back(j);
            if (!sent) break;
        }
        todo.clear();
        bool healthy = true;
        for (std::size_t k = 0; k < pending.size(); ++k) {
            ProbeResult r;
            const Reply got = awaitProbe(w, cancel, &r);
            if (got == Reply::Ok) {
                results[pending[k]] = std::move(r);
                continue;
            }
            healthy = false;
            if (got == Reply::Cancelled) {
                release(w, false);
                cancelAll(pending, k);
                return results;
            }
            // The file the worker stopped on is the one to blame; the rest go to another.
            const QString died = release(w, false);
            const QString cause = r.detail.isEmpty() ? died : r.detail;
            results[pending[k]] = probeFailed(
                VFW_E_DECODE_FAILED, QStringLiteral("the decoder stopped (%1)").arg(cause));
            results[pending[k]].fromDecoder = true;
            todo.assign(pending.begin() + static_cast<std::ptrdiff_t>(k) + 1, pending.end());
            break;
        }
        if (healthy) release(w, true);
    }
    return results;
}

}  // namespace corvane::media
