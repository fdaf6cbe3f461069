// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "media/graph/Filter.h"
#include "media/graph/RenderPipeline.h"
#include "media/graph/Seam.h"

namespace corvane::media {

class Timeline;

// The render engine's front end: one output pin per timeline group. Running, it decodes the
// sources of each connected group and delivers them, converted to the format the
// downstream converter asks for, in timeline order.
class TimelineSourceFilter : public Filter {
public:
    explicit TimelineSourceFilter(const Timeline& timeline);

    Pin* groupPin(long group) const;
    // What goes between the sources; before the render starts.
    void setSeam(const Seam& seam) { seam_ = seam; }

    std::optional<MediaType> proposedType(const Pin* output) const override;
    HRESULT start() override;
    HRESULT stop() override;

    // The timeline's default audio format: what an unconverted group delivers.
    static WaveFormatEx defaultFormat();
    // Sample positions are rounded from the 100-ns times once, so lengths never drift.
    static std::int64_t framesAt(REFERENCE_TIME t, std::uint32_t rate);
    static std::vector<SlotPlan> planGroup(const Timeline& timeline, long group, std::uint32_t rate,
                                           std::int64_t* tailSilence);
    // The plan with its seams: silence between sources becomes their lead silence; the
    // crossfade of each seam, in frames, goes into `fades` (empty without crossfades).
    static std::vector<SlotPlan> planGroup(const Timeline& timeline, long group, std::uint32_t rate,
                                           std::int64_t* tailSilence, const Seam& seam,
                                           std::vector<std::int64_t>* fades);
    // The output frames a group fills when every source decodes as measured.
    static std::int64_t plannedFrames(const Timeline& timeline, long group, std::uint32_t rate,
                                      const Seam& seam);

private:
    void finished(Pin* output, HRESULT hr, const QString& detail);
    QString downstreamDetail(Pin* output) const;

    const Timeline& timeline_;
    std::vector<Pin*> groupPins_;
    Seam seam_;
    std::vector<std::unique_ptr<RenderPipeline>> pipelines_;
};

}  // namespace corvane::media
