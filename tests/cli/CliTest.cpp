// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/TestMain.h"
#include <csignal>
#include <unistd.h>

#include "media/wavfile/BroadcastExtension.h"
#include "tests/support/AudioFixture.h"

using namespace corvane::test;

// The terminal front end, run as users run it.
class CliTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void badUsageExitsTwo_data();
    void badUsageExitsTwo();
    void joinWritesAndSaysDone();
    void existingOutputNeedsYes();
    void filesFromStandardInputAndPlaylists();
    void undecodableInputStopsBeforeWriting();
    void probePrintsNameSecondsAndDuration();
    void formatsBeyondTheSixteen_data();
    void formatsBeyondTheSixteen();
    void interruptKeepsAValidFile_data();
    void interruptKeepsAValidFile();
    void ignoredSignalsStayIgnored();
    void windowWithAMessageBoxEndsOnSignal();
    void ownStreamsAreNeverTheOutput();
    void killedJoinLeavesAValidFile();
    void stalledDecoderIsNamed();
    void fewDescriptorsStillMeasureEveryFile();
    void fileShortenedDuringJoinIsNamed();
    void windowWithoutDisplaySaysSo();
    void matchedJoinReadsTheTarget_data();
    void matchedJoinReadsTheTarget();

  private:
    struct Run {
        int status = -1;
        QString out, err;
    };
    // `input`, when given, is standard input; else it is empty.
    Run run(const QStringList& args, int timeoutMs = 60000, const QByteArray& input = {});
    // Starts a join of `copies` times the 60-s file, long enough to be stopped midway.
    bool startLongJoin(QProcess& p, const QString& out, int copies);
    QString path(const char* name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

CliTest::Run CliTest::run(const QStringList& args, int timeoutMs, const QByteArray& input) {
    QProcess p;
    p.setProgram(QStringLiteral(CORVANE_BINARY));
    p.setArguments(args);
    if (input.isEmpty()) p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    if (!input.isEmpty()) {
        p.write(input);
        p.closeWriteChannel();
    }
    p.waitForFinished(timeoutMs);
    Run r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

bool CliTest::startLongJoin(QProcess& p, const QString& out, int copies) {
    QStringList args{"join", "-y", "-o", out};
    for (int i = 0; i < copies; ++i) args << path("long.flac");
    p.setProgram(QStringLiteral(CORVANE_BINARY));
    p.setArguments(args);
    // Run from a script's background job, we may have been started with SIGINT ignored, and
    // the join would keep that: it gets the signals' default actions, as from a terminal.
    p.setChildProcessModifier([] {
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
    });
    p.start();
    return p.waitForStarted();
}

void CliTest::initTestCase() {
    QVERIFY(dir_.isValid());
    EncodeOptions s;
    s.frames = 66150;  // 1.5 s
    QVERIFY(encodeFile(path("a.wav"), s, sine(300)).isEmpty());
    s.encoder = "libmp3lame";
    s.frames = 44100;
    s.metadata = {{"title", "Bé Title"}, {"artist", "Bé Artist"}};
    QVERIFY(encodeFile(path("b.mp3"), s, sine(500)).isEmpty());
    s.metadata.clear();
    // Long enough to be interrupted: 60 s at 96 kHz, resampled on the way.
    s.encoder = "flac";
    s.sampleRate = 96000;
    s.frames = 96000 * 60;
    QVERIFY(encodeFile(path("long.flac"), s, sine(440)).isEmpty());
    QVERIFY(writeBytes(path("junk.mp3"), std::vector<unsigned char>(3000, 'x')));
}

void CliTest::badUsageExitsTwo_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no files") << QStringList{"join"};
    QTest::newRow("bad rate") << QStringList{"join", "-r", "47999", "a.wav"};
    QTest::newRow("bad channels") << QStringList{"join", "-c", "6", "a.wav"};
    QTest::newRow("bad bits") << QStringList{"join", "-b", "20", "a.wav"};
    QTest::newRow("integer 32 bits") << QStringList{"join", "-b", "32", "a.wav"};
    QTest::newRow("same in capitals") << QStringList{"join", "-r", "SAME", "a.wav"};
    QTest::newRow("unknown option") << QStringList{"join", "--fast", "a.wav"};
    QTest::newRow("missing value") << QStringList{"join", "a.wav", "-o"};
    QTest::newRow("cue without file") << QStringList{"join", "a.wav", "--cue"};
    QTest::newRow("labels empty") << QStringList{"join", "--labels", "", "a.wav"};
    QTest::newRow("standard input twice") << QStringList{"join", "-", "a.wav", "-"};
    QTest::newRow("gap too short") << QStringList{"join", "--gap", "0.05", "a.wav"};
    QTest::newRow("crossfade too long") << QStringList{"join", "--crossfade", "31", "a.wav"};
    QTest::newRow("gap not a number") << QStringList{"join", "--gap", "2s", "a.wav"};
    QTest::newRow("gap and crossfade") << QStringList{"join", "--gap", "1", "--crossfade", "1", "a.wav"};
    QTest::newRow("unknown curve") << QStringList{"join", "--crossfade", "1", "--crossfade-curve", "cubic", "a.wav"};
    QTest::newRow("curve without crossfade") << QStringList{"join", "--crossfade-curve", "linear", "a.wav"};
    QTest::newRow("probe nothing") << QStringList{"probe"};
    QTest::newRow("probe, options only") << QStringList{"probe", "--"};
    QTest::newRow("probe unknown option") << QStringList{"probe", "--fast", "a.wav"};
    QTest::newRow("target not offered") << QStringList{"join", "--loudness", "-15", "a.wav"};
    QTest::newRow("both loudness modes") << QStringList{"join", "--loudness", "-16", "--album-loudness", "-16", "a.wav"};
    QTest::newRow("true peak above 0") << QStringList{"join", "--true-peak", "1", "a.wav"};
}

void CliTest::badUsageExitsTwo() {
    QFETCH(QStringList, args);
    const Run r = run(args);
    QCOMPARE(r.status, 2);
    QVERIFY(r.err.contains(QStringLiteral("Usage:")));
}

void CliTest::joinWritesAndSaysDone() {
    const QString out = path("joined.wav");
    const Run r =
        run({"join", "-o", out, "-r", "22050", "-c", "1", "-b", "8", path("a.wav"), path("b.mp3")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out.trimmed(), QStringLiteral("Done. Output File: ") + out);
    const WavFile w = readWav(out);
    QVERIFY(w.ok);
    QCOMPARE(w.sampleRate, 22050);
    QCOMPARE(w.channels, 1);
    QCOMPARE(w.bits, 8);
    QCOMPARE(w.frames(), 22050LL * 5 / 2);
    // Marked by default: one cue point per file.
    QCOMPARE(w.cues.size(), std::size_t(2));
    QCOMPARE(w.cues[1].sampleOffset, 33075u);
    QCOMPARE(w.labels.at(2), std::string("Bé Title"));

    // The cue sheet on standard output (the closing line moves aside), labels into a file.
    const QString labels = path("joined.txt");
    const Run c = run({"join", "-y", "--no-markers", "--cue", "-", "--labels", labels, "-o", out,
                       path("a.wav"), path("b.mp3")});
    QCOMPARE(c.status, 0);
    QCOMPARE(c.out,
             QStringLiteral("FILE \"joined.wav\" WAVE\n"
                            "  TRACK 01 AUDIO\n    TITLE \"a\"\n    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n    TITLE \"Bé Title\"\n    PERFORMER \"Bé "
                            "Artist\"\n    INDEX 01 00:01:38\n")
                 .replace(QStringLiteral("joined.wav"), QDir::current().relativeFilePath(out)));
    QVERIFY(c.err.contains(QStringLiteral("Done. Output File: ") + out));
    QVERIFY(readWav(out).ok);
    QVERIFY(readWav(out).cues.empty());
    QFile f(labels);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()),
             QStringLiteral("0.000000\t1.500000\ta\n1.500000\t2.500000\tBé Title\n"));

    // Half a second of silence between the files; then a crossfade too long for the second
    // file (1 s), shortened to half of it with a word on standard error.
    Run g = run({"join", "-y", "--gap", "0.5", "-o", out, path("a.wav"), path("b.mp3")});
    QCOMPARE(g.status, 0);
    QCOMPARE(readWav(out).frames(), 66150LL + 22050 + 44100);
    QCOMPARE(readWav(out).cues[1].sampleOffset, 88200u);
    Run x = run({"join", "-y", "--crossfade", "3", "--crossfade-curve", "linear", "--labels", labels, "-o", out,
                 path("a.wav"), path("b.mp3")});
    QCOMPARE(x.status, 0);
    QVERIFY2(x.err.contains(QStringLiteral("The crossfade between %1 and %2 is shortened to 0.500 s")
                                .arg(path("a.wav"), path("b.mp3"))),
             qPrintable(x.err));
    QCOMPARE(readWav(out).frames(), 66150LL + 44100 - 22050);
    f.close();
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()),
             QStringLiteral("0.000000\t1.500000\ta\n1.000000\t2.000000\tBé Title\n"));
}

