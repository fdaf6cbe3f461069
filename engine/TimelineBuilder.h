// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>

#include <memory>

#include "app/ItemList.h"
#include "app/MessageBoxes.h"
#include "media/graph/Timeline.h"

namespace corvane {

// Builds the editing timeline of a join from the item list: one audio group, one track and
// one source per file, end to end, full lengths.
class TimelineBuilder {
    Q_DECLARE_TR_FUNCTIONS(TimelineBuilder)

public:
    TimelineBuilder(const ItemList& items, MessageBoxes& boxes) : items_(items), boxes_(boxes) {}

    // Missing source files are offered to the locator (which may answer with a new name).
    void setLocator(media::SourceLocator locator) { locator_ = std::move(locator); }

    // 0 when the timeline exists (also when the group or some sources failed); the failure
    // code when the timeline itself cannot be created.
    media::HRESULT buildTimeline();
    media::HRESULT addAudioGroup(media::Timeline* timeline);
    media::HRESULT addAudioSource(media::Timeline* timeline, media::TimelineObj* group,
                                  const QString& path, media::REFERENCE_TIME start,
                                  media::REFERENCE_TIME stop);

    std::unique_ptr<media::Timeline> currentTimeline;
    media::REFERENCE_TIME totalDuration = 0;
    // What ValidateSourceNames answered: S_FALSE while some source file is missing.
    media::HRESULT sourceCheck = media::S_OK;

private:
    const ItemList& items_;
    MessageBoxes& boxes_;
    media::SourceLocator locator_;
};

}  // namespace corvane
