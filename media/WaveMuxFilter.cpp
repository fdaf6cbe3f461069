#include "media/WaveMuxFilter.h"

#include <atomic>

#include "media/Fault.h"

namespace corvane::media {

namespace {
std::atomic<std::uint64_t> gRiffLimit{WavHeader::kMaxRiffSize};
constexpr auto kHeaderInterval = std::chrono::seconds(1);
}  // namespace

void WaveMuxFilter::setRiffLimit(std::uint64_t limit) { gRiffLimit = limit; }
std::uint64_t WaveMuxFilter::riffLimit() { return gRiffLimit; }

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
    open_ = true;
    return writeHeader(true);
}

HRESULT WaveMuxFilter::writeHeader(bool first) {
    const std::vector<std::uint8_t> h = WavHeader(format_).build(dataBytes_, gRiffLimit);
    lastHeader_ = std::chrono::steady_clock::now();
    // The first header opens the stream; later ones rewrite it in place.
    return deliver(out_, MediaSample{h.data(), h.size(), first ? -1 : 0});
}

HRESULT WaveMuxFilter::receive(Pin*, const MediaSample& sample) {
    if (!open_) return VFW_E_NOT_CONNECTED;
    if (sample.size % format_.nBlockAlign != 0) return E_INVALIDARG;
    if (HRESULT hr = deliver(out_, MediaSample{sample.data, sample.size, -1}); FAILED(hr)) return hr;
    dataBytes_ += sample.size;
    if (std::chrono::steady_clock::now() - lastHeader_ >= kHeaderInterval) return writeHeader();
    return S_OK;
}

HRESULT WaveMuxFilter::finish() {
    if (!open_) return S_OK;
    open_ = false;
    if (dataBytes_ & 1) {
        const std::uint8_t pad = 0;
        if (HRESULT hr = deliver(out_, MediaSample{&pad, 1, -1}); FAILED(hr)) return hr;
    }
    return writeHeader();
}

HRESULT WaveMuxFilter::endOfStream(Pin*) {
    if (HRESULT hr = finish(); FAILED(hr)) return hr;
    return deliverEndOfStream(out_);
}

HRESULT WaveMuxFilter::stop() { return finish(); }

}  // namespace corvane::media
