// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTest>
#include <atomic>
#include <thread>

#include "tests/support/TestMain.h"
#include <unistd.h>

#include "media/PathCodec.h"
#include "media/ErrorText.h"
#include "media/decoders/Probe.h"
#include "media/decoders/WorkerPool.h"
#include "media/graph/TimelineSourceFilter.h"
#include "tests/support/JoinRunner.h"

using namespace corvane;
using namespace corvane::media;
using namespace corvane::test;

namespace {
// Small enough that a decoder which keeps allocating reaches it in a moment.
constexpr std::uint64_t kTestBudget = 96ull << 20;
}

// Broken, odd and hostile inputs: each one gets its message or joins correctly; none
// crashes, hangs or leaves a broken WAV.
class HostileTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void brokenFilesOfEveryFormat_data();
    void brokenFilesOfEveryFormat();
    void notSoundAtAll_data();
    void notSoundAtAll();
    void headerClaimsMoreThanTheFileHolds();
    void rateChangesMidStream();
    void replacedBetweenAddAndJoin();
    void oddNamesJoin();
    void regressionsFromFuzzing();
    void outputFolderRemovedMidJoin();
    void thousandItemsJoinToTheEnd();
    void diskFullLeavesAValidFile_data();
    void diskFullLeavesAValidFile();
    void videoFileGivesItsAudio();
    void decoderFaultsAreContained_data();
    void decoderFaultsAreContained();
    void workerCannotOpenByPath();
    void workerMaySignalOnlyItself();
    void batchLosesOnlyTheFileItsWorkerDiedOn();
    void cancelStopsAProbeAtOnce();

private:
    // Adds and joins one file; true when it joined, false when it was refused with messages.
    bool addAndJoin(const QString& file, JoinRunner& j, const QString& out);
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
    QStringList formats_;
};

void HostileTest::decoderFaultsAreContained_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("whileJoining");
    QTest::addColumn<QString>("cause");
    const QString memory = QStringLiteral("it needs more memory than Corvane allows a decoder");
    QTest::newRow("crash measuring") << int(worker::TestFault::Abort) << false << "the decoder stopped (crashed)";
    QTest::newRow("memory measuring") << int(worker::TestFault::Balloon) << false << memory;
    QTest::newRow("hang measuring") << int(worker::TestFault::Spin) << false << "the decoder stopped responding";
    QTest::newRow("stopped measuring") << int(worker::TestFault::Freeze) << false << "the decoder stopped responding";
    QTest::newRow("killed measuring") << int(worker::TestFault::KillSelf) << false
                                      << "the decoder stopped (killed from outside)";
    QTest::newRow("crash joining") << int(worker::TestFault::Abort) << true << "the decoder stopped (crashed)";
    QTest::newRow("memory joining") << int(worker::TestFault::Balloon) << true
                                    << "the decoder stopped (out of memory)";
    QTest::newRow("stopped joining") << int(worker::TestFault::Freeze) << true << "the decoder stopped responding";
    QTest::newRow("killed joining") << int(worker::TestFault::KillSelf) << true
                                    << "the decoder stopped (killed from outside)";
}

