// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/TimelineBuilder.h"

#include "media/PathCodec.h"

namespace corvane {

using namespace media;

namespace {

// The group works in the editing services' own default audio format: only the major type.
MediaType audioGroupType() {
    MediaType mt;
    mt.majortype = MajorType::Audio;
    mt.subtype = SubType::Null;
    mt.formattype = FormatType::Null;
    mt.bFixedSizeSamples = true;
    mt.bTemporalCompression = false;
    mt.lSampleSize = 1;
    return mt;
}

}  // namespace

HRESULT TimelineBuilder::buildTimeline() {
    HRESULT hr = Timeline::Create(currentTimeline);
    if (FAILED(hr)) {
        boxes_.errorMessage(tr("Could not create timeline"));
        return hr;
    }
    totalDuration = 0;
    for (int i = 0; i < items_.itemCount(); ++i) {
        // Lengths come from files: a sum past the 64-bit range is refused, never wrapped.
        if (items_.itemDuration(i) < 0 || __builtin_add_overflow(totalDuration, items_.itemDuration(i), &totalDuration)) {
            currentTimeline.reset();
            boxes_.errorMessage(tr("The files are too long to join into one file."));
            return E_INVALIDARG;
        }
    }
    if (items_.musicCount() > 0) addAudioGroup(currentTimeline.get());
    sourceCheck = currentTimeline->ValidateSourceNames(
        SFN_VALIDATEF_CHECK | SFN_VALIDATEF_POPUP | SFN_VALIDATEF_REPLACE, locator_);
    return S_OK;
}

HRESULT TimelineBuilder::addAudioGroup(Timeline* timeline) {
    std::unique_ptr<TimelineObj> group;
    HRESULT hr = timeline->CreateEmptyNode(group, TIMELINE_MAJOR_TYPE_GROUP);
    if (FAILED(hr)) {
        boxes_.appMessage(tr("Could not create pAudioGroupObj"));
        return hr;
    }
    hr = group->SetMediaType(audioGroupType());
    if (FAILED(hr)) {
        boxes_.appMessage(tr("Could not set AudioGroupType"));
        return hr;
    }
    // The group spans the whole join, so a source that fails keeps its time as silence even
    // at the end.
    group->SetStartStop(0, totalDuration);
    TimelineObj* groupObj = group.get();
    hr = timeline->AddGroup(std::move(group));
    if (FAILED(hr)) {
        boxes_.appMessage(tr("Could not add audio group"));
        return hr;
    }

    // Fill [0, totalDuration) with MusicList entries, walking it cyclically. While the two
    // lists agree one pass ends exactly at the last file; the bound on sources keeps a
    // disagreement (or a list of zero lengths) from walking forever.
    const int count = items_.musicCount();
    constexpr int kMaxSources = 2 * kMaxItems;
    REFERENCE_TIME t = 0;
    int placed = 0;
    bool finished = false;
    while (!finished && placed < kMaxSources) {
        bool advanced = false;
        for (int i = 0; i < count && placed < kMaxSources; ++i, ++placed) {
            REFERENCE_TIME stop = 0;
            if (items_.musicDuration(i) < 0 || __builtin_add_overflow(t, items_.musicDuration(i), &stop) ||
                stop > totalDuration)
                stop = totalDuration;
            addAudioSource(timeline, groupObj, items_.musicPath(i), t, stop);
            if (stop == totalDuration) {
                finished = true;
                break;
            }
            advanced = advanced || stop > t;
            t = stop;
        }
        if (!advanced) break;
    }
    return S_OK;
}

HRESULT TimelineBuilder::addAudioSource(Timeline* timeline, TimelineObj* group, const QString& path,
                                        REFERENCE_TIME start, REFERENCE_TIME stop) {
    std::unique_ptr<TimelineObj> track;
    HRESULT hr = timeline->CreateEmptyNode(track, TIMELINE_MAJOR_TYPE_TRACK);
    if (FAILED(hr)) {
        boxes_.appMessage(tr("Could not create pTrack3Obj"));
        return hr;
    }
    TimelineObj* trackObj = track.get();
    hr = group->VTrackInsBefore(std::move(track), -1);
    if (FAILED(hr)) {
        boxes_.appMessage(tr("Could not insert pTrack3Obj"));
        return hr;
    }
    const std::u16string name = toU16(path);
    std::unique_ptr<TimelineObj> source;
    hr = timeline->CreateEmptyNode(source, TIMELINE_MAJOR_TYPE_SOURCE);
    if (FAILED(hr)) {
        boxes_.appMessage(tr("Could not create the pSource3Obj"));
        return hr;
    }
    source->SetStartStop(start, stop);
    if (FAILED(source->SetMediaTimes(0, stop - start))) {
        boxes_.appMessage(tr("Could not set audio start and eng time!"));
        return E_FAIL;
    }
    if (FAILED(source->SetMediaName(name))) {
        boxes_.appMessage(tr("Could not configure pSource3Src"));
        return E_FAIL;
    }
    hr = trackObj->SrcAdd(std::move(source));
    if (FAILED(hr)) {
        boxes_.appMessage(tr("Could not add pSource3Obj to track"));
        return hr;
    }
    return S_OK;
}

}  // namespace corvane
