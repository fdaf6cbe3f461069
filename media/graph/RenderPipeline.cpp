// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/RenderPipeline.h"
#include "media/Cause.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "media/PathCodec.h"
#include "media/decoders/Fault.h"
#include "media/graph/Crossfade.h"
#include "media/decoders/WorkerSource.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace corvane::media {

namespace {

constexpr std::int64_t kBlockFrames = 65536;
// Frames a resampler may round a source's length by; closed with silence to keep positions.
constexpr std::int64_t kResamplerSlack = 2;

std::uint8_t silenceByte(const WaveFormatEx& f) { return f.wBitsPerSample == 8 ? 0x80 : 0x00; }

}  // namespace

int RenderPipeline::workerCount() {
    if (const char* env = std::getenv("CORVANE_THREADS")) {
        const int n = std::atoi(env);
        if (n >= 1 && n <= 64) return n;
    }
    const unsigned hw = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(hw == 0 ? 2u : hw, 1u, 16u));
}

std::size_t RenderPipeline::budgetBytes() {
    // Tests shrink it to make sources place their audio ahead.
    if (const char* env = std::getenv("CORVANE_QUEUE_KIB")) {
        const long long kib = std::atoll(env);
        if (kib >= 0 && kib <= (1 << 20)) return static_cast<std::size_t>(kib) << 10;
    }
    return kBudgetBytes;
}

RenderPipeline::RenderPipeline(std::vector<SlotPlan> slotList, std::int64_t tailSilence,
                               const WaveFormatEx& format, Deliver deliver, Finish finish, Report report)
    : plan_(std::move(slotList)),
      tailSilence_(tailSilence),
      format_(format),
      deliver_(std::move(deliver)),
      finish_(std::move(finish)),
      report_(std::move(report)),
      blockBytes_(static_cast<std::size_t>(kBlockFrames) * format.nBlockAlign),
      budget_(budgetBytes()),
      slots_(plan_.size()) {
    // Blocks are allocated on one thread and freed on another; served by mmap they go back to
    // the system at once instead of piling up in per-thread heaps.
    static const bool once = [] {
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
        return true;
    }();
    (void)once;
}

RenderPipeline::~RenderPipeline() { abort(); }

void RenderPipeline::setCrossfades(std::vector<std::int64_t> fades, Seam::Curve curve) {
    fades_ = std::move(fades);
    curve_ = curve;
}

void RenderPipeline::start() {
    // Where each source begins when every one fills its plan; placement needs it, and a
    // crossfade's mixing needs both sides in memory anyway.
    placementOff_ = !place_ || !fades_.empty();
    std::int64_t at = 0;
    for (std::size_t i = 0; i < plan_.size(); ++i) {
        at += std::max<std::int64_t>(0, plan_[i].leadSilence);
        slots_[i].start = at;
        at += std::max<std::int64_t>(0, plan_[i].frames);
    }
    const int n = std::min<int>(workerCount(), std::max<int>(1, static_cast<int>(plan_.size())));
    for (int i = 0; i < n; ++i) workers_.emplace_back(&RenderPipeline::workerMain, this);
    writer_ = std::thread(&RenderPipeline::writerMain, this);
}

void RenderPipeline::abort() {
    stopping_ = true;  // a source waiting on its decoder gives up at once
    {
        std::lock_guard lock(mutex_);
        aborted_ = true;
    }
    changed_.notify_all();
    for (auto& t : workers_)
        if (t.joinable()) t.join();
    workers_.clear();
    if (writer_.joinable()) writer_.join();
}

HRESULT RenderPipeline::placeOutput(const MediaSample& sample) {
    std::lock_guard lock(outputMutex_);
    return place_(sample);
}