namespace {

// What ffprobe, a reader that is not ours, sees: "sample_fmt rate channels bits frames".
QString ffprobeView(const QString& file) {
    QProcess p;
    p.start(QStringLiteral("ffprobe"),
            {"-v", "error", "-select_streams", "a:0", "-show_entries",
             "stream=sample_rate,channels,sample_fmt,bits_per_sample,duration_ts", "-of",
             "default=nw=1:nk=1", file});
    if (!p.waitForFinished(60000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

// A copy of a WAV file with a `bext` chunk before its data.
bool withBroadcastExtension(const QString& from, const QString& to, const corvane::media::BroadcastExtension& b) {
    std::vector<unsigned char> bytes = readBytes(from);
    for (std::size_t pos = 12; pos + 8 <= bytes.size();) {
        const unsigned size = bytes[pos + 4] | (bytes[pos + 5] << 8) | (bytes[pos + 6] << 16) | (unsigned(bytes[pos + 7]) << 24);
        if (std::memcmp(&bytes[pos], "data", 4) == 0) {
            const std::vector<std::uint8_t> chunk = b.toChunk();
            bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(pos), chunk.begin(), chunk.end());
            const auto riff = static_cast<unsigned>(bytes.size() - 8);
            for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<unsigned char>(riff >> (8 * i));
            return writeBytes(to, bytes);
        }
        pos += 8 + size + (size & 1);
    }
    return false;
}

}  // namespace

void CliTest::formatsBeyondTheSixteen_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("subFormat");  // 0: the classic header
    QTest::addColumn<unsigned>("mask");
    QTest::addColumn<QString>("ffprobe");  // rate channels sample_fmt bits frames
    const QStringList same{"-r", "same", "-c", "same", "-b", "same"};
    QTest::newRow("48 kHz 24-bit WAVs, all same: their samples")
        << QStringList{"rec1.wav", "rec2.wav"} << same << 48000 << 2 << 24 << 1 << 0x3u
        << "s32 48000 2 24 120000";
    QTest::newRow("96 kHz 24-bit FLAC, rate and bits same: its decode")
        << QStringList{"hires.flac"} << QStringList{"-r", "same", "-b", "same"} << 96000 << 2 << 24 << 1
        << 0x3u << "s32 96000 2 24 96000";
    QTest::newRow("5.1 FLAC and a mono file, channels same")
        << QStringList{"surround.flac", "mono.wav"} << QStringList{"-c", "same"} << 44100 << 6 << 16 << 1
        << 0x3Fu << "s16 44100 6 16 66150";
    QTest::newRow("32-bit float") << QStringList{"a.wav"} << QStringList{"-b", "32f", "-r", "48000"} << 48000
                                  << 2 << 32 << 3 << 0x3u << "flt 48000 2 32 72000";
    QTest::newRow("bext kept, time reference at the new rate")
        << QStringList{"stamped.wav", "rec2.wav"} << QStringList{"-r", "96000", "-b", "24"} << 96000 << 2
        << 24 << 1 << 0x3u << "s32 96000 2 24 240000";
    QTest::newRow("sixteen formats keep the classic header")
        << QStringList{"rec1.wav", "mono.wav"} << QStringList{"-r", "8000", "-c", "1", "-b", "8"} << 8000 << 1
        << 8 << 0 << 0u << "u8 8000 1 8 12000";
}

void CliTest::formatsBeyondTheSixteen() {
    QFETCH(QStringList, files);
    QFETCH(QStringList, options);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, bits);
    QFETCH(int, subFormat);
    QFETCH(unsigned, mask);
    QFETCH(QString, ffprobe);
    corvane::media::BroadcastExtension stamp;
    stamp.description = "take 3";
    stamp.originator = "field recorder";
    stamp.originationDate = "2026-05-01";
    stamp.originationTime = "06:30:00";
    stamp.timeReference = 48000ull * 23400;  // 06:30 at 48 kHz
    if (!QFile::exists(path("rec1.wav"))) {
        EncodeOptions o;
        o.encoder = "pcm_s24le";
        o.sampleRate = 48000;
        o.frames = 48000;
        QVERIFY(encodeFile(path("rec1.wav"), o, sine(1000, 0.9)).isEmpty());
        o.frames = 72000;
        QVERIFY(encodeFile(path("rec2.wav"), o, sine(317, 0.7)).isEmpty());
        QVERIFY(withBroadcastExtension(path("rec1.wav"), path("stamped.wav"), stamp));
        o.encoder = "flac";
        o.sampleFormat = "s32";
        o.bitsPerRawSample = 24;
        o.sampleRate = 96000;
        o.frames = 96000;
        QVERIFY(encodeFile(path("hires.flac"), o, sine(12345, 0.99)).isEmpty());
        o = EncodeOptions{};
        o.encoder = "flac";
        o.channels = 6;
        o.channelMask = 0x3F;
        QVERIFY(encodeFile(path("surround.flac"), o, sine(220)).isEmpty());
        o = EncodeOptions{};
        o.channels = 1;
        o.frames = 22050;
        QVERIFY(encodeFile(path("mono.wav"), o, sine(880)).isEmpty());
    }
    const QString out = path("formats.wav");
    QStringList args{"join", "-y", "-o", out};
    args << options;
    for (const QString& f : files) args << path(f.toUtf8().constData());
    const Run r = run(args);
    QCOMPARE(r.status, 0);
    const WavFile w = readWav(out);
    QVERIFY2(w.ok, qPrintable(w.error));
    QCOMPARE(w.sampleRate, rate);
    QCOMPARE(w.channels, channels);
    QCOMPARE(w.bits, bits);
    QCOMPARE(w.blockAlign, channels * bits / 8);
    QCOMPARE(w.formatTag, subFormat ? 0xFFFE : 1);
    if (subFormat) {
        QCOMPARE(w.subFormat, subFormat);
        QCOMPARE(w.channelMask, mask);
    } else {
        QCOMPARE(w.dataOffset, 44ull);
    }
    // Float files say how many frames they hold; integer files need not.
    QCOMPARE(w.factFrames, subFormat == 3 ? w.frames() : -1);
    QCOMPARE(ffprobeView(out), ffprobe);

