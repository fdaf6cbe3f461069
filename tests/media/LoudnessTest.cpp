// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTest>
#include <algorithm>
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
    QTest::addColumn<int>("joinedInto");  // the output's channels, usual speakers; 0: as it is
    QTest::addColumn<double>("expected");  // LUFS; NaN: too quiet to measure
    QTest::addColumn<double>("peak");      // dBTP: a 1 kHz sine's is its amplitude after the mix
    const double surround = 10.0 * std::log10(1.41);
    // EBU Tech 3341, the minimum requirement: a stereo 1 kHz sine.
    QTest::newRow("stereo -23 dBFS") << 2 << 3u << -23.0 << 0 << -23.0 << -23.0;
    QTest::newRow("stereo -33 dBFS") << 2 << 3u << -33.0 << 0 << -33.0 << -33.0;
    // One channel is half the power. Spread to two speakers it counts twice, to the three
    // front speakers of 5.1 three times; a stereo file mixed to mono is (L + R) / 2.
    QTest::newRow("mono") << 1 << 1u << -23.0 << 0 << -26.0 << -23.0;
    QTest::newRow("mono into stereo") << 1 << 1u << -23.0 << 2 << -23.0 << -23.0;
    QTest::newRow("mono into mono") << 1 << 1u << -23.0 << 1 << -26.0 << -23.0;
    QTest::newRow("mono into 5.1") << 1 << 1u << -23.0 << 6 << -26.0 + 10.0 * std::log10(3.0) << -23.0;
    QTest::newRow("stereo into mono") << 2 << 3u << -23.0 << 1 << -26.0 << -23.0;
    const double half = 20.0 * std::log10(2.0);
    QTest::newRow("stereo left only into mono") << 2 << 1u << -23.0 << 1 << -26.0 - half << -23.0 - half;
    // 5.1 (FL FR FC LFE SL SR): the LFE is not heard by the meter, the surrounds weigh 1.41.
    QTest::newRow("5.1 front pair") << 6 << 3u << -23.0 << 0 << -23.0 << -23.0;
    QTest::newRow("5.1 surround pair") << 6 << 48u << -23.0 << 0 << -23.0 + surround << -23.0;
    QTest::newRow("5.1 surround pair into 5.1") << 6 << 48u << -23.0 << 6 << -23.0 + surround << -23.0;
    QTest::newRow("5.1 LFE only") << 6 << 8u << -10.0 << 0 << qQNaN() << -10.0;
    QTest::newRow("5.1 LFE only into 5.1") << 6 << 8u << -10.0 << 6 << qQNaN() << -10.0;
    // Mixed down, each stereo channel takes FL or FR, the centre and a surround at 0.707 and no
    // LFE, the whole row scaled to sum to 1 so it never clips: the front pair comes out at
    // 1 / 2.414.
    const double mixed = 20.0 * std::log10(1.0 + std::sqrt(2.0));
    QTest::newRow("5.1 LFE only into stereo") << 6 << 8u << -10.0 << 2 << qQNaN() << -qInf();
    QTest::newRow("5.1 front pair into stereo") << 6 << 3u << -23.0 << 2 << -23.0 - mixed << -23.0 - mixed;
    // 7.1 (FL FR FC LFE BL BR SL SR): the side pair is the weighted one, the back pair sits
    // behind it.
    QTest::newRow("7.1 side pair") << 8 << 192u << -23.0 << 0 << -23.0 + surround << -23.0;
    QTest::newRow("7.1 back pair") << 8 << 48u << -23.0 << 0 << -23.0 << -23.0;
    QTest::newRow("below the absolute gate") << 2 << 3u << -75.0 << 0 << qQNaN() << -75.0;
}

void LoudnessTest::standardTonesReadTheirLevel() {
    QFETCH(int, channels);
    QFETCH(unsigned, mask);
    QFETCH(double, dbfs);
    QFETCH(int, joinedInto);
    QFETCH(double, expected);
    QFETCH(double, peak);
    EncodeOptions o;
    o.encoder = "pcm_f32le";
    o.sampleRate = 48000;
    o.channels = channels;
    o.frames = 48000 * 10;
    const QString file = dir_.filePath(QStringLiteral("tone-%1.wav").arg(QTest::currentDataTag()).replace(' ', '_'));
    QVERIFY(encodeFile(file, o, toneOn(mask, dbfs)).isEmpty());
    const WaveFormatEx heardAs =
        joinedInto ? WaveFormatEx::pcm(48000, static_cast<std::uint16_t>(joinedInto), 16) : WaveFormatEx{};
    const LoudnessResult r = LoudnessSurvey::measure(file.toStdString(), heardAs);
    QVERIFY2(SUCCEEDED(r.hr), qPrintable(r.detail));
    QVERIFY2(std::isinf(peak) ? std::isinf(r.truePeak) : std::abs(r.truePeak - peak) <= 0.1,
             qPrintable(QString::number(r.truePeak)));
    if (std::isnan(expected)) {
        QVERIFY(!r.measurable());
        QVERIFY(!std::isfinite(r.integrated));
        return;
    }
    QVERIFY(r.measurable());
    QVERIFY2(std::abs(r.integrated - expected) <= 0.1, qPrintable(QString::number(r.integrated)));
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
        each.push_back(LoudnessSurvey::measure(file.toStdString()));
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
    const LoudnessResult joined = LoudnessSurvey::measure(whole.toStdString());
    QVERIFY(joined.measurable());
    std::vector<const GatingHistogram*> histograms;
    for (const LoudnessResult& r : each) histograms.push_back(&r.gating);
    const double combined = integratedLoudness(histograms);
    QVERIFY2(std::abs(combined - joined.integrated) <= 0.05,
             qPrintable(QStringLiteral("%1 vs %2").arg(combined).arg(joined.integrated)));
    // Not simply the loudest file, nor the plain mean: the gates were at work.
    QVERIFY(combined < each[0].integrated - 1.0);
}

