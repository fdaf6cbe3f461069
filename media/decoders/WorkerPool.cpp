// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/WorkerPool.h"

#include <QByteArrayList>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

#include "media/Cause.h"
#include "media/ErrorText.h"
#include "media/decoders/AudioSource.h"
#include "media/decoders/DecoderWorker.h"
#include "media/graph/RenderPipeline.h"

namespace corvane::media {

namespace {

constexpr int kMaxWorkers = 8;
constexpr std::uint64_t kMiB = 1ull << 20;
// Enough for a file of ordinary length; a long one asks for more.
constexpr std::uint64_t kUsualAllowance = 256 * kMiB;
constexpr int kPollMillis = 100;
// Descriptors one batch may have in flight at most.
constexpr int kMaxBatch = 16;

// What the program asks of the process that forks workers, and what it answers.
struct ForkRequest {
    char op = 0;  // 'S' spawn a worker, 'W' collect one that ended (without waiting),
                  // 'L' load the translation the workers forked from now on speak
    pid_t pid = 0;
    std::uint64_t allowance = 0;
    std::uint64_t ceiling = 0;
    char translation[128] = {};  // 'L': a compiled .qm, "" for the English source texts
};
struct ForkReply {
    pid_t pid = 0;  // 'W': the pid once it ended, 0 while it still runs, -1 when unknown
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
std::uint64_t gReserved = 0;    // allowances of the workers lent out
std::vector<pid_t> gUnreaped;   // ended by us, not yet collected
std::map<std::tuple<dev_t, ino_t, off_t, std::int64_t>, std::uint64_t> gNeeds;
unsigned gTranslation = 0;      // counts the changes of the workers' translation

// Thirty seconds unless the environment says otherwise (a very slow network mount).
std::int64_t initialStallMillis() {
    if (const char* env = std::getenv("CORVANE_STALL_SECONDS")) {
        const double seconds = std::atof(env);
        if (seconds >= 0.1 && seconds <= 86400) return static_cast<std::int64_t>(seconds * 1000);
    }
    return 30'000;
}
std::atomic<std::int64_t> gStallMillis{initialStallMillis()};
std::atomic<std::uint64_t> gBudgetOverride{0};
std::mutex gFaultMutex;
worker::TestFault gFault = worker::TestFault::None;
std::int64_t gFaultAfter = 0;
std::string gFaultVictim;

[[noreturn]] void workerChild(int forkSocket, int sock, std::uint64_t allowance, std::uint64_t ceiling) {
    ::close(forkSocket);
    if (sock != 3) {
        ::dup2(sock, 3);
        ::close(sock);
    } else {
        ::fcntl(3, F_SETFD, 0);
    }
    ::close_range(4, ~0u, 0);
    ::prctl(PR_SET_NAME, "corvane-decode", 0, 0, 0);
    const worker::ReadyReply ready = enterSandbox(allowance, ceiling);
    ::_exit(runDecoderWorker(3, ready));
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
            // Room for a whole piece of audio and more in flight: the worker goes on decoding
            // instead of waiting for the program to take each piece in parts.
            constexpr int kSocketBuffer = 1 << 20;
            ::setsockopt(sv[1], SOL_SOCKET, SO_SNDBUF, &kSocketBuffer, sizeof kSocketBuffer);
            reply.pid = ::fork();
            if (reply.pid == 0) {
                ::close(sv[0]);
                workerChild(sock, sv[1], req.allowance, req.ceiling);
            }
            ::close(sv[1]);
            worker::send(sock, worker::Type::End, &reply, sizeof reply, nullptr, 0,
                         reply.pid > 0 ? sv[0] : -1);
            ::close(sv[0]);
        } else if (req.op == 'L') {
            // Loaded here, before the sandbox, from the program's own resources: a worker
            // inherits it and opens nothing.
            reply.pid = Cause::useTranslation(QString::fromUtf8(req.translation)) ? 1 : 0;
            worker::send(sock, worker::Type::End, &reply, sizeof reply);
        } else if (req.op == 'W') {
            // Never blocks: a worker stuck in the kernel (a stalled network read) ends when
            // it can, and the program asks again later.
            reply.pid = ::waitpid(req.pid, &reply.status, WNOHANG);
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

// Asks once whether pid ended: its status, or nothing while it runs.
std::optional<int> collect(pid_t pid) {
    ForkRequest req;
    prepare(req, 'W');
    req.pid = pid;
    const ForkReply reply = askForkServer(req, nullptr);
    if (reply.pid == pid) return reply.status;
    if (reply.pid < 0) return -1;  // unknown to it: nothing left to collect
    return std::nullopt;
}

// Collects the workers ended earlier that have finished dying since.
void collectEnded() {
    std::vector<pid_t> pending;
    {
        std::lock_guard lock(gPoolMutex);
        pending.swap(gUnreaped);
    }
    std::vector<pid_t> left;
    for (pid_t pid : pending)
        if (!collect(pid)) left.push_back(pid);
    std::lock_guard lock(gPoolMutex);
    gUnreaped.insert(gUnreaped.end(), left.begin(), left.end());
}

// A worker leaves the pool: its place and its allowance are free again. A pid given is still
// to be collected from the forking process.
void forget(std::uint64_t allowance, pid_t uncollected = 0) {
    {
        std::lock_guard lock(gPoolMutex);
        --gAlive;
        gReserved -= allowance;
        if (uncollected > 0) gUnreaped.push_back(uncollected);
    }
    gPoolChanged.notify_all();
}

std::uint64_t physicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long size = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size) : 0;
}

// Moves a worker's soft memory limits to its base plus `allowance` (never past its ceiling).
bool applyAllowance(const Worker& w) {
    if (w.baseAddressSpace == 0) return true;
    for (auto [resource, base] : {std::pair{RLIMIT_AS, w.baseAddressSpace}, std::pair{RLIMIT_DATA, w.baseData}}) {
        rlimit old{};
        if (::prlimit(w.pid, resource, nullptr, &old) != 0) return false;
        const rlimit now{std::min<rlim_t>(base + w.allowance, old.rlim_max), old.rlim_max};
        if (::prlimit(w.pid, resource, &now, nullptr) != 0) return false;
    }
    return true;
}

// Bytes the worker has read through system calls, as the kernel counts them.
std::uint64_t bytesRead(pid_t pid) {
    char name[48];
    std::snprintf(name, sizeof name, "/proc/%d/io", static_cast<int>(pid));
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[512];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return 0;
    text[n] = 0;
    const char* at = std::strstr(text, "rchar:");
    return at ? std::strtoull(at + 6, nullptr, 10) : 0;
}

std::tuple<dev_t, ino_t, off_t, std::int64_t> identityOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    return {st.st_dev, st.st_ino, st.st_size,
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

std::int64_t sizeOf(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

// Descriptors that may be in flight from this process at once: the kernel counts them
// against the limit of open files.
int descriptorsInFlight() {
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return kMaxBatch * kMaxWorkers;
    return static_cast<int>(std::min<rlim_t>(r.rlim_cur, 1 << 20));
}

// Files one worker may have in flight: every worker's at once, with room left for the files
// the program holds.
int inFlightPerWorker() {
    return std::clamp(descriptorsInFlight() / (4 * WorkerPool::capacity()), 1, kMaxBatch);
}

ProbeResult probeFailed(HRESULT hr, const QString& why, bool fromDecoder = false) {
    ProbeResult r;
    r.hr = hr;
    r.detail = why;
    r.fromDecoder = fromDecoder;
    return r;
}

}  // namespace

WorkerProgress::WorkerProgress(const Worker& w, std::int64_t fileSize)
    : pid_(w.pid),
      // A decoder reads its file about once; one that reads it many times over is looping.
      readCap_(8 * static_cast<std::uint64_t>(std::max<std::int64_t>(0, fileSize)) + 64 * kMiB) {
    lastSign_ = std::chrono::steady_clock::now();
}

// The kernel's count is read only once a wait has gone on for a while: a worker that answers
// at once costs nothing to watch.
void WorkerProgress::beginWait() {
    lastRead_ = kUnread;
    lastSign_ = std::chrono::steady_clock::now();
}

void WorkerProgress::delivered() { lastSign_ = std::chrono::steady_clock::now(); }

bool WorkerProgress::stalled() {
    const std::uint64_t read = bytesRead(pid_);
    const auto now = std::chrono::steady_clock::now();
    if (firstRead_ == kUnread) firstRead_ = read;
    if (lastRead_ == kUnread) {
        lastRead_ = read;
    } else if (read != lastRead_) {
        lastRead_ = read;
        lastSign_ = now;
    }
    if (read > firstRead_ && read - firstRead_ > readCap_) return true;
    return now - lastSign_ > std::chrono::milliseconds(WorkerPool::stallMillis());
}

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

bool WorkerPool::setTranslation(const QString& qmFile) {
    ForkRequest req;
    prepare(req, 'L');
    const QByteArray name = qmFile.toUtf8();
    // A name too long to pass leaves the workers with the English source texts.
    if (name.size() < static_cast<qsizetype>(sizeof req.translation))
        std::memcpy(req.translation, name.constData(), static_cast<std::size_t>(name.size()));
    const bool loaded = askForkServer(req, nullptr).pid == 1;
    std::vector<Worker> idle;
    {
        std::lock_guard lock(gPoolMutex);
        ++gTranslation;
        idle.swap(gIdle);
    }
    for (Worker& w : idle) discard(w);
    return loaded;
}

int WorkerPool::capacity() {
    return std::clamp(RenderPipeline::workerCount(), 1, kMaxWorkers);
}

std::uint64_t WorkerPool::memoryBudget() {
    if (const std::uint64_t b = gBudgetOverride.load()) return b;
    if (const char* env = std::getenv("CORVANE_DECODER_MEMORY_MIB")) {
        const long long mib = std::atoll(env);
        if (mib >= 16) return static_cast<std::uint64_t>(mib) * kMiB;
    }
    // A quarter of the machine, between 1 GiB (a 40-hour audiobook's index fits with room
    // to spare) and 4 GiB.
    return std::clamp<std::uint64_t>(physicalMemory() / 4, 1024 * kMiB, 4096 * kMiB);
}

std::uint64_t WorkerPool::defaultAllowance() {
    return std::min(kUsualAllowance, memoryBudget() / static_cast<std::uint64_t>(capacity()));
}

std::uint64_t WorkerPool::largerAllowance(std::uint64_t tried) {
    const std::uint64_t budget = memoryBudget();
    if (tried >= budget) return 0;
    return std::min(budget, std::max(tried, 16 * kMiB) * 4);
}

int WorkerPool::batchSize(int total) {
    const int workers = capacity();
    const int spread = (std::max(total, 1) + workers - 1) / workers;
    return std::clamp(spread, 1, inFlightPerWorker());
}

std::uint64_t WorkerPool::rememberedAllowance(int fd) {
    const auto id = identityOf(fd);
    std::lock_guard lock(gPoolMutex);
    const auto it = gNeeds.find(id);
    return it == gNeeds.end() ? 0 : it->second;
}

void WorkerPool::rememberAllowance(const std::string& path, std::uint64_t allowance) {
    if (allowance <= defaultAllowance()) return;
    HRESULT hr = S_OK;
    QString why;
    const int fd = AudioSource::openFile(path, &hr, &why);
    if (fd < 0) return;
    const auto id = identityOf(fd);
    ::close(fd);
    std::lock_guard lock(gPoolMutex);
    gNeeds[id] = allowance;
}

Worker WorkerPool::acquire(QString* why, std::uint64_t allowance, const std::atomic<bool>* cancel, bool urgent) {
    collectEnded();
    const std::uint64_t budget = memoryBudget();
    allowance = std::min(budget, allowance ? allowance : defaultAllowance());
    Worker w;
    {
        std::unique_lock lock(gPoolMutex);
        for (;;) {
            if (cancel && cancel->load()) {
                *why = QStringLiteral("cancelled");
                return {};
            }
            const bool room = urgent || gReserved == 0 || gReserved + allowance <= budget;
            if (room && (urgent || !gIdle.empty() || gAlive < capacity())) break;
            gPoolChanged.wait_for(lock, std::chrono::milliseconds(kPollMillis));
        }
        gReserved += allowance;
        if (!gIdle.empty()) {
            w = gIdle.back();
            gIdle.pop_back();
        } else {
            ++gAlive;
            w.translation = gTranslation;
        }
    }
    w.allowance = allowance;
    if (w) {
        if (applyAllowance(w)) return w;
        // It died while idle: a fresh one takes its place.
        discard(w);
        return acquire(why, allowance, cancel, urgent);
    }
    ForkRequest req;
    prepare(req, 'S');
    req.allowance = allowance;
    req.ceiling = budget;
    int sock = -1;
    const ForkReply reply = askForkServer(req, &sock);
    w.pid = reply.pid > 0 && sock >= 0 ? reply.pid : 0;
    w.sock = sock;
    worker::ReadyReply ready;
    bool started = false;
    if (w) {
        WorkerProgress progress(w, 0);
        worker::Header h{};
        started = awaitMessage(w, progress, cancel) == Wait::Ready && worker::receiveHeader(sock, &h) &&
                  h.type == worker::Type::Ready && h.size == sizeof ready &&
                  receiveAll(w, &ready, sizeof ready, progress, cancel) == Wait::Ready;
    }
    if (!started) {
        if (w) {
            discard(w);
        } else {
            if (sock >= 0) ::close(sock);
            forget(allowance);
        }
        if (cancel && cancel->load())
            *why = QStringLiteral("cancelled");
        else
            *why = gForkSocket < 0 || reply.pid < 0
                       ? Cause::tr("the decoder could not be started (the process that starts decoders has ended)")
                       : Cause::tr("the decoder could not be started");
        return {};
    }
    w.baseAddressSpace = ready.addressSpace;
    w.baseData = ready.data;
    return w;
}

void WorkerPool::reuse(Worker& w) {
    if (!w) return;
    {
        std::unique_lock lock(gPoolMutex);
        if (w.translation != gTranslation) {
            // It speaks the language the program spoke before.
            lock.unlock();
            discard(w);
            return;
        }
        gReserved -= w.allowance;
        w.allowance = 0;
        gIdle.push_back(w);
    }
    gPoolChanged.notify_all();
    w = {};
}

void WorkerPool::discard(Worker& w) {
    if (!w) return;
    // Still a child of the forking process until collected: the pid cannot be reused.
    ::kill(w.pid, SIGKILL);
    ::close(w.sock);
    forget(w.allowance, w.pid);
    w = {};
}

WorkerEnd WorkerPool::bury(Worker& w) {
    if (!w) return WorkerEnd::Failed;
    const pid_t pid = w.pid;
    std::optional<int> status;
    // Its end of the socket closed as it died: the rest of its death follows at once.
    for (int i = 0; i < 100 && !(status = collect(pid)); ++i) ::usleep(20'000);
    WorkerEnd end = WorkerEnd::Failed;
    if (status && *status >= 0) {
        if (WIFEXITED(*status) && WEXITSTATUS(*status) == worker::kExitOutOfMemory)
            end = WorkerEnd::OutOfMemory;
        else if (WIFSIGNALED(*status))
            end = WTERMSIG(*status) == SIGKILL || WTERMSIG(*status) == SIGTERM ? WorkerEnd::KilledFromOutside
                                                                               : WorkerEnd::Crashed;
    }
    if (status) {
        ::close(w.sock);
        forget(w.allowance);
        w = {};
    } else {
        discard(w);  // alive but silent: it is of no more use
    }
    return end;
}

QString WorkerPool::causeText(WorkerEnd end) {
    switch (end) {
        case WorkerEnd::Crashed:
            return Cause::tr("the decoder stopped (crashed)");
        case WorkerEnd::OutOfMemory:
            return Cause::tr("the decoder stopped (out of memory)");
        case WorkerEnd::KilledFromOutside:
            return Cause::tr("the decoder stopped (killed from outside)");
        case WorkerEnd::Failed:
            break;
    }
    return Cause::tr("the decoder stopped (it ended without an answer)");
}

QString WorkerPool::tooMuchMemoryText() {
    return Cause::tr("it needs more memory than Corvane allows a decoder (%1 MiB)").arg(memoryBudget() / kMiB);
}

Wait WorkerPool::awaitMessage(const Worker& w, WorkerProgress& progress, const std::atomic<bool>* cancel) {
    progress.beginWait();
    for (;;) {
        pollfd p{w.sock, POLLIN, 0};
        const int n = ::poll(&p, 1, kPollMillis);
        if (cancel && cancel->load()) return Wait::Cancelled;
        if (n > 0) {
            progress.delivered();
            return Wait::Ready;  // a message, or the end of the socket: the read tells
        }
        if (n < 0 && errno != EINTR) return Wait::Gone;
        if (progress.stalled()) return Wait::Stalled;
    }
}

Wait WorkerPool::receiveMessage(const Worker& w, worker::Type type, std::size_t minSize, std::size_t maxSize,
                                std::vector<std::uint8_t>* payload, WorkerProgress& progress,
                                const std::atomic<bool>* cancel) {
    worker::Type came{};
    if (const Wait got = receiveAnyMessage(w, &came, maxSize, payload, progress, cancel); got != Wait::Ready)
        return got;
    return came == type && payload->size() >= minSize ? Wait::Ready : Wait::Gone;
}

Wait WorkerPool::receiveAnyMessage(const Worker& w, worker::Type* type, std::size_t maxSize,
                                   std::vector<std::uint8_t>* payload, WorkerProgress& progress,
                                   const std::atomic<bool>* cancel) {
    if (const Wait got = awaitMessage(w, progress, cancel); got != Wait::Ready) return got;
    worker::Header h{};
    if (const Wait got = receiveAll(w, &h, sizeof h, progress, cancel); got != Wait::Ready) return got;
    if (h.size > maxSize) return Wait::Gone;
    *type = h.type;
    payload->resize(h.size);
    return receiveAll(w, payload->data(), payload->size(), progress, cancel);
}

Wait WorkerPool::receiveAll(const Worker& w, void* data, std::size_t size, WorkerProgress& progress,
                            const std::atomic<bool>* cancel) {
    auto* at = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(w.sock, at, size, MSG_DONTWAIT);
        if (n > 0) {
            at += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) return Wait::Gone;
        if (errno == EAGAIN)
            if (const Wait r = awaitMessage(w, progress, cancel); r != Wait::Ready) return r;
    }
    return Wait::Ready;
}

std::int64_t WorkerPool::stallMillis() { return gStallMillis.load(); }
void WorkerPool::setStallMillis(std::int64_t millis) { gStallMillis = millis; }
void WorkerPool::setMemoryBudget(std::uint64_t bytes) { gBudgetOverride = bytes; }

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

// Reads the answer to the oldest request sent to w.
Wait readProbeReply(const Worker& w, WorkerProgress& progress, const std::atomic<bool>* cancel, ProbeResult* r) {
    std::vector<std::uint8_t> payload;
    if (const Wait got = WorkerPool::receiveMessage(w, worker::Type::ProbeResult, sizeof(worker::ProbeReply), 1u << 20,
                                                    &payload, progress, cancel);
        got != Wait::Ready)
        return got;
    worker::ProbeReply reply;
    std::memcpy(&reply, payload.data(), sizeof reply);
    r->hr = reply.hr;
    r->duration = reply.duration;
    r->samples = reply.samples;
    r->sampleRate = reply.sampleRate;
    r->channels = reply.channels;
    r->frameSamples = reply.frameSamples;
    r->format = reply.format;
    // The detail, the title and the artist, each ended by a NUL.
    const QByteArray texts(reinterpret_cast<const char*>(payload.data()) + sizeof reply,
                           static_cast<qsizetype>(payload.size() - sizeof reply));
    const QList<QByteArray> parts = texts.split('\0');
    r->detail = QString::fromUtf8(parts.value(0));
    r->title = QString::fromUtf8(parts.value(1));
    r->artist = QString::fromUtf8(parts.value(2));
    r->codec = QString::fromUtf8(parts.value(3));
    r->fromDecoder = true;
    return Wait::Ready;
}

struct ProbeJob {
    std::size_t index = 0;
    std::uint64_t allowance = 0;  // 0: the usual, or what the file needed before
};

}  // namespace

std::vector<ProbeResult> WorkerPool::probeMany(const std::vector<std::string>& paths,
                                               const std::atomic<bool>* cancel) {
    std::vector<ProbeResult> results(paths.size());
    std::deque<ProbeJob> todo;
    for (std::size_t i = 0; i < paths.size(); ++i) todo.push_back({i, 0});
    // As many at once as the caller handed over, within what may be in flight.
    const std::size_t inFlight = static_cast<std::size_t>(inFlightPerWorker());
    int fruitless = 0;  // workers lost in a row without a file to blame
    auto cancelRest = [&] {
        for (const ProbeJob& j : todo) results[j.index] = probeFailed(E_ABORT, QStringLiteral("cancelled"));
        todo.clear();
    };
    while (!todo.empty()) {
        if (cancel && cancel->load()) {
            cancelRest();
            break;
        }
        const std::uint64_t allowance = todo.front().allowance;
        QString why;
        Worker w = acquire(&why, allowance, cancel);
        if (!w) {
            if (cancel && cancel->load()) {
                cancelRest();
                break;
            }
            for (const ProbeJob& j : todo) results[j.index] = probeFailed(E_FAIL, why);
            break;
        }
        // Every request goes out at once and the answers come back in order: one round trip
        // per batch, not per file. A file that needed more memory before goes alone.
        std::vector<ProbeJob> pending;
        std::vector<std::int64_t> sizes;
        bool workerGone = false;
        while (!todo.empty() && pending.size() < inFlight && todo.front().allowance == allowance &&
               (pending.empty() || allowance == 0)) {
            const ProbeJob job = todo.front();
            const std::string& path = paths[job.index];
            HRESULT hr = S_OK;
            const int fd = AudioSource::openFile(path, &hr, &why);
            if (fd < 0) {
                // Out of descriptors with some in flight: their answers free them.
                if (hr == fromErrno(EMFILE) && !pending.empty()) break;
                results[job.index] = probeFailed(hr, why);
                todo.pop_front();
                continue;
            }
            if (job.allowance == 0 && pending.empty() && allowance == 0) {
                if (const std::uint64_t needed = rememberedAllowance(fd); needed > w.allowance) {
                    // Known to need more: it goes alone, with what it needed.
                    ::close(fd);
                    todo.front().allowance = needed;
                    break;
                }
            }
            worker::ProbeRequest req;
            req.fault = testFaultFor(path);
            if (req.fault == worker::TestFault::OpenByPath || req.fault == worker::TestFault::Escape)
                std::strncpy(req.path, path.c_str(), sizeof req.path - 1);
            req.target = static_cast<std::int32_t>(::getpid());
            errno = 0;
            const bool sent = worker::send(w.sock, worker::Type::Probe, &req, sizeof req, nullptr, 0, fd);
            const int sendErr = errno;
            const std::int64_t size = sizeOf(fd);
            ::close(fd);
            if (!sent) {
                if (sendErr == EPIPE || sendErr == ECONNRESET) {
                    workerGone = true;
                    break;
                }
                // Too many descriptors in flight: what was sent frees them; alone, this file
                // cannot be sent at all.
                if (!pending.empty()) break;
                results[job.index] = probeFailed(fromErrno(sendErr ? sendErr : EIO),
                                                 Cause::tr("it could not be handed to a decoder: %1")
                                                     .arg(QString::fromLocal8Bit(strerror(sendErr ? sendErr : EIO))));
                todo.pop_front();
                continue;
            }
            todo.pop_front();
            pending.push_back(job);
            sizes.push_back(size);
        }
        bool healthy = !workerGone;
        for (std::size_t k = 0; k < pending.size(); ++k) {
            ProbeResult r;
            WorkerProgress progress(w, sizes[k]);
            const Wait got = readProbeReply(w, progress, cancel, &r);
            if (got == Wait::Ready) {
                if (SUCCEEDED(r.hr)) rememberAllowance(paths[pending[k].index], w.allowance);
                results[pending[k].index] = std::move(r);
                fruitless = 0;
                continue;
            }
            healthy = false;
            // The files after the one it stopped on were never measured: back to the queue.
            for (std::size_t m = pending.size(); m-- > k + 1;) todo.push_front(pending[m]);
            if (got == Wait::Cancelled) {
                discard(w);
                todo.push_front(pending[k]);
                cancelRest();
                return results;
            }
            if (got == Wait::Stalled) {
                discard(w);
                results[pending[k].index] = probeFailed(VFW_E_DECODE_FAILED, Cause::tr("the decoder stopped responding"), true);
                break;
            }
            const WorkerEnd end = bury(w);
            if (end == WorkerEnd::OutOfMemory) {
                if (const std::uint64_t more = largerAllowance(std::max(allowance, defaultAllowance()))) {
                    todo.push_front({pending[k].index, more});
                    break;
                }
                results[pending[k].index] = probeFailed(E_OUTOFMEMORY, tooMuchMemoryText(), true);
                break;
            }
            results[pending[k].index] = probeFailed(VFW_E_DECODE_FAILED, causeText(end), true);
            break;
        }
        if (healthy) {
            reuse(w);
        } else if (w) {
            discard(w);
        }
        if (workerGone && pending.empty() && ++fruitless >= 3) {
            for (const ProbeJob& j : todo)
                results[j.index] = probeFailed(E_FAIL, Cause::tr("the decoder could not be started"));
            todo.clear();
        }
    }
    return results;
}

}  // namespace corvane::media
