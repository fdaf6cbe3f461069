// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "media/decoders/Fault.h"
#include "media/decoders/WorkerPool.h"
#include "media/graph/MediaEvent.h"
#include "media/graph/TimelineSourceFilter.h"
#include "media/PathCodec.h"
#include "media/wavfile/OutputFile.h"
#include "engine/CueSheet.h"
#include "tests/engine/EngineTests.h"
#include "tests/support/JoinRunner.h"

using namespace corvane;
using namespace corvane::media;
using namespace corvane::test;

namespace {

bool anyDone(const QStringList& statuses) {
    for (const QString& s : statuses)
        if (s.startsWith(QStringLiteral("Done."))) return true;
    return false;
}

}  // namespace

QString JoinJobTest::fixture(const char* name) const {
    return dir_.filePath(name);
}

void JoinJobTest::initTestCase() {
    QVERIFY(dir_.isValid());
    EncodeOptions s;
    s.encoder = "pcm_s16le";
    s.frames = 44100;
    QVERIFY(encodeFile(fixture("a.wav"), s, sine(330)).isEmpty());
    s.encoder = "flac";
    s.sampleRate = 48000;
    s.frames = 96000;
    QVERIFY(encodeFile(fixture("b.flac"), s, sine(550)).isEmpty());
    s.encoder = "libmp3lame";
    s.sampleRate = 44100;
    s.frames = 60000;
    QVERIFY(encodeFile(fixture("c.mp3"), s, sine(660)).isEmpty());
}

void JoinJobTest::cleanup() {
    Fault::clear();
}

void JoinJobTest::emptyListAsksForFiles() {
    JoinRunner j;
    j.format.outputPath = dir_.filePath("never.wav");
    j.job.onJoinCommand();
    QCOMPARE(j.boxes.texts(), QStringList{"Please add wav files into the list"});
    QCOMPARE(j.boxes.shown[0].caption, QStringLiteral("Corvane"));
    QVERIFY(!j.job.joinRunning());
    QVERIFY(j.view.statuses.isEmpty());
    QVERIFY(!QFile::exists(j.format.outputPath));
}

void JoinJobTest::elapsedTimeText() {
    QCOMPARE(JoinJob::usedTimeText(1), QStringLiteral("Please wait... Used Time: 00:00:01"));
    QCOMPARE(JoinJob::usedTimeText(3725), QStringLiteral("Please wait... Used Time: 01:02:05"));
    QCOMPARE(JoinJob::usedTimeText(360000), QStringLiteral("Please wait... Used Time: 100:00:00"));
    JoinRunner j;
    j.job.onJoinTimer(kJoinTimerId);
    j.job.onJoinTimer(kJoinTimerId);
    j.job.onJoinTimer(4242);  // not the join's timer
    QCOMPARE(j.job.elapsedSeconds(), 2);
    QCOMPARE(j.view.statuses, (QStringList{"Please wait... Used Time: 00:00:01",
                                           "Please wait... Used Time: 00:00:02"}));
}

