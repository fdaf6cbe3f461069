// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/wavfile/WaveMuxFilter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "media/wavfile/CueChunks.h"
#include "media/Cause.h"
#include "media/ErrorText.h"
#include "media/decoders/Fault.h"
#include "media/graph/FilterGraph.h"

namespace corvane::media {

namespace {
std::atomic<std::uint64_t> gRiffLimit{WavHeader::kMaxRiffSize};
std::atomic<std::chrono::milliseconds::rep> gHeaderIntervalMs{1000};
}  // namespace

void WaveMuxFilter::setRiffLimit(std::uint64_t limit) {
    gRiffLimit = limit;
}
void WaveMuxFilter::setHeaderInterval(std::chrono::milliseconds interval) {
    gHeaderIntervalMs = interval.count();
}
std::uint64_t WaveMuxFilter::riffLimit() {
    return gRiffLimit;
}

HRESULT WaveMuxFilter::Create(std::unique_ptr<WaveMuxFilter>& out) {
    if (HRESULT hr = Fault::check("WaveMux::Create"); FAILED(hr)) return hr;
    out = std::make_unique<WaveMuxFilter>();
    return S_OK;
}

WaveMuxFilter::WaveMuxFilter() {
    in_ = addPin(PINDIR_INPUT, "in");
    out_ = addPin(PINDIR_OUTPUT, "out");
}

HRESULT WaveMuxFilter::put_Mode(int mode) {
    if (mode < INTERLEAVE_NONE || mode > INTERLEAVE_FULL) return E_INVALIDARG;
    interleaving_ = mode;  // one stream: every mode writes the same bytes
    return S_OK;
}

std::optional<MediaType> WaveMuxFilter::proposedType(const Pin* output) const {
    if (output != out_) return std::nullopt;
    MediaType t;
    t.majortype = MajorType::Stream;
    t.subtype = SubType::Wave;
    return t;
}

bool WaveMuxFilter::acceptsType(const Pin* input, const MediaType& type) const {
    if (input != in_ || type.majortype != MajorType::Audio) return false;
    const auto wfx = type.waveFormat();
    return wfx && wfx->isSupportedFormat() &&
           type.subtype == (wfx->isFloat() ? SubType::IEEE_FLOAT : SubType::PCM);
}

void WaveMuxFilter::connected(Pin* pin) {
    if (pin == in_) format_ = *in_->connectionMediaType().waveFormat();
}

void WaveMuxFilter::setMarkerTitles(std::vector<std::string> titles) {
    titles_ = std::move(titles);
}

HRESULT WaveMuxFilter::start() {
    if (!in_->connectedTo() || !out_->connectedTo()) return VFW_E_NOT_CONNECTED;
    const std::uint64_t markers = titles_ ? cueChunksSize(*titles_) : 0;
    header_ = planned_ ? WavHeader::forPlan(format_, *planned_, markers, gRiffLimit, bext_)
                       : WavHeader(format_, WavHeader::Layout::Reserved, bext_);
    trailing_ = 0;
    detail_.clear();
    dataBytes_ = 0;
    placedAhead_ = false;
    failed_ = false;
    open_ = true;
    return writeHeader(true);
}

HRESULT WaveMuxFilter::writeHeader(bool first, bool meanwhile) {
    // Once audio has been placed ahead, the header claims an even count meanwhile, which for
    // odd data (8-bit mono) leaves the last frame out: a pad byte after it could land on the
    // placed audio.
    const std::uint64_t claimed = meanwhile && placedAhead_ ? dataBytes_ & ~std::uint64_t{1} : dataBytes_;
    const std::vector<std::uint8_t> h = header_.build(claimed, gRiffLimit, trailing_);
    lastHeader_ = std::chrono::steady_clock::now();
    // The first header opens the stream; later ones rewrite it in place.
    if (first) return deliver(out_, MediaSample{h.data(), h.size(), -1});
    // The sizes count a pad byte after odd data: put it there first, so the file holds what
    // the header claims at every moment.
    if (claimed & 1) {
        const std::uint8_t pad = 0;
        const auto at = static_cast<std::int64_t>(header_.size() + dataBytes_);
        if (HRESULT hr = deliver(out_, MediaSample{&pad, 1, at}); FAILED(hr)) return hr;
    }
    return deliver(out_, MediaSample{h.data(), h.size(), 0});
}

HRESULT WaveMuxFilter::receive(Pin*, const MediaSample& sample) {
    if (!open_) return VFW_E_NOT_CONNECTED;
    if (sample.size % format_.nBlockAlign != 0) return E_INVALIDARG;
    const auto headerSize = static_cast<std::int64_t>(header_.size());
    if (sample.kind == MediaSample::Kind::Ahead) {
        if (sample.offset < 0) return E_INVALIDARG;
        placedAhead_ = true;
        const HRESULT hr = deliver(out_, MediaSample{sample.data, sample.size, headerSize + sample.offset,
                                                     MediaSample::Kind::Ahead});
        failed_ = failed_ || FAILED(hr);
        return hr;
    }
    if (sample.kind == MediaSample::Kind::Moved) {
        if (sample.offset < 0 || sample.to < 0) return E_INVALIDARG;
        const HRESULT hr = deliver(out_, MediaSample{nullptr, sample.size, headerSize + sample.offset,
                                                     MediaSample::Kind::Moved, headerSize + sample.to});
        failed_ = failed_ || FAILED(hr);
        return hr;
    }
    if (header_.layout() == WavHeader::Layout::Canonical &&
        !header_.fits(dataBytes_ + sample.size, gRiffLimit)) {
        // The sources decoded far longer than planned: the classic header cannot state more,
        // and it cannot become RF64 in place. The file keeps the audio that fits.
        detail_ = Cause::tr(
            "The files decoded much longer than they measured when they were added, "
            "and the output passed the 4 GiB a WAV file of this kind can hold. "
            "It holds what fitted. Add the files again and join once more.");
        return fromErrno(EFBIG);
    }
    if (HRESULT hr = deliver(out_, MediaSample{sample.data, sample.size, -1, sample.kind}); FAILED(hr)) {
        failed_ = true;
        return hr;
    }
    dataBytes_ += sample.size;
    if (std::chrono::steady_clock::now() - lastHeader_ >=
        std::chrono::milliseconds(gHeaderIntervalMs.load())) {
        const HRESULT hr = writeHeader(false, true);
        failed_ = FAILED(hr);
        return hr;
    }
    return S_OK;
}

HRESULT WaveMuxFilter::finish() {
    if (!open_) return S_OK;
    open_ = false;
    if (failed_) return salvage();
    HRESULT hr = S_OK;
    if (dataBytes_ & 1) {
        const std::uint8_t pad = 0;
        hr = deliver(out_, MediaSample{&pad, 1, -1});
    }
    if (const std::vector<std::uint8_t> chunks = markerChunks();
        SUCCEEDED(hr) && !chunks.empty() &&
        (header_.layout() == WavHeader::Layout::Reserved ||
         header_.fits(dataBytes_, gRiffLimit, chunks.size()))) {
        hr = deliver(out_, MediaSample{chunks.data(), chunks.size(), -1});
        if (SUCCEEDED(hr)) trailing_ = chunks.size();
    }
    if (SUCCEEDED(hr)) hr = writeHeader();
    if (SUCCEEDED(hr)) return S_OK;
    // The last writes did not fit: keep what did, and report the failure.
    failed_ = true;
    salvage();
    return hr;
}

HRESULT WaveMuxFilter::salvage() {
    // A write failed (a full disk): the header may only claim whole blocks that really
    // reached the file, and the file ends right after them.
    const Pin* sink = out_->connectedTo();
    const std::int64_t stored = sink ? sink->filter()->committedBytes() : -1;
    const auto headerSize = static_cast<std::int64_t>(header_.size());
    trailing_ = 0;  // markers, if any reached the file, are cut off with what follows the data
    if (stored >= 0) {
        const std::uint64_t room =
            stored > headerSize ? static_cast<std::uint64_t>(stored - headerSize) : 0;
        // Whole blocks only, and odd data only with its pad byte in the file too.
        std::uint64_t kept = std::min(dataBytes_, room) / format_.nBlockAlign * format_.nBlockAlign;
        if ((kept & 1) && kept + 1 > room) kept -= format_.nBlockAlign;
        dataBytes_ = kept;
    }
    if (HRESULT hr = writeHeader(); FAILED(hr)) return hr;
    // The file ends after the pad byte the sizes count.
    const std::uint64_t end = dataBytes_ + (dataBytes_ & 1);
    return deliver(out_, MediaSample{nullptr, 0, headerSize + static_cast<std::int64_t>(end)});
}

std::vector<std::uint8_t> WaveMuxFilter::markerChunks() const {
    if (!titles_ || !graph() || format_.nBlockAlign == 0) return {};
    // Where each source's audio really began, as the render reported it: positions follow
    // the audio even where a source decoded to another length than it measured.
    const std::vector<SourceOutcome> outcomes = graph()->events().outcomes();
    const auto frames = static_cast<std::int64_t>(dataBytes_ / format_.nBlockAlign);
    std::vector<CuePoint> points;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const SourceOutcome& o = outcomes[i];
        // A cue point states its frame in 32 bits: past that (27 hours at 44100 Hz, 6 at
        // 192000) there is none.
        if (o.startFrame < 0 || o.startFrame > frames || o.startFrame > 0xFFFFFFFFll) continue;
        CuePoint p;
        p.frame = static_cast<std::uint32_t>(o.startFrame);
        p.label = i < titles_->size() ? (*titles_)[i] : o.path.substr(o.path.rfind('/') + 1);
        points.push_back(std::move(p));
    }
    return buildCueChunks(points);
}

HRESULT WaveMuxFilter::endOfStream(Pin*) {
    if (HRESULT hr = finish(); FAILED(hr)) return hr;
    return deliverEndOfStream(out_);
}

HRESULT WaveMuxFilter::stop() {
    return finish();
}

}  // namespace corvane::media