void HostileTest::decoderFaultsAreContained() {
    // A decoder that crashes, balloons, stalls or is killed takes only its own file down,
    // named with the cause; the others are measured, and a join fails cleanly with a valid file.
    QFETCH(int, fault);
    QFETCH(bool, whileJoining);
    QFETCH(QString, cause);
#if defined(__SANITIZE_ADDRESS__)
    if (fault == int(worker::TestFault::Balloon)) QSKIP("the address sanitizer keeps no memory limit");
#endif
    const QString victim = path("victim.flac");
    QFile::remove(victim);
    QVERIFY(QFile::copy(path("flac.flac"), victim));
    // Long enough for a decoder busy on a loaded machine, short enough for a test.
    WorkerPool::setStallMillis(2000);
    WorkerPool::setMemoryBudget(kTestBudget);
    auto restore = qScopeGuard([] {
        WorkerPool::setTestFault(worker::TestFault::None);
        WorkerPool::setStallMillis(30'000);
        WorkerPool::setMemoryBudget(0);
    });
    JoinRunner j;
    if (!whileJoining) WorkerPool::setTestFault(worker::TestFault(fault), victim.toStdString());
    QCOMPARE(j.add({path("s16.wav"), victim, path("lame.mp3")}), whileJoining ? 3 : 2);
    if (!whileJoining) {
        QCOMPARE(j.items.itemCount(), 2);
        // The message names the file, and the cause follows on a line of its own.
        const QString shown = j.boxes.texts().value(0);
        QVERIFY2(shown.startsWith(kCannotOpenMessage.arg(victim) + QLatin1Char('\n')) &&
                     shown.contains(cause, Qt::CaseInsensitive),
                 qPrintable(shown));
        const auto r = FileAdder::probeAll({victim});
        QVERIFY2(r[0].detail.startsWith(cause), qPrintable(r[0].detail));
        return;
    }
    // Once the join is under way (after the first piece of the file's audio went out), while
    // the allowance for it was taken at its word: a decoder's memory runs out mid-file.
    WorkerPool::setTestFault(worker::TestFault(fault), victim.toStdString(), 20000);
    j.format.outputPath = path("faulty.wav");
    QFile::remove(j.format.outputPath);
    QVERIFY(j.join());
    QVERIFY(!j.finishedOk);
    QCOMPARE(j.boxes.shown.size(), qsizetype(1));
    const QString text = j.boxes.shown[0].text;
    QVERIFY2(text.contains(victim) && text.contains(cause), qPrintable(text));
    QVERIFY(readWav(j.format.outputPath).ok);
    // The pool recovers: the same files join once the fault is gone.
    WorkerPool::setTestFault(worker::TestFault::None);
    j.boxes.clear();
    QFile::remove(j.format.outputPath);
    QVERIFY(j.join());
    QVERIFY2(j.finishedOk, qPrintable(j.boxes.texts().join('\n')));
}

void HostileTest::workerMaySignalOnlyItself() {
    // A decoder taken over by its input may not signal the program (or anything else), nor
    // learn about files by their names.
    const QString file = path("s16.wav");
    WorkerPool::setTestFault(worker::TestFault::Escape, file.toStdString());
    const ProbeResult r = WorkerPool::probe(file.toStdString());
    WorkerPool::setTestFault(worker::TestFault::None);
    QVERIFY2(r.hr == S_OK, qPrintable(r.detail));
    QCOMPARE(r.detail, QStringLiteral("tgkill %1, kill %1, newfstatat %1").arg(QString::fromLocal8Bit(strerror(EPERM))));
}

void HostileTest::batchLosesOnlyTheFileItsWorkerDiedOn() {
    // Twelve files in one round trip to one worker; the worker dies on the fifth. Only that
    // file is lost; the ones it had not reached are measured by another.
    std::vector<std::string> files;
    for (int i = 0; i < 12; ++i) {
        const QString f = path(QStringLiteral("batch%1.wav").arg(i));
        QFile::remove(f);
        QVERIFY(QFile::copy(path("s16.wav"), f));
        files.push_back(f.toStdString());
    }
    WorkerPool::setTestFault(worker::TestFault::KillSelf, files[4]);
    const auto r = WorkerPool::probeMany(files);
    WorkerPool::setTestFault(worker::TestFault::None);
    for (int i = 0; i < 12; ++i) {
        if (i == 4)
            QCOMPARE(r[i].detail, QStringLiteral("the decoder stopped (killed from outside)"));
        else
            QVERIFY2(SUCCEEDED(r[i].hr), qPrintable(QString::number(i) + ": " + r[i].detail));
    }
}

void HostileTest::workerCannotOpenByPath() {
    // The file is handed over already open; by its name the worker cannot reach it.
    const QString file = path("s16.wav");
    WorkerPool::setTestFault(worker::TestFault::OpenByPath, file.toStdString());
    const ProbeResult r = WorkerPool::probe(file.toStdString());
    WorkerPool::setTestFault(worker::TestFault::None);
    QCOMPARE(r.hr, fromErrno(EPERM));
    QVERIFY(SUCCEEDED(WorkerPool::probe(file.toStdString()).hr));
}

void HostileTest::cancelStopsAProbeAtOnce() {
    // A hanging probe would be ended only after the stall limit; Cancel ends it at once.
    const QString file = path("s16.wav");
    WorkerPool::setTestFault(worker::TestFault::Spin, file.toStdString());
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel = true;
    });
    const auto r = FileAdder::probeAll({file}, {}, &cancel);
    canceller.join();
    WorkerPool::setTestFault(worker::TestFault::None);
    QCOMPARE(r[0].hr, E_ABORT);
}