void JoinJobTest::replaceQuestion() {
    const QString out = dir_.filePath("existing.wav");
    QVERIFY(writeBytes(out, {'k', 'e', 'e', 'p'}));
    {
        JoinRunner j;
        j.add({fixture("a.wav")});
        j.format.outputPath = out;
        j.boxes.answers = {false};
        j.job.onJoinCommand();
        QCOMPARE(j.boxes.shown.size(), qsizetype(1));
        const auto& q = j.boxes.shown[0];
        QVERIFY(q.question);
        QCOMPARE(q.text, out + QStringLiteral(" exists. Do you want to replace it?"));
        QCOMPARE(q.caption, QStringLiteral("Warning"));
        QCOMPARE(q.owner, MessageBoxes::Owner::MainWindow);
        QCOMPARE(q.icon, MessageBoxes::Icon::Warning);
        QVERIFY(!j.job.joinRunning());
        QCOMPARE(readBytes(out), (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
    }
    JoinRunner j;
    j.add({fixture("a.wav")});
    j.format.outputPath = out;
    j.boxes.answers = {true};
    QVERIFY(j.join());
    QVERIFY(j.finishedOk);
    const WavFile w = readWav(out);
    QVERIFY(w.ok);
    QCOMPARE(w.frames(), 44100LL);
}

void JoinJobTest::refusedOutputsAreKept() {
    const QString folder = dir_.filePath("folder.wav");
    QVERIFY(QDir().mkpath(folder));
    const QString fifo = dir_.filePath("pipe.wav");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString input = dir_.filePath("input.wav");
    QVERIFY(QFile::copy(fixture("a.wav"), input));
    const QString link = dir_.filePath("link.wav");
    QVERIFY(QFile::link(input, link));
    const QString hard = dir_.filePath("hard.wav");
    QCOMPARE(::link(QFile::encodeName(input).constData(), QFile::encodeName(hard).constData()), 0);
    const std::vector<unsigned char> original = readBytes(input);
    const QString dotted = dir_.path() + QStringLiteral("/./input.wav");
    const QString toFifo = dir_.filePath("to-fifo.wav");
    QVERIFY(QFile::link(fifo, toFifo));
    const QString dangling = dir_.filePath("dangling.wav");
    QVERIFY(QFile::link(dir_.filePath("nowhere.wav"), dangling));
    const QString toDev = dir_.filePath("to-null.wav");
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), toDev));
    // Read-only: refused even where the user could delete it (and as root).
    const QString readOnly = dir_.filePath("readonly.wav");
    QVERIFY(writeBytes(readOnly, {'r', 'o'}));
    QCOMPARE(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    // This process's own standard input, opened by its name.
    const QString stdinFile = dir_.filePath("stdin.wav");
    QVERIFY(writeBytes(stdinFile, {'i', 'n'}));
    const int savedStdin = ::dup(0);
    const int in = ::open(QFile::encodeName(stdinFile).constData(), O_RDONLY);
    QVERIFY(savedStdin >= 0 && in >= 0);
    QCOMPARE(::dup2(in, 0), 0);
    ::close(in);
    const QStringList outs{folder,
                           fifo,
                           link,
                           hard,
                           dotted,
                           input,
                           toFifo,
                           dangling,
                           toDev,
                           readOnly,
                           stdinFile,
                           "/dev/null",
                           "/dev/corvane-new.wav",
                           "/proc/self/fd/1",
                           dir_.path() + "/../../dev/zero",
                           "/sys/kernel/x.wav"};
    const QStringList why{"folder",
                          "not a regular",
                          "one of the files",
                          "one of the files",
                          "one of the files",
                          "one of the files",
                          "not a regular",
                          "leads to no file",
                          "/dev",
                          "write-protected",
                          "standard input",
                          "/dev",
                          "/dev",
                          "/proc",
                          "/dev",
                          "/sys"};

    for (qsizetype i = 0; i < outs.size(); ++i) {
        const QString& out = outs[i];
        JoinRunner j;
        j.add({input, fixture("b.flac")});
        j.format.outputPath = out;
        j.boxes.answers = {true, true};
        j.job.onJoinCommand();
        QVERIFY2(!j.job.joinRunning(), qPrintable(out));
        QCOMPARE(j.boxes.shown.size(), qsizetype(1));
        QVERIFY(!j.boxes.shown[0].question);  // refused before any question or deletion
        QCOMPARE(j.boxes.shown[0].caption, QStringLiteral("Error"));
        QVERIFY2(j.boxes.shown[0].text.contains(why[i]), qPrintable(j.boxes.shown[0].text));
        QVERIFY2(!QFile::exists(out + ".part"), qPrintable(out));
    }
    QCOMPARE(::dup2(savedStdin, 0), 0);
    ::close(savedStdin);
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(QFileInfo(fifo).exists());
    QVERIFY(QFileInfo(toFifo).isSymLink() && QFileInfo(dangling).isSymLink());
    QCOMPARE(readBytes(input), original);
    QCOMPARE(readBytes(readOnly), (std::vector<unsigned char>{'r', 'o'}));
    QCOMPARE(readBytes(stdinFile), (std::vector<unsigned char>{'i', 'n'}));

    // Nor may a cue sheet or label track take the place of an input, the output or a folder,
    // or go where it cannot be written: found before the join, not after it.
    const QString output = dir_.filePath("side.wav");
    for (const QString& side : {input, output, folder, dotted, dir_.filePath("none/x.cue")}) {
        for (bool labels : {false, true}) {
            JoinRunner j;
            j.add({input});
            j.format.outputPath = output;
            (labels ? j.format.labelsPath : j.format.cuePath) = side;
            j.job.onJoinCommand();
            QVERIFY2(!j.job.joinRunning(), qPrintable(side));
            QCOMPARE(j.boxes.shown.size(), qsizetype(1));
            QCOMPARE(j.boxes.shown[0].caption, QStringLiteral("Error"));
            QVERIFY(!QFile::exists(output));
        }
    }
    QCOMPARE(readBytes(input), original);

    // A regular file is fine wherever it is mounted: a tmpfs under /dev included.
    struct stat shm {};
    if (::stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) && ::access("/dev/shm", W_OK) == 0) {
        const QString onShm = QStringLiteral("/dev/shm/corvane-test-%1.wav").arg(::getpid());
        JoinRunner j;
        j.add({fixture("a.wav")});
        j.format.outputPath = onShm;
        QVERIFY(j.join());
        QVERIFY2(j.finishedOk, qPrintable(j.boxes.texts().join('\n')));
        QCOMPARE(readWav(onShm).frames(), 44100LL);
        QVERIFY(QFile::remove(onShm));
    }
}

