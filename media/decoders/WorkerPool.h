#pragma once

#include <sys/types.h>
#include <QString>
#include <atomic>
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
    explicit operator bool() const { return pid > 0; }
};

// The program's decoder workers: a few sandboxed processes, reused across files. They are
// forked by a small process split off at start-up, before any thread exists, so a worker
// is a copy of the program at its start and shares its memory pages. Every demux and decode
// runs in one; a worker that crashes, hangs or runs out of memory is an error result.
class WorkerPool {
  public:
    // Call first thing in main(): splits off the process that forks the workers.
    static void start();

    // The most workers alive at once, whatever the number of threads asking.
    static int capacity();
    // Memory each worker may take beyond what it starts with; together under 1 GiB.
    static std::uint64_t memoryLimit();

    // A worker for one request; waits while all are busy. An empty Worker when none can
    // be had, with *why set.
    static Worker acquire(QString* why);
    // Back to the pool after a request that ended cleanly; otherwise `release(w, false)`
    // ends it. Returns why it ended when it had already stopped ("crashed", "out of memory").
    static QString release(Worker& w, bool reusable);
    // Ends a worker that misbehaves (hangs, or is no longer wanted mid-request).
    static void kill(const Worker& w);
    // CPU time the worker has used, in milliseconds.
    static std::int64_t cpuMillis(const Worker& w);

    // Measures a file in a worker. `cancel` stops it at once.
    static ProbeResult probe(const std::string& path, const std::atomic<bool>* cancel = nullptr);
    // Measures several files in one worker, in one round trip; a file that stops its worker
    // is reported and the rest go on in another.
    static std::vector<ProbeResult> probeMany(const std::vector<std::string>& paths,
                                              const std::atomic<bool>* cancel = nullptr);

    // CPU time a worker may spend measuring one file.
    static void setProbeCpuLimit(std::int64_t millis);
    // Tests: from now, the worker given a file whose path contains `victim` misbehaves as
    // asked (after sending afterBytes of audio, when joining); None stops it.
    static void setTestFault(worker::TestFault fault, const std::string& victim = {},
                             std::int64_t afterBytes = 0);
    static worker::TestFault testFaultFor(const std::string& path,
                                          std::int64_t* afterBytes = nullptr);
};

}  // namespace corvane::media
