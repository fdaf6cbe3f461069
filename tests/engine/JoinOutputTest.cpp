// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <cmath>

#include "engine/CueSheet.h"
#include "media/wavfile/CueChunks.h"
#include "media/decoders/Fault.h"
#include "media/graph/TimelineSourceFilter.h"
#include "media/wavfile/WaveMuxFilter.h"
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
    const char* title = nullptr;
    const char* artist = nullptr;
};

EncodeOptions encoding(const char* encoder, int rate, int channels, long long frames) {
    EncodeOptions s;
    s.encoder = encoder;
    s.sampleRate = rate;
    s.channels = channels;
    s.frames = frames;
    return s;
}

// The marker titles of mixedSet: tags where the file has them (ID3, RIFF INFO, Vorbis
// comment), else the file name without its extension.
const QStringList kMixedTitles = {
    QStringLiteral("Wave Title"), QStringLiteral("Zwölf Äpfel – café"),
    QStringLiteral("hires"),      QStringLiteral("Vorbis Title"),
    QStringLiteral("opus"),       QStringLiteral("u8"),
    QStringLiteral("mono")};

// Checks the markers of a joined file: one per source, at `starts`, labelled `titles`.
void checkMarkers(const WavFile& out, const std::vector<long long>& starts,
                  const QStringList& titles) {
    QCOMPARE(out.chunksAfterData, (std::vector<std::string>{"cue ", "LIST"}));
    QCOMPARE(out.cues.size(), starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i) {
        QCOMPARE(out.cues[i].id, unsigned(i + 1));
        QCOMPARE(out.cues[i].chunk, std::string("data"));
        QCOMPARE((long long)out.cues[i].sampleOffset, starts[i]);
        QCOMPARE((long long)out.cues[i].position, starts[i]);
        QCOMPARE(QString::fromStdString(out.labels.at(unsigned(i + 1))), titles[int(i)]);
    }
    std::vector<std::string> utf8;
    for (const QString& t : titles) utf8.push_back(t.toStdString());
    QCOMPARE(out.fileSize,
             out.dataOffset + out.dataSize + (out.dataSize & 1) + cueChunksSize(utf8));
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
        {"s16.wav", encoding("pcm_s16le", 44100, 2, 44100), "Wave Title", "Wave Artist"},
        {"mono.wav", encoding("pcm_s16le", 44100, 1, 22050)},
        {"lame.mp3", encoding("libmp3lame", 44100, 2, 30870), "Zwölf Äpfel – café", "Ünal"},
        {"hires.flac", hires},
        {"vorbis.ogg", encoding("libvorbis", 22050, 1, 8820), "Vorbis Title"},
        {"opus.opus", encoding("libopus", 48000, 2, 14400), nullptr, "Opus Artist"},
        {"u8.wav", encoding("pcm_u8", 8000, 1, 2000)},
    };
    for (Source s : sources) {
        if (s.title) s.encoding.metadata["title"] = s.title;
        if (s.artist) s.encoding.metadata["artist"] = s.artist;
        const QString err = encodeFile(fixture(s.name), s.encoding, sine(kFreq));
        QVERIFY2(err.isEmpty(), qPrintable(QString(s.name) + ": " + err));
    }
}

void JoinOutputTest::cleanup() {
    Fault::clear();
    WaveMuxFilter::setRiffLimit(WavHeader::kMaxRiffSize);
    qunsetenv("CORVANE_THREADS");
    qunsetenv("CORVANE_QUEUE_KIB");
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
    QCOMPARE(out.dataOffset, 44ULL);  // the classic header
    // Every file fills exactly its own length at the output rate, rounded, as its converted
    // audio comes out; a marker per file at the sum of those before it.
    std::vector<long long> starts;
    long long total = 0;
    for (int i = 0; i < j.items.musicCount(); ++i) {
        starts.push_back(total);
        total += TimelineSourceFilter::framesAt(j.items.musicDuration(i), w.nSamplesPerSec);
    }
    QCOMPARE(out.frames(), total);
    checkMarkers(out, starts, kMixedTitles);
    QCOMPARE(j.job.markers().size(), starts.size());
    QCOMPARE(j.job.markers()[1].performer, QStringLiteral("Ünal"));
    QCOMPARE(j.job.markers()[2].performer, QString());
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
    // The second file's marker is where its audio began, not where its measured length said.
    checkMarkers(out, {0, 44100},
                 {QStringLiteral("s16"), QStringLiteral("mono")});  // added without tags
    QCOMPARE(j.boxes.shown.size(), qsizetype(1));
    const QString text = j.boxes.shown[0].text;
    QVERIFY2(text.contains(fixture("s16.wav") + " decoded 500 ms longer than when it was added."), qPrintable(text));
    QVERIFY2(text.contains(fixture("mono.wav") + " decoded 500 ms shorter than when it was added."), qPrintable(text));
    QVERIFY(!j.view.statuses.last().startsWith("Done."));
    QVERIFY(j.view.statuses.last().contains(j.format.outputPath));
}

