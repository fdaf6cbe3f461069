// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as a sound file, through probing and a short render to WAV.
// Any crash, sanitizer report, hang or inconsistent WAV header is a finding.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/TimelineBuilder.h"
#include "media/decoders/WorkerPool.h"
#include "engine/WavGraph.h"
#include "media/graph/MediaEvent.h"
#include "media/decoders/Probe.h"
#include "media/graph/TimelineSourceFilter.h"

using namespace corvane;
using namespace corvane::media;

namespace {

class SilentBoxes : public MessageBoxes {
public:
    void showMessage(const QString&, const QString&, Owner, Icon) override {}
    bool askYesNo(const QString&, const QString&, Owner, Icon) override { return false; }
};

std::string scratch(const char* what) {
    return "/tmp/corvane-fuzz-" + std::to_string(::getpid()) + "-" + what;
}

bool writeAll(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

// The output must be a consistent WAV whatever the input was.
void checkWav(const std::vector<std::uint8_t>& b, const WaveFormatEx& w) {
    if (b.size() < 80) std::abort();
    const std::uint32_t riff = getLe32(&b[4]);
    const std::uint32_t data = getLe32(&b[76]);
    if (riff != b.size() - 8) std::abort();
    if (data % w.nBlockAlign != 0) std::abort();
    if (80 + data + (data & 1) != b.size()) std::abort();
}

}  // namespace

// The render decodes in worker processes; they are forked from this early, single-threaded state.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WorkerPool::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string in = scratch("in");
    const std::string out = scratch("out.wav");
    if (!writeAll(in, bytes, size)) return 0;
    const ProbeResult probe = probeFile(in);
    if (FAILED(probe.hr)) return 0;
    if (probe.duration < 0) std::abort();

    ItemList items;
    items.append(QString::fromStdString(in), probe.duration);
    items.syncMusicList();
    OutputFormat format;
    format.outputPath = QString::fromStdString(out);
    const std::uint8_t pick = size ? bytes[size / 2] : 0;
    format.sampleRateIndex = pick & 3;
    format.channelsIndex = (pick >> 2) & 1;
    format.bitsIndex = (pick >> 3) & 1;
    ::unlink(out.c_str());

    SilentBoxes boxes;
    TimelineBuilder builder(items, boxes);
    if (FAILED(builder.buildTimeline())) return 0;
    JoinRender render;
    WavGraph graph(render, format, boxes, nullptr);
    graph.startWavRender(builder.currentTimeline.get());
    if (!graph.running()) return 0;
    long code = 0;
    std::intptr_t p1 = 0, p2 = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (FAILED(render.joinEvents->GetEvent(&code, &p1, &p2, 0))) {
        if (std::chrono::steady_clock::now() > deadline) std::abort();  // a hang
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::vector<SourceOutcome> outcomes = render.joinEvents->outcomes();
    render.joinControl->Stop();
    render.joinRenderEngine.reset();
    if (code == EC_COMPLETE) {
        const WaveFormatEx w = WaveFormatFromIndexes(format.sampleRateIndex, format.channelsIndex, format.bitsIndex);
        const std::vector<std::uint8_t> wav = readAll(out);
        checkWav(wav, w);
        // What decodes is joined: as measured, to within a codec frame, or reported as not.
        if (outcomes.size() != 1 || !outcomes[0].complete) std::abort();
        const std::int64_t planned = TimelineSourceFilter::framesAt(items.itemDuration(0), w.nSamplesPerSec);
        const std::int64_t written = getLe32(&wav[76]) / w.nBlockAlign;
        const std::int64_t frame =
            probe.sampleRate > 0 ? probe.frameSamples * w.nSamplesPerSec / probe.sampleRate + 2 : 2;
        if (written != outcomes[0].frames) std::abort();
        if (!outcomes[0].differs && std::llabs(written - planned) > frame) std::abort();
    }
    ::unlink(out.c_str());
    return 0;
}
