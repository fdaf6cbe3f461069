#include "media/decoders/WorkerSource.h"

#include <unistd.h>

#include <cstring>

#include "media/decoders/AudioSource.h"

namespace corvane::media {

WorkerSource::~WorkerSource() {
    // A request left unfinished (the join stopped) ends its worker: it cannot be reused.
    WorkerPool::release(worker_, false);
}

HRESULT WorkerSource::fail(HRESULT hr, const QString& why) {
    detail_ = why;
    finished_ = true;
    return hr;
}

HRESULT WorkerSource::start(const std::string& path, const WaveFormatEx& format,
                            std::uint32_t seed) {
    HRESULT hr = S_OK;
    QString why;
    const int fd = AudioSource::openFile(path, &hr, &why);
    if (fd < 0) return fail(hr, why);
    worker_ = WorkerPool::acquire(&why);
    if (!worker_) {
        ::close(fd);
        return fail(E_FAIL, why);
    }
    worker::RenderRequest req;
    req.format = format;
    req.seed = seed;
    req.fault = WorkerPool::testFaultFor(path, &req.faultAfterBytes);
    const bool sent =
        worker::send(worker_.sock, worker::Type::Render, &req, sizeof req, nullptr, 0, fd);
    ::close(fd);
    if (!sent)
        return fail(
            VFW_E_DECODE_FAILED,
            QStringLiteral("the decoder stopped (%1)").arg(WorkerPool::release(worker_, false)));
    return S_OK;
}

HRESULT WorkerSource::read(std::vector<std::uint8_t>& pcm, worker::Clock* decoded) {
    if (finished_) return S_FALSE;
    worker::Header h{};
    bool ok = worker::receiveHeader(worker_.sock, &h);
    // Audio goes straight to the end of pcm: no copy on the way.
    if (ok && h.type == worker::Type::Data && h.size >= sizeof(worker::Clock)) {
        const std::size_t bytes = h.size - sizeof(worker::Clock);
        const std::size_t at = pcm.size();
        pcm.resize(at + bytes);
        if (worker::receivePayload(worker_.sock, decoded, sizeof *decoded) &&
            worker::receivePayload(worker_.sock, pcm.data() + at, bytes))
            return S_OK;
        pcm.resize(at);
        ok = false;
    }
    if (ok) {
        message_.resize(h.size);
        ok = worker::receivePayload(worker_.sock, message_.data(), h.size);
    }
    if (!ok) {
        opened_ = true;
        const QString cause = WorkerPool::release(worker_, false);
        return fail(VFW_E_DECODE_FAILED, QStringLiteral("the decoder stopped (%1)").arg(cause));
    }
    if (h.type == worker::Type::End && message_.size() >= sizeof(worker::EndReply)) {
        worker::EndReply end;
        std::memcpy(&end, message_.data(), sizeof end);
        *decoded = end.clock;
        opened_ = end.opened != 0;
        WorkerPool::release(worker_, true);
        if (FAILED(end.hr))
            return fail(end.hr, QString::fromUtf8(
                                    reinterpret_cast<const char*>(message_.data()) + sizeof end,
                                    static_cast<qsizetype>(message_.size() - sizeof end)));
        finished_ = true;
        return S_FALSE;
    }
    WorkerPool::release(worker_, false);
    return fail(VFW_E_DECODE_FAILED, QStringLiteral("the decoder stopped (it answered nonsense)"));
}

}  // namespace corvane::media