void JoinOutputTest::placedAudioMovesWithChangedLengths_data() {
    // What the first file measured when added (it decodes 60 s), and the decoders at work.
    QTest::addColumn<long long>("measured");
    QTest::addColumn<QByteArray>("threads");
    QTest::newRow("as measured") << 600'000'000LL << QByteArray("2");
    QTest::newRow("longer than measured") << 300'000'000LL << QByteArray("2");
    QTest::newRow("shorter than measured") << 900'000'000LL << QByteArray("2");
    QTest::newRow("longer, two placed after it") << 300'000'000LL << QByteArray("3");
    QTest::newRow("shorter, two placed after it") << 900'000'000LL << QByteArray("3");
}

void JoinOutputTest::placedAudioMovesWithChangedLengths() {
    // With no room to queue, the files after the one being written place their audio at its
    // planned place in the output; when the first file decodes to another length, that
    // audio moves with it, and the join is the same as one that queued everything.
    QFETCH(long long, measured);
    QFETCH(QByteArray, threads);
    // The first decodes slowest (96 kHz, resampled), so the others place their audio long
    // before it is written.
    const QString names[] = {fixture("placed-long.flac"), fixture("placed-a.wav"), fixture("placed-b.wav")};
    const long long frames[] = {60 * 44100, 20 * 44100, 15 * 44100};
    if (!QFile::exists(names[0]))
        QCOMPARE(encodeFile(names[0], encoding("flac", 96000, 2, 60 * 96000), sine(300.0)), QString());
    for (int i = 1; i < 3; ++i)
        if (!QFile::exists(names[i]))
            QCOMPARE(encodeFile(names[i], encoding("pcm_s16le", 44100, 2, frames[i]), sine(300.0 + 200 * i)), QString());
    qputenv("CORVANE_THREADS", threads);
    auto join = [&](const char* queueKib, const QString& output) {
        qputenv("CORVANE_QUEUE_KIB", queueKib);
        JoinRunner j;
        j.items.append(names[0], measured);
        j.items.append(names[1], 200'000'000);
        j.items.append(names[2], 150'000'000);
        j.items.syncMusicList();
        j.format.outputPath = dir_.filePath(output.arg(QTest::currentDataTag()));
        const bool ran = j.join();
        qunsetenv("CORVANE_QUEUE_KIB");
        return std::make_pair(ran && j.finishedOk == (measured == 600'000'000LL), readWav(j.format.outputPath));
    };
    const auto [queuedRan, queued] = join("65536", QStringLiteral("queued %1.wav"));
    Fault::clear();
    Fault::failOn("JoinOutputTest::countOnly", E_FAIL);  // arms the counting of calls
    const auto [placedRan, out] = join("0", QStringLiteral("placed %1.wav"));
    QVERIFY(queuedRan && placedRan);
    QVERIFY2(Fault::count("RenderPipeline::place") > 0, "nothing was placed ahead");
    QVERIFY2(out.ok, qPrintable(out.error));
    QCOMPARE(out.frames(), frames[0] + frames[1] + frames[2]);
    QVERIFY2(out.data == queued.data, "placing ahead changed the output");
    for (int i = 1; i < 3; ++i) {
        const WavFile in = readWav(names[i]);
        const auto at = out.data.begin() + (i == 1 ? frames[0] : frames[0] + frames[1]) * 4;
        QVERIFY2(std::equal(in.data.begin(), in.data.end(), at), qPrintable(names[i]));
    }
    checkMarkers(out, {0, frames[0], frames[0] + frames[1]},
                 {QStringLiteral("placed-long"), QStringLiteral("placed-a"), QStringLiteral("placed-b")});

    // An output that declines placement (FAT, exFAT) gets everything queued, the same bytes.
    Fault::failAlways("RenderPipeline::place", S_FALSE);
    const auto [declinedRan, declined] = join("0", QStringLiteral("declined %1.wav"));
    QVERIFY(declinedRan);
    QVERIFY2(declined.data == queued.data, "declining placement changed the output");

    // A placement that fails (a full disk) fails the join; it never passes for done.
    qputenv("CORVANE_QUEUE_KIB", "0");
    Fault::failAlways("RenderPipeline::place", E_DISK_FULL);
    JoinRunner f;
    f.add({names[0], names[1]});
    f.format.outputPath = dir_.filePath(QStringLiteral("full %1.wav").arg(QTest::currentDataTag()));
    QVERIFY2(f.join(), qPrintable(f.boxes.texts().join('|')));
    qunsetenv("CORVANE_QUEUE_KIB");
    QVERIFY(!f.finishedOk);
    QVERIFY2(f.view.statuses.last().startsWith("Join failed."), qPrintable(f.view.statuses.last()));
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
    j.add({fixture("s16.wav"), fixture("mono.wav")});
    j.format.outputPath = dir_.filePath("rf64.wav");
    QVERIFY(j.join());
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY2(out.ok, qPrintable(out.error));
    QVERIFY(out.rf64);
    QCOMPARE(out.dataSize, 176400ULL + 88200);
    QCOMPARE(out.riffSize, out.fileSize - 8);
    QCOMPARE(out.dataOffset, 80ULL);
    QCOMPARE(decodeFile(j.format.outputPath).frames(), 44100LL + 22050);
    // The markers follow the data in RF64 too, counted in the ds64 sizes.
    checkMarkers(out, {0, 44100}, {QStringLiteral("Wave Title"), QStringLiteral("mono")});

    // Silence between files counts in the plan: a join past the limit only with it gets its
    // RF64 header from the start instead of failing when the data outgrows a classic one.
    WaveMuxFilter::setRiffLimit(300000);
    JoinRunner g;
    g.add({fixture("s16.wav"), fixture("mono.wav")});
    g.format.outputPath = dir_.filePath("rf64-gap.wav");
    g.format.betweenFiles = Seam::Kind::Silence;
    g.format.silenceSeconds = 2;
    QVERIFY(g.join());
    QVERIFY2(g.finishedOk, qPrintable(g.boxes.texts().join('|')));
    const WavFile gapped = readWav(g.format.outputPath);
    QVERIFY2(gapped.ok, qPrintable(gapped.error));
    QVERIFY(gapped.rf64);
    QCOMPARE(gapped.dataSize, 176400ULL + 352800 + 88200);
    checkMarkers(gapped, {0, 44100 + 88200}, {QStringLiteral("Wave Title"), QStringLiteral("mono")});
}