void LoudnessTest::shortAndLongFiles() {
    EncodeOptions o;
    o.frames = 44100 * 3 / 10;  // 300 ms: no 400 ms gating block
    const QString file = dir_.filePath(QStringLiteral("short.wav"));
    QVERIFY(encodeFile(file, o, sine(1000.0, 0.5)).isEmpty());
    const LoudnessResult r = LoudnessSurvey::measure(file.toStdString());
    QVERIFY(SUCCEEDED(r.hr));
    QVERIFY(!r.measurable());
    QVERIFY(std::abs(r.truePeak - 20.0 * std::log10(0.5)) < 0.2);

    // A long file says how far it has got while it is measured, not only at its end.
    o.sampleRate = 8000;
    o.channels = 1;
    o.frames = 8000 * 95;
    const QString longer = dir_.filePath(QStringLiteral("long.wav"));
    QVERIFY(encodeFile(longer, o, sine(1000.0, 0.5)).isEmpty());
    std::vector<std::int64_t> told;
    QVERIFY(LoudnessSurvey::measure(longer.toStdString(), {}, false, nullptr, [&](std::int64_t at) { told.push_back(at); })
                .measurable());
    QVERIFY2(told.size() >= 3, qPrintable(QString::number(told.size())));
    QVERIFY(std::is_sorted(told.begin(), told.end()) && told.front() > 0 && told.back() <= 95LL * 10'000'000);
}

void LoudnessTest::keptResultsAndFailures() {
    EncodeOptions o;
    o.frames = 44100 * 2;
    const QString file = dir_.filePath(QStringLiteral("kept.wav"));
    QVERIFY(encodeFile(file, o, sine(440.0, 0.3)).isEmpty());
    const int before = LoudnessSurvey::measuredCount();
    const auto twice = LoudnessSurvey::measureAll({file.toStdString(), file.toStdString()}, {});
    const LoudnessResult again = LoudnessSurvey::measure(file.toStdString());
    QVERIFY(twice[0].measurable() && again.measurable());
    QCOMPARE(again.integrated, twice[0].integrated);
    QVERIFY(LoudnessSurvey::measuredCount() - before <= 2);  // the two at once may both run
    const int afterKept = LoudnessSurvey::measuredCount();
    LoudnessSurvey::measure(file.toStdString());
    QCOMPARE(LoudnessSurvey::measuredCount(), afterKept);
    // Without the true peak: only its bound, which the true peak never passes; a request for
    // the true peak measures again, and serves the next one without it.
    const QString peaks = dir_.filePath(QStringLiteral("peaks.wav"));
    // A quarter of the rate, 45 degrees off: every sample sits 3 dB under the crests.
    QVERIFY(encodeFile(peaks, o, [](int, long long n, int) { return 0.5 * std::sin(M_PI / 2 * n + M_PI / 4); })
                .isEmpty());
    const LoudnessResult quick = LoudnessSurvey::measure(peaks.toStdString(), {}, false);
    QVERIFY(!quick.truePeakMeasured());
    const int beforeFull = LoudnessSurvey::measuredCount();
    const LoudnessResult full = LoudnessSurvey::measure(peaks.toStdString(), {}, true);
    QCOMPARE(LoudnessSurvey::measuredCount(), beforeFull + 1);
    QVERIFY(full.truePeakMeasured());
    QVERIFY(full.truePeak > quick.samplePeak + 2.5);
    QVERIFY(full.truePeak <= quick.truePeakBound);
    QCOMPARE(quick.integrated, full.integrated);
    QVERIFY(LoudnessSurvey::measure(peaks.toStdString(), {}, false).truePeakMeasured());

    // A decoder that crashes is named; the one after it measures as usual.
    const QString victim = dir_.filePath(QStringLiteral("victim.wav"));
    QVERIFY(encodeFile(victim, o, sine(440.0, 0.3)).isEmpty());
    WorkerPool::setTestFault(corvane::media::worker::TestFault::Abort, "victim.wav");
    const LoudnessResult crashed = LoudnessSurvey::measure(victim.toStdString());
    WorkerPool::setTestFault(corvane::media::worker::TestFault::None);
    QVERIFY(FAILED(crashed.hr));
    QCOMPARE(crashed.detail, QStringLiteral("the decoder stopped (crashed)"));
    QVERIFY(LoudnessSurvey::measure(victim.toStdString()).measurable());

    // Cancelled before it starts: nothing measured, said so.
    std::atomic<bool> cancel{true};
    const QString other = dir_.filePath(QStringLiteral("other.wav"));
    QVERIFY(encodeFile(other, o, sine(660.0, 0.3)).isEmpty());
    QCOMPARE(LoudnessSurvey::measure(other.toStdString(), {}, true, &cancel).hr, E_ABORT);

    // Not a sound file at all.
    QVERIFY(writeBytes(dir_.filePath(QStringLiteral("junk.mp3")), std::vector<unsigned char>(3000, 'x')));
    const LoudnessResult junk = LoudnessSurvey::measure(dir_.filePath(QStringLiteral("junk.mp3")).toStdString());
    QVERIFY(FAILED(junk.hr));
    QVERIFY(!junk.detail.isEmpty());
}
