// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LoudnessMatch.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

#include "options/OutputFormat.h"

namespace corvane {

using media::LoudnessResult;

float LoudnessPlan::linearGain(std::size_t i) const {
    if (i >= rows.size()) return 1.0f;
    return static_cast<float>(std::pow(10.0, rows[i].gainDb / 20.0));
}

QString loudnessText(double lufs) {
    return std::isfinite(lufs) ? QString::number(lufs, 'f', 1) : QStringLiteral("-inf");
}

QString truePeakText(const LoudnessResult& r) {
    if (r.truePeakMeasured()) return loudnessText(r.truePeak);
    return QStringLiteral("< %1").arg(loudnessText(r.truePeakBound));
}

std::vector<std::size_t> truePeakNeeded(const LoudnessPlan& plan) {
    std::vector<std::size_t> need;
    for (std::size_t i = 0; i < plan.rows.size(); ++i) {
        const LoudnessResult& m = plan.rows[i].measured;
        if (media::truePeakDecides(m, plan.rows[i].wantedDb, plan.ceiling)) need.push_back(i);
    }
    return need;
}

namespace {

// The peak a gain is held under: the true peak, or its bound where it was not measured.
double peakOf(const LoudnessResult& r) { return r.truePeakMeasured() ? r.truePeak : r.truePeakBound; }

}  // namespace

QString gainText(double db) {
    const double shown = std::round(db * 10.0) / 10.0;
    return (shown > 0 ? QStringLiteral("+") : QString()) + QString::number(shown == 0 ? 0.0 : shown, 'f', 1);
}

LoudnessPlan planLoudness(const std::vector<QString>& paths, const std::vector<LoudnessResult>& measured, int mode,
                          double target, double ceiling) {
    LoudnessPlan plan;
    plan.mode = mode;
    plan.target = target;
    plan.ceiling = ceiling;
    for (std::size_t i = 0; i < paths.size(); ++i)
        plan.rows.push_back({paths[i], i < measured.size() ? measured[i] : LoudnessResult{}, 0.0, false, {}});
    const QString unmeasurable = LoudnessTexts::tr("too short or too quiet to measure: level kept");
    const QString limited = LoudnessTexts::tr("limited by the true-peak ceiling");
    if (mode == kLoudnessEachFile) {
        for (LoudnessRow& r : plan.rows) {
            if (!r.measured.measurable()) {
                r.note = unmeasurable;
                continue;
            }
            const media::FileGain g = media::eachFileGain(r.measured, target, ceiling);
            r.gainDb = g.gainDb;
            r.wantedDb = g.wantedDb;
            r.limited = g.limited;
            if (g.limited) r.note = limited;
        }
    } else if (mode == kLoudnessWholeJoin) {
        std::vector<const media::GatingHistogram*> parts;
        double peak = -INFINITY;
        for (const LoudnessRow& r : plan.rows) {
            if (media::SUCCEEDED(r.measured.hr)) parts.push_back(&r.measured.gating);
            if (media::SUCCEEDED(r.measured.hr)) peak = std::max(peak, peakOf(r.measured));
        }
        plan.joinLoudness = media::integratedLoudness(parts);
        if (!std::isfinite(plan.joinLoudness)) {
            for (LoudnessRow& r : plan.rows) r.note = unmeasurable;
            return plan;
        }
        const double wanted = target - plan.joinLoudness;
        double gain = wanted;
        const bool held = std::isfinite(peak) && peak + gain > ceiling;
        if (held) gain = ceiling - peak;
        for (LoudnessRow& r : plan.rows) {
            r.gainDb = gain;
            r.wantedDb = wanted;
            r.limited = held;
            if (held) r.note = limited;
        }
    }
    return plan;
}

QString loudnessTable(const LoudnessPlan& plan) {
    QStringList names;
    int width = 4;
    for (const LoudnessRow& r : plan.rows) {
        names << QFileInfo(r.path).fileName();
        width = std::max<int>(width, static_cast<int>(names.back().size()));
    }
    width = std::min(width, 48);
    QString out = QStringLiteral("%1  %2  %3  %4  %5\n")
                      .arg(LoudnessTexts::tr("File"), -width)
                      .arg(QStringLiteral("LUFS"), 6)
                      .arg(QStringLiteral("dBTP"), 6)
                      .arg(LoudnessTexts::tr("Gain dB"), 7)
                      .arg(LoudnessTexts::tr("Note"));
    for (std::size_t i = 0; i < plan.rows.size(); ++i) {
        const LoudnessRow& r = plan.rows[i];
        const bool ok = media::SUCCEEDED(r.measured.hr);
        out += QStringLiteral("%1  %2  %3  %4  %5\n")
                   .arg(names[static_cast<qsizetype>(i)], -width)
                   .arg(ok ? loudnessText(r.measured.integrated) : QStringLiteral("?"), 6)
                   .arg(ok ? truePeakText(r.measured) : QStringLiteral("?"), 6)
                   .arg(gainText(r.gainDb), 7)
                   .arg(ok ? r.note : r.measured.detail);
    }
    if (plan.mode == kLoudnessWholeJoin)
        out += LoudnessTexts::tr("All files together: %1 LUFS, target %2 LUFS, gain %3 dB\n")
                   .arg(loudnessText(plan.joinLoudness), loudnessText(plan.target),
                        gainText(plan.rows.empty() ? 0.0 : plan.rows.front().gainDb));
    return out;
}

}  // namespace corvane