void JoinOutputTest::classicHeaderNeverOverflows() {
    // Planned well inside the limit, the file gets the classic header; when the source then
    // decodes far longer, the join fails rather than write sizes that wrap.
    WaveMuxFilter::setRiffLimit(100000);
    JoinRunner j;
    j.items.append(fixture("s16.wav"), 1'000'000);  // 0.1 s of 1 s: 17640 bytes planned
    j.items.syncMusicList();
    j.format.outputPath = dir_.filePath("overflow.wav");
    QVERIFY(j.join());
    QVERIFY(!j.finishedOk);
    QVERIFY(j.view.statuses.last().startsWith("Join failed."));
    QVERIFY2(j.boxes.texts().join('|').contains("4 GiB"), qPrintable(j.boxes.texts().join('|')));
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY2(out.ok, qPrintable(out.error));
    QVERIFY(!out.rf64);
    QCOMPARE(out.dataOffset, 44ULL);
    QVERIFY(out.riffSize <= 100000);
    QCOMPARE(out.riffSize, out.fileSize - 8);
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
    QCOMPARE(out.fileSize, 44ULL + 1001 + 1 + cueChunksSize({"u8"}));
    QCOMPARE(out.riffSize, out.fileSize - 8);
    QCOMPARE(decodeFile(j.format.outputPath).frames(), 1001LL);
}

