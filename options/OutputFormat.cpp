// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/OutputFormat.h"

#include <QLocale>
#include <QStringList>
#include <cmath>

namespace corvane {

const QStringList& sampleRateTexts() {
    static const QStringList t{QStringLiteral("44100"), QStringLiteral("22050"),
                               QStringLiteral("11025"), QStringLiteral("8000")};
    return t;
}

const QStringList& channelTexts() {
    static const QStringList t{QStringLiteral("Stereo"), QStringLiteral("Mono")};
    return t;
}

const QStringList& bitsTexts() {
    static const QStringList t{QStringLiteral("16"), QStringLiteral("8")};
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

media::WaveFormatEx WaveFormatFromIndexes(int sampleRateIndex, int channelsIndex, int bitsIndex) {
    media::WaveFormatEx w;
    switch (sampleRateIndex) {
        case 1: w.nSamplesPerSec = 22050; break;
        case 2: w.nSamplesPerSec = 11025; break;
        case 3: w.nSamplesPerSec = 8000; break;
        default: w.nSamplesPerSec = 44100; break;
    }
    w.nChannels = channelsIndex == 1 ? 1 : 2;
    const int bytesPerSample = bitsIndex == 1 ? 1 : 2;
    w.wBitsPerSample = static_cast<std::uint16_t>(bytesPerSample * 8);
    w.nBlockAlign = static_cast<std::uint16_t>(w.nChannels * bytesPerSample);
    w.nAvgBytesPerSec = w.nSamplesPerSec * w.nBlockAlign;
    return w;
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