HRESULT RenderPipeline::push(std::size_t index, PcmBytes&& bytes, std::int64_t at, bool mayPlace) {
    std::unique_lock lock(mutex_);
    for (;;) {
        bool ahead = false;
        changed_.wait(lock, [&] {
            if (aborted_) return true;
            if (index == head_) return slots_[index].blocks.size() < kHeadBlocks;
            if (queuedBytes_ + bytes.size() <= budget_) return true;
            ahead = mayPlace && !placementOff_;
            return ahead;
        });
        if (aborted_) return E_ABORT;
        Slot& slot = slots_[index];
        if (!ahead) {
            queuedBytes_ += bytes.size();
            slot.blocks.push_back(Block{std::move(bytes)});
            lock.unlock();
            changed_.notify_all();
            return S_OK;
        }
        // Its place is known while every source before it fills its plan; a source that does
        // not waits for this write to end before anything placed moves.
        slot.placing = true;
        const std::int64_t frameBytes = format_.nBlockAlign;
        const std::int64_t frames = static_cast<std::int64_t>(bytes.size()) / frameBytes;
        const std::int64_t offset = (slot.start + at) * frameBytes;
        lock.unlock();
        HRESULT hr = Fault::check("RenderPipeline::place");
        if (hr == S_OK) hr = placeOutput(MediaSample{bytes.data(), bytes.size(), offset, MediaSample::Kind::Ahead});
        lock.lock();
        slot.placing = false;
        if (hr == S_FALSE) {
            // The output would rather not (its file system writes out every gap): queue.
            placementOff_ = true;
            changed_.notify_all();
            continue;
        }
        if (SUCCEEDED(hr)) {
            slot.placedEnd = at + frames;
            slot.blocks.push_back(Block{{}, frames});
        }
        lock.unlock();
        changed_.notify_all();
        giveBuffer(std::move(bytes));
        return SUCCEEDED(hr) ? S_OK : hr;
    }
}