void JoinOutputTest::markersFollowTheAudio_data() {
    QTest::addColumn<int>("rateIndex");
    QTest::addColumn<bool>("markers");
    QTest::addRow("44100 marked") << 0 << true;
    QTest::addRow("22050 marked") << 1 << true;
    QTest::addRow("44100 plain") << 0 << false;
    QTest::addRow("22050 plain") << 1 << false;
}

void JoinOutputTest::markersFollowTheAudio() {
    QFETCH(int, rateIndex);
    QFETCH(bool, markers);
    // Three steady levels: where one gives way to the next is where a file's audio begins.
    const double levels[] = {0.25, -0.5, 0.75};
    const long long lengths[] = {30001, 17011, 25000};
    QStringList files;
    for (int k = 0; k < 3; ++k) {
        const QString path = dir_.filePath(QStringLiteral("level %1.part.wav").arg(k));
        const double level = levels[k];
        QVERIFY(encodeFile(path, encoding("pcm_s16le", 44100, 2, lengths[k]),
                           [level](int, long long, int) { return level; })
                    .isEmpty());
        files << path;
    }
    JoinRunner j;
    QCOMPARE(j.add(files), 3);
    j.format.outputPath =
        dir_.filePath(QStringLiteral("levels-%1-%2.wav").arg(rateIndex).arg(markers));
    j.format.sampleRateIndex = rateIndex;
    j.format.markers = markers;
    j.format.cueSheet = true;
    j.format.labelsPath =
        dir_.filePath(QStringLiteral("levels-%1-%2.txt").arg(rateIndex).arg(markers));
    QVERIFY(j.join());
    QVERIFY2(j.finishedOk, qPrintable(j.boxes.texts().join('|')));
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY2(out.ok, qPrintable(out.error));
    QCOMPARE(out.dataOffset, 44ULL);
    const int rate = out.sampleRate;
    std::vector<long long> starts;
    for (int k = 0; k < 3; ++k) {
        // Where the audio changes level, found in the samples.
        long long n = k == 0 ? 0 : starts.back() + 1;
        if (k > 0)
            while (n < out.frames() && std::abs(out.sample(n, 0) - levels[k]) >
                                           std::abs(out.sample(n, 0) - levels[k - 1]))
                ++n;
        starts.push_back(n);
    }
    // The level changes at the sum of the lengths before each file, each rounded at the output
    // rate (resampling to 22050 blurs the edge by at most a sample).
    const long long expected[] = {
        0, TimelineSourceFilter::framesAt(j.items.musicDuration(0), rate),
        TimelineSourceFilter::framesAt(j.items.musicDuration(0), rate) +
            TimelineSourceFilter::framesAt(j.items.musicDuration(1), rate)};
    for (int k = 0; k < 3; ++k)
        QVERIFY2(std::abs(starts[k] - expected[k]) <= (rate == 44100 ? 0 : 1),
                 qPrintable(QString::number(k)));
    const QStringList titles = {QStringLiteral("level 0.part"), QStringLiteral("level 1.part"),
                                QStringLiteral("level 2.part")};
    if (markers) {
        checkMarkers(out, {expected[0], expected[1], expected[2]}, titles);
    } else {
        QVERIFY(out.chunksAfterData.empty());
        QCOMPARE(out.fileSize, 44 + out.dataSize);
    }
    // The cue sheet and label track are written either way, with the same positions.
    QFile cue(cuePathBeside(j.format.outputPath));
    QVERIFY(cue.open(QIODevice::ReadOnly));
    const QString cueText = QString::fromUtf8(cue.readAll());
    QVERIFY2(cueText.startsWith(QStringLiteral("FILE \"%1\" WAVE\n  TRACK 01 AUDIO\n    TITLE "
                                               "\"level 0.part\"\n    INDEX 01 00:00:00\n")
                                    .arg(QFileInfo(j.format.outputPath).fileName())),
             qPrintable(cueText));
    QCOMPARE(cueText.count(QStringLiteral("TRACK")), 3);
    QVERIFY(!cueText.contains(QStringLiteral("PERFORMER")));
    QFile labels(j.format.labelsPath);
    QVERIFY(labels.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(labels.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    for (int k = 0; k < 3; ++k) {
        const QStringList f = lines[k].split('\t');
        QCOMPARE(f.size(), 3);
        QCOMPARE(f[0], QString::number(double(expected[k]) / rate, 'f', 6));
        QCOMPARE(f[2], titles[k]);
    }
    QCOMPARE(lines[2].split('\t')[1], QString::number(double(out.frames()) / rate, 'f', 6));
}

void JoinOutputTest::tinySourcesKeepTheirFrames_data() {
    QTest::addColumn<int>("rateIndex");
    QTest::addColumn<long long>("each");  // round(101 × output rate / 44100)
    QTest::addRow("8000") << 3 << 18LL;
    QTest::addRow("11025") << 2 << 25LL;
}

void JoinOutputTest::tinySourcesKeepTheirFrames() {
    // Sources shorter than the resampler's filter still come out whole: every later source
    // stays where it belongs, and an unchanged file raises no alarm.
    QFETCH(int, rateIndex);
    QFETCH(long long, each);
    QStringList files;
    for (int k = 0; k < 3; ++k) {
        const QString path = dir_.filePath(QStringLiteral("tiny %1.wav").arg(k));
        QVERIFY(encodeFile(path, encoding("pcm_s16le", 44100, 2, 101), sine(kFreq)).isEmpty());
        files << path;
    }
    JoinRunner j;
    QCOMPARE(j.add(files), 3);
    j.format.outputPath = dir_.filePath(QStringLiteral("tiny-%1.wav").arg(rateIndex));
    j.format.sampleRateIndex = rateIndex;
    QVERIFY(j.join());
    QVERIFY2(j.finishedOk, qPrintable(j.boxes.texts().join('|')));
    QCOMPARE(j.view.statuses.last(), QStringLiteral("Done. Output File: ") + j.format.outputPath);
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY2(out.ok, qPrintable(out.error));
    QCOMPARE(out.frames(), 3 * each);
    checkMarkers(out, {0, each, 2 * each}, {QStringLiteral("tiny 0"), QStringLiteral("tiny 1"), QStringLiteral("tiny 2")});
    // Not silence: each piece holds its sine.
    double peak = 0;
    for (long long n = 2 * each; n < 3 * each; ++n) peak = std::max(peak, std::abs(out.sample(n, 0)));
    QVERIFY(peak > 0.1);
}

void JoinOutputTest::cueSheetAndLabelText() {
    const std::vector<Marker> markers = {
        {0, 44100, QStringLiteral("Intro"), QStringLiteral("The \"Band\"")},
        {44100, 1, QStringLiteral("Zwölf"), {}},
        {44100 * 61 + 294, 293, QStringLiteral("Half a CD frame rounds up"), {}},
        {44100 * 6000 + 293, 0, QStringLiteral("Less rounds down"), {}},
    };
    QCOMPARE(
        cueSheetText(QStringLiteral("dir/out \"1\".wav"), markers, 44100),
        QStringLiteral(
            "FILE \"dir/out '1'.wav\" WAVE\n"
            "  TRACK 01 AUDIO\n    TITLE \"Intro\"\n    PERFORMER \"The 'Band'\"\n    INDEX 01 "
            "00:00:00\n"
            "  TRACK 02 AUDIO\n    TITLE \"Zwölf\"\n    INDEX 01 00:01:00\n"
            "  TRACK 03 AUDIO\n    TITLE \"Half a CD frame rounds up\"\n    INDEX 01 01:01:01\n"
            "  TRACK 04 AUDIO\n    TITLE \"Less rounds down\"\n    INDEX 01 100:00:00\n"));
    QCOMPARE(labelTrackText(markers, 44100),
             QStringLiteral("0.000000\t1.000000\tIntro\n"
                            "1.000000\t1.000023\tZwölf\n"
                            "61.006667\t61.013311\tHalf a CD frame rounds up\n"
                            "6000.006644\t6000.006644\tLess rounds down\n"));
    QCOMPARE(cuePathBeside(QStringLiteral("/a.b/out.wav")), QStringLiteral("/a.b/out.cue"));
    QCOMPARE(cuePathBeside(QStringLiteral("/a.b/out")), QStringLiteral("/a.b/out.cue"));
    QCOMPARE(markerTitle(QStringLiteral("/m/02 Song.v2.flac"), QString()),
             QStringLiteral("02 Song.v2"));
    QCOMPARE(markerTitle(QStringLiteral("/m/.hidden"), QString()), QStringLiteral(".hidden"));
    QCOMPARE(markerTitle(QStringLiteral("/m/x.flac"), QStringLiteral(" Tag\nTitle ")),
             QStringLiteral("Tag Title"));
}

namespace {

// The label track's start and end of each line, in seconds.
std::vector<std::pair<double, double>> labelTimes(const QString& path) {
    std::vector<std::pair<double, double>> times;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return times;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3) times.emplace_back(fields[0].toDouble(), fields[1].toDouble());
    }
    return times;
}

// The INDEX 01 of each track of a cue sheet, in CD frames.
std::vector<long long> cueIndexes(const QString& path) {
    std::vector<long long> frames;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return frames;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QByteArray t = line.trimmed();
        if (!t.startsWith("INDEX 01 ")) continue;
        const QList<QByteArray> msf = t.mid(9).split(':');
        frames.push_back((msf[0].toLongLong() * 60 + msf[1].toLongLong()) * 75 + msf[2].toLongLong());
    }
    return frames;
}

}  // namespace