void HostileTest::initTestCase() {
    QVERIFY(dir_.isValid());
    struct Kind {
        const char* name;
        const char* encoder;
        int rate, channels;
    } kinds[] = {{"s16.wav", "pcm_s16le", 44100, 2},   {"flac.flac", "flac", 48000, 2},
                 {"lame.mp3", "libmp3lame", 44100, 2}, {"vorbis.ogg", "libvorbis", 22050, 1},
                 {"opus.opus", "libopus", 48000, 2},   {"m4a.m4a", "aac", 44100, 2},
                 {"adts.aac", "aac", 32000, 1},        {"aiff.aiff", "pcm_s16be", 11025, 1}};
    for (const Kind& k : kinds) {
        EncodeOptions s;
        s.encoder = k.encoder;
        s.sampleRate = k.rate;
        s.channels = k.channels;
        s.frames = k.rate;  // one second
        QVERIFY(encodeFile(path(k.name), s, sine(440)).isEmpty());
        formats_ << k.name;
    }
}

bool HostileTest::addAndJoin(const QString& file, JoinRunner& j, const QString& out) {
    j.format.outputPath = out;
    QFile::remove(out);
    if (j.add({file}) == 0) return false;
    j.join(30000);
    return true;
}

void HostileTest::brokenFilesOfEveryFormat_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("damage");
    const QStringList damages{"cut in the header", "cut at a third", "cut at 99%", "bits flipped", "zeroed middle"};
    for (const QString& f : formats_)
        for (const QString& d : damages) QTest::addRow("%s %s", qPrintable(f), qPrintable(d)) << f << d;
}

void HostileTest::brokenFilesOfEveryFormat() {
    QFETCH(QString, format);
    QFETCH(QString, damage);
    std::vector<unsigned char> b = readBytes(path(format));
    if (damage == "cut in the header") b.resize(std::min<std::size_t>(b.size(), 24));
    if (damage == "cut at a third") b.resize(b.size() / 3);
    if (damage == "cut at 99%") b.resize(b.size() * 99 / 100);
    if (damage == "bits flipped")
        for (std::size_t i = 5; i < b.size(); i += 61) b[i] ^= static_cast<unsigned char>(0x10 << (i % 4));
    if (damage == "zeroed middle")
        std::fill(b.begin() + static_cast<std::ptrdiff_t>(b.size() / 3),
                  b.begin() + static_cast<std::ptrdiff_t>(b.size() * 2 / 3), 0);
    const QString broken = path(QStringLiteral("broken-") + format);
    QVERIFY(writeBytes(broken, b));
    JoinRunner j;
    const QString out = path("broken-out.wav");
    if (!addAndJoin(broken, j, out)) {
        // The message, the cause on a line of its own, then the duration message.
        QCOMPARE(j.boxes.texts().size(), qsizetype(2));
        QVERIFY(j.boxes.texts()[0].startsWith(kCannotOpenMessage.arg(broken) + QLatin1Char('\n')));
        QCOMPARE(j.boxes.texts()[1], QStringLiteral("Can not get the duration of the clip!"));
        QVERIFY(!QFile::exists(out));
        return;
    }
    QVERIFY(!j.job.joinRunning());
    const bool differed = !j.finishedOk && !j.view.statuses.isEmpty() &&
                          j.view.statuses.last().startsWith("Done, but files changed");
    if (j.finishedOk || differed) {
        // Joined: what decodes, in a valid file; as measured, or said where it is not.
        const WavFile w = readWav(out);
        QVERIFY2(w.ok, qPrintable(w.error));
        QCOMPARE(w.riffSize, w.fileSize - 8);
        const Decoded d = decodeFile(broken);
        QVERIFY(std::llabs(w.frames() - d.frames() * 44100 / std::max(1, d.sampleRate)) <= 2);
        if (j.finishedOk) {
            // A frame that does not decode may go unnoticed, two may not.
            const long long planned = TimelineSourceFilter::framesAt(j.job.totalDuration(), 44100);
            QVERIFY(std::llabs(w.frames() - planned) <= 2 + 4608LL * 44100 / std::max(1, d.sampleRate));
        } else {
            QCOMPARE(j.boxes.shown.size(), qsizetype(1));
            QVERIFY(j.boxes.shown[0].text.contains(broken + " decoded "));
        }
    } else {
        // A failure found while decoding is reported, never as done, and the file stays valid.
        QCOMPARE(j.boxes.shown.size(), qsizetype(1));
        QVERIFY(j.boxes.shown[0].text.contains(broken));
        for (const QString& s : j.view.statuses) QVERIFY(!s.startsWith("Done."));
        QVERIFY(readWav(out).ok);
    }
}

