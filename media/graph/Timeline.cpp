// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/Timeline.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "media/decoders/Fault.h"
#include "media/PathCodec.h"

namespace corvane::media {

HRESULT TimelineObj::SetStartStop(REFERENCE_TIME start, REFERENCE_TIME stop) {
    if (HRESULT hr = Fault::check("TimelineObj::SetStartStop"); FAILED(hr)) return hr;
    if (start < 0 || stop < start) return E_INVALIDARG;
    start_ = start;
    stop_ = stop;
    return S_OK;
}

HRESULT TimelineObj::SetMediaType(const MediaType& type) {
    if (HRESULT hr = Fault::check("TimelineObj::SetMediaType"); FAILED(hr)) return hr;
    if (majorType_ != TIMELINE_MAJOR_TYPE_GROUP) return E_NOINTERFACE;
    // Only audio groups can be rendered here.
    if (type.majortype != MajorType::Audio) return E_INVALIDARG;
    mediaType_ = type;
    return S_OK;
}

HRESULT TimelineObj::SetPreviewMode(bool preview) {
    if (majorType_ != TIMELINE_MAJOR_TYPE_GROUP) return E_NOINTERFACE;
    previewMode_ = preview;
    return S_OK;
}

HRESULT TimelineObj::VTrackInsBefore(std::unique_ptr<TimelineObj> track, int priority) {
    if (HRESULT hr = Fault::check("TimelineObj::VTrackInsBefore"); FAILED(hr)) return hr;
    if (majorType_ != TIMELINE_MAJOR_TYPE_GROUP) return E_NOINTERFACE;
    if (!track) return E_POINTER;
    if (track->majorType() != TIMELINE_MAJOR_TYPE_TRACK) return E_INVALIDARG;
    if (priority < -1 || priority > static_cast<int>(children_.size())) return E_INVALIDARG;
    const auto at = priority == -1 ? children_.end() : children_.begin() + priority;
    children_.insert(at, std::move(track));
    return S_OK;
}

HRESULT TimelineObj::SrcAdd(std::unique_ptr<TimelineObj> source) {
    if (HRESULT hr = Fault::check("TimelineObj::SrcAdd"); FAILED(hr)) return hr;
    if (majorType_ != TIMELINE_MAJOR_TYPE_TRACK) return E_NOINTERFACE;
    if (!source) return E_POINTER;
    if (source->majorType() != TIMELINE_MAJOR_TYPE_SOURCE) return E_INVALIDARG;
    children_.push_back(std::move(source));
    return S_OK;
}

HRESULT TimelineObj::SetMediaTimes(REFERENCE_TIME start, REFERENCE_TIME stop) {
    if (HRESULT hr = Fault::check("TimelineObj::SetMediaTimes"); FAILED(hr)) return hr;
    if (majorType_ != TIMELINE_MAJOR_TYPE_SOURCE) return E_NOINTERFACE;
    if (start < 0 || stop < start) return E_INVALIDARG;
    mediaStart_ = start;
    mediaStop_ = stop;
    return S_OK;
}

HRESULT TimelineObj::SetMediaName(const std::u16string& name) {
    if (HRESULT hr = Fault::check("TimelineObj::SetMediaName"); FAILED(hr)) return hr;
    if (majorType_ != TIMELINE_MAJOR_TYPE_SOURCE) return E_NOINTERFACE;
    if (name.empty() || name.find(u'\0') != std::u16string::npos) return E_INVALIDARG;
    if (encodePath(name).size() >= PATH_MAX) return E_INVALIDARG;
    mediaName_ = name;
    return S_OK;
}

HRESULT Timeline::Create(std::unique_ptr<Timeline>& out) {
    if (HRESULT hr = Fault::check("Timeline::Create"); FAILED(hr)) return hr;
    out = std::make_unique<Timeline>();
    return S_OK;
}

HRESULT Timeline::CreateEmptyNode(std::unique_ptr<TimelineObj>& out, int majorType) {
    if (HRESULT hr = Fault::check("Timeline::CreateEmptyNode"); FAILED(hr)) return hr;
    if (majorType != TIMELINE_MAJOR_TYPE_GROUP && majorType != TIMELINE_MAJOR_TYPE_TRACK &&
        majorType != TIMELINE_MAJOR_TYPE_SOURCE)
        return E_INVALIDARG;
    out = std::make_unique<TimelineObj>(majorType);
    return S_OK;
}

HRESULT Timeline::AddGroup(std::unique_ptr<TimelineObj> group) {
    if (HRESULT hr = Fault::check("Timeline::AddGroup"); FAILED(hr)) return hr;
    if (!group) return E_POINTER;
    if (group->majorType() != TIMELINE_MAJOR_TYPE_GROUP) return E_INVALIDARG;
    if (group->mediaType().majortype == MajorType::Null) return E_INVALIDARG;
    groups_.push_back(std::move(group));
    return S_OK;
}

HRESULT Timeline::GetGroupCount(long* count) const {
    if (!count) return E_POINTER;
    if (HRESULT hr = Fault::check("Timeline::GetGroupCount"); FAILED(hr)) return hr;
    *count = static_cast<long>(groups_.size());
    return S_OK;
}

HRESULT Timeline::GetGroup(TimelineObj** group, long index) const {
    if (!group) return E_POINTER;
    if (index < 0 || index >= static_cast<long>(groups_.size())) return E_INVALIDARG;
    *group = groups_[static_cast<std::size_t>(index)].get();
    return S_OK;
}

HRESULT Timeline::ValidateSourceNames(int flags, const SourceLocator& locator) {
    if (!(flags & SFN_VALIDATEF_CHECK)) return S_OK;
    bool missing = false;
    for (auto& group : groups_)
        for (auto& track : group->tracks())
            for (auto& source : track->sources()) {
                if (sourceFileReadable(source->mediaName())) continue;
                std::u16string found;
                if ((flags & SFN_VALIDATEF_POPUP) && locator) found = locator(source->mediaName());
                if (!found.empty() && (flags & SFN_VALIDATEF_REPLACE) &&
                    sourceFileReadable(found) && SUCCEEDED(source->SetMediaName(found)))
                    continue;
                missing = true;
            }
    return missing ? S_FALSE : S_OK;
}

std::vector<TimelineSlot> Timeline::slotsOfGroup(long index) const {
    std::vector<TimelineSlot> slotList;
    if (index < 0 || index >= static_cast<long>(groups_.size())) return slotList;
    for (auto& track : groups_[static_cast<std::size_t>(index)]->tracks())
        for (auto& s : track->sources())
            slotList.push_back({s->start(), s->stop(), s->mediaStart(), s->mediaStop(), s->mediaName(), s->gain(), s->match(), s->kept()});
    std::stable_sort(slotList.begin(), slotList.end(),
                     [](const TimelineSlot& a, const TimelineSlot& b) { return a.start < b.start; });
    return slotList;
}

REFERENCE_TIME Timeline::groupDuration(long index) const {
    if (index < 0 || index >= static_cast<long>(groups_.size())) return 0;
    REFERENCE_TIME end = groups_[static_cast<std::size_t>(index)]->stop();
    for (const TimelineSlot& s : slotsOfGroup(index)) end = std::max(end, s.stop);
    return end;
}

bool sourceFileReadable(const std::u16string& name) {
    if (name.empty()) return false;
    const std::string path = encodePath(name);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ::access(path.c_str(), R_OK) == 0;
}

}  // namespace corvane::media
