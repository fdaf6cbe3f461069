// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTest>
#include <cmath>

#include "media/decoders/LoudnessSurvey.h"
#include "media/decoders/WorkerPool.h"
#include "tests/media/MediaTests.h"
#include "tests/support/AudioFixture.h"

using namespace corvane::media;
using namespace corvane::test;

namespace {

double amplitudeOf(double dbfs) { return std::pow(10.0, dbfs / 20.0); }

// A 1 kHz sine at `dbfs` on the channels set in `mask` (bit c for channel c), nothing elsewhere.
Signal toneOn(unsigned mask, double dbfs) {
    const double a = amplitudeOf(dbfs);
    return [mask, a](int c, long long n, int rate) {
        return (mask >> c) & 1u ? a * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(n) / rate) : 0.0;
    };
}

}  // namespace

void LoudnessTest::initTestCase() { QVERIFY(dir_.isValid()); }

void LoudnessTest::standardTonesReadTheirLevel_data() {
    QTest::addColumn<int>("channels");
    QTest::addColumn<unsigned>("mask");
    QTest::addColumn<double>("dbfs");
    QTest::addColumn<bool>("dualMono");
    QTest::addColumn<double>("expected");  // LUFS; NaN: too quiet to measure
    // EBU Tech 3341, the minimum requirement: a stereo 1 kHz sine.
    QTest::newRow("stereo -23 dBFS") << 2 << 3u << -23.0 << false << -23.0;
    QTest::newRow("stereo -33 dBFS") << 2 << 3u << -33.0 << false << -33.0;
    // One channel is half the power; heard on two it counts twice.
    QTest::newRow("mono") << 1 << 1u << -23.0 << false << -26.0;
    QTest::newRow("mono on two channels") << 1 << 1u << -23.0 << true << -23.0;
    // 5.1 (FL FR FC LFE SL SR): the LFE is not heard by the meter, the surrounds weigh 1.41.
    QTest::newRow("5.1 front pair") << 6 << 3u << -23.0 << false << -23.0;
    QTest::newRow("5.1 surround pair") << 6 << 48u << -23.0 << false << -23.0 + 10.0 * std::log10(1.41);
    QTest::newRow("5.1 LFE only") << 6 << 8u << -10.0 << false << qQNaN();
    QTest::newRow("below the absolute gate") << 2 << 3u << -75.0 << false << qQNaN();
}

void LoudnessTest::standardTonesReadTheirLevel() {
    QFETCH(int, channels);
    QFETCH(unsigned, mask);
    QFETCH(double, dbfs);
    QFETCH(bool, dualMono);
    QFETCH(double, expected);
    EncodeOptions o;
    o.encoder = "pcm_f32le";
    o.sampleRate = 48000;
    o.channels = channels;
    o.frames = 48000 * 10;
    const QString file = dir_.filePath(QStringLiteral("tone-%1.wav").arg(QTest::currentDataTag()).replace(' ', '_'));
    QVERIFY(encodeFile(file, o, toneOn(mask, dbfs)).isEmpty());
    const LoudnessResult r = LoudnessSurvey::measure(file.toStdString(), dualMono);
    QVERIFY2(SUCCEEDED(r.hr), qPrintable(r.detail));
    if (std::isnan(expected)) {
        QVERIFY(!r.measurable());
        QVERIFY(!std::isfinite(r.integrated));
        return;
    }
    QVERIFY(r.measurable());
    QVERIFY2(std::abs(r.integrated - expected) <= 0.1, qPrintable(QString::number(r.integrated)));
    // The gating blocks sent back give the same figure as the meter's own.
    QVERIFY(std::abs(integratedLoudness({&r.gating}) - r.integrated) <= 0.01);
    // A 1 kHz sine's true peak is its amplitude.
    QVERIFY2(std::abs(r.truePeak - dbfs) <= 0.1, qPrintable(QString::number(r.truePeak)));
}

void LoudnessTest::filesCombineAsIfLaidEndToEnd() {
    // Loud, middling and quiet stretches of different lengths, a rate change among them; the
    // quiet one falls under the relative gate once the loud ones are counted.
    struct Part {
        double dbfs;
        double freq;
        long long frames;
    };
    const std::vector<Part> parts{{-14.0, 1000.0, 44100 * 7}, {-27.0, 300.0, 44100 * 11}, {-41.0, 3000.0, 44100 * 5},
                                  {-20.0, 6000.0, 44100 * 4 + 1234}};
    std::vector<LoudnessResult> each;
    long long total = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        EncodeOptions o;
        o.encoder = "pcm_f32le";
        o.frames = parts[i].frames;
        const QString file = dir_.filePath(QStringLiteral("part%1.wav").arg(i));
        QVERIFY(encodeFile(file, o, sine(parts[i].freq, amplitudeOf(parts[i].dbfs))).isEmpty());
        each.push_back(LoudnessSurvey::measure(file.toStdString(), false));
        QVERIFY2(each.back().measurable(), qPrintable(each.back().detail));
        total += parts[i].frames;
    }
    EncodeOptions o;
    o.encoder = "pcm_f32le";
    o.frames = total;
    const QString whole = dir_.filePath(QStringLiteral("whole.wav"));
    QVERIFY(encodeFile(whole, o,
                       [&](int c, long long n, int rate) {
                           for (const Part& p : parts) {
                               if (n < p.frames) return sine(p.freq, amplitudeOf(p.dbfs))(c, n, rate);
                               n -= p.frames;
                           }
                           return 0.0;
                       })
                    .isEmpty());
    const LoudnessResult joined = LoudnessSurvey::measure(whole.toStdString(), false);
    QVERIFY(joined.measurable());
    std::vector<const GatingHistogram*> histograms;
    for (const LoudnessResult& r : each) histograms.push_back(&r.gating);
    const double combined = integratedLoudness(histograms);
    QVERIFY2(std::abs(combined - joined.integrated) <= 0.05,
             qPrintable(QStringLiteral("%1 vs %2").arg(combined).arg(joined.integrated)));
    // Not simply the loudest file, nor the plain mean: the gates were at work.
    QVERIFY(combined < each[0].integrated - 1.0);
}

