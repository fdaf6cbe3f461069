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
    void undecodableInputStopsBeforeWriting();
    void probePrintsNameSecondsAndDuration();
    void interruptKeepsAValidFile();
    void killedJoinLeavesAValidFile();
    void fileShortenedDuringJoinIsNamed();
    void windowWithoutDisplaySaysSo();

private:
    struct Run {
        int status = -1;
        QString out, err;
    };
    Run run(const QStringList& args, int timeoutMs = 60000);
    // Starts a join of `copies` times the 60-s file, long enough to be stopped midway.
    bool startLongJoin(QProcess& p, const QString& out, int copies);
    QString path(const char* name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

CliTest::Run CliTest::run(const QStringList& args, int timeoutMs) {
    QProcess p;
    p.setProgram(QStringLiteral(CORVANE_BINARY));
    p.setArguments(args);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
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
    QVERIFY(encodeFile(path("b.mp3"), s, sine(500)).isEmpty());
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
    QTest::newRow("probe nothing") << QStringList{"probe"};
}

void CliTest::badUsageExitsTwo() {
    QFETCH(QStringList, args);
    const Run r = run(args);
    QCOMPARE(r.status, 2);
    QVERIFY(r.err.contains(QStringLiteral("Usage:")));
}

void CliTest::joinWritesAndSaysDone() {
    const QString out = path("joined.wav");
    const Run r = run({"join", "-o", out, "-r", "22050", "-c", "1", "-b", "8", path("a.wav"), path("b.mp3")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out.trimmed(), QStringLiteral("Done. Output File: ") + out);
    const WavFile w = readWav(out);
    QVERIFY(w.ok);
    QCOMPARE(w.sampleRate, 22050);
    QCOMPARE(w.channels, 1);
    QCOMPARE(w.bits, 8);
    QCOMPARE(w.frames(), 22050LL * 5 / 2);
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

void CliTest::undecodableInputStopsBeforeWriting() {
    const QString out = path("never.wav");
    const Run r = run({"join", "-o", out, path("a.wav"), path("junk.mp3"), path("b.mp3")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(QStringLiteral("Cannot open %1. You need to install appropriate decoders.\nOr the file is corrupt.")
                               .arg(path("junk.mp3"))));
    QVERIFY(r.err.contains(QStringLiteral("Can not get the duration of %1").arg(path("junk.mp3"))));
    QVERIFY(!QFile::exists(out));
    // One file alone gets the single-file wording.
    const Run one = run({"join", "-o", out, path("junk.mp3")});
    QCOMPARE(one.status, 1);
    QVERIFY(one.err.contains(QStringLiteral("Can not get the duration of the clip!")));
    QVERIFY(!QFile::exists(out));
}

void CliTest::probePrintsNameSecondsAndDuration() {
    Run r = run({"probe", path("a.wav"), path("b.mp3")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("a.wav\t1\t15000000\nb.mp3\t1\t10000000\n"));
    r = run({"probe", path("a.wav"), path("junk.mp3")});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.out, QStringLiteral("a.wav\t1\t15000000\n"));
    QVERIFY(r.err.contains(QStringLiteral("Can not get the duration of %1").arg(path("junk.mp3"))));
}

void CliTest::interruptKeepsAValidFile() {
    const QString out = path("interrupted.wav");
    QProcess p;
    QVERIFY(startLongJoin(p, out, 30));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out).size() > 1'000'000, 30000);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 130);
    QVERIFY(QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("Interrupted.")));
    const WavFile w = readWav(out);
    QVERIFY2(w.ok, qPrintable(w.error));
    QCOMPARE(w.riffSize, w.fileSize - 8);
    QVERIFY(w.frames() > 0);
    QVERIFY(w.frames() < 30LL * 60 * 44100);
    QCOMPARE(decodeFile(out).frames(), w.frames());
}

void CliTest::killedJoinLeavesAValidFile() {
    const QString out = path("killed.wav");
    QProcess p;
    QVERIFY(startLongJoin(p, out, 150));
    // The header is brought up to date about once a second.
    QTest::qWait(2500);
    QVERIFY2(p.state() == QProcess::Running, "the join ended before it could be killed");
    p.kill();
    p.waitForFinished(10000);
    const WavFile w = readWav(out);
    QVERIFY2(w.ok, qPrintable(w.error));
    QVERIFY(w.frames() > 0);
    QCOMPARE(w.dataSize % 4, 0ULL);
    QCOMPARE(decodeFile(out).frames(), w.frames());
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

CORVANE_TEST_MAIN(QCoreApplication, new CliTest)
#include "CliTest.moc"