    const QString name = QTest::currentDataTag();
    if (name.startsWith(QLatin1String("48 kHz"))) {
        // Bit for bit the two files' data chunks, one after the other.
        const std::vector<unsigned char> joined = readWav(path("rec1.wav")).data;
        std::vector<unsigned char> expected = joined;
        const std::vector<unsigned char> second = readWav(path("rec2.wav")).data;
        expected.insert(expected.end(), second.begin(), second.end());
        QVERIFY(w.data == expected);
    } else if (name.startsWith(QLatin1String("96 kHz"))) {
        const Decoded d = decodeFile(path("hires.flac"));
        QCOMPARE(static_cast<long long>(d.samples.size()), w.frames() * 2);
        for (std::size_t i = 0; i < d.samples.size(); ++i)
            if (std::lround(double(d.samples[i]) * 8388608.0) != std::lround(w.sample(static_cast<long long>(i / 2), int(i % 2)) * 8388608.0))
                QFAIL(qPrintable(QStringLiteral("sample %1 differs").arg(i)));
    } else if (name.startsWith(QLatin1String("5.1"))) {
        // The mono file plays from every front speaker, at its own level, and nowhere else.
        const long long at = 44100 + 1000;
        const double m = w.sample(at, 0);
        QVERIFY(std::abs(m) > 0.01);
        QCOMPARE(w.sample(at, 1), m);
        QCOMPARE(w.sample(at, 2), m);
        for (int c = 3; c < 6; ++c) QCOMPARE(w.sample(at, c), 0.0);
    } else if (name.startsWith(QLatin1String("32-bit"))) {
        // 16-bit samples survive float exactly, whatever else the rate change did.
        QVERIFY(std::abs(w.sample(1000, 0)) > 0.01);
    } else if (name.startsWith(QLatin1String("bext"))) {
        const auto b = corvane::media::readBroadcastExtension(std::span<const std::uint8_t>(readBytes(out)));
        QVERIFY(b.has_value());
        QCOMPARE(b->description, stamp.description);
        QCOMPARE(b->originator, stamp.originator);
        QCOMPARE(b->originationDate, stamp.originationDate);
        QCOMPARE(b->originationTime, stamp.originationTime);
        QCOMPARE(b->timeReference, 96000ull * 23400);
    }
    if (!name.startsWith(QLatin1String("bext")))
        QVERIFY(!corvane::media::readBroadcastExtension(std::span<const std::uint8_t>(readBytes(out))));
}

