// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/LoudnessSurvey.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

#include "media/decoders/AudioSource.h"
#include "media/decoders/WorkerPool.h"

namespace corvane::media {

namespace {

// The file, and the rate, channels and speakers it is heard in.
using Identity = std::tuple<dev_t, ino_t, off_t, std::int64_t, std::uint32_t, std::uint16_t, std::uint32_t>;

std::mutex gKeptMutex;
std::map<Identity, LoudnessResult> gKept;
std::atomic<int> gMeasured{0};

LoudnessResult failed(HRESULT hr, const QString& why, bool fromDecoder = false) {
    LoudnessResult r;
    r.hr = hr;
    r.detail = why;
    r.fromDecoder = fromDecoder;
    return r;
}

Identity identityOf(int fd, const WaveFormatEx& heardAs) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    return {st.st_dev,
            st.st_ino,
            st.st_size,
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
            heardAs.nChannels ? heardAs.nSamplesPerSec : 0,
            heardAs.nChannels,
            heardAs.nChannels ? heardAs.channelMask() : 0};
}

// Reads the worker's answer; Wait::Ready with *r (and *extra) filled, or how the wait ended.
Wait readReply(const Worker& w, WorkerProgress& progress, const std::atomic<bool>* cancel,
               const std::function<void(std::int64_t)>& read, LoudnessResult* r, worker::LoudnessReply* extra) {
    std::vector<std::uint8_t> payload;
    for (;;) {
        worker::Type type{};
        if (const Wait got = WorkerPool::receiveAnyMessage(w, &type, 16u << 20, &payload, progress, cancel);
            got != Wait::Ready)
            return got;
        if (type == worker::Type::Measured && payload.size() == sizeof(worker::Clock)) {
            worker::Clock at;
            std::memcpy(&at, payload.data(), sizeof at);
            if (read) read(at.duration);
            continue;
        }
        if (type != worker::Type::Loudness) return Wait::Gone;
        break;
    }
    if (!readLoudnessReply(payload, r, extra)) return Wait::Gone;
    return Wait::Ready;
}

}  // namespace

bool readLoudnessReply(const std::vector<std::uint8_t>& payload, LoudnessResult* r, worker::LoudnessReply* reply) {
    if (payload.size() < sizeof *reply) return false;
    std::memcpy(reply, payload.data(), sizeof *reply);
    const std::size_t binBytes = static_cast<std::size_t>(reply->bins) * sizeof(GatingHistogram::Bin);
    if (reply->bins > GatingHistogram::kBins || sizeof *reply + binBytes > payload.size()) return false;
    r->hr = reply->hr;
    r->fromDecoder = reply->opened != 0;
    r->integrated = reply->integrated;
    r->truePeak = reply->truePeak;
    r->samplePeak = reply->samplePeak;
    r->truePeakBound = reply->truePeakBound;
    r->gating.bins.resize(reply->bins);
    std::memcpy(static_cast<void*>(r->gating.bins.data()), payload.data() + sizeof *reply, binBytes);
    const std::size_t textAt = sizeof *reply + binBytes;
    r->detail = QString::fromUtf8(reinterpret_cast<const char*>(payload.data()) + textAt,
                                  static_cast<qsizetype>(payload.size() - textAt));
    return true;
}

std::int64_t keptAudioBytes(std::int64_t frames, int channels) {
    return (frames + frames / 16 + 65536) * channels * static_cast<std::int64_t>(sizeof(float));
}

KeptAudio::KeptAudio(int descriptor, std::int64_t size, const worker::Clock& decoded)
    : fd(descriptor), bytes(size), clock(decoded) {}

KeptAudio::~KeptAudio() {
    if (fd >= 0) ::close(fd);
}

