// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/wavfile/CueChunks.h"

#include <cstring>

#include "media/graph/MediaType.h"

namespace corvane::media {

namespace {

constexpr std::uint64_t kCuePointSize = 24;

std::uint64_t lablSize(const std::string& label) {
    const std::uint64_t body = 4 + label.size() + 1;  // cue point id, text, terminating NUL
    return 8 + body + (body & 1);
}

void putId(std::vector<std::uint8_t>& b, const char* id) {
    b.insert(b.end(), id, id + 4);
}

void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    std::uint8_t le[4];
    putLe32(le, v);
    b.insert(b.end(), le, le + 4);
}

}  // namespace

std::uint64_t cueChunksSize(const std::vector<std::string>& labels) {
    if (labels.empty()) return 0;
    std::uint64_t list = 8 + 4;  // LIST header, "adtl"
    for (const std::string& l : labels) list += lablSize(l);
    return 8 + 4 + kCuePointSize * labels.size() + list;
}

std::vector<std::uint8_t> buildCueChunks(const std::vector<CuePoint>& points) {
    std::vector<std::uint8_t> b;
    if (points.empty()) return b;
    std::vector<std::string> labels;
    for (const CuePoint& p : points) labels.push_back(p.label);
    b.reserve(cueChunksSize(labels));

    putId(b, "cue ");
    put32(b, static_cast<std::uint32_t>(4 + kCuePointSize * points.size()));
    put32(b, static_cast<std::uint32_t>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        put32(b, static_cast<std::uint32_t>(i + 1));  // id
        put32(b, points[i].frame);                    // position in play order: no playlist
        putId(b, "data");
        put32(b, 0);  // chunk start: the only data chunk
        put32(b, 0);  // block start: uncompressed
        put32(b, points[i].frame);
    }

    std::uint64_t listBody = 4;
    for (const std::string& l : labels) listBody += lablSize(l);
    putId(b, "LIST");
    put32(b, static_cast<std::uint32_t>(listBody));
    putId(b, "adtl");
    for (std::size_t i = 0; i < points.size(); ++i) {
        const std::string& text = points[i].label;
        const std::uint32_t body = static_cast<std::uint32_t>(4 + text.size() + 1);
        putId(b, "labl");
        put32(b, body);
        put32(b, static_cast<std::uint32_t>(i + 1));
        b.insert(b.end(), text.begin(), text.end());
        b.push_back(0);
        if (body & 1) b.push_back(0);
    }
    return b;
}

QString cleanLabel(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        out += (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
                c == QChar::ParagraphSeparator)
                   ? QChar(u' ')
                   : c;
    out = out.simplified();
    if (out.size() > kMaxLabelLength) {
        qsizetype cut = kMaxLabelLength;
        if (out.at(cut - 1).isHighSurrogate()) --cut;  // never half a character
        out.truncate(cut);
        out = out.trimmed();
    }
    return out;
}

}  // namespace corvane::media
