// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include "engine/JoinJob.h"

namespace corvane::test {

// Records what the join shows; answers "locate this file" from a script.
class RecordingJoinView : public JoinView {
public:
    void setStatusText(const QString& text) override { statuses << text; }
    void setJoinButtonText(const QString& text) override { buttonText = text; }
    QString locateMissingSource(const QString& path) override {
        located << path;
        return locateAnswers.isEmpty() ? QString() : locateAnswers.takeFirst();
    }
    void setProgress(double fraction) override { progress << fraction; }
    void showLoudnessReport(const LoudnessPlan& plan) override { reports.push_back(plan); }

    QStringList statuses;
    QString buttonText = QStringLiteral("Join");
    QStringList located;
    QStringList locateAnswers;
    QList<double> progress;
    std::vector<LoudnessPlan> reports;
};

}  // namespace corvane::test