void JoinOutputTest::seamsGiveExactLengthsAndMarkers_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("rateIndex");
    QTest::addColumn<int>("channelsIndex");
    QTest::addColumn<int>("bitsIndex");
    for (int kind : {int(Seam::Kind::Silence), int(Seam::Kind::Crossfade)})
        for (int r : {0, 1, 3})
            for (int cb : {0, 1})
                QTest::addRow("%s-%d-%s", kind == int(Seam::Kind::Silence) ? "gap" : "crossfade", r,
                              cb ? "mono8" : "stereo16")
                    << kind << r << cb << cb;
}

void JoinOutputTest::seamsGiveExactLengthsAndMarkers() {
    QFETCH(int, kind);
    QFETCH(int, rateIndex);
    QFETCH(int, channelsIndex);
    QFETCH(int, bitsIndex);
    const bool gap = kind == int(Seam::Kind::Silence);
    JoinRunner j;
    // Seven files of six codecs and five rates: every seam joins unlike formats.
    const QStringList files = mixedSet(this, dir_);
    QCOMPARE(j.add(files), int(files.size()));
    const QString name = QStringLiteral("seam-%1-%2-%3").arg(kind).arg(rateIndex).arg(channelsIndex);
    j.format.outputPath = dir_.filePath(name + QStringLiteral(".wav"));
    j.format.labelsPath = dir_.filePath(name + QStringLiteral(".txt"));
    j.format.cuePath = dir_.filePath(name + QStringLiteral(".cue"));
    j.format.sampleRateIndex = rateIndex;
    j.format.channelsIndex = channelsIndex;
    j.format.bitsIndex = bitsIndex;
    j.format.betweenFiles = static_cast<Seam::Kind>(kind);
    // Short enough for the shortest file (0.25 s): nothing is shortened.
    j.format.silenceSeconds = 0.1;
    j.format.crossfadeSeconds = 0.1;
    QVERIFY(j.join());
    QVERIFY2(j.finishedOk, qPrintable(j.boxes.texts().join('|')));
    QVERIFY2(j.boxes.shown.isEmpty(), qPrintable(j.boxes.texts().join('|')));
    QCOMPARE(j.view.statuses.last(), QStringLiteral("Done. Output File: ") + j.format.outputPath);

    const WaveFormatEx w = WaveFormatFromIndexes(rateIndex, channelsIndex, bitsIndex);
    const int rate = int(w.nSamplesPerSec);
    const long long seam = std::llround(0.1 * rate);
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY2(out.ok, qPrintable(out.error));
    QCOMPARE(out.dataOffset, 44ULL);
    // Each file starts a gap after the end of the one before, or a crossfade before it.
    std::vector<long long> starts, lengths;
    long long at = 0;
    for (int i = 0; i < j.items.musicCount(); ++i) {
        if (i > 0) at += gap ? seam : -seam;
        starts.push_back(at);
        lengths.push_back(TimelineSourceFilter::framesAt(j.items.musicDuration(i), w.nSamplesPerSec));
        at += lengths.back();
    }
    QCOMPARE(out.frames(), at);
    checkMarkers(out, starts, kMixedTitles);
    // Labels run from a file's first frame to its last: crossfaded ones overlap by the fade.
    const auto labels = labelTimes(j.format.labelsPath);
    QCOMPARE(labels.size(), starts.size());
    const auto cues = cueIndexes(j.format.cuePath);
    QCOMPARE(cues.size(), starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i) {
        QVERIFY(std::abs(labels[i].first - double(starts[i]) / rate) < 1e-6);
        QVERIFY(std::abs(labels[i].second - double(starts[i] + lengths[i]) / rate) < 1e-6);
        QCOMPARE(cues[i], (starts[i] * 150 + rate) / (2LL * rate));
        if (i > 0 && !gap) QVERIFY(labels[i - 1].second > labels[i].first);
    }
    if (!gap) return;
    // The gaps are digital silence in the output format.
    const unsigned char silence = w.wBitsPerSample == 8 ? 0x80 : 0x00;
    for (std::size_t i = 1; i < starts.size(); ++i)
        for (long long b = (starts[i] - seam) * out.blockAlign; b < starts[i] * out.blockAlign; ++b)
            QVERIFY2(out.data[std::size_t(b)] == silence, qPrintable(QStringLiteral("seam %1 byte %2").arg(i).arg(b)));
}

