#include <QTest>
#include <cmath>

#include "media/Fault.h"
#include "media/TimelineSourceFilter.h"
#include "media/WaveMuxFilter.h"
#include "tests/engine/EngineTests.h"
#include "tests/support/JoinRunner.h"

using namespace corvane;
using namespace corvane::media;
using namespace corvane::test;

namespace {

constexpr double kFreq = 441.0;

struct Source {
    const char* name;
    EncodeOptions encoding;
};

EncodeOptions encoding(const char* encoder, int rate, int channels, long long frames) {
    EncodeOptions s;
    s.encoder = encoder;
    s.sampleRate = rate;
    s.channels = channels;
    s.frames = frames;
    return s;
}

QStringList mixedSet(const JoinOutputTest*, const QTemporaryDir& dir) {
    QStringList l;
    for (const char* n : {"s16.wav", "lame.mp3", "hires.flac", "vorbis.ogg", "opus.opus", "u8.wav", "mono.wav"})
        l << dir.filePath(n);
    return l;
}

double rms(const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x * x;
    return v.empty() ? 0 : std::sqrt(s / static_cast<double>(v.size()));
}

}  // namespace

QString JoinOutputTest::fixture(const char* name) const { return dir_.filePath(name); }

void JoinOutputTest::initTestCase() {
    QVERIFY(dir_.isValid());
    EncodeOptions hires = encoding("flac", 96000, 2, 48000);
    hires.sampleFormat = "s32";
    hires.bitsPerRawSample = 24;
    const Source sources[] = {
        {"s16.wav", encoding("pcm_s16le", 44100, 2, 44100)},
        {"mono.wav", encoding("pcm_s16le", 44100, 1, 22050)},
        {"lame.mp3", encoding("libmp3lame", 44100, 2, 30870)},
        {"hires.flac", hires},
        {"vorbis.ogg", encoding("libvorbis", 22050, 1, 8820)},
        {"opus.opus", encoding("libopus", 48000, 2, 14400)},
        {"u8.wav", encoding("pcm_u8", 8000, 1, 2000)},
    };
    for (const Source& s : sources) {
        const QString err = encodeFile(fixture(s.name), s.encoding, sine(kFreq));
        QVERIFY2(err.isEmpty(), qPrintable(QString(s.name) + ": " + err));
    }
}

void JoinOutputTest::cleanup() {
    Fault::clear();
    WaveMuxFilter::setRiffLimit(WavHeader::kMaxRiffSize);
    qunsetenv("CORVANE_THREADS");
}

void JoinOutputTest::exactLengthForEveryFormat_data() {
    QTest::addColumn<int>("rateIndex");
    QTest::addColumn<int>("channelsIndex");
    QTest::addColumn<int>("bitsIndex");
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 2; ++c)
            for (int b = 0; b < 2; ++b) QTest::addRow("%d-%d-%d", r, c, b) << r << c << b;
}

void JoinOutputTest::exactLengthForEveryFormat() {
    QFETCH(int, rateIndex);
    QFETCH(int, channelsIndex);
    QFETCH(int, bitsIndex);
    JoinRunner j;
    const QStringList files = mixedSet(this, dir_);
    QCOMPARE(j.add(files), int(files.size()));
    j.format.outputPath = dir_.filePath(QStringLiteral("out-%1%2%3.wav").arg(rateIndex).arg(channelsIndex).arg(bitsIndex));
    j.format.sampleRateIndex = rateIndex;
    j.format.channelsIndex = channelsIndex;
    j.format.bitsIndex = bitsIndex;
    QVERIFY(j.join());
    QVERIFY2(j.finishedOk, qPrintable(j.boxes.texts().join('|')));
    QVERIFY(j.boxes.shown.isEmpty());
    QCOMPARE(j.view.statuses.last(), QStringLiteral("Done. Output File: ") + j.format.outputPath);
    QCOMPARE(j.view.buttonText, QStringLiteral("Join"));

    const WaveFormatEx w = WaveFormatFromIndexes(rateIndex, channelsIndex, bitsIndex);
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY2(out.ok, qPrintable(out.error));
    QCOMPARE(out.formatTag, 1);
    QCOMPARE(out.sampleRate, int(w.nSamplesPerSec));
    QCOMPARE(out.channels, int(w.nChannels));
    QCOMPARE(out.bits, int(w.wBitsPerSample));
    QCOMPARE(out.blockAlign, int(w.nBlockAlign));
    QCOMPARE(out.byteRate, int(w.nAvgBytesPerSec));
    QCOMPARE(out.riffSize, out.fileSize - 8);
    QCOMPARE(out.fileSize, out.dataOffset + out.dataSize + (out.dataSize & 1));
    // Every file fills exactly its slot: the whole is the sum of the lengths, rounded once.
    QCOMPARE(out.frames(), TimelineSourceFilter::framesAt(j.job.totalDuration(), w.nSamplesPerSec));
    // FFmpeg reads it back to the same length.
    const Decoded back = decodeFile(j.format.outputPath);
    QCOMPARE(back.frames(), out.frames());
}

