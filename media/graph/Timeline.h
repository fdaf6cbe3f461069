// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/HResult.h"
#include "media/decoders/Loudness.h"
#include "media/decoders/LoudnessSurvey.h"
#include "media/graph/MediaType.h"

namespace corvane::media {

enum TimelineMajorType : int {
    TIMELINE_MAJOR_TYPE_TRACK = 2,
    TIMELINE_MAJOR_TYPE_SOURCE = 4,
    TIMELINE_MAJOR_TYPE_GROUP = 128,
};

enum SourceNameFlags : int {
    SFN_VALIDATEF_CHECK = 1,
    SFN_VALIDATEF_POPUP = 2,
    SFN_VALIDATEF_REPLACE = 8,
};

// One node of the editing timeline: a group (with its tracks), a track (with its sources)
// or a source. The parent owns its children; callers keep plain pointers to attached nodes.
class TimelineObj {
public:
    explicit TimelineObj(int majorType) : majorType_(majorType) {}

    int majorType() const { return majorType_; }

    // Every node.
    HRESULT SetStartStop(REFERENCE_TIME start, REFERENCE_TIME stop);
    REFERENCE_TIME start() const { return start_; }
    REFERENCE_TIME stop() const { return stop_; }

    // Group.
    HRESULT SetMediaType(const MediaType& type);
    const MediaType& mediaType() const { return mediaType_; }
    HRESULT SetPreviewMode(bool preview);
    bool previewMode() const { return previewMode_; }
    // Group as composition: priority -1 appends after the existing tracks.
    HRESULT VTrackInsBefore(std::unique_ptr<TimelineObj> track, int priority);
    const std::vector<std::unique_ptr<TimelineObj>>& tracks() const { return children_; }

    // Track.
    HRESULT SrcAdd(std::unique_ptr<TimelineObj> source);
    const std::vector<std::unique_ptr<TimelineObj>>& sources() const { return children_; }

    // Source.
    HRESULT SetMediaTimes(REFERENCE_TIME start, REFERENCE_TIME stop);
    REFERENCE_TIME mediaStart() const { return mediaStart_; }
    REFERENCE_TIME mediaStop() const { return mediaStop_; }
    HRESULT SetMediaName(const std::u16string& name);
    const std::u16string& mediaName() const { return mediaName_; }
    // A fixed linear gain for the source's audio (loudness matching); 1 leaves it as it is.
    void SetGain(float gain) { gain_ = gain; }
    float gain() const { return gain_; }
    // Or the gain that matches it to a loudness on its own, found while it is joined.
    void SetMatch(const LoudnessMatch& match) { match_ = match; }
    const LoudnessMatch& match() const { return match_; }
    // Its audio as heard, kept when it was measured: joined from that, not decoded again.
    void SetKept(KeptAudioPtr kept) { kept_ = std::move(kept); }
    const KeptAudioPtr& kept() const { return kept_; }

private:
    int majorType_;
    REFERENCE_TIME start_ = 0;
    REFERENCE_TIME stop_ = 0;
    REFERENCE_TIME mediaStart_ = 0;
    REFERENCE_TIME mediaStop_ = 0;
    std::u16string mediaName_;
    float gain_ = 1.0f;
    LoudnessMatch match_;
    KeptAudioPtr kept_;
    MediaType mediaType_;
    bool previewMode_ = true;
    std::vector<std::unique_ptr<TimelineObj>> children_;
};

// Asked by ValidateSourceNames for a replacement of a missing file; an empty answer
// leaves the source as it is.
using SourceLocator = std::function<std::u16string(const std::u16string& missing)>;

// A flattened source: where it sits on the timeline and which file fills it.
struct TimelineSlot {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    REFERENCE_TIME mediaStart = 0;
    REFERENCE_TIME mediaStop = 0;
    std::u16string name;
    float gain = 1.0f;
    LoudnessMatch match;
    KeptAudioPtr kept;
};

class Timeline {
public:
    // The creation step of the platform: fails only by injection.
    static HRESULT Create(std::unique_ptr<Timeline>& out);

    HRESULT CreateEmptyNode(std::unique_ptr<TimelineObj>& out, int majorType);
    // Takes the group; `added` (optional) receives the attached node.
    HRESULT AddGroup(std::unique_ptr<TimelineObj> group);
    HRESULT GetGroupCount(long* count) const;
    HRESULT GetGroup(TimelineObj** group, long index) const;
    // Checks every source file; with SFN_VALIDATEF_POPUP asks the locator for missing
    // ones and with SFN_VALIDATEF_REPLACE puts its answer in place. S_FALSE when some
    // source is still missing afterwards.
    HRESULT ValidateSourceNames(int flags, const SourceLocator& locator);

    // The sources of one group in timeline order (by start, then track order).
    std::vector<TimelineSlot> slotsOfGroup(long index) const;
    // End of the latest source of the group.
    REFERENCE_TIME groupDuration(long index) const;

private:
    std::vector<std::unique_ptr<TimelineObj>> groups_;
};

// Whether the file names an existing, readable regular file.
bool sourceFileReadable(const std::u16string& name);

}  // namespace corvane::media
