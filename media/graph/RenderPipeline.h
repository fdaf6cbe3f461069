// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/HResult.h"
#include "media/decoders/Loudness.h"
#include "media/decoders/LoudnessSurvey.h"
#include "media/graph/Filter.h"
#include "media/graph/MediaType.h"
#include "media/graph/PcmBytes.h"
#include "media/graph/Seam.h"
#include "media/graph/SourceOutcome.h"

namespace corvane::media {

// What one source contributes to the output, in output sample frames.
struct SlotPlan {
    std::string path;             // the file name's bytes
    std::int64_t leadSilence = 0;  // frames of silence before it (a gap on the timeline)
    std::int64_t frames = 0;       // frames its measured length fills
    std::int64_t skip = 0;         // frames of its converted audio to drop first
    REFERENCE_TIME measured = 0;   // its length when it was added
    float gain = 1.0f;             // linear, applied before quantisation
    LoudnessMatch match;           // or measured first and matched on its own
    KeptAudioPtr kept;             // its audio kept when measured, to join without decoding
};

// Decodes and converts sources ahead on several threads, each into its own queue, while
// one writer thread hands the blocks on in timeline order. A source fills what it decodes:
// never padded with silence nor cut, except that decoded padding within one codec frame past
// its measured length is dropped and resampling rounds to its planned length. Queued audio is bounded by a
// budget, except for the source being written, which is bounded on its own; that source
// always makes progress, so the pipeline never deadlocks. A source that finds the budget
// spent places its audio at its planned position in the output instead of waiting, so every
// decoder keeps working whatever the sources' sizes; should a source before it then fill
// more or less than planned, what was placed moves with it.
class RenderPipeline {
public:
    using Deliver = std::function<HRESULT(const std::uint8_t* data, std::size_t size)>;
    // Called once on the writer thread: S_OK after the last block, or the failure and why.
    using Finish = std::function<void(HRESULT hr, const QString& detail)>;
    // Called on the writer thread when a source starts and when it ends.
    using Report = std::function<void(std::size_t index, const SourceOutcome& outcome)>;

    RenderPipeline(std::vector<SlotPlan> slotList, std::int64_t tailSilence, const WaveFormatEx& format,
                   Deliver deliver, Finish finish, Report report = {});
    ~RenderPipeline();

    // Crossfades the sources: fades[i] frames between source i and i + 1. Before start().
    void setCrossfades(std::vector<std::int64_t> fades, Seam::Curve curve);
    // Lets a source whose queue is full place its audio at its planned position in the output
    // (Ahead, Passed and Moved samples, offsets in bytes of audio), so that every decoder
    // keeps working however much a source holds. Not with crossfades. Before start().
    using Place = std::function<HRESULT(const MediaSample& sample)>;
    void setPlacement(Place place) { place_ = std::move(place); }
    // Counts how much of the matched sources' audio (100 ns units) has been measured.
    void setMeasuredCounter(std::atomic<REFERENCE_TIME>* counter) { measured_ = counter; }
    void start();
    // Stops every thread and waits for them; Finish is not called after an abort.
    void abort();

    static int workerCount();
    // Queued audio of the sources after the one being written.
    static std::size_t budgetBytes();
    static constexpr std::size_t kBudgetBytes = 12u << 20;
    static constexpr std::size_t kHeadBlocks = 8;
    // Spare buffers kept for reuse, in bytes of capacity: many short sources in flight at once
    // would otherwise each map and unmap fresh memory. Room for all a full queue holds, so
    // that memory, once touched, stays in use instead of faulting in again.
    static constexpr std::size_t kPoolBytes = 48u << 20;
    static constexpr std::size_t kPoolBuffers = 8;  // kept whatever their size

private:
    struct Block {
        PcmBytes bytes;
        std::int64_t placed = 0;  // or this many frames, placed ahead in the output
    };
    struct Slot {
        std::deque<Block> blocks;
        std::int64_t start = 0;      // output frame its audio is to begin at
        std::int64_t placedEnd = 0;  // frames from its start to the end of what it placed ahead
        bool placing = false;
        bool done = false;
        HRESULT hr = S_OK;
        QString detail;
        REFERENCE_TIME decoded = 0;
        bool differs = false;
        LoudnessResult loudness;
    };

    void workerMain();
    void writerMain();
    HRESULT renderSlot(std::size_t index);
    // Queues a block for a slot (`at` frames into it), or places it ahead when the queue is
    // full and `mayPlace`: S_OK, E_ABORT, or why the placement failed.
    HRESULT push(std::size_t index, PcmBytes&& bytes, std::int64_t at = 0, bool mayPlace = false);
    // Moves what the sources after `index` placed ahead by `frames`, and their starts with it.
    HRESULT shiftLater(std::size_t index, std::int64_t frames);
    HRESULT placeOutput(const MediaSample& sample);
    void finishSlot(std::size_t index, HRESULT hr, const QString& detail, REFERENCE_TIME decoded = 0,
                    bool differs = false);
    PcmBytes takeBuffer();
    void giveBuffer(PcmBytes&& buffer);
    HRESULT writeSilence(std::int64_t frames);
    HRESULT deliverOutput(const std::uint8_t* data, std::size_t size);
    void fail(HRESULT hr, const QString& detail);

    std::vector<SlotPlan> plan_;
    std::int64_t tailSilence_;
    std::vector<std::int64_t> fades_;
    Seam::Curve curve_ = Seam::Curve::EqualPower;
    WaveFormatEx format_;
    Deliver deliver_;
    Finish finish_;
    Report report_;
    std::size_t blockBytes_;
    std::size_t budget_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;
    std::size_t head_ = 0;
    std::size_t nextSlot_ = 0;
    std::size_t startTurn_ = 0;  // sources take their decoders in timeline order
    std::size_t queuedBytes_ = 0;
    bool aborted_ = false;
    bool placementOff_ = true;  // set for good once a source's length differs from its plan
    Place place_;
    std::atomic<REFERENCE_TIME>* measured_ = nullptr;
    std::mutex outputMutex_;    // the output takes one write at a time, from any thread
    std::atomic<bool> stopping_{false};  // read by the sources' waits on their workers
    std::vector<PcmBytes> pool_;
    std::size_t poolBytes_ = 0;

    std::vector<std::thread> workers_;
    std::thread writer_;
};

}  // namespace corvane::media
