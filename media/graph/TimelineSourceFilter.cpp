// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/TimelineSourceFilter.h"

#include <algorithm>

#include "media/ErrorText.h"
#include "media/wavfile/FileWriterFilter.h"
#include "media/graph/FilterGraph.h"
#include "media/PathCodec.h"
#include "media/graph/Timeline.h"
#include "media/wavfile/WaveMuxFilter.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace corvane::media {

TimelineSourceFilter::TimelineSourceFilter(const Timeline& timeline) : timeline_(timeline) {
    long groups = 0;
    timeline.GetGroupCount(&groups);
    for (long g = 0; g < groups; ++g)
        groupPins_.push_back(addPin(PINDIR_OUTPUT, "group " + std::to_string(g)));
}

Pin* TimelineSourceFilter::groupPin(long group) const {
    if (group < 0 || group >= static_cast<long>(groupPins_.size())) return nullptr;
    return groupPins_[static_cast<std::size_t>(group)];
}

WaveFormatEx TimelineSourceFilter::defaultFormat() {
    WaveFormatEx w;
    w.nChannels = 2;
    w.nSamplesPerSec = 44100;
    w.wBitsPerSample = 16;
    w.nBlockAlign = 4;
    w.nAvgBytesPerSec = 176400;
    return w;
}

std::optional<MediaType> TimelineSourceFilter::proposedType(const Pin* output) const {
    for (Pin* p : groupPins_)
        if (p == output) return MediaType::pcm(defaultFormat());
    return std::nullopt;
}

std::int64_t TimelineSourceFilter::framesAt(REFERENCE_TIME t, std::uint32_t rate) {
    return av_rescale(t, rate, kUnitsPerSecond);
}

std::vector<SlotPlan> TimelineSourceFilter::planGroup(const Timeline& timeline, long group,
                                                      std::uint32_t rate, std::int64_t* tailSilence) {
    std::vector<SlotPlan> plan;
    // Each source fills its own length rounded to output frames, as its converted audio comes
    // out, however short; only a gap on the timeline adds silence.
    REFERENCE_TIME stopped = 0;
    for (const TimelineSlot& s : timeline.slotsOfGroup(group)) {
        const REFERENCE_TIME from = std::max(s.start, stopped);  // an overlap keeps the earlier source
        const REFERENCE_TIME to = std::max(s.stop, from);
        SlotPlan p;
        p.path = encodePath(s.name);
        p.leadSilence = from > stopped ? framesAt(from, rate) - framesAt(stopped, rate) : 0;
        p.frames = framesAt(to - from, rate);
        p.skip = framesAt(s.mediaStart + (from - s.start), rate);
        p.measured = s.mediaStop - s.mediaStart;
        p.gain = s.gain;
        p.match = s.match;
        p.kept = s.kept;
        plan.push_back(std::move(p));
        stopped = to;
    }
    if (tailSilence)
        *tailSilence = std::max<std::int64_t>(0, framesAt(timeline.groupDuration(group), rate) - framesAt(stopped, rate));
    return plan;
}

std::vector<SlotPlan> TimelineSourceFilter::planGroup(const Timeline& timeline, long group, std::uint32_t rate,
                                                      std::int64_t* tailSilence, const Seam& seam,
                                                      std::vector<std::int64_t>* fades) {
    std::vector<SlotPlan> plan = planGroup(timeline, group, rate, tailSilence);
    if (fades) fades->clear();
    if (!seam.isOn() || plan.size() < 2) return plan;
    const std::int64_t frames = seam.frames(rate);
    if (seam.kind == Seam::Kind::Silence) {
        for (std::size_t i = 1; i < plan.size(); ++i) plan[i].leadSilence += frames;
        return plan;
    }
    std::vector<std::int64_t> lengths;
    for (const SlotPlan& p : plan) lengths.push_back(p.frames);
    std::vector<std::int64_t> lengthsFaded = crossfadeLengths(lengths, frames);
    // Nothing fades across silence on the timeline.
    for (std::size_t i = 1; i < plan.size(); ++i)
        if (plan[i].leadSilence > 0) lengthsFaded[i - 1] = 0;
    if (fades) *fades = std::move(lengthsFaded);
    return plan;
}

std::int64_t TimelineSourceFilter::plannedFrames(const Timeline& timeline, long group, std::uint32_t rate,
                                                 const Seam& seam) {
    std::int64_t tail = 0;
    std::vector<std::int64_t> fades;
    std::int64_t total = 0;
    for (const SlotPlan& p : planGroup(timeline, group, rate, &tail, seam, &fades))
        total += std::max<std::int64_t>(0, p.leadSilence) + p.frames;
    for (std::int64_t f : fades) total -= f;
    return total + tail;
}