void LoudnessTest::shortFileKeepsItsPeak() {
    EncodeOptions o;
    o.frames = 44100 * 3 / 10;  // 300 ms: no 400 ms gating block
    const QString file = dir_.filePath(QStringLiteral("short.wav"));
    QVERIFY(encodeFile(file, o, sine(1000.0, 0.5)).isEmpty());
    const LoudnessResult r = LoudnessSurvey::measure(file.toStdString(), false);
    QVERIFY(SUCCEEDED(r.hr));
    QVERIFY(!r.measurable());
    QVERIFY(std::abs(r.truePeak - 20.0 * std::log10(0.5)) < 0.2);
}

void LoudnessTest::keptResultsAndFailures() {
    EncodeOptions o;
    o.frames = 44100 * 2;
    const QString file = dir_.filePath(QStringLiteral("kept.wav"));
    QVERIFY(encodeFile(file, o, sine(440.0, 0.3)).isEmpty());
    const int before = LoudnessSurvey::measuredCount();
    const auto twice = LoudnessSurvey::measureAll({file.toStdString(), file.toStdString()}, false);
    const LoudnessResult again = LoudnessSurvey::measure(file.toStdString(), false);
    QVERIFY(twice[0].measurable() && again.measurable());
    QCOMPARE(again.integrated, twice[0].integrated);
    QVERIFY(LoudnessSurvey::measuredCount() - before <= 2);  // the two at once may both run
    const int afterKept = LoudnessSurvey::measuredCount();
    LoudnessSurvey::measure(file.toStdString(), false);
    QCOMPARE(LoudnessSurvey::measuredCount(), afterKept);
    // Without the true peak: only its bound, which the true peak never passes; a request for
    // the true peak measures again, and serves the next one without it.
    const QString peaks = dir_.filePath(QStringLiteral("peaks.wav"));
    // A quarter of the rate, 45 degrees off: every sample sits 3 dB under the crests.
    QVERIFY(encodeFile(peaks, o, [](int, long long n, int) { return 0.5 * std::sin(M_PI / 2 * n + M_PI / 4); })
                .isEmpty());
    const LoudnessResult quick = LoudnessSurvey::measure(peaks.toStdString(), false, false);
    QVERIFY(!quick.truePeakMeasured());
    const int beforeFull = LoudnessSurvey::measuredCount();
    const LoudnessResult full = LoudnessSurvey::measure(peaks.toStdString(), false, true);
    QCOMPARE(LoudnessSurvey::measuredCount(), beforeFull + 1);
    QVERIFY(full.truePeakMeasured());
    QVERIFY(full.truePeak > quick.samplePeak + 2.5);
    QVERIFY(full.truePeak <= quick.truePeakBound);
    QCOMPARE(quick.integrated, full.integrated);
    QVERIFY(LoudnessSurvey::measure(peaks.toStdString(), false, false).truePeakMeasured());

    // A decoder that crashes is named; the one after it measures as usual.
    const QString victim = dir_.filePath(QStringLiteral("victim.wav"));
    QVERIFY(encodeFile(victim, o, sine(440.0, 0.3)).isEmpty());
    WorkerPool::setTestFault(corvane::media::worker::TestFault::Abort, "victim.wav");
    const LoudnessResult crashed = LoudnessSurvey::measure(victim.toStdString(), false);
    WorkerPool::setTestFault(corvane::media::worker::TestFault::None);
    QVERIFY(FAILED(crashed.hr));
    QCOMPARE(crashed.detail, QStringLiteral("the decoder stopped (crashed)"));
    QVERIFY(LoudnessSurvey::measure(victim.toStdString(), false).measurable());

    // Cancelled before it starts: nothing measured, said so.
    std::atomic<bool> cancel{true};
    const QString other = dir_.filePath(QStringLiteral("other.wav"));
    QVERIFY(encodeFile(other, o, sine(660.0, 0.3)).isEmpty());
    QCOMPARE(LoudnessSurvey::measure(other.toStdString(), false, true, &cancel).hr, E_ABORT);

    // Not a sound file at all.
    QVERIFY(writeBytes(dir_.filePath(QStringLiteral("junk.mp3")), std::vector<unsigned char>(3000, 'x')));
    const LoudnessResult junk = LoudnessSurvey::measure(dir_.filePath(QStringLiteral("junk.mp3")).toStdString(), false);
    QVERIFY(FAILED(junk.hr));
    QVERIFY(!junk.detail.isEmpty());
}
