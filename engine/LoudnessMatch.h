// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QString>
#include <vector>

#include "media/decoders/Loudness.h"

namespace corvane {

// What loudness matching did with one file of the join.
struct LoudnessRow {
    QString path;
    media::LoudnessResult measured;
    double gainDb = 0.0;
    double wantedDb = 0.0;  // the gain before the ceiling
    bool limited = false;  // the true-peak ceiling held the gain down
    QString note;          // why no gain, or what limited it; "" otherwise
};

struct LoudnessPlan {
    int mode = 0;
    double target = 0.0;
    double ceiling = 0.0;
    double joinLoudness = 0.0;  // whole-join mode: the files together, before the gain
    std::vector<LoudnessRow> rows;
    float linearGain(std::size_t i) const;
};

// Fixed gains only. Each file: its own gain to the target. Whole join: one gain for all, from
// the integrated loudness of all files together. Either way a gain is lowered until no true
// peak passes the ceiling. A file too short or too quiet to measure keeps its level in each-file
// mode; in whole-join mode it takes the join's gain, so the files keep their relative levels.
LoudnessPlan planLoudness(const std::vector<QString>& paths, const std::vector<media::LoudnessResult>& measured,
                          int mode, double target, double ceiling);

// The files whose true peak decides their gain: measured without it, their bound would pass
// the ceiling. Measured again with it, the plan is made anew.
std::vector<std::size_t> truePeakNeeded(const LoudnessPlan& plan);
// A file's true peak for the report: the measured one, or "< bound" where it did not matter.
QString truePeakText(const media::LoudnessResult& r);

// The report as a table of plain text: file, loudness, true peak, gain, note.
QString loudnessTable(const LoudnessPlan& plan);
QString loudnessText(double lufs);    // "-16.0" or "-inf"
QString gainText(double db);          // "+3.2" or "-1.0"

struct LoudnessTexts {
    Q_DECLARE_TR_FUNCTIONS(corvane::LoudnessTexts)
};

}  // namespace corvane