void JoinOutputTest::crossfadeKeepsTheLevel_data() {
    QTest::addColumn<bool>("tone");
    QTest::addColumn<double>("toleranceDb");
    // Unrelated material under equal power: two noises that share nothing.
    QTest::newRow("noises, equal power") << false << 1.0;
    // Pieces of one recording under a linear fade: a tone cut with an overlap as long as the
    // fade and rejoined comes back whole.
    QTest::newRow("tone, linear") << true << 0.1;
}

void JoinOutputTest::crossfadeKeepsTheLevel() {
    QFETCH(bool, tone);
    QFETCH(double, toleranceDb);
    constexpr int kRate = 44100;
    constexpr long long kFade = kRate;  // 1 s
    const long long firstLength = 2 * kRate + kRate / 2, secondLength = 3 * kRate;
    const QString a = dir_.filePath(tone ? "tone-a.wav" : "noise-a.wav");
    const QString b = dir_.filePath(tone ? "tone-b.wav" : "noise-b.wav");
    const auto noise = [](std::uint64_t seed) {
        return [seed](int c, long long n, int) {
            std::uint64_t x = (static_cast<std::uint64_t>(n) * 2 + static_cast<std::uint64_t>(c)) * 0x9E3779B97F4A7C15ull ^ seed;
            x ^= x >> 31;
            x *= 0xBF58476D1CE4E5B9ull;
            x ^= x >> 29;
            return 0.5 * (static_cast<double>(x >> 11) / 9007199254740992.0 * 2 - 1);
        };
    };
    const long long offset = firstLength - kFade;  // where the second piece starts in the tone
    const auto toneAt = [](long long shift) {
        return [shift](int, long long n, int rate) { return 0.5 * std::sin(2 * M_PI * 1000.0 * double(n + shift) / rate); };
    };
    QVERIFY(encodeFile(a, encoding("pcm_s16le", kRate, 2, firstLength), tone ? Signal(toneAt(0)) : Signal(noise(1))).isEmpty());
    QVERIFY(encodeFile(b, encoding("pcm_s16le", kRate, 2, secondLength), tone ? Signal(toneAt(offset)) : Signal(noise(2))).isEmpty());
    JoinRunner j;
    QCOMPARE(j.add({a, b}), 2);
    j.format.outputPath = dir_.filePath(tone ? "tone-faded.wav" : "noise-faded.wav");
    j.format.betweenFiles = Seam::Kind::Crossfade;
    j.format.crossfadeSeconds = 1.0;
    j.format.crossfadeCurve = tone ? Seam::Curve::Linear : Seam::Curve::EqualPower;
    QVERIFY(j.join());
    QVERIFY2(j.finishedOk, qPrintable(j.boxes.texts().join('|')));
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY2(out.ok, qPrintable(out.error));
    QCOMPARE(out.frames(), firstLength + secondLength - kFade);
    // Short-term level (50 ms, a whole number of the tone's periods) from before the fade to
    // after it, against the level of the files themselves.
    const long long window = kRate / 20;
    const auto levelDb = [&](long long from) {
        double sum = 0;
        for (long long n = from; n < from + window; ++n)
            for (int c = 0; c < 2; ++c) sum += out.sample(n, c) * out.sample(n, c);
        return 10 * std::log10(sum / double(2 * window));
    };
    const double reference = tone ? 20 * std::log10(0.5 / std::sqrt(2.0)) : 20 * std::log10(0.5 / std::sqrt(3.0));
    double worst = 0;
    for (long long from = offset - kRate / 2; from + window <= offset + kFade + kRate / 2; from += window / 2)
        worst = std::max(worst, std::abs(levelDb(from) - reference));
    QVERIFY2(worst <= toleranceDb, qPrintable(QStringLiteral("%1 dB off").arg(worst)));
}