void CliTest::existingOutputNeedsYes() {
    const QString out = path("exists.wav");
    QVERIFY(writeBytes(out, {'o', 'l', 'd'}));
    Run r = run({"join", "-o", out, path("a.wav")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(out + QStringLiteral(" exists. Do you want to replace it?")));
    QCOMPARE(readBytes(out), (std::vector<unsigned char>{'o', 'l', 'd'}));
    r = run({"join", "-y", "-o", out, path("a.wav")});
    QCOMPARE(r.status, 0);
    QCOMPARE(readWav(out).frames(), 66150LL);
}

void CliTest::filesFromStandardInputAndPlaylists() {
    const QString out = path("listed.wav");
    const QByteArray a = path("a.wav").toUtf8(), b = path("b.mp3").toUtf8();
    // One per line (blank lines and Windows line ends too), or NUL-separated as find -print0
    // writes them; "-" takes its place among the other files.
    Run r = run({"join", "-y", "-o", out, "-", path("a.wav")}, 60000, b + "\r\n\n" + a + "\n");
    QCOMPARE(r.status, 0);
    WavFile w = readWav(out);
    QCOMPARE(w.frames(), 44100LL + 66150 + 66150);
    QCOMPARE(w.labels.at(1), std::string("Bé Title"));
    r = run({"join", "-y", "-0", "-o", out}, 60000, a + '\0' + b + '\0');
    QCOMPARE(r.status, 0);
    w = readWav(out);
    QCOMPARE(w.frames(), 66150LL + 44100);
    QCOMPARE(w.cues[1].sampleOffset, 66150u);
    r = run({"join", "-y", "-o", out, "-"});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains("Standard input lists no files."));

    // A playlist: its entries against its own folder, in its order.
    QVERIFY(QDir(dir_.path()).mkpath("lists"));
    QFile list(path("lists/two.m3u8"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("#EXTM3U\n#EXTINF:1,B\n../b.mp3\n#EXTINF:1,A\n" + a + "\n");
    list.close();
    r = run({"join", "-y", "-o", out, path("lists/two.m3u8")});
    QCOMPARE(r.status, 0);
    QCOMPARE(readWav(out).cues[1].sampleOffset, 44100u);
    // A missing entry is named and nothing is joined.
    QVERIFY(QFile::remove(out));
    QVERIFY(list.open(QIODevice::Append));
    list.write("gone.flac\n");
    list.close();
    r = run({"join", "-y", "-o", out, path("lists/two.m3u8")});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(path("lists/gone.flac")), qPrintable(r.err));
    QVERIFY(r.err.contains("nothing was joined"));
    QVERIFY(!QFile::exists(out));
}

void CliTest::undecodableInputStopsBeforeWriting() {
    const QString out = path("never.wav");
    const Run r = run({"join", "-o", out, path("a.wav"), path("junk.mp3"), path("b.mp3")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(
        QStringLiteral(
            "Cannot open %1. You need to install appropriate decoders.\nOr the file is corrupt.")
            .arg(path("junk.mp3"))));
    QVERIFY(r.err.contains(QStringLiteral("Can not get the duration of %1").arg(path("junk.mp3"))));
    QVERIFY(!QFile::exists(out));
    // One file alone gets the single-file wording.
    const Run one = run({"join", "-o", out, path("junk.mp3")});
    QCOMPARE(one.status, 1);
    QVERIFY(one.err.contains(QStringLiteral("Can not get the duration of the clip!")));
    QVERIFY(!QFile::exists(out));

    // An output in a folder that does not exist: refused before the join, with what to do.
    const QString nowhere = path("no-folder/out.wav");
    const Run run2 = run({"join", "-o", nowhere, path("a.wav")});
    QCOMPARE(run2.status, 1);
    QVERIFY2(run2.err.contains(QStringLiteral("Cannot write %1: the folder %2 does not exist. "
                                              "Choose another folder for the output file.")
                                   .arg(nowhere, path("no-folder"))),
             qPrintable(run2.err));
    QVERIFY(!run2.err.contains(QStringLiteral("pControl")));

    // A German desktop's terminal: the commands and the decoders' causes stay English.
    const QByteArray lang = qgetenv("LANG"), all = qgetenv("LC_ALL");
    qputenv("LANG", "de_DE.UTF-8");
    qputenv("LC_ALL", "de_DE.UTF-8");
    const Run german = run({"join", "-o", out, path("a.wav"), path("junk.mp3")});
    const Run probed = run({"probe", path("junk.mp3")});
    for (const auto& [name, value] : {std::pair{"LANG", lang}, std::pair{"LC_ALL", all}})
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    QCOMPARE(german.status, 1);
    QCOMPARE(probed.status, 1);
    for (const QString& err : {german.err, probed.err})
        QVERIFY2(err.contains(QStringLiteral("Can not get the duration of %1").arg(path("junk.mp3"))) &&
                     err.contains(QStringLiteral("\nInvalid data found when processing input")),
                 qPrintable(err));
}

void CliTest::probePrintsNameSecondsAndDuration() {
    Run r = run({"probe", path("a.wav"), path("b.mp3")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("a.wav\t1\t15000000\ta\nb.mp3\t1\t10000000\tBé Title\n"));
    r = run({"probe", path("a.wav"), path("junk.mp3")});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.out, QStringLiteral("a.wav\t1\t15000000\ta\n"));
    QVERIFY(r.err.contains(QStringLiteral("Can not get the duration of %1").arg(path("junk.mp3"))));

    // Names holding arg() markers come out as they are; after "--" a name may start with '-'.
    QVERIFY(QFile::copy(path("a.wav"), path("-100%1 %2.wav")));
    r = run({"probe", "--", path("-100%1 %2.wav")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("-100%1 %2.wav\t1\t15000000\t-100%1 %2\n"));
    r = run({"probe", "--help"});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.startsWith(QStringLiteral("Usage:")));

    // A mistyped name says so, on the line after the message, and blames no decoder.
    r = run({"probe", path("%1-typo.wav")});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(QStringLiteral("Cannot open %1.\nNo such file or directory\n")
                                .arg(path("%1-typo.wav"))),
             qPrintable(r.err));
    QVERIFY(!r.err.contains(QStringLiteral("decoders")));

    // Names that would split a record or reach the terminal as control codes are quoted as
    // ls quotes them; bytes that are not UTF-8 in octal.
    const QByteArray odd = QFile::encodeName(path("odd"));
    QVERIFY(QDir().mkpath(path("odd")));
    const QByteArray source = QFile::encodeName(path("a.wav"));
    for (const char* name : {"1 tab\there.wav", "2 new\nline.wav", "3 esc\x1b[31m.wav",
                             "4 bad\xff.wav", "5 it's plain.wav"})
        QCOMPARE(::link(source.constData(), (odd + '/' + name).constData()), 0);
    QProcess sh;
    sh.start(QStringLiteral("/bin/sh"),
             {"-c", "exec \"$0\" probe \"$1\"/*", QStringLiteral(CORVANE_BINARY), path("odd")});
    QVERIFY(sh.waitForFinished(30000));
    QCOMPARE(sh.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(sh.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QStringList names;
    for (const QString& line : lines) names << line.section('\t', 0, 0);
    QCOMPARE(names, (QStringList{"$'1 tab\\there.wav'", "$'2 new\\nline.wav'",
                                 "$'3 esc\\033[31m.wav'", "$'4 bad\\377.wav'",
                                 "5 it's plain.wav"}));
    for (const QString& line : lines) QCOMPARE(line.count('\t'), 3);

    // For scripts: one JSON object per line and file, the failures included.
    r = run({"probe", "--json", path("a.wav"), path("b.mp3"), path("junk.mp3")});
    QCOMPARE(r.status, 1);
    const QStringList objects = r.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(objects.size(), 3);
    QJsonParseError error{};
    const QJsonObject a = QJsonDocument::fromJson(objects[0].toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(a.value("path").toString(), path("a.wav"));
    QCOMPARE(a.value("seconds").toInteger(), 1);
    QCOMPARE(a.value("duration").toInteger(), 15000000);
    QCOMPARE(a.value("samples").toInteger(), 66150);
    QCOMPARE(a.value("rate").toInteger(), 44100);
    QCOMPARE(a.value("channels").toInteger(), 2);
    QCOMPARE(a.value("codec").toString(), QStringLiteral("pcm_s16le"));
    QVERIFY(a.value("title").isNull() && a.value("artist").isNull());
    const QJsonObject b = QJsonDocument::fromJson(objects[1].toUtf8()).object();
    QCOMPARE(b.value("codec").toString(), QStringLiteral("mp3"));
    QCOMPARE(b.value("title").toString(), QStringLiteral("Bé Title"));
    QCOMPARE(b.value("artist").toString(), QStringLiteral("Bé Artist"));
    const QJsonObject junk = QJsonDocument::fromJson(objects[2].toUtf8()).object();
    QCOMPARE(junk.value("path").toString(), path("junk.mp3"));
    QVERIFY(!junk.value("error").toString().isEmpty());
    QVERIFY(!junk.contains("duration"));
    sh.start(QStringLiteral("/bin/sh"), {"-c", "exec \"$0\" probe --json \"$1\"/2* \"$1\"/4*",
                                         QStringLiteral(CORVANE_BINARY), path("odd")});
    QVERIFY(sh.waitForFinished(30000));
    const QStringList quoted =
        QString::fromUtf8(sh.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(quoted.size(), 2);
    QVERIFY2(quoted[0].contains(QStringLiteral("new\\nline.wav\"")), qPrintable(quoted[0]));
    QVERIFY2(quoted[1].contains(QStringLiteral("bad\\udcff.wav\"")), qPrintable(quoted[1]));
}

void CliTest::interruptKeepsAValidFile_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("stalled");
    QTest::newRow("SIGINT") << int(SIGINT) << 130 << false;
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << 129 << false;
    // Every decoder stopped (as by a stalled network read): the signal still ends the join.
    QTest::newRow("SIGTERM during a stall") << int(SIGTERM) << 143 << true;
    QTest::newRow("SIGINT during a stall") << int(SIGINT) << 130 << true;
}

namespace {

// The decoder workers below `root`: processes named corvane-decode among its descendants.
QList<pid_t> decoderWorkersOf(pid_t root) {
    QMap<pid_t, pid_t> parent;
    QMap<pid_t, QByteArray> name;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric) continue;
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QByteArray stat = f.readAll();
        const qsizetype open = stat.indexOf('('), close = stat.lastIndexOf(')');
        if (open < 0 || close < 0) continue;
        name[pid] = stat.mid(open + 1, close - open - 1);
        parent[pid] = stat.mid(close + 2).split(' ').value(1).toInt();
    }
    QList<pid_t> found;
    for (auto it = parent.cbegin(); it != parent.cend(); ++it) {
        if (name.value(it.key()) != "corvane-decode") continue;
        for (pid_t up = it.value(); up > 1; up = parent.value(up, 0))
            if (up == root) {
                found << it.key();
                break;
            }
    }
    return found;
}

}  // namespace

void CliTest::interruptKeepsAValidFile() {
    QFETCH(int, signal);
    QFETCH(int, status);
    QFETCH(bool, stalled);
    const QString out = path("interrupted.wav");
    QVERIFY(writeBytes(out, {'o', 'l', 'd'}));
    QProcess p;
    QVERIFY(startLongJoin(p, out, 30));
    // The join writes beside the output until it ends.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out + ".part").size() > 1'000'000, 30000);
    QCOMPARE(readBytes(out), (std::vector<unsigned char>{'o', 'l', 'd'}));
    // A second join onto the same file is refused while this one writes.
    const Run second = run({"join", "-y", "-o", out, path("a.wav")});
    QCOMPARE(second.status, 1);
    QVERIFY2(second.err.contains(QStringLiteral("Another join is writing")),
             qPrintable(second.err));
    // Nor may its locked part file be written over, named as the output itself.
    const Run onPart = run({"join", "-y", "-o", out + ".part", path("a.wav")});
    QCOMPARE(onPart.status, 1);
    QVERIFY2(onPart.err.contains(QStringLiteral("Another join is writing")), qPrintable(onPart.err));
    if (stalled) {
        const QList<pid_t> workers = decoderWorkersOf(static_cast<pid_t>(p.processId()));
        QVERIFY(!workers.isEmpty());
        for (pid_t w : workers) ::kill(w, SIGSTOP);
        QTest::qWait(300);
    }
    ::kill(static_cast<pid_t>(p.processId()), signal);
    // Nothing waits on a decoder that does not answer: the join ends at once (allowing for a
    // loaded machine), not when the decoder would have gone on.
    QVERIFY(p.waitForFinished(stalled ? 5000 : 30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    QVERIFY(
        QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("Interrupted.")));
    QVERIFY(!QFile::exists(out + ".part"));
    const WavFile w = readWav(out);
    QVERIFY2(w.ok, qPrintable(w.error));
    QCOMPARE(w.riffSize, w.fileSize - 8);
    QVERIFY(w.frames() > 0);
    QVERIFY(w.frames() < 30LL * 60 * 44100);
    QCOMPARE(decodeFile(out).frames(), w.frames());
}

void CliTest::ignoredSignalsStayIgnored() {
    // Started as nohup and a script's background job start it: SIGHUP and SIGINT ignored.
    const QString out = path("nohup.wav");
    QFile::remove(out);
    QProcess p;
    QStringList args{"-c", "trap '' HUP INT; exec \"$0\" join -o \"$1\" \"$2\" \"$2\" \"$2\" \"$2\"",
                     QStringLiteral(CORVANE_BINARY), out, path("long.flac")};
    p.start(QStringLiteral("/bin/sh"), args);
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out + ".part").size() > 1'000'000, 30000);
    ::kill(static_cast<pid_t>(p.processId()), SIGHUP);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(QString::fromLocal8Bit(p.readAllStandardOutput()).startsWith("Done."));
    QCOMPARE(readWav(out).frames(), 4LL * 60 * 44100);
}

void CliTest::windowWithAMessageBoxEndsOnSignal() {
    // The window shows "Cannot open …" for a missing file; SIGTERM must still end it.
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", path("home"));
    env.insert("XDG_CONFIG_HOME", path("home/.config"));
    QVERIFY(QDir().mkpath(path("home/.config")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(CORVANE_BINARY), {path("missing.wav")});
    QVERIFY(p.waitForStarted());
    QVERIFY(!p.waitForFinished(5000));  // the window and its message box are up
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 128 + SIGTERM);
}

void CliTest::ownStreamsAreNeverTheOutput() {
    const QString f = path("redirected.txt");
    const std::vector<unsigned char> inputA = readBytes(path("a.wav"));
    auto runTo = [&](const QStringList& args, bool toStdout) {
        QVERIFY(writeBytes(f, {'k', 'e', 'e', 'p'}));
        QProcess p;
        if (toStdout)
            p.setStandardOutputFile(f, QIODevice::Append);
        else
            p.setStandardErrorFile(f, QIODevice::Append);
        p.start(QStringLiteral(CORVANE_BINARY), args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 1);
        const std::vector<unsigned char> b = readBytes(f);
        QVERIFY(b.size() >= 4);
        QCOMPARE(std::vector<unsigned char>(b.begin(), b.begin() + 4),
                 (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
        QVERIFY(!readWav(f).ok);
    };
    runTo({"join", "-y", "-o", "/proc/self/fd/1", path("a.wav")}, true);
    runTo({"join", "-y", "-o", "/dev/fd/2", path("a.wav")}, false);
    runTo({"join", "-y", "-o", "/dev/stdout", path("a.wav")}, true);
    runTo({"join", "-y", "-o", f, path("a.wav")}, true);  // the same file by its own name
    runTo({"join", "-y", "-o", f, path("a.wav")}, false);
    QVERIFY(QFileInfo("/dev/stdout").isSymLink());
    // Started with stdout and stderr closed, the output is still only audio.
    const QString out = path("closed-streams.wav");
    QProcess sh;
    sh.start(QStringLiteral("/bin/sh"),
             {"-c", "exec >&- 2>&-; exec \"$0\" join -o \"$1\" \"$2\" \"$2\"",
              QStringLiteral(CORVANE_BINARY), out, path("a.wav")});
    QVERIFY(sh.waitForFinished(30000));
    QCOMPARE(sh.exitCode(), 0);
    const WavFile w = readWav(out);
    QVERIFY2(w.ok, qPrintable(w.error));
    QCOMPARE(w.riffSize, w.fileSize - 8);
    QCOMPARE(w.frames(), 2 * 66150LL);
    QCOMPARE(readBytes(path("a.wav")), inputA);
}

void CliTest::killedJoinLeavesAValidFile() {
    const QString out = path("killed.wav");
    QVERIFY(writeBytes(out, {'o', 'l', 'd'}));
    QProcess p;
    QVERIFY(startLongJoin(p, out, 150));
    // The header is brought up to date about once a second: kill after the first update.
    // Only the header is read while waiting: reading the growing file whole each time could
    // take longer than the join does.
    const auto headerCountsData = [&] {
        QFile part(out + ".part");
        if (!part.open(QIODevice::ReadOnly)) return false;
        const QByteArray head = part.read(4096);
        const qsizetype at = head.indexOf("data");
        if (at < 0 || at + 8 > head.size()) return false;
        const auto* d = reinterpret_cast<const unsigned char*>(head.constData() + at + 4);
        return (d[0] | d[1] << 8 | d[2] << 16 | unsigned(d[3]) << 24) != 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(headerCountsData(), 30000);
    QVERIFY2(p.state() == QProcess::Running, "the join ended before it could be killed");
    p.kill();
    p.waitForFinished(10000);
    QVERIFY(readBytes(out) == (std::vector<unsigned char>{'o', 'l', 'd'}));  // untouched
    const WavFile w = readWav(out + ".part");
    QVERIFY2(w.ok, qPrintable(w.error));
    QVERIFY(w.frames() > 0);
    QCOMPARE(w.dataSize % 4, 0ULL);
    QCOMPARE(decodeFile(out + ".part").frames(), w.frames());
    // Kept for the user: the next join says where it is instead of writing over it.
    const Run next = run({"join", "-y", "-o", out, path("a.wav")});
    QCOMPARE(next.status, 1);
    QVERIFY(next.err.contains(out + QStringLiteral(".part exists")));
    QVERIFY(readWav(out + ".part").ok);
}

void CliTest::stalledDecoderIsNamed() {
    // A decoder that stops making progress is ended after the stall limit and named; the
    // join fails with what was written, in place.
    const QString out = path("stalled.wav");
    QFile::remove(out);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CORVANE_STALL_SECONDS"), QStringLiteral("2"));
    p.setProcessEnvironment(env);
    QVERIFY(startLongJoin(p, out, 30));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out + ".part").size() > 1'000'000, 30000);
    for (pid_t w : decoderWorkersOf(static_cast<pid_t>(p.processId()))) ::kill(w, SIGSTOP);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(path("long.flac")) && err.contains(QStringLiteral("the decoder stopped responding")),
             qPrintable(err));
    const WavFile w = readWav(out);
    QVERIFY2(w.ok, qPrintable(w.error));
    QVERIFY(w.frames() > 0);
}

void CliTest::fewDescriptorsStillMeasureEveryFile() {
    // With a low limit of open files, descriptors handed to the decoders run out (an ordinary
    // user's are counted against that limit): fewer go at a time, none is lost, nothing hangs.
    QTemporaryDir shared(QStringLiteral("/tmp/corvane-fd-XXXXXX"));
    QVERIFY(shared.isValid());
    QFile::setPermissions(shared.path(), QFile::Permissions(0x7777));
    QStringList files;
    for (int i = 0; i < 64; ++i) {
        const QString f = shared.filePath(QStringLiteral("f%1.wav").arg(i, 2, 10, QLatin1Char('0')));
        QVERIFY(QFile::copy(path("a.wav"), f));
        QFile::setPermissions(f, QFile::Permissions(0x6666));
        files << f;
    }
    QStringList prefixes{QString()};
    // As root the kernel does not count descriptors in flight: try as nobody too, where the
    // program can be reached by that user.
    if (::geteuid() == 0 &&
        QProcess::execute(QStringLiteral("setpriv"), {"--reuid=65534", "--regid=65534", "--clear-groups", "test", "-x",
                                                      QStringLiteral(CORVANE_BINARY)}) == 0)
        prefixes << QStringLiteral("setpriv --reuid=65534 --regid=65534 --clear-groups ");
    for (const QString& prefix : prefixes) {
        QProcess p;
        const QString out = shared.filePath(prefix.isEmpty() ? QStringLiteral("out.wav") : QStringLiteral("nobody.wav"));
        const QStringList args =
            QStringList{"-c",
                        QStringLiteral("ulimit -n 24 && %1\"$0\" probe \"$@\" && %1\"$0\" join -y -o %2 \"$@\"")
                            .arg(prefix, out),
                        QStringLiteral(CORVANE_BINARY)} +
            files;
        p.start(QStringLiteral("bash"), args);
        QVERIFY(p.waitForFinished(120000));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(p.exitCode() == 0, qPrintable(prefix + err));
        // One line a file (name, seconds, length, title), then the join's closing line.
        const QStringList lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split(QLatin1Char('\n'));
        QCOMPARE(lines.filter(QStringLiteral("\t1\t15000000\t")).size(), 64);
        QCOMPARE(readWav(out).frames(), 64LL * 66150);
    }
}

void CliTest::fileShortenedDuringJoinIsNamed() {
    // The last file loses two thirds while the join runs: what it still holds is joined, and
    // the join names it and fails instead of saying "Done.".
    const QString cut = path("shrinking.flac");
    QFile::remove(cut);
    QVERIFY(QFile::copy(path("long.flac"), cut));
    const QString out = path("shrunk.wav");
    // Enough work before it (resampled to keep the output small) that the decoders reach it
    // well after the cut, however fast they run.
    QStringList args{"join", "-y", "-r", "8000", "-c", "1", "-b", "8", "-o", out};
    for (int i = 0; i < 40; ++i) args << path("long.flac");
    args << cut;
    QProcess p;
    p.setProgram(QStringLiteral(CORVANE_BINARY));
    p.setArguments(args);
    p.setReadChannel(QProcess::StandardError);
    p.start();
    QVERIFY(p.waitForStarted());
    // The first progress line comes after measuring, long before the last file is reached.
    QVERIFY(p.waitForReadyRead(30000));
    QVERIFY(QFile::resize(cut, QFileInfo(cut).size() / 3));
    QVERIFY(p.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(err.contains(cut + QStringLiteral(" decoded 4")) && err.contains(" s shorter than when it was added."),
             qPrintable(err));
    QVERIFY(!QString::fromLocal8Bit(p.readAllStandardOutput()).contains("Done. Output File"));
    const WavFile w = readWav(out);
    QVERIFY2(w.ok, qPrintable(w.error));
    QCOMPARE(w.riffSize, w.fileSize - 8);
    QVERIFY(w.frames() > 40LL * 60 * 8000 + 15 * 8000);
    QVERIFY(w.frames() < 40LL * 60 * 8000 + 25 * 8000);
}

void CliTest::windowWithoutDisplaySaysSo() {
    // The window needs a display; without one the program explains instead of aborting.
    auto runBare = [](const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(var);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(CORVANE_BINARY), args);
        p.waitForFinished(30000);
        return std::make_pair(p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError()));
    };
    auto [status, err] = runBare({path("a.wav")});
    QCOMPARE(status, 1);
    QVERIFY(err.contains(QStringLiteral("corvane join")));
    std::tie(status, err) = runBare({"--bogus"});
    QCOMPARE(status, 2);
    QVERIFY(err.contains(QStringLiteral("unknown option --bogus")));
}