void HostileTest::notSoundAtAll_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addRow("empty") << QByteArray() << "empty.mp3";
    QTest::addRow("one byte") << QByteArray("\xff", 1) << "one.mp3";
    QTest::addRow("text") << QByteArray("Dear diary,\nno sound here.\n").repeated(100) << "diary.wav";
    QTest::addRow("png") << QByteArray::fromHex(
                                "89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                                "1f15c4890000000d49444154789c6360000002000154a24f5d0000000049454e44ae426082")
                         << "picture.flac";
    QTest::addRow("playlist") << QByteArray("#EXTM3U\n#EXTINF:1,\nhttp://127.0.0.1:1/x.mp3\n/etc/passwd\n")
                              << "list.m3u8";
    QTest::addRow("concat script") << QByteArray("ffconcat version 1.0\nfile '/etc/passwd'\n") << "list.ogg";
    QTest::addRow("riff without data") << QByteArray("RIFF\x04\x00\x00\x00WAVE", 12) << "nodata.wav";
    QTest::addRow("mp3 sync noise") << QByteArray("\xff\xfb\x90\x00", 4).repeated(500) << "sync.mp3";
}

void HostileTest::notSoundAtAll() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    const QString file = path(name);
    QVERIFY(writeBytes(file, std::vector<unsigned char>(bytes.begin(), bytes.end())));
    JoinRunner j;
    const QString out = path("notsound.wav");
    if (addAndJoin(file, j, out)) {
        // Whatever FFmpeg made of it, the join is exact and valid.
        QVERIFY(j.finishedOk || !j.boxes.shown.isEmpty());
        if (j.finishedOk) QVERIFY(readWav(out).ok);
        return;
    }
    QCOMPARE(j.boxes.texts().size(), qsizetype(2));
    // An empty file never reaches a decoder: no decoder is blamed for it.
    const QString opening = bytes.isEmpty() ? QStringLiteral("Cannot open %1.").arg(file)
                                            : kCannotOpenMessage.arg(file);
    QVERIFY2(j.boxes.texts()[0].startsWith(opening + QLatin1Char('\n')), qPrintable(j.boxes.texts()[0]));
    QCOMPARE(j.boxes.texts()[1], QStringLiteral("Can not get the duration of the clip!"));
}

void HostileTest::headerClaimsMoreThanTheFileHolds() {
    // A WAV declaring 10 s of data that holds one: it joins with what is there.
    std::vector<unsigned char> b = readBytes(path("s16.wav"));
    const WavFile w = readWav(path("s16.wav"));
    QVERIFY(w.ok);
    const unsigned claimed = 10 * 176400;
    for (int i = 0; i < 4; ++i) b[w.dataOffset - 4 + i] = static_cast<unsigned char>(claimed >> (8 * i));
    const QString liar = path("liar.wav");
    QVERIFY(writeBytes(liar, b));
    const ProbeResult r = probeFile(qstringToPath(liar));
    QVERIFY(SUCCEEDED(r.hr));
    QCOMPARE(r.duration, REFERENCE_TIME(10'000'000));
    JoinRunner j;
    QVERIFY(addAndJoin(liar, j, path("liar-out.wav")));
    QVERIFY(j.finishedOk);
    QCOMPARE(readWav(path("liar-out.wav")).frames(), 44100LL);
}