HRESULT RenderPipeline::shiftLater(std::size_t index, std::int64_t frames) {
    struct Placed {
        std::int64_t start, frames;
    };
    std::vector<Placed> placed;
    {
        std::unique_lock lock(mutex_);
        placementOff_ = true;
        changed_.wait(lock, [&] {
            if (aborted_) return true;
            for (std::size_t k = index + 1; k < slots_.size(); ++k)
                if (slots_[k].placing) return false;
            return true;
        });
        if (aborted_) return E_ABORT;
        for (std::size_t k = index + 1; k < slots_.size(); ++k) {
            if (slots_[k].placedEnd > 0) placed.push_back({slots_[k].start, slots_[k].placedEnd});
            slots_[k].start += frames;
        }
    }
    // Each source's stretch stays clear of the others' once all move by the same amount:
    // the last moves first when they move later, the first when they move earlier.
    if (frames > 0) std::reverse(placed.begin(), placed.end());
    const std::int64_t frameBytes = format_.nBlockAlign;
    for (const Placed& p : placed) {
        const HRESULT hr = placeOutput(MediaSample{nullptr, static_cast<std::size_t>(p.frames * frameBytes),
                                                   p.start * frameBytes, MediaSample::Kind::Moved,
                                                   (p.start + frames) * frameBytes});
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

PcmBytes RenderPipeline::takeBuffer() {
    PcmBytes b;
    {
        std::lock_guard lock(mutex_);
        if (!pool_.empty()) {
            b = std::move(pool_.back());
            pool_.pop_back();
            poolBytes_ -= b.capacity();
            b.clear();
        }
    }
    // Room for a block and the largest decoded frame beyond it, converted: growing would
    // copy what it holds.
    b.reserve(blockBytes_ + 65536 * static_cast<std::size_t>(format_.nBlockAlign));
    return b;
}

void RenderPipeline::giveBuffer(PcmBytes&& buffer) {
    // Reused buffers spare the page faults of fresh ones; a few are enough to go round.
    if (buffer.capacity() < blockBytes_) return;  // a marker or a scrap of silence
    std::lock_guard lock(mutex_);
    if (pool_.size() < kPoolBuffers || poolBytes_ + buffer.capacity() <= kPoolBytes) {
        poolBytes_ += buffer.capacity();
        pool_.push_back(std::move(buffer));
    }
}

void RenderPipeline::finishSlot(std::size_t index, HRESULT hr, const QString& detail, REFERENCE_TIME decoded,
                                bool differs) {
    {
        std::lock_guard lock(mutex_);
        slots_[index].done = true;
        slots_[index].hr = hr;
        slots_[index].detail = detail;
        slots_[index].decoded = decoded;
        slots_[index].differs = differs;
    }
    changed_.notify_all();
}

void RenderPipeline::workerMain() {
    for (;;) {
        std::size_t index;
        {
            std::lock_guard lock(mutex_);
            if (aborted_ || nextSlot_ >= plan_.size()) return;
            index = nextSlot_++;
        }
        renderSlot(index);
    }
}

HRESULT RenderPipeline::renderSlot(std::size_t index) {
    const SlotPlan& plan = plan_[index];
    const std::size_t frameBytes = format_.nBlockAlign;
    const QString name = pathToQString(plan.path);
    WorkerSource source;
    // Decoders are taken in timeline order: the source being written always has one, and
    // the ones after it wait their turn instead of taking the workers or the memory it
    // waits for while they wait for it to be written.
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return aborted_ || startTurn_ == index; });
        if (aborted_) return E_ABORT;
    }
    auto nextTurn = [&] {
        {
            std::lock_guard lock(mutex_);
            startTurn_ = index + 1;
        }
        changed_.notify_all();
    };
    if (plan.frames <= 0 && plan.measured <= 0) {
        nextTurn();
        finishSlot(index, S_OK, {});
        return S_OK;
    }
    source.replay(plan.kept);
    if (plan.match.on) {
        auto counted = std::make_shared<REFERENCE_TIME>(0);
        source.match(plan.match, plan.frames, [this, counted, length = plan.measured](std::int64_t at) {
            const REFERENCE_TIME now = std::clamp<REFERENCE_TIME>(at, *counted, std::max<REFERENCE_TIME>(0, length));
            if (measured_) *measured_ += now - *counted;
            *counted = now;
        });
    }
    // Seeded by position, so a join gives the same bytes whatever thread converts what.
    HRESULT hr = source.start(plan.path, format_, 0x2545F491u ^ static_cast<std::uint32_t>(index * 2654435761u),
                              &stopping_, plan.gain);
    nextTurn();
    if (FAILED(hr)) {
        finishSlot(index, hr, Cause::tr("Cannot open %1: %2").arg(name, source.detail()));
        return hr;
    }
    PcmBytes pcm = takeBuffer();
    std::int64_t skip = plan.skip;
    std::int64_t pushed = 0;
    // Decoding on past its measured length by more than a codec frame: the file is not what
    // was measured, and everything it decodes is kept.
    bool overrun = false;
    worker::Clock decoded;
    // Output frames a codec frame spans: how far the decode may run past the measured length
    // as padding before it counts as more audio.
    auto tolerance = [&] {
        return decoded.rate > 0 ? av_rescale(decoded.largestFrame, format_.nSamplesPerSec, decoded.rate) + kResamplerSlack
                                : kResamplerSlack;
    };

    // Hands converted audio on in blocks of at least kBlockFrames (the buffer itself, no
    // copy), dropping `skip` first and holding back what lies past the measured length.
    auto pushBlocks = [&](bool all) -> bool {
        if (skip > 0) {
            const auto have = static_cast<std::int64_t>(pcm.size() / frameBytes);
            const std::int64_t drop = std::min(skip, have);
            pcm.erase(pcm.begin(), pcm.begin() + static_cast<std::ptrdiff_t>(drop * static_cast<std::int64_t>(frameBytes)));
            skip -= drop;
        }
        const auto have = static_cast<std::int64_t>(pcm.size() / frameBytes);
        const std::int64_t room = std::max<std::int64_t>(0, plan.frames - pushed);
        if (!overrun && have - room > tolerance()) overrun = true;
        const std::int64_t take = overrun ? have : std::min(have, room);
        if (take == 0 || (!all && take < kBlockFrames)) return true;
        PcmBytes rest;
        if (take < have) {
            rest = takeBuffer();
            rest.assign(pcm.begin() + static_cast<std::ptrdiff_t>(take * static_cast<std::int64_t>(frameBytes)), pcm.end());
        }
        pcm.resize(static_cast<std::size_t>(take) * frameBytes);
        const std::int64_t at = pushed;
        pushed += take;
        // Only what fills its plan has a known place; more than that waits in the queue.
        if (const HRESULT placed = push(index, std::move(pcm), at, !overrun); placed != S_OK) {
            if (placed != E_ABORT) finishSlot(index, placed, {});
            return false;
        }
        pcm = take < have ? std::move(rest) : takeBuffer();
        return true;
    };

    while ((hr = source.read(pcm, &decoded)) == S_OK)
        if (!pushBlocks(false)) return E_ABORT;
    if (stopping_) return E_ABORT;
    if (FAILED(hr)) {
        const QString what = source.opened() ? Cause::tr("Cannot decode %1: %2") : Cause::tr("Cannot open %1: %2");
        finishSlot(index, hr, what.arg(name, source.detail()));
        return hr;
    }
    if (!pushBlocks(true)) return E_ABORT;  // what is still held back is the encoder's padding
    // Resampling may round a frame or two off the planned length; closed so that every later
    // source starts where its measured position says. A real shortfall is left as it is.
    if (const std::int64_t gap = plan.frames - pushed; !overrun && gap > 0 && gap <= kResamplerSlack) {
        PcmBytes block(static_cast<std::size_t>(gap) * frameBytes, silenceByte(format_));
        if (push(index, std::move(block)) != S_OK) return E_ABORT;
    }
    giveBuffer(std::move(pcm));  // taken for more audio that never came
    const REFERENCE_TIME length = decoded.duration;
    const REFERENCE_TIME frameTime =
        decoded.rate > 0 ? av_rescale(decoded.largestFrame, kUnitsPerSecond, decoded.rate) : 0;
    if (plan.match.on) {
        std::lock_guard lock(mutex_);
        slots_[index].loudness = source.loudness();
    }
    finishSlot(index, S_OK, {}, length, std::llabs(length - plan.measured) > frameTime);
    return S_OK;
}

