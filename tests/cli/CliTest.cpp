#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/TestMain.h"
#include <csignal>

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
    void interruptKeepsAValidFile_data();
    void interruptKeepsAValidFile();
    void ownStreamsAreNeverTheOutput();
    void killedJoinLeavesAValidFile();
    void fileShortenedDuringJoinIsNamed();
    void windowWithoutDisplaySaysSo();

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
    QTest::newRow("bad rate") << QStringList{"join", "-r", "48000", "a.wav"};
    QTest::newRow("bad channels") << QStringList{"join", "-c", "6", "a.wav"};
    QTest::newRow("bad bits") << QStringList{"join", "-b", "24", "a.wav"};
    QTest::newRow("unknown option") << QStringList{"join", "--fast", "a.wav"};
    QTest::newRow("missing value") << QStringList{"join", "a.wav", "-o"};
    QTest::newRow("cue without file") << QStringList{"join", "a.wav", "--cue"};
    QTest::newRow("labels empty") << QStringList{"join", "--labels", "", "a.wav"};
    QTest::newRow("standard input twice") << QStringList{"join", "-", "a.wav", "-"};
    QTest::newRow("probe nothing") << QStringList{"probe"};
    QTest::newRow("probe, options only") << QStringList{"probe", "--"};
    QTest::newRow("probe unknown option") << QStringList{"probe", "--fast", "a.wav"};
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

    // An output that cannot be made: the cause first, then the step that failed.
    const QString nowhere = path("no-folder/out.wav");
    const Run run2 = run({"join", "-o", nowhere, path("a.wav")});
    QCOMPARE(run2.status, 1);
    const qsizetype cause = run2.err.indexOf(
        QStringLiteral("Cannot create %1: No such file or directory").arg(nowhere));
    const qsizetype step = run2.err.indexOf(QStringLiteral("can not pControl->Run()!!!"));
    QVERIFY2(cause >= 0 && step > cause, qPrintable(run2.err));
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

    // A mistyped name says so, on the line after the message.
    r = run({"probe", path("%1-typo.wav")});
    QCOMPARE(r.status, 1);
    QVERIFY(
        r.err.contains(QStringLiteral("Cannot open %1. You need to install appropriate decoders.\n"
                                      "Or the file is corrupt.\nNo such file or directory\n")
                           .arg(path("%1-typo.wav"))));
}

void CliTest::interruptKeepsAValidFile_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::newRow("SIGINT") << int(SIGINT) << 130;
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
    QTest::newRow("SIGHUP") << int(SIGHUP) << 129;
}

void CliTest::interruptKeepsAValidFile() {
    QFETCH(int, signal);
    QFETCH(int, status);
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
    ::kill(static_cast<pid_t>(p.processId()), signal);
    QVERIFY(p.waitForFinished(30000));
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
    QTRY_VERIFY_WITH_TIMEOUT(readWav(out + ".part").frames() > 0, 30000);
    QVERIFY2(p.state() == QProcess::Running, "the join ended before it could be killed");
    p.kill();
    p.waitForFinished(10000);
    QCOMPARE(readBytes(out), (std::vector<unsigned char>{'o', 'l', 'd'}));  // untouched
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

void CliTest::fileShortenedDuringJoinIsNamed() {
    // The last file loses two thirds while the join runs: what it still holds is joined, and
    // the join names it and fails instead of saying "Done.".
    const QString cut = path("shrinking.flac");
    QFile::remove(cut);
    QVERIFY(QFile::copy(path("long.flac"), cut));
    const QString out = path("shrunk.wav");
    QStringList args{"join", "-y", "-o", out};
    for (int i = 0; i < 12; ++i) args << path("long.flac");
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
    QVERIFY(w.frames() > 12LL * 60 * 44100 + 15 * 44100);
    QVERIFY(w.frames() < 12LL * 60 * 44100 + 25 * 44100);
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