void HostileTest::rateChangesMidStream() {
    // Two MP3 streams of different rates and channel counts glued together, as concatenated
    // downloads are: the join keeps converting through the change.
    EncodeOptions a;
    a.encoder = "libmp3lame";
    a.frames = 44100;
    a.muxerOptions = {{"write_xing", "0"}, {"id3v2_version", "0"}};
    EncodeOptions b = a;
    b.sampleRate = 22050;
    b.channels = 1;
    b.frames = 22050;
    QVERIFY(encodeFile(path("rate1.mp3"), a, sine(440)).isEmpty());
    QVERIFY(encodeFile(path("rate2.mp3"), b, sine(880)).isEmpty());
    std::vector<unsigned char> glued = readBytes(path("rate1.mp3"));
    const std::vector<unsigned char> second = readBytes(path("rate2.mp3"));
    glued.insert(glued.end(), second.begin(), second.end());
    const QString file = path("glued.mp3");
    QVERIFY(writeBytes(file, glued));
    JoinRunner j;
    QVERIFY(addAndJoin(file, j, path("glued-out.wav")));
    QVERIFY2(j.finishedOk, qPrintable(j.boxes.texts().join('|')));
    const WavFile w = readWav(path("glued-out.wav"));
    QVERIFY(w.ok);
    // Two seconds, and the encoder's delay and padding of each part (no tag says to trim them).
    QCOMPARE(w.frames(), TimelineSourceFilter::framesAt(j.job.totalDuration(), 44100));
    QVERIFY2(w.frames() >= 88200 && w.frames() < 88200 + 8000, qPrintable(QString::number(w.frames())));
    // The second part is there, not silence.
    double peak = 0;
    for (long long n = w.frames() * 3 / 4; n < w.frames() - 2000; ++n) peak = std::max(peak, std::abs(w.sample(n, 0)));
    QVERIFY2(peak > 0.2, qPrintable(QString::number(peak)));
}

void HostileTest::replacedBetweenAddAndJoin() {
    const QString file = path("replaced.flac");
    QVERIFY(QFile::copy(path("flac.flac"), file));
    JoinRunner j;
    QCOMPARE(j.add({path("s16.wav"), file}), 2);
    // Replaced by garbage after it was measured.
    QVERIFY(writeBytes(file, std::vector<unsigned char>(5000, 'g')));
    j.format.outputPath = path("replaced-out.wav");
    QVERIFY(j.join());
    QVERIFY(!j.finishedOk);
    QCOMPARE(j.boxes.shown.size(), qsizetype(1));
    QVERIFY(j.boxes.shown[0].text.contains(file));
    for (const QString& s : j.view.statuses) QVERIFY(!s.startsWith("Done."));
    const WavFile w = readWav(j.format.outputPath);
    QVERIFY(w.ok);
    QVERIFY(w.frames() <= 44100);
}

void HostileTest::oddNamesJoin() {
    // Blanks, quotes, a newline, a leading dash and bytes that are not UTF-8.
    const QList<QByteArray> names{QByteArray("with blanks .wav"), QByteArray("it's \"quoted\".wav"),
                                  QByteArray("new\nline.wav"), QByteArray("-dash.wav"),
                                  QByteArray("caf\xe9 \xff\xfe.wav")};
    QList<QByteArray> rawArgs;
    for (const QByteArray& n : names) {
        const QByteArray full = QFile::encodeName(dir_.path()) + '/' + n;
        const std::vector<unsigned char> bytes = readBytes(path("s16.wav"));
        FILE* f = std::fopen(full.constData(), "wb");
        QVERIFY(f);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        rawArgs << full;
    }
    // Through the engine, with names carried byte for byte.
    JoinRunner j;
    QStringList decoded;
    for (const QByteArray& raw : rawArgs) decoded << pathToQString(std::string(raw.constData(), raw.size()));
    QCOMPARE(j.add(decoded), int(names.size()));
    j.format.outputPath = path("odd-engine.wav");
    QVERIFY(j.join());
    QVERIFY(j.finishedOk);
    QCOMPARE(readWav(j.format.outputPath).frames(), 44100LL * names.size());
    // And through the terminal, the names handed over as raw bytes (a shell rebuilds each
    // from octal escapes, as no text encoding could carry them).
    QString command = QStringLiteral("exec \"$0\" join -y -o \"$1\" --");
    for (const QByteArray& raw : rawArgs) {
        QString octal;
        for (char c : raw) octal += QStringLiteral("\\%1").arg(static_cast<unsigned char>(c), 3, 8, QLatin1Char('0'));
        command += QStringLiteral(" \"$(printf '%1')\"").arg(octal);
    }
    QProcess p;
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"), command, QStringLiteral(CORVANE_BINARY), path("odd-out.wav")});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QCOMPARE(readWav(path("odd-out.wav")).frames(), 44100LL * names.size());
    // An existing output whose name is not UTF-8 is still asked about, never overwritten blindly.
    const QString oddOut = decoded.last();
    JoinRunner k;
    k.add({decoded.first()});
    k.format.outputPath = oddOut;
    k.boxes.answers = {false};
    const std::vector<unsigned char> before = readBytes(path("s16.wav"));
    k.job.onJoinCommand();
    QVERIFY(!k.job.joinRunning());
    QCOMPARE(k.boxes.shown.size(), qsizetype(1));
    QVERIFY(k.boxes.shown[0].question);
    FILE* f = std::fopen(rawArgs.last().constData(), "rb");
    QVERIFY(f);
    std::vector<unsigned char> after(before.size() + 1);
    after.resize(std::fread(after.data(), 1, after.size(), f));
    std::fclose(f);
    QCOMPARE(after, before);
    for (const QByteArray& raw : rawArgs) ::unlink(raw.constData());  // names QDir cannot spell
}