void JoinJobTest::oneJoinPerOutput() {
    const QString out = dir_.filePath("busy.wav");
    QVERIFY(writeBytes(out, {'o', 'l', 'd'}));
    const QString link = dir_.filePath("busy-link.wav");
    QVERIFY(QFile::link(out, link));
    // Another join writing: its part file, locked (as the other process holds it).
    const QByteArray part = QFile::encodeName(out + ".part");
    const int other = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(other >= 0);
    QCOMPARE(::flock(other, LOCK_EX), 0);
    JoinRunner j;
    j.add({fixture("a.wav")});
    j.boxes.answers = {true, true};
    // Refused by its name and through a link to it: the lock is on the file written.
    for (const QString& name : {out, link}) {
        j.boxes.clear();
        j.format.outputPath = name;
        j.job.onJoinCommand();
        QVERIFY(!j.job.joinRunning());
        QCOMPARE(j.boxes.shown.size(), qsizetype(1));
        QVERIFY2(j.boxes.shown[0].text.contains(QStringLiteral("Another join is writing")),
                 qPrintable(j.boxes.shown[0].text));
    }
    // Nor may the other join's part file itself be written over.
    j.boxes.clear();
    j.format.outputPath = out + ".part";
    j.job.onJoinCommand();
    QVERIFY(!j.job.joinRunning());
    QVERIFY2(j.boxes.texts().join("").contains(QStringLiteral("Another join is writing")),
             qPrintable(j.boxes.texts().join("")));
    j.format.outputPath = out;
    // The other join gone, its part file is what it wrote: kept, and named.
    ::close(other);
    j.boxes.clear();
    j.job.onJoinCommand();
    QVERIFY(!j.job.joinRunning());
    QVERIFY(j.boxes.texts().join("").contains(out + QStringLiteral(".part exists")));
    QCOMPARE(QFileInfo(out + ".part").size(), 0);
    QCOMPARE(readBytes(out), (std::vector<unsigned char>{'o', 'l', 'd'}));
    // Moved away, the join goes ahead.
    QVERIFY(QFile::remove(out + ".part"));
    j.format.outputPath = out;
    j.boxes.answers = {true};
    QVERIFY(j.join());
    QVERIFY(j.finishedOk);
    QCOMPARE(readWav(out).frames(), 44100LL);
    QVERIFY(!QFile::exists(out + ".part"));
    QVERIFY(QFileInfo(link).isSymLink());
}

void JoinJobTest::linkedOutputKeepsTheLink() {
    const QString target = dir_.filePath("real-target.wav");
    QVERIFY(writeBytes(target, {'o', 'l', 'd'}));
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    const QString link = dir_.filePath("output-link.wav");
    QVERIFY(QFile::link(target, link));
    JoinRunner j;
    j.add({fixture("a.wav")});
    j.format.outputPath = link;
    j.boxes.answers = {true};
    QVERIFY(j.join());
    QVERIFY(j.finishedOk);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), target);
    QCOMPARE(readWav(target).frames(), 44100LL);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0640u);
    // As root, a user's file stays the user's: owner and group are kept too.
    if (::geteuid() != 0) return;
    QCOMPARE(::chown(QFile::encodeName(target).constData(), 4242, 4343), 0);
    JoinRunner k;
    k.add({fixture("a.wav")});
    k.format.outputPath = link;
    k.boxes.answers = {true};
    QVERIFY(k.join());
    QVERIFY(k.finishedOk);
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
    QCOMPARE(st.st_uid, uid_t(4242));
    QCOMPARE(st.st_gid, gid_t(4343));
    QCOMPARE(st.st_mode & 0777, 0640u);
}

void JoinJobTest::unreplaceableOutputNamesThePartFile() {
    // A file mounted on its own cannot be renamed over: the audio stays in the part file,
    // and the message must say so.
    const QString out = dir_.filePath("bound.wav");
    const QString source = dir_.filePath("bound-source.wav");
    QVERIFY(writeBytes(out, {'o', 'l', 'd'}));
    QVERIFY(writeBytes(source, {'o', 'l', 'd'}));
    if (QProcess::execute("mount", {"--bind", source, out}) != 0)
        QSKIP("cannot bind-mount here");
    auto unmount = qScopeGuard([&] { QProcess::execute("umount", {out}); });
    JoinRunner j;
    j.add({fixture("a.wav")});
    j.format.outputPath = out;
    j.boxes.answers = {true};
    QVERIFY(j.join());
    QVERIFY(!j.finishedOk);
    const QString shown = j.boxes.texts().join('\n');
    QVERIFY2(shown.contains(QStringLiteral("The joined audio is in %1.part").arg(out)),
             qPrintable(shown));
    QCOMPARE(readWav(out + ".part").frames(), 44100LL);
    QVERIFY(QFile::remove(out + ".part"));
}

