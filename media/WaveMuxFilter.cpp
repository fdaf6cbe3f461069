#include "media/WaveMuxFilter.h"

#include <algorithm>
#include <atomic>

#include "media/Fault.h"

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
    if (input != in_ || type.majortype != MajorType::Audio || type.subtype != SubType::PCM)
        return false;
    const auto wfx = type.waveFormat();
    return wfx && wfx->isSupportedPcm();
}

void WaveMuxFilter::connected(Pin* pin) {
    if (pin == in_) format_ = *in_->connectionMediaType().waveFormat();
}

HRESULT WaveMuxFilter::start() {
    if (!in_->connectedTo() || !out_->connectedTo()) return VFW_E_NOT_CONNECTED;
    dataBytes_ = 0;
    failed_ = false;
    open_ = true;
    return writeHeader(true);
}

HRESULT WaveMuxFilter::writeHeader(bool first) {
    const std::vector<std::uint8_t> h = WavHeader(format_).build(dataBytes_, gRiffLimit);
    lastHeader_ = std::chrono::steady_clock::now();
    // The first header opens the stream; later ones rewrite it in place.
    if (first) return deliver(out_, MediaSample{h.data(), h.size(), -1});
    // The sizes count a pad byte after odd data: put it there first, at the place the next
    // data overwrites, so the file holds what the header claims at every moment.
    if (dataBytes_ & 1) {
        const std::uint8_t pad = 0;
        const auto at = static_cast<std::int64_t>(WavHeader::kDataOffset + dataBytes_);
        if (HRESULT hr = deliver(out_, MediaSample{&pad, 1, at}); FAILED(hr)) return hr;
    }
    return deliver(out_, MediaSample{h.data(), h.size(), 0});
}

HRESULT WaveMuxFilter::receive(Pin*, const MediaSample& sample) {
    if (!open_) return VFW_E_NOT_CONNECTED;
    if (sample.size % format_.nBlockAlign != 0) return E_INVALIDARG;
    if (HRESULT hr = deliver(out_, MediaSample{sample.data, sample.size, -1}); FAILED(hr)) {
        failed_ = true;
        return hr;
    }
    dataBytes_ += sample.size;
    if (std::chrono::steady_clock::now() - lastHeader_ >=
        std::chrono::milliseconds(gHeaderIntervalMs.load())) {
        const HRESULT hr = writeHeader();
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
    if (stored >= 0) {
        const std::uint64_t room = stored > static_cast<std::int64_t>(WavHeader::kSize)
                                       ? static_cast<std::uint64_t>(stored) - WavHeader::kSize
                                       : 0;
        const std::uint64_t even = 2u * format_.nBlockAlign;  // no pad byte to write
        dataBytes_ = std::min(dataBytes_, room / even * even);
    }
    if (HRESULT hr = writeHeader(); FAILED(hr)) return hr;
    return deliver(
        out_, MediaSample{nullptr, 0, static_cast<std::int64_t>(WavHeader::kSize + dataBytes_)});
}

HRESULT WaveMuxFilter::endOfStream(Pin*) {
    if (HRESULT hr = finish(); FAILED(hr)) return hr;
    return deliverEndOfStream(out_);
}

HRESULT WaveMuxFilter::stop() {
    return finish();
}

}  // namespace corvane::media