void HostileTest::regressionsFromFuzzing() {
    // Every input the fuzzer ever crashed on: measured and joined without a crash.
    const QDir regressions(QStringLiteral(CORVANE_REGRESSIONS_DIR));
    const QStringList files = regressions.entryList(QDir::Files);
    for (const QString& name : files) {
        JoinRunner j;
        const QString file = regressions.filePath(name);
        if (addAndJoin(file, j, path("regression.wav")) && j.finishedOk) QVERIFY(readWav(path("regression.wav")).ok);
    }
}

void HostileTest::outputFolderRemovedMidJoin() {
    EncodeOptions s;
    s.encoder = "flac";
    s.sampleRate = 96000;
    s.frames = 96000 * 30;
    QVERIFY(encodeFile(path("long.flac"), s, sine(440)).isEmpty());
    const QString folder = path("vanishing");
    QVERIFY(QDir().mkpath(folder));
    JoinRunner j;
    QCOMPARE(j.add({path("long.flac")}), 1);
    j.format.outputPath = folder + QStringLiteral("/out.wav");
    j.job.onJoinCommand();
    QVERIFY(j.job.joinRunning());
    QVERIFY(QDir(folder).removeRecursively());
    QSignalSpy spy(&j.job, &JoinJob::finished);
    QVERIFY(spy.wait(30000));
    QVERIFY(!j.finishedOk);
    QCOMPARE(j.boxes.shown.size(), qsizetype(1));
    QVERIFY2(j.boxes.shown[0].text.contains(QStringLiteral("deleted")), qPrintable(j.boxes.shown[0].text));
    for (const QString& st : j.view.statuses) QVERIFY(!st.startsWith("Done."));
}

void HostileTest::thousandItemsJoinToTheEnd() {
    EncodeOptions s;
    s.frames = 441;  // 10 ms each
    QVERIFY(encodeFile(path("tick.wav"), s, sine(1000)).isEmpty());
    QStringList many;
    for (int i = 0; i < kMaxItems; ++i) many << path("tick.wav");
    JoinRunner j;
    QCOMPARE(j.add(many), kMaxItems);
    QCOMPARE(j.add({path("tick.wav")}), 0);  // the 1001st is refused, with a message
    QVERIFY(j.boxes.shown.last().text.contains(QStringLiteral("1000")));
    j.boxes.clear();
    j.format.outputPath = path("thousand.wav");
    QVERIFY(j.join(120000));
    QVERIFY(j.finishedOk);
    QCOMPARE(readWav(j.format.outputPath).frames(), 441LL * kMaxItems);
}