void JoinJobTest::longestNamesJoin() {
    // A name as long as the folder allows: its part file's name must still fit, and differ
    // from that of a name that differs only at the end.
    const QString stem = QString(250, QLatin1Char('n'));
    const QString out = dir_.filePath(stem + QStringLiteral("a.wav"));
    const QString twin = dir_.filePath(stem + QStringLiteral("b.wav"));
    QCOMPARE(QFileInfo(out).fileName().toUtf8().size(), 255);
    const std::string part = OutputFile::partOf(qstringToPath(out));
    QVERIFY(part != OutputFile::partOf(qstringToPath(twin)));
    QVERIFY(part.size() - part.rfind('/') - 1 <= 255);
    QCOMPARE(OutputFile::partOf(qstringToPath(out)), part);
    // Multibyte characters are never cut in half.
    const QString wide = dir_.filePath(QString(127, QChar(0x00E9)) + QStringLiteral("a"));
    for (const QChar c : pathToQString(OutputFile::partOf(qstringToPath(wide))))
        QVERIFY(c.unicode() < 0xDC80 || c.unicode() > 0xDCFF);
    for (const QString& name : {out, twin}) {
        JoinRunner j;
        j.add({fixture("a.wav")});
        j.format.outputPath = name;
        QVERIFY(j.join());
        QVERIFY2(j.finishedOk, qPrintable(j.boxes.texts().join('\n')));
        QCOMPARE(readWav(name).frames(), 44100LL);
    }
    QVERIFY(!QFile::exists(pathToQString(part)));
}

void JoinJobTest::cueSheetsOfLongLists() {
    EncodeOptions s;
    s.frames = 441;  // 10 ms each
    QVERIFY(encodeFile(fixture("tick.wav"), s, sine(1000)).isEmpty());
    QStringList many;
    for (int i = 0; i < 150; ++i) many << fixture("tick.wav");
    // More than 99 files: one sheet per 99, each naming the same WAV file with tracks 01-99.
    {
        JoinRunner j;
        j.add(many);
        j.format.outputPath = dir_.filePath("long-list.wav");
        j.format.cuePath = dir_.filePath("long-list.cue");
        QVERIFY(j.join());
        QVERIFY2(j.finishedOk, qPrintable(j.boxes.texts().join('\n')));
        auto text = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        const QString first = text(j.format.cuePath);
        const QString second = text(dir_.filePath("long-list-2.cue"));
        QCOMPARE(first.count(QStringLiteral("TRACK ")), 99);
        QVERIFY(first.contains(QStringLiteral("TRACK 99 AUDIO")));
        QCOMPARE(second.count(QStringLiteral("TRACK ")), 51);
        QVERIFY(second.startsWith(QStringLiteral("FILE \"long-list.wav\" WAVE\n  TRACK 01 AUDIO")));
        QVERIFY(second.contains(QStringLiteral("INDEX 01 00:00:74")));  // file 100 at 0.99 s
        QVERIFY(!QFile::exists(dir_.filePath("long-list-3.cue")));
    }
    // Standard output cannot hold two sheets apart, and a cue sheet's FILE line cannot hold a
    // line break: both refused before anything is written.
    const QStringList outs{dir_.filePath("to-stdout.wav"), dir_.filePath("line\nbreak.wav")};
    for (const QString& out : outs) {
        JoinRunner j;
        j.add(out.contains('\n') ? QStringList{fixture("a.wav")} : many);
        j.format.outputPath = out;
        j.format.cuePath = out.contains('\n') ? dir_.filePath("break.cue") : QStringLiteral("-");
        j.job.onJoinCommand();
        QVERIFY(!j.job.joinRunning());
        QCOMPARE(j.boxes.shown.size(), qsizetype(1));
        QVERIFY2(j.boxes.shown[0].text.contains(out.contains('\n') ? QStringLiteral("line break")
                                                                   : QStringLiteral("99 tracks")),
                 qPrintable(j.boxes.shown[0].text));
        QVERIFY(!QFile::exists(out));
    }
    QCOMPARE(cueSheetPathNumber(QStringLiteral("/a.b/book.cue"), 3), QStringLiteral("/a.b/book-3.cue"));
    QCOMPARE(cueSheetPathNumber(QStringLiteral("/a.b/book"), 2), QStringLiteral("/a.b/book-2"));

}