QString TimelineSourceFilter::downstreamDetail(Pin* output) const {
    for (Pin* p = output ? output->connectedTo() : nullptr; p;) {
        if (auto* writer = dynamic_cast<FileWriterFilter*>(p->filter()); writer && !writer->detail().isEmpty())
            return writer->detail();
        if (auto* mux = dynamic_cast<WaveMuxFilter*>(p->filter()); mux && !mux->detail().isEmpty())
            return mux->detail();
        std::vector<Pin*> pins;
        p->filter()->EnumPins(pins);
        Pin* next = nullptr;
        for (Pin* q : pins)
            if (q->direction() == PINDIR_OUTPUT && q->connectedTo()) next = q->connectedTo();
        p = next;
    }
    return {};
}

void TimelineSourceFilter::finished(Pin* output, HRESULT hr, const QString& detail) {
    if (SUCCEEDED(hr)) hr = deliverEndOfStream(output);
    if (SUCCEEDED(hr)) {
        graph()->events().post(EC_COMPLETE);
        return;
    }
    QString why = detail.isEmpty() ? downstreamDetail(output) : detail;
    if (why.isEmpty()) why = errorText(hr);
    graph()->events().setErrorDetail(why);
    graph()->events().post(EC_ERRORABORT, hr);
}

HRESULT TimelineSourceFilter::start() {
    pipelines_.clear();
    REFERENCE_TIME duration = 0;
    for (long g = 0; g < static_cast<long>(groupPins_.size()); ++g) {
        Pin* out = groupPins_[static_cast<std::size_t>(g)];
        Pin* peer = out->connectedTo();
        if (!peer) continue;
        // Convert on behalf of the converter downstream, or deliver what the pin agreed.
        std::optional<WaveFormatEx> format = peer->filter()->conversionTarget();
        if (!format) format = out->connectionMediaType().waveFormat();
        if (!format || !format->isSupportedFormat()) return VFW_E_TYPE_NOT_ACCEPTED;
        std::int64_t tail = 0;
        std::vector<std::int64_t> fades;
        std::vector<SlotPlan> plan = planGroup(timeline_, g, format->nSamplesPerSec, &tail, seam_, &fades);
        // What the output will hold, seams included: progress is measured against it.
        duration = std::max(duration, av_rescale(plannedFrames(timeline_, g, format->nSamplesPerSec, seam_),
                                                 kUnitsPerSecond, format->nSamplesPerSec));
        const std::uint32_t bytesPerSecond = format->nAvgBytesPerSec;
        auto written = std::make_shared<std::int64_t>(0);
        FilterGraph* graph = this->graph();
        auto pipeline = std::make_unique<RenderPipeline>(
            std::move(plan), tail, *format,
            [out, graph, bytesPerSecond, written](const std::uint8_t* data, std::size_t size) {
                const HRESULT hr = deliver(out, MediaSample{data, size, -1});
                *written += static_cast<std::int64_t>(size);
                graph->position.store(av_rescale(*written, kUnitsPerSecond, bytesPerSecond),
                                      std::memory_order_relaxed);
                return hr;
            },
            [this, out](HRESULT hr, const QString& detail) { finished(out, hr, detail); },
            [graph](std::size_t index, const SourceOutcome& outcome) { graph->events().setOutcome(index, outcome); });
        if (!fades.empty()) pipeline->setCrossfades(std::move(fades), seam_.curve);
        pipeline->setPlacement([out, graph, bytesPerSecond, written](const MediaSample& sample) {
            const HRESULT hr = deliver(out, sample);
            if (sample.kind == MediaSample::Kind::Passed) {
                *written += static_cast<std::int64_t>(sample.size);
                graph->position.store(av_rescale(*written, kUnitsPerSecond, bytesPerSecond),
                                      std::memory_order_relaxed);
            }
            return hr;
        });
        pipeline->setMeasuredCounter(&graph->measured);
        pipelines_.push_back(std::move(pipeline));
    }
    graph()->duration = duration;
    graph()->measured = 0;
    for (auto& p : pipelines_) p->start();
    return S_OK;
}

HRESULT TimelineSourceFilter::stop() {
    for (auto& p : pipelines_) p->abort();
    pipelines_.clear();
    return S_OK;
}

}  // namespace corvane::media