CliTest cliTest;
CORVANE_TEST_MAIN(QCoreApplication, &cliTest)
#include "CliTest.moc"

namespace {

struct Reading {
    double integrated = qQNaN();
    double truePeak = qQNaN();
};

// FFmpeg's own ebur128 filter, an independent meter, on a stretch of a file (seconds).
Reading ffmpegReading(const QString& file, double from, double length) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {"-nostats", "-hide_banner", "-ss", QString::number(from, 'f', 6), "-t",
                                       QString::number(length, 'f', 6), "-i", file, "-af",
                                       "ebur128=peak=true:framelog=verbose", "-f", "null", "-"});
    p.waitForFinished(120000);
    const QString log = QString::fromUtf8(p.readAllStandardError());
    Reading r;
    const qsizetype summary = log.lastIndexOf(QStringLiteral("Summary:"));
    if (summary < 0) return r;
    const QString tail = log.mid(summary);
    const QRegularExpression i(QStringLiteral("I:\\s+(-?[0-9.]+|-inf) LUFS"));
    const QRegularExpression tp(QStringLiteral("Peak:\\s+(-?[0-9.]+|-inf) dBFS"));
    if (const auto m = i.match(tail); m.hasMatch()) r.integrated = m.captured(1).toDouble();
    if (const auto m = tp.match(tail); m.hasMatch()) r.truePeak = m.captured(1).toDouble();
    return r;
}

}  // namespace

