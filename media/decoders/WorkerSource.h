#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "media/graph/MediaType.h"
#include "media/decoders/WorkerPool.h"

namespace corvane::media {

// A source of the join, decoded and converted in a worker: the file is opened here and handed
// over, and converted PCM comes back.
class WorkerSource {
  public:
    WorkerSource() = default;
    ~WorkerSource();
    WorkerSource(const WorkerSource&) = delete;
    WorkerSource& operator=(const WorkerSource&) = delete;

    // Opens the file and starts its worker; on failure detail() says why.
    HRESULT start(const std::string& path, const WaveFormatEx& format, std::uint32_t seed);
    // Appends the next converted audio to pcm and updates *decoded (everything decoded so far):
    // S_OK, S_FALSE at the end, or a failure (detail() says why).
    HRESULT read(std::vector<std::uint8_t>& pcm, worker::Clock* decoded);

    const QString& detail() const { return detail_; }
    // Whether a failure came after the file opened as sound (decoding) or before.
    bool opened() const { return opened_; }

  private:
    HRESULT fail(HRESULT hr, const QString& why);

    Worker worker_;
    bool finished_ = false;
    bool opened_ = false;
    QString detail_;
    std::vector<std::uint8_t> message_;
};

}  // namespace corvane::media
