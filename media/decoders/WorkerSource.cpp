// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/WorkerSource.h"
#include "media/Cause.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "media/decoders/AudioSource.h"
#include "media/decoders/LoudnessSurvey.h"

namespace corvane::media {

WorkerSource::~WorkerSource() {
    // A request left unfinished (the join stopped) ends its worker: it cannot be reused.
    WorkerPool::discard(worker_);
    if (keyFd_ >= 0) ::close(keyFd_);
}

void WorkerSource::match(const LoudnessMatch& match, std::int64_t frames, std::function<void(std::int64_t)> measured) {
    match_ = match;
    frames_ = frames;
    measured_ = std::move(measured);
}

HRESULT WorkerSource::fail(HRESULT hr, const QString& why) {
    detail_ = why;
    finished_ = true;
    return hr;
}

HRESULT WorkerSource::start(const std::string& path, const WaveFormatEx& format, std::uint32_t seed,
                            const std::atomic<bool>* stop, float gain) {
    path_ = path;
    gain_ = gain;
    format_ = format;
    seed_ = seed;
    stop_ = stop;
    return launch(0, false);
}

HRESULT WorkerSource::launch(std::uint64_t allowance, bool urgent) {
    HRESULT hr = S_OK;
    QString why;
    const int fd = AudioSource::openFile(path_, &hr, &why);
    if (fd < 0) return fail(hr, why);
    // A file that needed more memory when it was measured gets it from the start.
    allowance = std::max(allowance, WorkerPool::rememberedAllowance(fd));
    worker_ = WorkerPool::acquire(&why, allowance, stop_, urgent);
    if (!worker_) {
        ::close(fd);
        return fail(stop_ && stop_->load() ? E_ABORT : E_FAIL, why);
    }
    struct stat st {};
    progress_ = std::make_unique<WorkerProgress>(worker_, ::fstat(fd, &st) == 0 ? st.st_size : 0);
    worker::RenderRequest req;
    req.format = format_;
    req.seed = seed_;
    req.gain = gain_;
    req.fault = WorkerPool::testFaultFor(path_, &req.faultAfterBytes);
    bool sent = true;
    if (match_.on) {
        // Measured before (in this join or an earlier one): the gain is known now.
        if (LoudnessSurvey::kept(fd, format_, &loudness_)) {
            const FileGain g = eachFileGain(loudness_, match_.target, match_.ceiling);
            if (!truePeakDecides(loudness_, g.wantedDb, match_.ceiling)) {
                req.gain = static_cast<float>(std::pow(10.0, g.gainDb / 20.0));
                match_.on = false;
            }
        }
    }
    if (match_.on) {
        req.measure = 1;
        req.target = match_.target;
        req.ceiling = match_.ceiling;
        const std::int64_t need = keptAudioBytes(frames_, format_.nChannels);
        const int scratch = openScratch(need);
        if (scratch >= 0) {
            req.scratchBytes = need;
            sent = worker::send(worker_.sock, worker::Type::Scratch, nullptr, 0, nullptr, 0, scratch);
            ::close(scratch);
            // Its audio is read back once, and once more where the true peak decides.
            progress_->allowReads(2 * static_cast<std::uint64_t>(need));
        }
        if (keyFd_ < 0) keyFd_ = ::dup(fd);
    } else if (kept_ && kept_->fd >= 0 && req.gain != 1.0f) {
        req.replay = 1;
        req.replayBytes = kept_->bytes;
        req.replayClock = kept_->clock;
        sent = worker::send(worker_.sock, worker::Type::Scratch, nullptr, 0, nullptr, 0, kept_->fd);
        progress_->allowReads(static_cast<std::uint64_t>(kept_->bytes));
    }
    sent = sent && worker::send(worker_.sock, worker::Type::Render, &req, sizeof req, nullptr, 0, fd);
    ::close(fd);
    if (!sent) return lost(Wait::Gone);
    return S_OK;
}

HRESULT WorkerSource::lost(Wait how) {
    opened_ = true;
    if (how == Wait::Cancelled) {
        WorkerPool::discard(worker_);
        return fail(E_ABORT, QStringLiteral("stopped"));
    }
    if (how == Wait::Stalled) {
        WorkerPool::discard(worker_);
        return fail(VFW_E_DECODE_FAILED, Cause::tr("the decoder stopped responding"));
    }
    const std::uint64_t tried = worker_.allowance;
    const WorkerEnd end = WorkerPool::bury(worker_);
    if (end != WorkerEnd::OutOfMemory) return fail(VFW_E_DECODE_FAILED, WorkerPool::causeText(end));
    // Nothing of it reached the join yet: it starts again with more room.
    const std::uint64_t more = WorkerPool::largerAllowance(std::max(tried, WorkerPool::defaultAllowance()));
    if (delivered_ || more == 0)
        return fail(E_OUTOFMEMORY, more == 0 ? WorkerPool::tooMuchMemoryText()
                                             : WorkerPool::causeText(WorkerEnd::OutOfMemory));
    opened_ = false;
    // The join may be waiting on this file while others hold every worker and all the
    // budget (they wait for it in turn): it must not wait for them.
    return launch(more, true);
}

HRESULT WorkerSource::read(PcmBytes& pcm, worker::Clock* decoded) {
    for (;;) {
        if (finished_) return S_FALSE;
        const std::uint64_t allowance = worker_.allowance;
        worker::Header h{};
        Wait got = WorkerPool::awaitMessage(worker_, *progress_, stop_);
        if (got == Wait::Ready) got = WorkerPool::receiveAll(worker_, &h, sizeof h, *progress_, stop_);
        if (got == Wait::Ready && h.size > (64u << 20)) got = Wait::Gone;
        if (got != Wait::Ready) {
            const HRESULT hr = lost(got);
            if (FAILED(hr) || finished_) return FAILED(hr) ? hr : S_FALSE;
            continue;  // started again with more memory
        }
        // Audio goes straight to the end of pcm: no copy on the way.
        if (h.type == worker::Type::Data && h.size >= sizeof(worker::Clock)) {
            const std::size_t bytes = h.size - sizeof(worker::Clock);
            const std::size_t at = pcm.size();
            pcm.resize(at + bytes);
            got = WorkerPool::receiveAll(worker_, decoded, sizeof *decoded, *progress_, stop_);
            if (got == Wait::Ready) got = WorkerPool::receiveAll(worker_, pcm.data() + at, bytes, *progress_, stop_);
            if (got == Wait::Ready) {
                delivered_ = true;
                return S_OK;
            }
            pcm.resize(at);
            return lost(got);
        }
        message_.resize(h.size);
        got = WorkerPool::receiveAll(worker_, message_.data(), h.size, *progress_, stop_);
        if (got != Wait::Ready) return lost(got);
        if (h.type == worker::Type::Measured && match_.on && message_.size() == sizeof(worker::Clock)) {
            worker::Clock at;
            std::memcpy(&at, message_.data(), sizeof at);
            if (measured_) measured_(at.duration);
            continue;
        }
        if (h.type == worker::Type::Loudness && match_.on) {
            if (const HRESULT hr = readLoudness(); FAILED(hr)) return hr;
            continue;
        }
        if (h.type == worker::Type::End && message_.size() >= sizeof(worker::EndReply)) {
            worker::EndReply end;
            std::memcpy(&end, message_.data(), sizeof end);
            *decoded = end.clock;
            opened_ = end.opened != 0;
            if (SUCCEEDED(end.hr)) WorkerPool::rememberAllowance(path_, allowance);
            WorkerPool::reuse(worker_);
            if (FAILED(end.hr))
                return fail(end.hr, QString::fromUtf8(reinterpret_cast<const char*>(message_.data()) + sizeof end,
                                                      static_cast<qsizetype>(message_.size() - sizeof end)));
            finished_ = true;
            return S_FALSE;
        }
        WorkerPool::discard(worker_);
        return fail(VFW_E_DECODE_FAILED, Cause::tr("the decoder stopped (it answered nonsense)"));
    }
}

HRESULT WorkerSource::readLoudness() {
    worker::LoudnessReply reply;
    if (!readLoudnessReply(message_, &loudness_, &reply)) {
        WorkerPool::discard(worker_);
        return fail(VFW_E_DECODE_FAILED, Cause::tr("the decoder stopped (it answered nonsense)"));
    }
    const LoudnessResult& r = loudness_;
    if (measured_) measured_(std::numeric_limits<std::int64_t>::max());
    if (SUCCEEDED(r.hr) && keyFd_ >= 0) LoudnessSurvey::keep(keyFd_, format_, r);
    return S_OK;
}

}  // namespace corvane::media