void JoinJobTest::stopLeavesAValidFile() {
    JoinRunner j;
    j.add({fixture("b.flac"), fixture("c.mp3"), fixture("a.wav")});
    j.format.outputPath = dir_.filePath("stopped.wav");
    j.format.cueSheet = true;
    j.job.onJoinCommand();
    QVERIFY(j.job.joinRunning());
    QCOMPARE(j.view.buttonText, QStringLiteral("Stop"));
    QTest::qWait(5);
    j.job.onJoinCommand();  // the button now reads Stop
    QVERIFY(!j.job.joinRunning());
    QCOMPARE(j.view.buttonText, QStringLiteral("Join"));
    QCOMPARE(j.view.statuses.last(), QStringLiteral("Done. Output File: ") + j.format.outputPath);
    QCOMPARE(j.job.elapsedSeconds(), 0);
    const WavFile w = readWav(j.format.outputPath);
    QVERIFY2(w.ok, qPrintable(w.error));
    QCOMPARE(w.dataSize % 4, 0ULL);
    QVERIFY(w.frames() <= TimelineSourceFilter::framesAt(j.job.totalDuration(), 44100));
    // The sources it reached are marked, in the file and in the cue sheet alike.
    const auto& reached = j.job.markers();
    QCOMPARE(w.cues.size(), reached.size());
    for (std::size_t i = 0; i < reached.size(); ++i) {
        QCOMPARE((long long)w.cues[i].sampleOffset, (long long)reached[i].startFrame);
        QVERIFY((long long)w.cues[i].sampleOffset <= w.frames());
        QCOMPARE(w.labels.at(unsigned(i + 1)), std::string(i == 0 ? "b" : i == 1 ? "c" : "a"));
    }
    QFile cue(dir_.filePath("stopped.cue"));
    QVERIFY(cue.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(cue.readAll()).count(QStringLiteral("INDEX 01")),
             qsizetype(reached.size()));
    // A new join may start at once, over the stopped one.
    j.boxes.answers = {true};
    QVERIFY(j.join());
    QVERIFY(j.finishedOk);
    QCOMPARE(readWav(j.format.outputPath).frames(),
             TimelineSourceFilter::framesAt(j.job.totalDuration(), 44100));
}

void JoinJobTest::stopReportsTheFileWritten() {
    JoinRunner j;
    j.add({fixture("b.flac")});
    j.format.outputPath = dir_.filePath("first.wav");
    j.job.onJoinCommand();
    QVERIFY(j.job.joinRunning());
    j.format.outputPath = dir_.filePath("changed-meanwhile.wav");
    j.job.stopJoin();
    QCOMPARE(j.view.statuses.last(),
             QStringLiteral("Done. Output File: ") + dir_.filePath("first.wav"));
    QVERIFY(QFile::exists(dir_.filePath("first.wav")));
    QVERIFY(!QFile::exists(dir_.filePath("changed-meanwhile.wav")));
}

void JoinJobTest::lateNotifyDoesNothing() {
    JoinRunner j;
    j.add({fixture("a.wav")});
    j.format.outputPath = dir_.filePath("late.wav");
    QVERIFY(j.join());
    const QStringList before = j.view.statuses;
    j.job.onGraphNotify();
    QCoreApplication::postEvent(&j.job, new GraphNotifyEvent(1037, 0));
    QCoreApplication::processEvents();
    QCOMPARE(j.view.statuses, before);
    QCOMPARE(j.finishedCount, 1);
}

void JoinJobTest::emptiedListStillStops() {
    JoinRunner j;
    j.add({fixture("b.flac"), fixture("a.wav")});
    j.format.outputPath = dir_.filePath("emptied.wav");
    j.job.onJoinCommand();
    QVERIFY(j.job.joinRunning());
    j.items.clear();
    j.items.syncMusicList();
    // "Stop" with an empty list stops: a running join is never out of reach.
    j.job.onJoinCommand();
    QVERIFY(!j.job.joinRunning());
    QVERIFY(j.boxes.shown.isEmpty());
    QCOMPARE(j.finishedCount, 1);
    QVERIFY(readWav(j.format.outputPath).ok);
    // Idle again, the list is checked as ever.
    j.job.onJoinCommand();
    QCOMPARE(j.boxes.texts(), QStringList{"Please add wav files into the list"});
    QVERIFY(!j.job.joinRunning());
}

