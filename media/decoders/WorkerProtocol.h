// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/HResult.h"
#include "media/graph/MediaType.h"

// The messages between the program and its decoder workers. Both sides are the same
// executable, so the fixed parts travel as plain structs. A stream socket carries them: each
// message is a header, then `size` bytes; a request carries the file's descriptor alongside.
namespace corvane::media::worker {

enum class Type : std::uint32_t {
    Probe = 1,        // program → worker: measure the attached file; a ProbeRequest
    ProbeResult = 2,  // worker → program: a ProbeReply, then the detail text (UTF-8)
    Render = 3,       // program → worker: decode and convert the attached file; a RenderRequest
    Data = 4,         // worker → program: a Clock, then converted PCM
    End = 5,          // worker → program: an EndReply, then the detail text
    Ready = 6,        // worker → program, once at start: a ReadyReply
    Measure = 7,      // program → worker: measure the loudness of the attached file; a MeasureRequest
    Loudness = 8,     // worker → program: a LoudnessReply, its gating bins, then the detail text
    Measured = 9,     // worker → program, while measuring: a Clock of what it has read so far
    Scratch = 10,     // program → worker: the attached descriptor is room for the next render to
                      // keep its audio in while it measures (an unlinked file); no payload
};

struct Header {
    Type type;
    std::uint32_t size;
};

// Test-only misbehaviour a worker can be asked for, to prove the program survives it.
enum class TestFault : std::int32_t {
    None = 0,
    Abort,       // abort() as a failed assertion would
    Spin,        // loop forever without answering
    Balloon,     // allocate until the memory limit stops it
    OpenByPath,  // try to open a file by its name and report what happened
    Freeze,      // stop itself (SIGSTOP), as a decoder stuck in a read would seem
    KillSelf,    // die of SIGKILL, as when something outside ends it
    Escape,      // try to signal `target` and to stat a path, and report what happened
};

// How much has been decoded so far, before any cutting: what the join checks a file against.
struct Clock {
    std::int32_t rate = 0;
    std::int64_t largestFrame = 0;
    std::int64_t totalSamples = 0;
    std::int64_t duration = 0;  // 100 ns
};

struct ProbeRequest {
    TestFault fault = TestFault::None;
    std::int32_t target = 0;  // only for Escape
    char path[512] = {};      // only for OpenByPath and Escape
};

struct ProbeReply {
    HRESULT hr = E_FAIL;
    std::int64_t duration = 0;
    std::int64_t samples = 0;
    std::int32_t sampleRate = 0;
    std::int32_t channels = 0;
    std::int64_t frameSamples = 0;
    SourceFormat format;
};

struct RenderRequest {
    WaveFormatEx format;
    std::uint32_t seed = 0;
    TestFault fault = TestFault::None;
    std::int64_t faultAfterBytes = 0;  // misbehave once this much PCM went out
    float gain = 1.0f;  // linear, on the converted float samples before quantisation
    // The attached scratch file holds the file's audio already converted to floats
    // (`replayBytes` of them, kept when it was measured): only the gain and quantising are
    // left. `replayClock` is what its decoding counted then.
    std::int32_t replay = 0;
    std::int64_t replayBytes = 0;
    Clock replayClock;
    // Measure the file first and take the gain that brings it to `target` (each file on its
    // own): a Loudness message goes before its audio. Its converted audio is kept in the
    // scratch file meanwhile, up to `scratchBytes`; past that, the file is decoded again.
    std::int32_t measure = 0;
    double target = 0.0;
    double ceiling = 0.0;
    std::int64_t scratchBytes = 0;
};

struct MeasureRequest {
    TestFault fault = TestFault::None;
    std::int32_t truePeak = 1;  // 0: the sample peak only, a fifth of the work
    WaveFormatEx heardAs;       // the join's output format; no channels: the file as it is
    // Keep the audio as heard (floats) in the scratch file, up to this many bytes, for a
    // render that replays it; the reply says whether all of it is there.
    std::int64_t scratchBytes = 0;
};

// Followed by `bins` GatingHistogram::Bin, then the detail text (UTF-8).
struct LoudnessReply {
    HRESULT hr = E_FAIL;
    std::int32_t opened = 0;
    double integrated = 0.0;
    double truePeak = 0.0;  // NaN when not asked for
    double samplePeak = 0.0;
    double truePeakBound = 0.0;
    std::uint32_t bins = 0;
    double gainDb = 0.0;  // the gain a measuring render applies
    std::int64_t kept = -1;  // bytes of audio kept whole in the scratch file, or -1
    Clock clock;             // what the measurement decoded
};

struct EndReply {
    HRESULT hr = S_OK;
    Clock clock;
    std::int32_t opened = 0;  // the file opened as sound: a failure came while decoding
};

// What a worker had when its limits went on: its memory limits are these plus an allowance.
struct ReadyReply {
    std::uint64_t addressSpace = 0;  // 0: no memory limits (a sanitizer build)
    std::uint64_t data = 0;
};

// The most a worker may write to a scratch file for one render.
constexpr std::int64_t kScratchCeiling = 1LL << 30;

// Exit statuses a worker chooses itself.
constexpr int kExitOutOfMemory = 86;

// One message; false when the peer is gone or the socket failed. `fd` (optional) travels
// with it.
bool send(int sock, Type type, const void* fixed, std::size_t fixedSize,
          const void* extra = nullptr, std::size_t extraSize = 0, int fd = -1);
// Reads one message whole; *fd receives an attached descriptor (or -1). Bounded by maxSize.
bool receive(int sock, Header* header, std::vector<std::uint8_t>* payload, int* fd = nullptr,
             std::uint32_t maxSize = 64u << 20);
// The same in two steps, for payloads read straight to where they belong: the header (and a
// descriptor), then exactly `size` bytes of the payload.
bool receiveHeader(int sock, Header* header, int* fd = nullptr, std::uint32_t maxSize = 64u << 20);
bool receivePayload(int sock, void* data, std::size_t size);
// Plain bytes with no header, for the fixed-size exchanges with the forking process.
bool sendPayload(int sock, const void* data, std::size_t size);

}  // namespace corvane::media::worker