void JoinOutputTest::samplesMatchTheSources() {
    const Decoded stereo = decodeFile(fixture("s16.wav"));
    const Decoded mono = decodeFile(fixture("mono.wav"));
    struct Case {
        int channelsIndex, bitsIndex;
        double tolerance;  // in full-scale units
    } cases[] = {{0, 0, 0.0}, {1, 0, 1.51 / 32768}, {0, 1, 1.51 / 128}, {1, 1, 1.51 / 128}};
    for (const Case& c : cases) {
        JoinRunner j;
        j.add({fixture("s16.wav"), fixture("mono.wav")});
        j.format.outputPath = dir_.filePath("match.wav");
        j.format.channelsIndex = c.channelsIndex;
        j.format.bitsIndex = c.bitsIndex;
        QFile::remove(j.format.outputPath);
        QVERIFY(j.join());
        const WavFile out = readWav(j.format.outputPath);
        QVERIFY(out.ok);
        QCOMPARE(out.frames(), stereo.frames() + mono.frames());
        double worst = 0;
        for (long long n = 0; n < out.frames(); ++n) {
            for (int ch = 0; ch < out.channels; ++ch) {
                double expected;
                if (n < stereo.frames()) {
                    const double l = stereo.samples[2 * n], r = stereo.samples[2 * n + 1];
                    expected = out.channels == 2 ? (ch ? r : l) : (l + r) / 2;
                } else {
                    expected = mono.samples[n - stereo.frames()];  // duplicated at full level
                }
                worst = std::max(worst, std::abs(out.sample(n, ch) - expected));
            }
        }
        QVERIFY2(worst <= c.tolerance + 1e-9,
                 qPrintable(QStringLiteral("ch %1 bits %2: %3").arg(c.channelsIndex).arg(c.bitsIndex).arg(worst)));
    }
}

void JoinOutputTest::resampledSineStaysClean() {
    for (int rateIndex : {0, 1, 2, 3}) {
        JoinRunner j;
        j.add({fixture("hires.flac")});
        j.format.outputPath = dir_.filePath("resampled.wav");
        j.format.sampleRateIndex = rateIndex;
        QFile::remove(j.format.outputPath);
        QVERIFY(j.join());
        const WavFile out = readWav(j.format.outputPath);
        QVERIFY(out.ok);
        QCOMPARE(out.frames(), TimelineSourceFilter::framesAt(5'000'000, out.sampleRate));
        std::vector<double> err;
        for (long long n = 64; n < out.frames() - 64; ++n)
            for (int c = 0; c < 2; ++c)
                err.push_back(out.sample(n, c) - 0.5 * std::sin(2 * M_PI * kFreq * n / out.sampleRate + 0.7 * c));
        const double e = rms(err);
        QVERIFY2(e < 2e-4, qPrintable(QStringLiteral("%1 Hz: rms error %2").arg(out.sampleRate).arg(e)));
    }
}

void JoinOutputTest::cutSignalRejoinsGapless_data() {
    QTest::addColumn<QString>("encoder");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("lossyEdges");  // the codec smears a file's first and last frames
    QTest::newRow("MP3") << "libmp3lame" << "mp3" << false;
    // The edit list is in milliseconds; the sample table is exact.
    QTest::newRow("AAC in M4A") << "aac" << "m4a" << true;
    QTest::newRow("ALAC in M4A") << "alac" << "m4a" << false;
    QTest::newRow("FLAC in Matroska") << "flac" << "mka" << false;
}

void JoinOutputTest::cutSignalRejoinsGapless() {
    // One continuous sine cut into three files: joined, it must be continuous again.
    QFETCH(QString, encoder);
    QFETCH(QString, extension);
    QFETCH(bool, lossyEdges);
    const long long part = 20000;
    QStringList parts;
    for (int k = 0; k < 3; ++k) {
        EncodeOptions s = encoding(qPrintable(encoder), 44100, 2, part);
        s.bitRate = encoder == "alac" || encoder == "flac" ? 0 : 192000;
        const Signal shifted = [k, part](int c, long long n, int rate) { return sine(kFreq)(c, n + k * part, rate); };
        const QString path = dir_.filePath(QStringLiteral("part%1.%2").arg(k).arg(extension));
        QVERIFY(encodeFile(path, s, shifted).isEmpty());
        parts << path;
    }
    JoinRunner j;
    QCOMPARE(j.add(parts), 3);
    j.format.outputPath = dir_.filePath("gapless.wav");
    QFile::remove(j.format.outputPath);
    QVERIFY(j.join());
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY(out.ok);
    QCOMPARE(out.frames(), 3 * part);
    // Around each joint the signal follows the ideal sine as closely as inside a file.
    auto windowError = [&](long long from, long long to, long long lag = 0) {
        std::vector<double> err;
        for (long long n = from; n < to; ++n)
            for (int c = 0; c < 2; ++c)
                err.push_back(out.sample(n + lag, c) - 0.5 * std::sin(2 * M_PI * kFreq * n / 44100 + 0.7 * c));
        return rms(err);
    };
    const double inside = windowError(part / 2 - 1000, part / 2 + 1000);
    QVERIFY2(inside < 0.05, qPrintable(QString::number(inside)));
    for (int k = 1; k < 3; ++k) {
        // Each file starts exactly where the one before ends: the sine just after the joint
        // fits best unshifted (an encoder delay left in or cut twice would shift it).
        long long best = 0;
        for (long long lag = -45; lag <= 45; ++lag)
            if (windowError(k * part + 16, k * part + 2064, lag) < windowError(k * part + 16, k * part + 2064, best))
                best = lag;
        QCOMPARE(best, 0LL);
        if (!lossyEdges) {
            const double joint = windowError(k * part - 1000, k * part + 1000);
            QVERIFY2(joint < 2 * inside + 0.002,
                     qPrintable(QStringLiteral("joint %1: %2 (inside %3)").arg(k).arg(joint).arg(inside)));
        }
    }
}