void JoinJobTest::missingSourceIsOffered() {
    const QString doomed = dir_.filePath("doomed.wav");
    QVERIFY(QFile::copy(fixture("a.wav"), doomed));
    JoinRunner j;
    j.add({fixture("c.mp3"), doomed});
    QVERIFY(QFile::remove(doomed));
    j.format.outputPath = dir_.filePath("missing.wav");
    j.job.onJoinCommand();
    QCOMPARE(j.view.located, QStringList{doomed});
    QVERIFY(!j.job.joinRunning());
    QVERIFY(!QFile::exists(j.format.outputPath));
    QVERIFY(!anyDone(j.view.statuses));
    // Replace answered Yes, then the missing file not located: the old output is untouched.
    QVERIFY(writeBytes(j.format.outputPath, {'o', 'l', 'd'}));
    j.boxes.answers = {true};
    j.job.onJoinCommand();
    QVERIFY(j.boxes.shown.last().question);
    QVERIFY(!j.job.joinRunning());
    QCOMPARE(readBytes(j.format.outputPath), (std::vector<unsigned char>{'o', 'l', 'd'}));
    QVERIFY(!QFile::exists(j.format.outputPath + ".part"));
    j.boxes.answers = {true};
    // Located elsewhere: the join uses the file found.
    j.view.locateAnswers = {fixture("a.wav")};
    QVERIFY(j.join());
    QVERIFY(j.finishedOk);
    QCOMPARE(readWav(j.format.outputPath).frames(),
             TimelineSourceFilter::framesAt(j.job.totalDuration(), 44100));
}

void JoinJobTest::writeFailureIsNeverDone() {
    JoinRunner j;
    j.add({fixture("a.wav"), fixture("b.flac")});
    j.format.outputPath = dir_.filePath("diskfull.wav");
    Fault::failOn("FileWriter::write", E_DISK_FULL, 2);
    QVERIFY(j.join());
    QVERIFY(!j.finishedOk);
    QVERIFY(!anyDone(j.view.statuses));
    QCOMPARE(j.view.statuses.last(),
             QStringLiteral("Join failed. Output File: ") + j.format.outputPath);
    QCOMPARE(j.boxes.shown.size(), qsizetype(1));
    QVERIFY(j.boxes.shown[0].text.contains(QStringLiteral("not enough space")));
    QVERIFY(j.boxes.shown[0].text.contains(j.format.outputPath));
    QCOMPARE(j.view.buttonText, QStringLiteral("Join"));
    QVERIFY(!j.job.joinRunning());
    // Over an existing file: the failed join leaves it as it was, and nothing beside it.
    JoinRunner k;
    k.add({fixture("a.wav"), fixture("b.flac")});
    k.format.outputPath = j.format.outputPath;
    const std::vector<unsigned char> before = readBytes(k.format.outputPath);
    k.boxes.answers = {true};
    Fault::failOn("FileWriter::write", E_DISK_FULL, 2);
    QVERIFY(k.join());
    QVERIFY(!k.finishedOk);
    QVERIFY(k.boxes.shown.last().text.contains(QStringLiteral("was left as it was")));
    QCOMPARE(readBytes(k.format.outputPath), before);
    QVERIFY(!QFile::exists(k.format.outputPath + ".part"));
}

void JoinJobTest::everyWriteFailureIsReported() {
    // Count the writes of a small join (several blocks of the writer), then make each one
    // fail in turn.
    const QStringList several{fixture("a.wav"), fixture("c.mp3"), fixture("b.flac"),
                              fixture("a.wav"), fixture("c.mp3"), fixture("b.flac")};
    Fault::failOn("count only", S_OK);
    {
        JoinRunner j;
        j.add(several);
        j.format.outputPath = dir_.filePath("count.wav");
        QVERIFY(j.join());
        QVERIFY(j.finishedOk);
    }
    const int writes = Fault::count("FileWriter::write");
    const int closes = Fault::count("FileWriter::close");
    QVERIFY(writes >= 3);  // blocks of data, and the header brought up to date
    QCOMPARE(closes, 1);
    for (const char* call : {"FileWriter::write", "FileWriter::close", "FileWriter::open"}) {
        const int uses = QString(call) == "FileWriter::write" ? writes : 1;
        for (int n = 1; n <= uses; ++n) {
            Fault::clear();
            Fault::failOn(call, E_WRITE_FAULT, n);
            JoinRunner j;
            j.add(several);
            j.format.outputPath = dir_.filePath(QStringLiteral("fail-%1.wav").arg(n));
            j.join();
            QVERIFY2(!anyDone(j.view.statuses),
                     qPrintable(QStringLiteral("%1 #%2").arg(call).arg(n)));
            QVERIFY2(!j.boxes.shown.isEmpty(),
                     qPrintable(QStringLiteral("%1 #%2").arg(call).arg(n)));
            QVERIFY(!j.job.joinRunning());
            // Whatever reached the file is a valid WAV, its header claiming no more than is there.
            if (QFileInfo(j.format.outputPath).size() > 0) {
                const WavFile w = readWav(j.format.outputPath);
                QVERIFY2(w.ok,
                         qPrintable(QStringLiteral("%1 #%2: %3").arg(call).arg(n).arg(w.error)));
                QCOMPARE(w.riffSize, w.fileSize - 8);
            }
        }
    }
}

