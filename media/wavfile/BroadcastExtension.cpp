// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/wavfile/BroadcastExtension.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

extern "C" {
#include <libavutil/mathematics.h>
}

#include "media/graph/MediaType.h"

namespace corvane::media {

namespace {

struct Field {
    std::size_t at, width;
};
constexpr Field kDescription{0, 256};
constexpr Field kOriginator{256, 32};
constexpr Field kOriginatorReference{288, 32};
constexpr Field kOriginationDate{320, 10};
constexpr Field kOriginationTime{330, 8};
constexpr std::size_t kTimeReference = 338;
constexpr std::size_t kVersion = 346;
constexpr std::size_t kMinBody = kVersion;  // up to the time reference
// A coding history is a few lines per generation; a chunk beyond this is not one.
constexpr std::uint64_t kMaxBody = 1 << 20;
constexpr int kMaxChunks = 4096;

void putText(std::uint8_t* body, Field f, const std::string& text) {
    std::size_t n = std::min(text.size(), f.width);
    // Never half a UTF-8 character at the cut.
    if (n < text.size())
        while (n > 0 && (static_cast<std::uint8_t>(text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(body + f.at, text.data(), n);
}

std::string getText(std::span<const std::uint8_t> body, Field f) {
    const auto* p = reinterpret_cast<const char*>(body.data() + f.at);
    return std::string(p, ::strnlen(p, f.width));
}

// Reads n bytes at an offset; fewer at the end of the file.
using ReadAt = std::function<std::size_t(std::uint64_t at, std::uint8_t* to, std::size_t n)>;

std::optional<BroadcastExtension> findBext(const ReadAt& read) {
    std::uint8_t h[12];
    if (read(0, h, 12) != 12) return std::nullopt;
    const bool riff = std::memcmp(h, "RIFF", 4) == 0;
    if ((!riff && std::memcmp(h, "RF64", 4) != 0 && std::memcmp(h, "BW64", 4) != 0) ||
        std::memcmp(h + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::optional<std::uint64_t> bigData;  // the data size ds64 states
    std::uint64_t at = 12;
    for (int i = 0; i < kMaxChunks; ++i) {
        std::uint8_t c[8];
        if (read(at, c, 8) != 8) return std::nullopt;
        std::uint64_t size = getLe32(c + 4);
        if (std::memcmp(c, "ds64", 4) == 0 && !riff && size >= 24) {
            std::uint8_t d[16];
            if (read(at + 8, d, 16) == 16) bigData = getLe64(d + 8);
        } else if (std::memcmp(c, "data", 4) == 0 && size == 0xFFFFFFFFu && bigData) {
            size = *bigData;
        } else if (std::memcmp(c, "bext", 4) == 0) {
            if (size > kMaxBody) return std::nullopt;
            std::vector<std::uint8_t> body(size);
            body.resize(read(at + 8, body.data(), body.size()));
            return BroadcastExtension::fromBody(body);
        }
        const std::uint64_t next = at + 8 + size + (size & 1);
        if (next <= at) return std::nullopt;  // sizes that wrap around
        at = next;
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::uint8_t> BroadcastExtension::toChunk() const {
    // An odd history ends in a NUL inside the chunk rather than a pad byte after it: some
    // RF64 readers do not step over the pad.
    std::size_t bodySize = kFixedSize + codingHistory.size();
    bodySize += bodySize & 1;
    std::vector<std::uint8_t> chunk(8 + bodySize, 0);
    std::memcpy(chunk.data(), "bext", 4);
    putLe32(chunk.data() + 4, static_cast<std::uint32_t>(bodySize));
    std::uint8_t* body = chunk.data() + 8;
    putText(body, kDescription, description);
    putText(body, kOriginator, originator);
    putText(body, kOriginatorReference, originatorReference);
    putText(body, kOriginationDate, originationDate);
    putText(body, kOriginationTime, originationTime);
    putLe64(body + kTimeReference, timeReference);
    // Version 1: a UMID field, left empty; no loudness values claimed.
    putLe16(body + kVersion, 1);
    std::memcpy(body + kFixedSize, codingHistory.data(), codingHistory.size());
    return chunk;
}

std::optional<BroadcastExtension> BroadcastExtension::fromBody(std::span<const std::uint8_t> body) {
    if (body.size() < kMinBody) return std::nullopt;
    BroadcastExtension b;
    b.description = getText(body, kDescription);
    b.originator = getText(body, kOriginator);
    b.originatorReference = getText(body, kOriginatorReference);
    b.originationDate = getText(body, kOriginationDate);
    b.originationTime = getText(body, kOriginationTime);
    b.timeReference = getLe64(body.data() + kTimeReference);
    if (body.size() > kFixedSize)
        b.codingHistory = getText(body, Field{kFixedSize, body.size() - kFixedSize});
    return b;
}

std::uint64_t convertTimeReference(std::uint64_t frames, std::uint32_t inRate,
                                   std::uint32_t outRate) {
    if (inRate == 0 || inRate == outRate) return frames;
    // Far beyond any clock (millions of years): kept at the largest that converts.
    const std::int64_t in = static_cast<std::int64_t>(
        std::min<std::uint64_t>(frames, static_cast<std::uint64_t>(INT64_MAX)));
    const std::int64_t out = av_rescale_rnd(in, outRate, inRate, AV_ROUND_NEAR_INF);
    return out == INT64_MIN ? static_cast<std::uint64_t>(INT64_MAX)
                            : static_cast<std::uint64_t>(out);
}

std::optional<BroadcastExtension> readBroadcastExtension(std::span<const std::uint8_t> wav) {
    return findBext([wav](std::uint64_t at, std::uint8_t* to, std::size_t n) -> std::size_t {
        if (at >= wav.size()) return 0;
        const std::size_t k = std::min<std::uint64_t>(n, wav.size() - at);
        std::memcpy(to, wav.data() + at, k);
        return k;
    });
}

std::optional<BroadcastExtension> readBroadcastExtension(int fd) {
    return findBext([fd](std::uint64_t at, std::uint8_t* to, std::size_t n) -> std::size_t {
        std::size_t done = 0;
        while (done < n && at + done <= static_cast<std::uint64_t>(INT64_MAX)) {
            const ssize_t k = ::pread(fd, to + done, n - done, static_cast<off_t>(at + done));
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) break;
            done += static_cast<std::size_t>(k);
        }
        return done;
    });
}

}  // namespace corvane::media