int openScratch(std::int64_t need) {
    if (need <= 0 || need > worker::kScratchCeiling) return -1;
    // Unlinked from the start: nothing is left behind whatever becomes of the join.
    const int fd = ::open(QFile::encodeName(QDir::tempPath()).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct statvfs v {};
    const std::int64_t room =
        ::fstatvfs(fd, &v) == 0 ? static_cast<std::int64_t>(v.f_bavail) * static_cast<std::int64_t>(v.f_frsize) / 4 : 0;
    if (need > room) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int LoudnessSurvey::measuredCount() { return gMeasured.load(); }

bool LoudnessSurvey::kept(int fd, const WaveFormatEx& heardAs, LoudnessResult* r) {
    const Identity id = identityOf(fd, heardAs);
    std::lock_guard lock(gKeptMutex);
    const auto it = gKept.find(id);
    if (it == gKept.end()) return false;
    *r = it->second;
    return true;
}

void LoudnessSurvey::keep(int fd, const WaveFormatEx& heardAs, const LoudnessResult& r) {
    ++gMeasured;
    const Identity id = identityOf(fd, heardAs);
    std::lock_guard lock(gKeptMutex);
    // One with the true peak is not replaced by one without.
    if (auto it = gKept.find(id); it != gKept.end() && it->second.truePeakMeasured() && !r.truePeakMeasured()) return;
    gKept[id] = r;
}

LoudnessResult LoudnessSurvey::measure(const std::string& path, const WaveFormatEx& heardAs, bool truePeak,
                                       const std::atomic<bool>* cancel, const std::function<void(std::int64_t)>& read,
                                       std::int64_t keepBytes, KeptAudioPtr* kept) {
    std::uint64_t allowance = 0;
    bool urgent = false;
    for (;;) {
        if (cancel && cancel->load()) return failed(E_ABORT, QStringLiteral("cancelled"));
        HRESULT hr = S_OK;
        QString why;
        const int fd = AudioSource::openFile(path, &hr, &why);
        if (fd < 0) return failed(hr, why);
        const Identity id = identityOf(fd, heardAs);
        {
            std::lock_guard lock(gKeptMutex);
            // A measurement with the true peak serves one without; not the other way round.
            if (auto it = gKept.find(id); it != gKept.end() && (!truePeak || it->second.truePeakMeasured())) {
                ::close(fd);
                return it->second;
            }
        }
        allowance = std::max(allowance, WorkerPool::rememberedAllowance(fd));
        Worker w = WorkerPool::acquire(&why, allowance, cancel, urgent);
        if (!w) {
            ::close(fd);
            return failed(cancel && cancel->load() ? E_ABORT : E_FAIL, why);
        }
        struct stat st {};
        WorkerProgress progress(w, ::fstat(fd, &st) == 0 ? st.st_size : 0);
        worker::MeasureRequest req;
        req.fault = WorkerPool::testFaultFor(path);
        req.heardAs = heardAs;
        req.truePeak = truePeak ? 1 : 0;
        bool sent = true;
        int scratch = -1;
        if (kept && heardAs.nChannels > 0 && (scratch = openScratch(keepBytes)) >= 0) {
            req.scratchBytes = keepBytes;
            sent = worker::send(w.sock, worker::Type::Scratch, nullptr, 0, nullptr, 0, scratch);
        }
        sent = sent && worker::send(w.sock, worker::Type::Measure, &req, sizeof req, nullptr, 0, fd);
        ::close(fd);
        LoudnessResult r;
        worker::LoudnessReply reply;
        const Wait got = sent ? readReply(w, progress, cancel, read, &r, &reply) : Wait::Gone;
        if (got == Wait::Ready && SUCCEEDED(r.hr) && scratch >= 0 && reply.kept >= 0 && reply.kept <= keepBytes) {
            *kept = std::make_shared<KeptAudio>(scratch, reply.kept, reply.clock);
            scratch = -1;
        }
        if (scratch >= 0) ::close(scratch);
        if (got == Wait::Ready) {
            ++gMeasured;
            if (SUCCEEDED(r.hr)) WorkerPool::rememberAllowance(path, w.allowance);
            WorkerPool::reuse(w);
            if (SUCCEEDED(r.hr)) {
                std::lock_guard lock(gKeptMutex);
                gKept[id] = r;
            }
            return r;
        }
        if (got == Wait::Cancelled) {
            WorkerPool::discard(w);
            return failed(E_ABORT, QStringLiteral("cancelled"));
        }
        if (got == Wait::Stalled) {
            WorkerPool::discard(w);
            return failed(VFW_E_DECODE_FAILED, QStringLiteral("the decoder stopped responding"), true);
        }
        const std::uint64_t tried = w.allowance;
        const WorkerEnd end = WorkerPool::bury(w);
        if (end != WorkerEnd::OutOfMemory) return failed(VFW_E_DECODE_FAILED, WorkerPool::causeText(end), true);
        allowance = WorkerPool::largerAllowance(std::max(tried, WorkerPool::defaultAllowance()));
        if (allowance == 0) return failed(E_OUTOFMEMORY, WorkerPool::tooMuchMemoryText(), true);
        urgent = true;  // others may hold the budget while they wait for nothing: go ahead
    }
}

std::vector<LoudnessResult> LoudnessSurvey::measureAll(const std::vector<std::string>& paths, const WaveFormatEx& heardAs,
                                                       bool truePeak,
                                                       const std::function<void(std::size_t, const LoudnessResult&)>& done,
                                                       const std::atomic<bool>* cancel,
                                                       const std::function<void(std::size_t, std::int64_t)>& read,
                                                       const std::vector<std::int64_t>& keepBytes,
                                                       std::vector<KeptAudioPtr>* kept) {
    std::vector<LoudnessResult> results(paths.size());
    std::atomic<std::size_t> next{0};
    if (kept) kept->assign(paths.size(), nullptr);
    // The kept audio of the whole join stays within its bounds: the files first in line keep theirs.
    std::mutex keptMutex;
    std::int64_t keptBytes = 0;
    int keptFiles = 0;
    // Each kept file holds a descriptor until the join ends: a quarter of what may be open.
    rlimit open{};
    const int keptFilesAtMost =
        ::getrlimit(RLIMIT_NOFILE, &open) == 0 && open.rlim_cur != RLIM_INFINITY
            ? static_cast<int>(std::min<rlim_t>(kKeptFiles, open.rlim_cur / 4))
            : kKeptFiles;
    auto reserve = [&](std::size_t i) -> std::int64_t {
        if (!kept || i >= keepBytes.size() || keepBytes[i] <= 0) return 0;
        std::lock_guard lock(keptMutex);
        if (keptFiles >= keptFilesAtMost || keptBytes + keepBytes[i] > kKeptCeiling) return 0;
        keptBytes += keepBytes[i];
        ++keptFiles;
        return keepBytes[i];
    };
    auto run = [&] {
        for (std::size_t i; (i = next++) < paths.size();) {
            const std::int64_t keep = reserve(i);
            KeptAudioPtr audio;
            results[i] = measure(paths[i], heardAs, truePeak, cancel,
                                 read ? std::function<void(std::int64_t)>([&read, i](std::int64_t at) { read(i, at); })
                                      : std::function<void(std::int64_t)>(),
                                 keep, keep > 0 ? &audio : nullptr);
            if (audio) (*kept)[i] = std::move(audio);
            if (keep > 0 && !(*kept)[i]) {
                std::lock_guard lock(keptMutex);
                keptBytes -= keep;
                --keptFiles;
            }
            if (done) done(i, results[i]);
        }
    };
    const int threads = std::clamp<int>(WorkerPool::capacity(), 1, std::max<int>(1, static_cast<int>(paths.size())));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(run);
    run();
    for (auto& t : pool) t.join();
    return results;
}

}  // namespace corvane::media