void JoinJobTest::sourceFailingMidJoinIsReported() {
    JoinRunner j;
    j.add({fixture("a.wav"), fixture("b.flac")});
    j.format.outputPath = dir_.filePath("srcfail.wav");
    // The decoder of the second file dies once some of its audio went out.
    WorkerPool::setTestFault(worker::TestFault::Abort, "b.flac", 1);
    const bool joined = j.join();
    WorkerPool::setTestFault(worker::TestFault::None);
    QVERIFY(joined);
    QVERIFY(!j.finishedOk);
    QVERIFY(!anyDone(j.view.statuses));
    QCOMPARE(j.boxes.shown.size(), qsizetype(1));
    const QString text = j.boxes.shown[0].text;
    QVERIFY2(text.contains(fixture("b.flac")) && text.contains("the decoder stopped (crashed)"), qPrintable(text));
    // What was written before the failure is still a valid file.
    QVERIFY(readWav(j.format.outputPath).ok);
}

void JoinJobTest::decoderFeedbackValue() {
    const QString store = dir_.filePath("decoder.conf");
    {
        QSettings s(store, QSettings::IniFormat);
        s.setValue("Disable feedback", 0);
    }
    JoinRunner j;
    j.job.setDecoderStoreFile(store);
    j.add({fixture("a.wav")});
    j.format.outputPath = dir_.filePath("feedback.wav");
    QVERIFY(j.join());
    QCOMPARE(QSettings(store, QSettings::IniFormat).value("Disable feedback").toInt(), 1);
    // No store: nothing is created.
    const QString absent = dir_.filePath("absent.conf");
    JoinRunner k;
    k.job.setDecoderStoreFile(absent);
    k.add({fixture("a.wav")});
    k.format.outputPath = dir_.filePath("feedback2.wav");
    QVERIFY(k.join());
    QVERIFY(!QFile::exists(absent));
}

