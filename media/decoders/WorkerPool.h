// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "media/HResult.h"
#include "media/decoders/Probe.h"
#include "media/decoders/WorkerProtocol.h"

namespace corvane::media {

// One decoder worker, lent out for one request.
struct Worker {
    pid_t pid = 0;
    int sock = -1;
    std::uint64_t baseAddressSpace = 0;  // what it had when its limits went on; 0: unlimited
    std::uint64_t baseData = 0;
    std::uint64_t allowance = 0;  // memory it may take for this request, reserved in the budget
    unsigned translation = 0;     // which of the program's translations it was forked with
    explicit operator bool() const { return pid > 0; }
};

// Why a worker ended, for the file it was reading.
enum class WorkerEnd {
    Crashed,
    OutOfMemory,
    KilledFromOutside,
    Failed,
};

// What waiting on a worker came to.
enum class Wait {
    Ready,      // it answered
    Cancelled,  // the caller gave up
    Stalled,    // it neither read nor answered for the stall limit, or read far beyond its file
    Gone,       // it ended or closed its end
};

// A worker's signs of life while someone waits on it: bytes it read from its file (the
// kernel's count, which a stopped or blocked process cannot move) and messages it sent.
class WorkerProgress {
  public:
    WorkerProgress(const Worker& w, std::int64_t fileSize);
    // Call when waiting starts: time spent not waiting (the caller busy) never counts.
    void beginWait();
    void delivered();
    bool stalled();
    // Reads beyond the file's own: a scratch file read back.
    void allowReads(std::uint64_t bytes) { readCap_ += bytes; }

  private:
    static constexpr std::uint64_t kUnread = ~0ull;
    pid_t pid_;
    std::uint64_t readCap_;
    std::uint64_t firstRead_ = kUnread;  // counted from the first look
    std::uint64_t lastRead_ = kUnread;
    std::chrono::steady_clock::time_point lastSign_;
};

// The program's decoder workers: a few sandboxed processes, reused across files. They are
// forked by a small process split off at start-up, before any thread exists, so a worker
// is a copy of the program at its start and shares its memory pages. Every demux and decode
// runs in one; a worker that crashes, stalls or runs out of memory is an error result.
//
// Memory: all workers together stay within one budget. Each request reserves an allowance
// from it (its worker's limit is moved to match); a file that runs out is tried again with a
// larger one, up to the whole budget, and refused by name beyond that. Nothing waits on a
// worker without watching it: one that shows no progress for the stall limit is ended.
class WorkerPool {
  public:
    // Call first thing in main(): splits off the process that forks the workers.
    static void start();
    // The translation the workers forked from now on give their causes in (a compiled .qm;
    // "" for the English source texts); idle workers speaking another go. The window sets
    // it with its own; the terminal never does, so its output stays English. Returns
    // whether it loaded.
    static bool setTranslation(const QString& qmFile);

    // The most workers alive at once, whatever the number of threads asking.
    static int capacity();
    // Memory all workers together may take beyond what they start with.
    static std::uint64_t memoryBudget();
    // What one request may take before it has to ask for more.
    static std::uint64_t defaultAllowance();
    // Files to hand one worker in one round trip when `total` are measured: spread over all
    // workers, and fewer when few descriptors may be in flight.
    static int batchSize(int total);

    // A worker for one request with `allowance` bytes (0: the default, or what this file
    // needed before); waits while all are busy or the budget is taken. An empty Worker when
    // none can be had or `cancel` was set, with *why set. `urgent` never waits: for a request
    // whose caller holds up others (a join's file started again with more memory), the
    // number of workers and the budget may be passed for a while.
    static Worker acquire(QString* why, std::uint64_t allowance = 0, const std::atomic<bool>* cancel = nullptr,
                          bool urgent = false);
    // Back to the pool after a request that ended cleanly.
    static void reuse(Worker& w);
    // Ends a worker the program no longer wants (stopped, stalled, mid-request). Never waits.
    static void discard(Worker& w);
    // A worker that went silent on its own: why it ended (waits briefly for it to finish dying).
    static WorkerEnd bury(Worker& w);
    static QString causeText(WorkerEnd end);
    // The text for a file that needed more than the budget.
    static QString tooMuchMemoryText();
    // The next allowance to try after `tried` ran out, or 0 when the budget is spent.
    static std::uint64_t largerAllowance(std::uint64_t tried);
    // The allowance a file needed, by its identity (device, inode, size, time), or 0.
    static std::uint64_t rememberedAllowance(int fd);
    // Remembers that the file at `path` needed `allowance` (nothing when that is the usual).
    static void rememberAllowance(const std::string& path, std::uint64_t allowance);

    // Waits until w has a message to read, watching its progress.
    static Wait awaitMessage(const Worker& w, WorkerProgress& progress, const std::atomic<bool>* cancel);
    // Reads exactly `size` bytes from w, watching its progress.
    static Wait receiveAll(const Worker& w, void* data, std::size_t size, WorkerProgress& progress,
                           const std::atomic<bool>* cancel);
    // The whole next message of w, which must be of `type` and `minSize` to `maxSize` bytes
    // long (else Wait::Gone: the worker answered nonsense).
    static Wait receiveMessage(const Worker& w, worker::Type type, std::size_t minSize, std::size_t maxSize,
                               std::vector<std::uint8_t>* payload, WorkerProgress& progress,
                               const std::atomic<bool>* cancel);
    // The same for a message of whichever type comes; *type receives it.
    static Wait receiveAnyMessage(const Worker& w, worker::Type* type, std::size_t maxSize,
                                  std::vector<std::uint8_t>* payload, WorkerProgress& progress,
                                  const std::atomic<bool>* cancel);

    // Measures a file in a worker. `cancel` stops it at once.
    static ProbeResult probe(const std::string& path, const std::atomic<bool>* cancel = nullptr);
    // Measures several files in one worker, in one round trip; a file that stops its worker
    // is reported and the rest go on in another.
    static std::vector<ProbeResult> probeMany(const std::vector<std::string>& paths,
                                              const std::atomic<bool>* cancel = nullptr);

    // How long a worker may show no progress before it counts as stalled (30 s).
    static std::int64_t stallMillis();
    static void setStallMillis(std::int64_t millis);
    // Tests: the memory budget for workers started from now (0: the machine's default).
    static void setMemoryBudget(std::uint64_t bytes);
    // Tests: from now, the worker given a file whose path contains `victim` misbehaves as
    // asked (after sending afterBytes of audio, when joining); None stops it.
    static void setTestFault(worker::TestFault fault, const std::string& victim = {},
                             std::int64_t afterBytes = 0);
    static worker::TestFault testFaultFor(const std::string& path,
                                          std::int64_t* afterBytes = nullptr);
};

}  // namespace corvane::media
