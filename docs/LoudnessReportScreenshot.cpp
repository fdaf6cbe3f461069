// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the sample sounds as a join matched to -16 LUFS would, shows the report window and
// grabs it: corvane_loudness_screenshot <output folder>
#include <QApplication>
#include <QDir>
#include <QTimer>

#include "app/LoudnessReportDialog.h"
#include "controls/Artwork.h"
#include "engine/LoudnessMatch.h"
#include "media/decoders/LoudnessSurvey.h"
#include "media/decoders/WorkerPool.h"
#include "options/OutputFormat.h"

int main(int argc, char** argv) {
    corvane::media::WorkerPool::start();
    QApplication app(argc, argv);
    app.setWindowIcon(corvane::artwork::applicationIcon());
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    const QDir samples(QStringLiteral(CORVANE_SAMPLES_DIR));
    std::vector<QString> names;
    std::vector<std::string> paths;
    for (const QString& f : samples.entryList({"*.mp3", "*.flac", "*.ogg", "*.wav"}, QDir::Files, QDir::Name)) {
        names.push_back(samples.filePath(f));
        paths.push_back(names.back().toStdString());
    }
    const auto measured = corvane::media::LoudnessSurvey::measureAll(paths, corvane::media::WaveFormatEx::pcm(44100, 2, 16));
    const corvane::LoudnessPlan plan = corvane::planLoudness(names, measured, corvane::kLoudnessEachFile, -16.0, -1.0);
    corvane::LoudnessReportDialog report(plan);
    bool saved = false;
    QTimer::singleShot(400, &report, [&] {
        saved = report.grab().save(out.filePath(QStringLiteral("loudness-report.png")), "PNG");
        report.close();
    });
    report.exec();
    return saved ? 0 : 1;
}