void JoinJobTest::loudnessPassStopsFailsAndReports() {
    // Matched: the report comes after the join, the markers sit where a plain join puts them.
    JoinRunner plain;
    plain.add({fixture("b.flac"), fixture("c.mp3"), fixture("a.wav")});
    plain.format.outputPath = dir_.filePath("plain.wav");
    QVERIFY(plain.join());
    JoinRunner j;
    j.add({fixture("b.flac"), fixture("c.mp3"), fixture("a.wav")});
    j.format.outputPath = dir_.filePath("matched.wav");
    j.format.loudnessMode = kLoudnessWholeJoin;
    j.format.loudnessTarget = -23;
    QVERIFY(j.join());
    QVERIFY(j.finishedOk);
    QCOMPARE(j.view.reports.size(), std::size_t(1));
    QCOMPARE(j.view.reports[0].rows.size(), std::size_t(3));
    QVERIFY(std::isfinite(j.view.reports[0].joinLoudness));
    QCOMPARE(readWav(j.format.outputPath).cues.size(), readWav(plain.format.outputPath).cues.size());
    for (std::size_t i = 0; i < j.job.markers().size(); ++i)
        QCOMPARE(j.job.markers()[i].startFrame, plain.job.markers()[i].startFrame);
    // The measuring counted towards the progress, and the status line said so.
    QVERIFY(std::any_of(j.view.progress.begin(), j.view.progress.end(), [](double p) { return p >= 1.0; }));

    // A decoder that stops responding while measuring: Stop ends the join at once, nothing written.
    // Copies: what was measured above is kept, and would not reach a decoder again.
    QVERIFY(QFile::copy(fixture("c.mp3"), dir_.filePath("frozen.mp3")));
    QVERIFY(QFile::copy(fixture("c.mp3"), dir_.filePath("crashing.mp3")));
    JoinRunner s;
    s.add({fixture("b.flac"), dir_.filePath("frozen.mp3")});
    s.format.outputPath = dir_.filePath("stopped-measuring.wav");
    s.format.loudnessMode = kLoudnessWholeJoin;
    media::WorkerPool::setTestFault(media::worker::TestFault::Freeze, "frozen.mp3");
    s.job.onJoinCommand();
    QVERIFY(s.job.joinRunning() && s.job.measuring());
    QCOMPARE(s.view.buttonText, QStringLiteral("Stop"));
    QTest::qWait(300);
    QElapsedTimer stopping;
    stopping.start();
    s.job.onJoinCommand();
    media::WorkerPool::setTestFault(media::worker::TestFault::None);
    QVERIFY(stopping.elapsed() < 2000);
    QVERIFY(!s.job.joinRunning());
    QVERIFY(s.job.nothingWritten());
    QCOMPARE(s.view.buttonText, QStringLiteral("Join"));
    QVERIFY(!QFile::exists(s.format.outputPath));
    QVERIFY(s.view.reports.empty());

    // A file whose decoder crashes while measuring is named, and nothing is written.
    JoinRunner f;
    f.add({fixture("b.flac"), dir_.filePath("crashing.mp3")});
    f.format.outputPath = dir_.filePath("failed-measuring.wav");
    f.format.loudnessMode = kLoudnessWholeJoin;
    media::WorkerPool::setTestFault(media::worker::TestFault::Abort, "crashing.mp3");
    const bool ended = f.join();
    media::WorkerPool::setTestFault(media::worker::TestFault::None);
    QVERIFY(ended);
    QVERIFY(!f.finishedOk);
    QVERIFY(!QFile::exists(f.format.outputPath));
    const QString said = f.boxes.texts().join('\n');
    QVERIFY2(said.contains(dir_.filePath("crashing.mp3")) && said.contains(QStringLiteral("crashed")), qPrintable(said));

    // Each file on its own: measured by its decoder as it is joined, no pass before. The report
    // has every file, the markers sit where a plain join puts them, the progress reaches the end.
    JoinRunner e;
    e.add({fixture("b.flac"), fixture("c.mp3"), fixture("a.wav")});
    e.format.outputPath = dir_.filePath("each.wav");
    e.format.loudnessMode = kLoudnessEachFile;
    e.format.loudnessTarget = -23;
    QVERIFY(e.join());
    QVERIFY(e.finishedOk);
    QCOMPARE(e.view.reports.size(), std::size_t(1));
    QCOMPARE(e.view.reports[0].rows.size(), std::size_t(3));
    for (const LoudnessRow& row : e.view.reports[0].rows) QVERIFY2(media::SUCCEEDED(row.measured.hr), qPrintable(row.note));
    for (std::size_t i = 0; i < e.job.markers().size(); ++i)
        QCOMPARE(e.job.markers()[i].startFrame, plain.job.markers()[i].startFrame);
    QVERIFY(std::any_of(e.view.progress.begin(), e.view.progress.end(), [](double p) { return p >= 1.0; }));

    // A decoder that stops responding while it measures: Stop ends the join at once.
    QVERIFY(QFile::copy(fixture("c.mp3"), dir_.filePath("frozen-each.mp3")));
    QVERIFY(QFile::copy(fixture("c.mp3"), dir_.filePath("crashing-each.mp3")));
    JoinRunner se;
    se.add({fixture("b.flac"), dir_.filePath("frozen-each.mp3")});
    se.format.outputPath = dir_.filePath("stopped-each.wav");
    se.format.loudnessMode = kLoudnessEachFile;
    media::WorkerPool::setTestFault(media::worker::TestFault::Freeze, "frozen-each.mp3");
    se.job.onJoinCommand();
    QVERIFY(se.job.joinRunning());
    QTest::qWait(300);
    QElapsedTimer stoppingEach;
    stoppingEach.start();
    se.job.onJoinCommand();
    media::WorkerPool::setTestFault(media::worker::TestFault::None);
    QVERIFY(stoppingEach.elapsed() < 2000);
    QVERIFY(!se.job.joinRunning());
    QCOMPARE(se.view.buttonText, QStringLiteral("Join"));

    // One that crashes while it measures fails the join by name.
    JoinRunner fe;
    fe.add({fixture("b.flac"), dir_.filePath("crashing-each.mp3")});
    fe.format.outputPath = dir_.filePath("failed-each.wav");
    fe.format.loudnessMode = kLoudnessEachFile;
    media::WorkerPool::setTestFault(media::worker::TestFault::Abort, "crashing-each.mp3");
    const bool endedEach = fe.join();
    media::WorkerPool::setTestFault(media::worker::TestFault::None);
    QVERIFY(endedEach);
    QVERIFY(!fe.finishedOk);
    const QString saidEach = fe.boxes.texts().join('\n');
    QVERIFY2(saidEach.contains(dir_.filePath("crashing-each.mp3")) && saidEach.contains(QStringLiteral("crashed")),
             qPrintable(saidEach));
}