void JoinOutputTest::longCrossfadesAreShortened_data() {
    QTest::addColumn<long long>("firstFrames");
    QTest::addColumn<long long>("secondFrames");
    QTest::addColumn<long long>("expectedFade");
    QTest::newRow("half of the shorter") << 4LL * 44100 << 44101LL << 22050LL;
    QTest::newRow("shorter first") << 30001LL << 2LL * 44100 << 15000LL;
    // A file of one frame has no half to fade: its seam has no crossfade at all.
    QTest::newRow("one frame") << 1LL << 44100LL << 0LL;
}

void JoinOutputTest::longCrossfadesAreShortened() {
    QFETCH(long long, firstFrames);
    QFETCH(long long, secondFrames);
    QFETCH(long long, expectedFade);
    const QString a = dir_.filePath(QStringLiteral("long-a-%1.wav").arg(firstFrames));
    const QString b = dir_.filePath(QStringLiteral("long-b-%1.wav").arg(secondFrames));
    QVERIFY(encodeFile(a, encoding("pcm_s16le", 44100, 2, firstFrames), sine(kFreq)).isEmpty());
    QVERIFY(encodeFile(b, encoding("pcm_s16le", 44100, 2, secondFrames), sine(kFreq)).isEmpty());
    JoinRunner j;
    QCOMPARE(j.add({a, b}), 2);
    j.format.outputPath = dir_.filePath(QStringLiteral("long-%1-%2.wav").arg(firstFrames).arg(secondFrames));
    j.format.betweenFiles = Seam::Kind::Crossfade;
    j.format.crossfadeSeconds = 30;
    QVERIFY(j.join());
    QVERIFY(j.finishedOk);
    // Said once, before the join, naming both files and the length used.
    QCOMPARE(j.boxes.texts().size(), 1);
    QCOMPARE(j.boxes.texts().first(),
             QStringLiteral("The crossfade between %1 and %2 is shortened to %3 s, half of the shorter file.")
                 .arg(a, b)
                 .arg(double(expectedFade) / 44100, 0, 'f', 3));
    const WavFile out = readWav(j.format.outputPath);
    QVERIFY2(out.ok, qPrintable(out.error));
    QCOMPARE(out.frames(), firstFrames + secondFrames - expectedFade);
    checkMarkers(out, {0, firstFrames - expectedFade},
                 {QFileInfo(a).completeBaseName(), QFileInfo(b).completeBaseName()});
}