HRESULT RenderPipeline::deliverOutput(const std::uint8_t* data, std::size_t size) {
    std::lock_guard lock(outputMutex_);
    return deliver_(data, size);
}

HRESULT RenderPipeline::writeSilence(std::int64_t frames) {
    if (frames <= 0) return S_OK;
    const std::int64_t chunk = std::min<std::int64_t>(frames, kBlockFrames);
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(chunk) * format_.nBlockAlign,
                                          silenceByte(format_));
    while (frames > 0) {
        const std::int64_t n = std::min(frames, chunk);
        if (HRESULT hr = deliverOutput(zeros.data(), static_cast<std::size_t>(n) * format_.nBlockAlign);
            FAILED(hr))
            return hr;
        frames -= n;
    }
    return S_OK;
}

void RenderPipeline::fail(HRESULT hr, const QString& detail) {
    {
        std::lock_guard lock(mutex_);
        aborted_ = true;  // nothing more will be written: the decoders may stop
    }
    changed_.notify_all();
    finish_(hr, detail);
}

void RenderPipeline::writerMain() {
    // With crossfades the seam stage sits between the sources and the output; without, it is
    // not there at all and blocks go out as they came.
    std::optional<Crossfade> crossfade;
    if (!fades_.empty())
        crossfade.emplace(format_, curve_, [this](const std::uint8_t* data, std::size_t size) {
            return deliverOutput(data, size);
        });
    std::int64_t silence = 0;  // output frames of silence written
    std::int64_t passed = 0;   // output frames of sources written straight through
    auto written = [&] { return silence + (crossfade ? crossfade->delivered() : passed); };
    const bool canPlace = place_ && !crossfade;
    // Where the source after `i` is to begin, less its lead: where source i must end.
    auto plannedEnd = [&](std::size_t i) {
        std::lock_guard lock(mutex_);
        return slots_[i + 1].start - std::max<std::int64_t>(0, plan_[i + 1].leadSilence);
    };
    for (std::size_t i = 0; i < plan_.size(); ++i) {
        {
            std::lock_guard lock(mutex_);
            if (aborted_) return;
            head_ = i;
        }
        changed_.notify_all();
        const std::int64_t lead = std::max<std::int64_t>(0, plan_[i].leadSilence);
        if (crossfade && lead > 0) {
            // Nothing fades across silence: a tail still held goes out first.
            if (HRESULT hr = crossfade->flush(); FAILED(hr)) {
                fail(hr, {});
                return;
            }
        }
        if (HRESULT hr = writeSilence(lead); FAILED(hr)) {
            fail(hr, {});
            return;
        }
        silence += lead;
        if (crossfade) {
            const std::int64_t fadeOut = i < fades_.size() ? fades_[i] : 0;
            crossfade->beginSource(plan_[i].frames - fadeOut, fadeOut);
        }
        SourceOutcome outcome;
        outcome.path = plan_[i].path;
        outcome.startFrame = written();
        outcome.measured = plan_[i].measured;
        if (report_) report_(i, outcome);
        std::int64_t reserve = 0;  // frames the later sources' placed audio was moved on by
        for (;;) {
            Block block;
            bool done = false;
            HRESULT slotHr = S_OK;
            QString detail;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return aborted_ || !slots_[i].blocks.empty() || slots_[i].done; });
                if (aborted_) return;
                if (!slots_[i].blocks.empty()) {
                    block = std::move(slots_[i].blocks.front());
                    slots_[i].blocks.pop_front();
                    queuedBytes_ -= block.bytes.size();
                } else {
                    done = true;
                    slotHr = slots_[i].hr;
                    detail = slots_[i].detail;
                }
            }
            if (done) {
                if (FAILED(slotHr)) {
                    fail(slotHr, detail);
                    return;
                }
                if (crossfade) {
                    if (HRESULT hr = crossfade->endSource(); FAILED(hr)) {
                        fail(hr, {});
                        return;
                    }
                }
                // A source that filled more or less than its plan moves everything after it.
                if (canPlace && i + 1 < plan_.size()) {
                    if (const std::int64_t shift = written() - plannedEnd(i); shift != 0) {
                        if (HRESULT hr = shiftLater(i, shift); FAILED(hr)) {
                            if (hr != E_ABORT) fail(hr, {});
                            return;
                        }
                    }
                }
                {
                    std::lock_guard lock(mutex_);
                    outcome.decoded = slots_[i].decoded;
                    outcome.differs = slots_[i].differs;
                    outcome.matched = plan_[i].match.on;
                    outcome.loudness = slots_[i].loudness;
                }
                outcome.complete = true;
                if (report_) report_(i, outcome);
                break;
            }
            changed_.notify_all();
            const auto frames = block.placed > 0 ? block.placed
                                                 : static_cast<std::int64_t>(block.bytes.size() / format_.nBlockAlign);
            // Running past its plan: audio placed ahead for later sources must first move out
            // of the way, by more each time so that a long overrun moves it only a few times.
            if (canPlace && i + 1 < plan_.size() && written() + frames > plannedEnd(i)) {
                const std::int64_t need = written() + frames - plannedEnd(i);
                const std::int64_t step = std::max({need, 2 * reserve, static_cast<std::int64_t>(format_.nSamplesPerSec) * 10});
                reserve = step;
                if (HRESULT hr = shiftLater(i, step); FAILED(hr)) {
                    if (hr != E_ABORT) fail(hr, {});
                    return;
                }
            }
            HRESULT hr;
            if (block.placed > 0)
                hr = placeOutput(MediaSample{nullptr, static_cast<std::size_t>(frames) * format_.nBlockAlign, -1,
                                             MediaSample::Kind::Passed});
            else
                hr = crossfade ? crossfade->write(block.bytes.data(), block.bytes.size())
                               : deliverOutput(block.bytes.data(), block.bytes.size());
            if (FAILED(hr)) {
                fail(hr, {});
                return;
            }
            passed += frames;
            outcome.frames += frames;
            giveBuffer(std::move(block.bytes));
        }
    }
    if (crossfade) {
        if (HRESULT hr = crossfade->flush(); FAILED(hr)) {
            fail(hr, {});
            return;
        }
    }
    if (HRESULT hr = writeSilence(tailSilence_); FAILED(hr)) {
        fail(hr, {});
        return;
    }
    finish_(S_OK, {});
}

}  // namespace corvane::media