void JoinOutputTest::changedSourcesJoinAsTheyDecode() {
    // Lengths that disagree with the files (changed since Add): each fills what it decodes,
    // nothing padded or cut, and the join says which files differed instead of "Done.".
    JoinRunner j;
    j.items.append(fixture("s16.wav"), 5'000'000);   // 0.5 s of 1 s
    j.items.append(fixture("mono.wav"), 10'000'000);  // 1 s of 0.5 s
    j.items.syncMusicList();
    j.format.outputPath = dir_.filePath("changed.wav");
    QVERIFY(j.join());
    QVERIFY(!j.finishedOk);
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY(out.ok);
    QCOMPARE(out.frames(), 44100LL + 22050LL);
    const Decoded stereo = decodeFile(fixture("s16.wav"));
    const Decoded mono = decodeFile(fixture("mono.wav"));
    for (long long n = 0; n < 44100; ++n) QCOMPARE(out.sample(n, 1), double(stereo.samples[2 * n + 1]));
    for (long long n = 0; n < 22050; ++n) QCOMPARE(out.sample(44100 + n, 0), double(mono.samples[n]));
    QCOMPARE(j.boxes.shown.size(), qsizetype(1));
    const QString text = j.boxes.shown[0].text;
    QVERIFY2(text.contains(fixture("s16.wav") + " decoded 500 ms longer than when it was added."), qPrintable(text));
    QVERIFY2(text.contains(fixture("mono.wav") + " decoded 500 ms shorter than when it was added."), qPrintable(text));
    QVERIFY(!j.view.statuses.last().startsWith("Done."));
    QVERIFY(j.view.statuses.last().contains(j.format.outputPath));
}

void JoinOutputTest::sameJoinSameBytes() {
    QByteArray first;
    for (const char* threads : {"", "1", "3"}) {
        if (*threads) qputenv("CORVANE_THREADS", threads);
        JoinRunner j;
        j.add(mixedSet(this, dir_));
        j.format.outputPath = dir_.filePath(QStringLiteral("repeat%1.wav").arg(threads));
        j.format.sampleRateIndex = 1;
        j.format.channelsIndex = 1;
        j.format.bitsIndex = 1;
        QVERIFY(j.join());
        QFile f(j.format.outputPath);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        if (first.isEmpty())
            first = bytes;
        else
            QVERIFY2(bytes == first, threads);
    }
}

void JoinOutputTest::rf64WhenPastTheLimit() {
    WaveMuxFilter::setRiffLimit(50000);
    JoinRunner j;
    j.add({fixture("s16.wav")});
    j.format.outputPath = dir_.filePath("rf64.wav");
    QVERIFY(j.join());
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY2(out.ok, qPrintable(out.error));
    QVERIFY(out.rf64);
    QCOMPARE(out.dataSize, 176400ULL);
    QCOMPARE(out.riffSize, out.fileSize - 8);
    QCOMPARE(decodeFile(j.format.outputPath).frames(), 44100LL);
}

void JoinOutputTest::oddEightBitDataIsPadded() {
    JoinRunner j;
    j.items.append(fixture("u8.wav"), 1'251'000);  // 1000.8 frames at 8000: 1001
    j.items.syncMusicList();
    j.format.outputPath = dir_.filePath("odd.wav");
    j.format.sampleRateIndex = 3;
    j.format.channelsIndex = 1;
    j.format.bitsIndex = 1;
    QVERIFY(j.join());
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY(out.ok);
    QCOMPARE(out.dataSize, 1001ULL);
    QCOMPARE(out.fileSize, 80ULL + 1001 + 1);
    QCOMPARE(out.riffSize, out.fileSize - 8);
    QCOMPARE(decodeFile(j.format.outputPath).frames(), 1001LL);
}
