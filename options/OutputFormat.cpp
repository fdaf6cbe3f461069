// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/OutputFormat.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>

namespace corvane {

namespace {

// English source texts: the Options dialog shows them translated.
QString word(const char* source) { return QString::fromUtf8(source); }

}  // namespace

const QStringList& sampleRateTexts() {
    static const QStringList t{QStringLiteral("44100"), QStringLiteral("22050"),
                               QStringLiteral("11025"), QStringLiteral("8000"),
                               QStringLiteral("48000"), QStringLiteral("88200"),
                               QStringLiteral("96000"), QStringLiteral("192000"),
                               word(QT_TRANSLATE_NOOP("corvane::OptionsDialog", "Same as the files"))};
    return t;
}

const QStringList& channelTexts() {
    static const QStringList t{word(QT_TRANSLATE_NOOP("corvane::OptionsDialog", "Stereo")),
                               word(QT_TRANSLATE_NOOP("corvane::OptionsDialog", "Mono")),
                               word(QT_TRANSLATE_NOOP("corvane::OptionsDialog", "Same as the files"))};
    return t;
}

const QStringList& bitsTexts() {
    static const QStringList t{QStringLiteral("16"), QStringLiteral("8"), QStringLiteral("24"),
                               word(QT_TRANSLATE_NOOP("corvane::OptionsDialog", "32 (float)")),
                               word(QT_TRANSLATE_NOOP("corvane::OptionsDialog", "Same as the files"))};
    return t;
}

const QStringList& loudnessModeTexts() {
    static const QStringList t{QStringLiteral("Off"), QStringLiteral("Same loudness for every file"),
                               QStringLiteral("Whole join at the target")};
    return t;
}

const std::vector<int>& loudnessTargets() {
    static const std::vector<int> t{-14, -16, -18, -19, -20, -23, -24};
    return t;
}

const std::vector<double>& truePeakCeilings() {
    static const std::vector<double> t{-0.5, -1.0, -1.5, -2.0, -3.0};
    return t;
}

media::Seam seamOf(const OutputFormat& format) {
    media::Seam seam;
    seam.kind = format.betweenFiles;
    seam.curve = format.crossfadeCurve;
    if (seam.kind == media::Seam::Kind::Silence) seam.seconds = format.silenceSeconds;
    if (seam.kind == media::Seam::Kind::Crossfade) seam.seconds = format.crossfadeSeconds;
    return seam;
}

namespace {

constexpr std::uint32_t kWaveSpeakers = 0x3FFFF;  // the speakers a WAV channel mask names

// Sample width as an order: 8, 16, 24, 32-bit integers, then float (which holds 24 bits
// exactly, and is what lossy decoders give).
int widthRank(const media::SourceFormat& f) {
    if (f.isFloat) return 5;
    if (f.bits <= 8) return 1;
    if (f.bits <= 16) return 2;
    if (f.bits <= 24) return 3;
    return 4;
}

}  // namespace

media::WaveFormatEx WaveFormatFromIndexes(int sampleRateIndex, int channelsIndex, int bitsIndex,
                                          const std::vector<media::SourceFormat>& sources) {
    std::uint32_t rate = 0;
    int channels = 0;
    std::optional<std::uint32_t> mask;
    int rank = 0;
    bool floatSeen = false;
    for (const media::SourceFormat& f : sources) {
        if (!f.known()) continue;
        rate = std::max(rate, std::clamp<std::uint32_t>(f.rate, 1000, 768000));
        const int n = std::min(f.channels, media::WaveFormatEx::kMaxChannels);
        if (n > channels) {
            channels = n;
            // Speakers the file names, where a WAV file can name them all.
            const bool named = f.channels == n && f.channelMask != 0 && (f.channelMask & ~std::uint64_t{kWaveSpeakers}) == 0 &&
                               std::popcount(f.channelMask) == n;
            mask = named ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(f.channelMask)) : std::nullopt;
        }
        rank = std::max(rank, widthRank(f));
        floatSeen = floatSeen || f.isFloat;
    }
    // Float and 32-bit integers together: float keeps the more of both.
    if (floatSeen) rank = 5;

    switch (sampleRateIndex) {
        case 1: rate = 22050; break;
        case 2: rate = 11025; break;
        case 3: rate = 8000; break;
        case 4: rate = 48000; break;
        case 5: rate = 88200; break;
        case 6: rate = 96000; break;
        case 7: rate = 192000; break;
        case kSameRateIndex: rate = rate ? rate : 44100; break;
        default: rate = 44100; break;
    }
    if (channelsIndex != kSameChannelsIndex || channels == 0) {
        channels = channelsIndex == 1 ? 1 : 2;
        mask.reset();
    }
    int bits = 16;
    bool isFloat = false;
    switch (bitsIndex) {
        case 1: bits = 8; break;
        case 2: bits = 24; break;
        case 3: isFloat = true; break;
        case kSameBitsIndex:
            if (rank == 5) isFloat = true;
            else if (rank > 0) bits = rank * 8;
            break;
        default: break;
    }
    const auto n = static_cast<std::uint16_t>(channels);
    return isFloat ? media::WaveFormatEx::ieeeFloat(rate, n, mask)
                   : media::WaveFormatEx::pcm(rate, n, static_cast<std::uint16_t>(bits), mask);
}

double frameRateForIndex(int& index, double custom) {
    switch (index) {
        case 1: return 24.0;
        case 2: return 25.0;
        case 3: return 29.97;
        case 4: return 30.0;
        case 5: return custom;
        case 0: return 23.976;
        default: index = 0; return 23.976;
    }
}

double leadingDecimal(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    const qsizetype start = i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') ++i;
        return i - from;
    };
    qsizetype mantissa = digits();
    if (i < text.size() && text[i] == u'.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return 0.0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        const qsizetype mark = i++;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
        if (digits() == 0) i = mark;  // "2e" is the number 2 followed by text
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(text.mid(start, i - start), &ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

}  // namespace corvane