void HostileTest::diskFullLeavesAValidFile_data() {
    QTest::addColumn<int>("diskKb");
    QTest::addColumn<int>("rate");  // of the source and the output
    QTest::addColumn<int>("channels");
    QTest::addColumn<long long>("frames");
    QTest::addColumn<bool>("fullFromStart");
    QTest::newRow("16-bit stereo") << 300 << 44100 << 2 << 44100LL * 5 << false;
    // Odd data ends one byte short of a full 64 KiB disk: its pad byte fits, the markers
    // after it do not. The sizes must count exactly what stays.
    QTest::newRow("8-bit mono, odd") << 64 << 8000 << 1 << 65536LL - 44 - 1 << false;
    QTest::newRow("full before the first write") << 64 << 44100 << 2 << 44100LL << true;
}

void HostileTest::diskFullLeavesAValidFile() {
    QFETCH(int, diskKb);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(long long, frames);
    QFETCH(bool, fullFromStart);
    // A real full disk: a small tmpfs, where the machine lets us mount one.
    const QString mountPoint = path("small-disk");
    QVERIFY(QDir().mkpath(mountPoint));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", QStringLiteral("size=%1k").arg(diskKb),
                                    "tmpfs", mountPoint}) != 0)
        QSKIP("cannot mount a tmpfs here; the injected disk-full tests cover this path");
    struct Unmount {
        QString at;
        ~Unmount() { QProcess::execute("umount", {at}); }
    } unmount{mountPoint};
    if (fullFromStart) {
        QFile filler(mountPoint + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    EncodeOptions s;
    s.sampleRate = rate;
    s.channels = channels;
    s.frames = frames;
    QVERIFY(encodeFile(path("five.wav"), s, sine(440)).isEmpty());
    JoinRunner j;
    QCOMPARE(j.add({path("five.wav")}), 1);
    j.format.outputPath = mountPoint + QStringLiteral("/out.wav");
    j.format.sampleRateIndex = rate == 8000 ? 3 : 0;
    j.format.channelsIndex = channels == 1 ? 1 : 0;
    j.format.bitsIndex = channels == 1 ? 1 : 0;
    // A disk full from the start fails the join as it starts: no join runs, nothing ends.
    QCOMPARE(j.join(), !fullFromStart);
    QVERIFY(!j.finishedOk);
    const QString shown = j.boxes.texts().join(QLatin1Char('\n'));
    QVERIFY2(shown.contains(QStringLiteral("No space left")), qPrintable(shown));
    QVERIFY(shown.contains(j.format.outputPath));
    for (const QString& st : j.view.statuses) QVERIFY(!st.startsWith("Done."));
    if (fullFromStart) {
        // Nothing reached the disk: no empty file is left to pass for a WAV.
        QVERIFY(!QFile::exists(j.format.outputPath));
        QVERIFY(QDir(mountPoint).entryList(QDir::Files) == QStringList{"filler"});
        return;
    }
    // What fitted is a valid WAV of whole blocks, and every reader agrees on its length.
    const WavFile w = readWav(j.format.outputPath);
    QVERIFY2(w.ok, qPrintable(w.error));
    QCOMPARE(w.riffSize, w.fileSize - 8);
    QVERIFY(w.frames() > 0);
    QCOMPARE(decodeFile(j.format.outputPath).frames(), w.frames());
}

void HostileTest::videoFileGivesItsAudio() {
    // A film with a picture stream first: its sound is what is joined.
    EncodeOptions s;
    s.encoder = "aac";
    s.frames = 44100;
    s.videoEncoder = "mpeg4";
    s.videoFrames = 10;
    QVERIFY2(encodeFile(path("film.mkv"), s, sine(440)).isEmpty(), qPrintable(encodeFile(path("film.mkv"), s, sine(440))));
    JoinRunner j;
    QVERIFY(addAndJoin(path("film.mkv"), j, path("film.wav")));
    QVERIFY(j.finishedOk);
    const WavFile w = readWav(path("film.wav"));
    QVERIFY(w.ok);
    QVERIFY2(std::llabs(w.frames() - 44100) < 2048, qPrintable(QString::number(w.frames())));
    double peak = 0;
    for (long long n = 4000; n < 40000; ++n) peak = std::max(peak, std::abs(w.sample(n, 0)));
    QVERIFY(peak > 0.3);
}

HostileTest hostileTest;
CORVANE_TEST_MAIN(QCoreApplication, &hostileTest)
#include "HostileTest.moc"