void CliTest::matchedJoinReadsTheTarget_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("format");
    QTest::newRow("each file, -16") << "--loudness" << "-16" << QStringList{};
    QTest::newRow("each file, -23") << "--loudness" << "-23" << QStringList{};
    QTest::newRow("whole join, -18") << "--album-loudness" << "-18" << QStringList{};
    // The stereo files mixed to mono and the mono one on one speaker: each reads as it comes out.
    QTest::newRow("each file into mono, -16") << "--loudness" << "-16" << QStringList{"-c", "1"};
}

void CliTest::matchedJoinReadsTheTarget() {
    QFETCH(QString, mode);
    QFETCH(QString, target);
    QFETCH(QStringList, format);
    // Files far apart in level, rate and channels, one MP3; the last is quiet but full of peaks,
    // so the ceiling holds its gain down.
    struct Input {
        const char* name;
        EncodeOptions o;
        Signal s;
    };
    std::vector<Input> inputs(4);
    inputs[0] = {"loud.flac", {}, sine(1000, 0.9)};
    inputs[0].o.encoder = "flac";
    inputs[0].o.frames = 44100 * 6;
    inputs[1] = {"quiet.mp3", {}, sine(400, 0.05)};
    inputs[1].o.encoder = "libmp3lame";
    inputs[1].o.frames = 44100 * 5;
    inputs[2] = {"mono48k.wav", {}, sine(2500, 0.1)};
    inputs[2].o.sampleRate = 48000;
    inputs[2].o.channels = 1;
    inputs[2].o.frames = 48000 * 5;
    inputs[3] = {"peaky.wav", {}, [](int, long long n, int) { return n % 4410 == 0 ? 0.9 : 0.0; }};
    inputs[3].o.frames = 44100 * 5;
    QStringList args = QStringList{"join", "-y", "-o", path("matched.wav"), mode, target, "--true-peak", "-1"} + format;
    QStringList files;
    for (Input& in : inputs) {
        QVERIFY(encodeFile(path(in.name), in.o, in.s).isEmpty());
        files << path(in.name);
    }
    const Run r = run(args + files, 120000);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY(r.out.contains(QStringLiteral("Done.")));
    // The report on standard error names every file.
    for (const Input& in : inputs) QVERIFY2(r.err.contains(QString::fromLatin1(in.name)), qPrintable(r.err));
    const WavFile wav = readWav(path("matched.wav"));
    QVERIFY(wav.ok);
    QCOMPARE(int(wav.cues.size()), 4);  // markers as ever
    const double goal = target.toDouble();
    std::vector<Reading> readings;
    for (std::size_t k = 0; k < wav.cues.size(); ++k) {
        const double from = wav.cues[k].sampleOffset / 44100.0;
        const double to = k + 1 < wav.cues.size() ? wav.cues[k + 1].sampleOffset / 44100.0 : wav.frames() / 44100.0;
        readings.push_back(ffmpegReading(path("matched.wav"), from, to - from));
    }
    if (mode == QStringLiteral("--loudness")) {
        for (std::size_t k = 0; k < 3; ++k)
            QVERIFY2(std::abs(readings[k].integrated - goal) <= 0.5,
                     qPrintable(QStringLiteral("file %1 reads %2").arg(k).arg(readings[k].integrated)));
        // The peaky file stopped at the ceiling, short of the target.
        QVERIFY2(std::abs(readings[3].truePeak - -1.0) <= 0.1, qPrintable(QString::number(readings[3].truePeak)));
        QVERIFY(readings[3].integrated < goal - 0.5);
        QVERIFY(r.err.contains(QStringLiteral("limited by the true-peak ceiling")));
    } else {
        const Reading all = ffmpegReading(path("matched.wav"), 0, wav.frames() / 44100.0);
        // The loud file's peak holds the one gain below the target: then the ceiling is met.
        if (std::abs(all.integrated - goal) > 0.5)
            QVERIFY2(std::abs(all.truePeak - -1.0) <= 0.1, qPrintable(QString::number(all.truePeak)));
        // The files keep the differences they have in a plain join (where a mono file is heard
        // on both channels).
        const Run plain = run(QStringList{"join", "-y", "-o", path("plain.wav")} + files, 120000);
        QVERIFY2(plain.status == 0, qPrintable(plain.err));
        std::vector<Reading> before;
        for (std::size_t k = 0; k < wav.cues.size(); ++k) {
            const double from = wav.cues[k].sampleOffset / 44100.0;
            const double to = k + 1 < wav.cues.size() ? wav.cues[k + 1].sampleOffset / 44100.0 : wav.frames() / 44100.0;
            before.push_back(ffmpegReading(path("plain.wav"), from, to - from));
        }
        for (std::size_t k = 1; k < 4; ++k) {
            const double was = before[k].integrated - before[0].integrated;
            const double now = readings[k].integrated - readings[0].integrated;
            QVERIFY2(std::abs(now - was) <= 0.2, qPrintable(QStringLiteral("file %1: %2 vs %3").arg(k).arg(now).arg(was)));
        }
    }
    // With no room to keep the measured audio aside, each file is decoded again: the same bytes.
    const QByteArray tmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", path("no such folder").toLocal8Bit());
    const Run again = run(QStringList{"join", "-y", "-o", path("decoded-twice.wav"), mode, target, "--true-peak", "-1"} +
                              format + files,
                          120000);
    if (tmp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", tmp);
    QVERIFY2(again.status == 0, qPrintable(again.err));
    QFile a(path("matched.wav")), b(path("decoded-twice.wav"));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QVERIFY(a.readAll() == b.readAll());
}
