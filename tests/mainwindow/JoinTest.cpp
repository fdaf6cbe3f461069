// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTableWidget>
#include <QStandardPaths>
#include <QTimer>

#include "app/StatusLine.h"
#include "controls/AboutDialog.h"
#include "controls/SiteAddresses.h"
#include "media/decoders/Fault.h"
#include "media/decoders/WorkerPool.h"
#include "media/graph/TimelineSourceFilter.h"
#include "options/OptionsDialog.h"
#include "tests/mainwindow/MainWindowTests.h"
#include "tests/mainwindow/Window.h"
#include "tests/support/AudioFixture.h"
#include "tests/support/RecordingDesktopNotifier.h"

using namespace corvane;
using namespace corvane::test;

namespace {

constexpr qint64 k180Days = 15'552'000;
const QString kUpdateQuestion =
    QStringLiteral("Do you want to check the lastest version on our website?");

// Waits for the running join of the window to end.
bool waitForEnd(Window& w, int timeoutMs = 60000) {
    if (!w.dialog->job().joinRunning()) return true;
    QSignalSpy spy(&w.dialog->job(), &JoinJob::finished);
    return spy.wait(timeoutMs);
}

int storedFirstUpdate(Window& w) {
    return w.store.readInt("Setup", "t_first_update", -1);
}

}  // namespace

void MainWindowJoinTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(dir_.isValid());
    EncodeOptions s;
    s.frames = 44100;
    QVERIFY(encodeFile(fixture("a.wav"), s, sine(330)).isEmpty());
    s.encoder = "flac";
    s.sampleRate = 48000;
    s.frames = 96000;
    QVERIFY(encodeFile(fixture("b.flac"), s, sine(550)).isEmpty());
    // Long enough that a Stop lands in the middle of the join.
    s.encoder = "pcm_u8";
    s.sampleRate = 8000;
    s.channels = 1;
    s.frames = 8000LL * 60 * 10;
    QVERIFY(encodeFile(fixture("long.wav"), s, sine(220)).isEmpty());
}

void MainWindowJoinTest::cleanup() {
    media::Fault::clear();
}

void MainWindowJoinTest::joinWritesTheWavAndSaysDone() {
    const QString out = fixture("joined.wav");
    Window w(out);
    w.add({fixture("a.wav"), fixture("b.flac")});
    ImageButton* join = w.button(MainDialog::kJoinButton);
    w.click(MainDialog::kJoinButton);
    QVERIFY(w.dialog->job().joinRunning());
    QCOMPARE(join->text(), QStringLiteral("Stop"));
    QVERIFY(waitForEnd(w));
    QCOMPARE(join->text(), QStringLiteral("Join"));
    QCOMPARE(w.dialog->statusText(), QStringLiteral("Done. Output File: ") + out);
    QVERIFY(w.boxes.shown.isEmpty());
    const WavFile wav = readWav(out);
    QVERIFY2(wav.ok, qPrintable(wav.error));
    QCOMPARE(wav.sampleRate, 44100);
    QCOMPARE(wav.channels, 2);
    QCOMPARE(wav.bits, 16);
    QCOMPARE(wav.frames(), 44100LL + 88200);
    // No fill is left behind the completion text.
    QVERIFY(w.dialog->statusLine()->fillRect().isEmpty());
    QVERIFY(!w.dialog->loudnessReport());

    // With loudness matching stored in the settings: measured first, then a report window
    // beside the main one, the length as before.
    w.store.writeInt(QStringLiteral("Settings"), QStringLiteral("Loudness"), 1);
    w.open();
    w.add({fixture("a.wav"), fixture("b.flac")});
    w.boxes.answers << true;  // replace the file of the first join
    w.click(MainDialog::kJoinButton);
    QVERIFY(w.dialog->job().joinRunning());
    QVERIFY(waitForEnd(w));
    QCOMPARE(w.dialog->statusText(), QStringLiteral("Done. Output File: ") + out);
    QDialog* report = w.dialog->loudnessReport();
    QVERIFY(report && report->isVisible());
    auto* table = report->findChild<QTableWidget*>();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("b.flac"));
    QVERIFY(table->item(0, 3)->text() != QStringLiteral("0.0"));  // a gain went on
    QCOMPARE(readWav(out).frames(), 44100LL + 88200);
}

void MainWindowJoinTest::desktopIsToldOfLongJoinsEndingUnseen() {
    const QString out = fixture("told.wav");
    Window w(out);
    RecordingDesktopNotifier desktop;
    w.dialog->setDesktopNotifier(&desktop);
    w.add({fixture("a.wav")});
    QWidget elsewhere;  // another window takes the focus: the join's ends go unseen
    elsewhere.show();
    elsewhere.activateWindow();
    QTRY_VERIFY(!w.dialog->isActiveWindow());

    // Short: the progress shown and cleared, no notification.
    w.click(MainDialog::kJoinButton);
    QVERIFY(waitForEnd(w));
    QCOMPARE(desktop.progress.value(0), 0.0);
    QCOMPARE(desktop.progress.last(), -1.0);
    QVERIFY(desktop.notifications.isEmpty());

    // Longer than ten seconds: told once, with the outcome; the progress on the way.
    desktop.progress.clear();
    w.boxes.answers << true << true;  // replace the file of the join before
    w.click(MainDialog::kJoinButton);
    QVERIFY(w.dialog->job().joinRunning());
    w.now += MainDialog::kNotifyAfterSeconds + 1;
    w.dialog->job().onJoinTimer(kJoinTimerId);
    QVERIFY(waitForEnd(w));
    QVERIFY(desktop.progress.size() >= 3);
    for (double f : desktop.progress.mid(0, desktop.progress.size() - 1)) QVERIFY(f >= 0 && f <= 1);
    QCOMPARE(desktop.progress.last(), -1.0);
    QCOMPARE(desktop.notifications, QStringList{"The join is done\nDone. Output File: " + out});

    // As long, but seen: the window is active.
    elsewhere.hide();
    w.dialog->activateWindow();
    QTRY_VERIFY(w.dialog->isActiveWindow());
    w.click(MainDialog::kJoinButton);
    w.now += 60;
    QVERIFY(waitForEnd(w));
    QCOMPARE(desktop.notifications.size(), qsizetype(1));
}

void MainWindowJoinTest::stopMidJoinLeavesAValidWav() {
    const QString out = fixture("stopped.wav");
    Window w(out);
    w.add({fixture("long.wav"), fixture("a.wav")});
    w.click(MainDialog::kJoinButton);
    QVERIFY(w.dialog->job().joinRunning());
    // One tick of the join's timer: elapsed time in the status line, filled as far as written.
    QTest::qWait(20);
    w.dialog->job().onJoinTimer(kJoinTimerId);
    // The real timer may have ticked too on a busy machine.
    QVERIFY(w.dialog->job().elapsedSeconds() >= 1);
    QCOMPARE(w.dialog->statusText(), JoinJob::usedTimeText(w.dialog->job().elapsedSeconds()));
    QVERIFY(w.dialog->statusText().startsWith(QStringLiteral("Please wait... Used Time: 00:00:0")));
    QVERIFY(w.dialog->statusLine()->fraction() >= 0.0);
    QVERIFY(w.dialog->statusLine()->fraction() < 1.0);
    // The list stays editable during a join, without touching it.
    w.click(MainDialog::kDeleteAllButton);
    QCOMPARE(w.list()->rowCount(), 0);
    QVERIFY(w.dialog->job().joinRunning());
    // Stop with an emptied list still stops: a running join is never out of reach.
    w.click(MainDialog::kJoinButton);  // Stop
    QVERIFY(!w.dialog->job().joinRunning());
    QCOMPARE(w.button(MainDialog::kJoinButton)->text(), QStringLiteral("Join"));
    QCOMPARE(w.dialog->statusText(), QStringLiteral("Done. Output File: ") + out);
    QVERIFY(w.dialog->statusLine()->fillRect().isEmpty());
    const WavFile wav = readWav(out);
    QVERIFY2(wav.ok, qPrintable(wav.error));
    QCOMPARE(wav.dataSize % 4, 0ULL);
    QVERIFY(wav.frames() < 8000LL * 60 * 10 * 44100 / 8000 + 44100);
    QVERIFY(w.boxes.shown.isEmpty());
}

void MainWindowJoinTest::replaceQuestionNoThenYes() {
    const QString out = fixture("existing.wav");
    QVERIFY(writeBytes(out, {'k', 'e', 'e', 'p'}));
    Window w(out);
    w.add({fixture("a.wav")});
    w.boxes.answers = {false};
    w.click(MainDialog::kJoinButton);
    QCOMPARE(w.boxes.texts(), QStringList{out + " exists. Do you want to replace it?"});
    QCOMPARE(w.boxes.shown[0].caption, QStringLiteral("Warning"));
    QVERIFY(w.boxes.shown[0].question);
    QVERIFY(!w.dialog->job().joinRunning());
    QCOMPARE(readBytes(out), (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
    QCOMPARE(w.dialog->statusText(), QStringLiteral("Output File: ") + out);

    w.boxes.clear();
    w.boxes.answers = {true};
    w.click(MainDialog::kJoinButton);
    QCOMPARE(w.boxes.shown.size(), qsizetype(1));
    QVERIFY(waitForEnd(w));
    QCOMPARE(w.dialog->statusText(), QStringLiteral("Done. Output File: ") + out);
    QCOMPARE(readWav(out).frames(), 44100LL);
}

void MainWindowJoinTest::optionsChangeOutputAndFormatAboutOpens() {
    Window w(fixture("before.wav"));
    w.add({fixture("a.wav")});
    const QString out = fixture("options.wav");
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* options = qobject_cast<OptionsDialog*>(QApplication::activeModalWidget());
        if (!options) return;
        seen = true;
        static_cast<QLineEdit*>(options->control(OptionsDialog::kOutputPathEdit))->setText(out);
        static_cast<QComboBox*>(options->control(OptionsDialog::kSampleRateList))
            ->setCurrentIndex(3);
        static_cast<QComboBox*>(options->control(OptionsDialog::kChannelsList))->setCurrentIndex(1);
        static_cast<QComboBox*>(options->control(OptionsDialog::kBitsList))->setCurrentIndex(1);
        QTest::mouseClick(static_cast<QPushButton*>(options->control(1)), Qt::LeftButton);
    });
    w.click(MainDialog::kOptionsButton);
    QVERIFY(seen);
    QCOMPARE(w.dialog->statusText(), QStringLiteral("Output File: ") + out);
    w.click(MainDialog::kJoinButton);
    QVERIFY(waitForEnd(w));
    const WavFile wav = readWav(out);
    QVERIFY2(wav.ok, qPrintable(wav.error));
    QCOMPARE(wav.sampleRate, 8000);
    QCOMPARE(wav.channels, 1);
    QCOMPARE(wav.bits, 8);
    QCOMPARE(wav.frames(), 8000LL);
    QVERIFY(!QFile::exists(fixture("before.wav")));

    // About: the box with the maker's links, modal over the window.
    QString title;
    QTimer::singleShot(0, [&] {
        if (auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget())) {
            title = about->windowTitle();
            about->reject();
        }
    });
    w.click(MainDialog::kAboutButton);
    QCOMPARE(title, QStringLiteral("About Corvane"));
}

void MainWindowJoinTest::quotedMessagesForEmptyListAndFailure() {
    const QString out = fixture("failing.wav");
    Window w(out);
    w.click(MainDialog::kJoinButton);
    QCOMPARE(w.boxes.texts(), QStringList{"Please add wav files into the list"});
    QCOMPARE(w.boxes.shown[0].caption, QStringLiteral("Corvane"));
    QVERIFY(!w.dialog->job().joinRunning());
    QVERIFY(!QFile::exists(out));

    // An output folder that does not exist: said before the join, with what to do.
    {
        const QString lost = fixture("gone/out.wav");
        Window g(lost);
        g.add({fixture("a.wav")});
        g.click(MainDialog::kJoinButton);
        QCOMPARE(g.boxes.texts(),
                 QStringList{QStringLiteral("Cannot write %1: the folder %2 does not exist. "
                                            "Choose another folder for the output file.")
                                 .arg(lost, fixture("gone"))});
        QCOMPARE(g.boxes.shown[0].caption, QStringLiteral("Error"));
        QVERIFY(!g.dialog->job().joinRunning());
    }
    // Nor may a join write beside an output file in a folder closed to us (root may).
    if (::geteuid() != 0) {
        QVERIFY(QDir().mkpath(fixture("closed")));
        const QString shut = fixture("closed/out.wav");
        QVERIFY(writeBytes(shut, {'o', 'l', 'd'}));
        QVERIFY(QFile::setPermissions(fixture("closed"), QFile::ReadOwner | QFile::ExeOwner));
        Window c(shut);
        c.add({fixture("a.wav")});
        c.click(MainDialog::kJoinButton);
        QFile::setPermissions(fixture("closed"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(c.boxes.texts(),
                 QStringList{QStringLiteral("Cannot write %1: Corvane may not create files in "
                                            "the folder %2. Choose another folder for the "
                                            "output file.")
                                 .arg(shut, fixture("closed"))});
        QCOMPARE(readBytes(shut), (std::vector<unsigned char>{'o', 'l', 'd'}));
    }

    // A write failing mid-join: a message box, idle again, never "Done.".
    w.boxes.clear();
    w.add({fixture("a.wav"), fixture("b.flac")});
    media::Fault::failOn("FileWriter::write", media::E_DISK_FULL, 2);
    w.click(MainDialog::kJoinButton);
    QVERIFY(waitForEnd(w));
    QCOMPARE(w.boxes.shown.size(), qsizetype(1));
    QCOMPARE(w.boxes.shown[0].caption, QStringLiteral("Error"));
    QVERIFY(w.boxes.shown[0].text.contains(out));
    QVERIFY(!w.dialog->statusText().startsWith(QStringLiteral("Done.")));
    QCOMPARE(w.button(MainDialog::kJoinButton)->text(), QStringLiteral("Join"));
    QVERIFY(w.dialog->statusLine()->fillRect().isEmpty());
}

void MainWindowJoinTest::missingSourceIsOfferedToLocate() {
    const QString doomed = fixture("doomed.wav");
    QVERIFY(QFile::copy(fixture("a.wav"), doomed));
    const QString out = fixture("located.wav");
    Window w(out);
    w.add({fixture("b.flac"), doomed});
    QVERIFY(QFile::remove(doomed));

    // Declined: no dialog, no join, no file.
    w.boxes.answers = {false};
    w.click(MainDialog::kJoinButton);
    QCOMPARE(w.boxes.shown.size(), qsizetype(1));
    QVERIFY(w.boxes.shown[0].question);
    QVERIFY(w.boxes.shown[0].text.contains(doomed));
    const qsizetype asked = w.files.asked.size();
    QVERIFY(!w.dialog->job().joinRunning());
    QVERIFY(!QFile::exists(out));

    // Over an existing output: replace Yes, locate No. The old file is kept: the join never
    // started.
    QVERIFY(writeBytes(out, {'o', 'l', 'd'}));
    const std::vector<unsigned char> source = readBytes(fixture("b.flac"));
    w.boxes.clear();
    w.boxes.answers = {true, false};
    w.click(MainDialog::kJoinButton);
    QCOMPARE(w.boxes.shown.size(), qsizetype(2));
    QCOMPARE(w.boxes.shown[0].text, out + QStringLiteral(" exists. Do you want to replace it?"));
    QVERIFY(w.boxes.shown[1].text.contains(doomed + QStringLiteral(" cannot be found.")));
    QVERIFY(!w.dialog->job().joinRunning());
    QCOMPARE(readBytes(out), (std::vector<unsigned char>{'o', 'l', 'd'}));
    QVERIFY(!QFile::exists(out + ".part"));
    QCOMPARE(readBytes(fixture("b.flac")), source);

    // Accepted: the open dialog starts in the file's folder and its answer is joined.
    w.boxes.answers = {true, true};
    w.files.openAnswers << QStringList{fixture("a.wav")};
    w.click(MainDialog::kJoinButton);
    QCOMPARE(w.files.asked.size(), asked + 1);
    QCOMPARE(w.files.asked.last().initial, dir_.path() + QLatin1Char('/'));
    QVERIFY(w.files.asked.last().title.contains(QStringLiteral("doomed.wav")));
    QVERIFY(waitForEnd(w));
    QCOMPARE(w.dialog->statusText(), QStringLiteral("Done. Output File: ") + out);
    QCOMPARE(readWav(out).frames(), 88200LL + 44100);
}

void MainWindowJoinTest::closeWhileJoiningIsRefused() {
    const QString out = fixture("busy.wav");
    Window w(out);
    w.add({fixture("long.wav")});
    w.click(MainDialog::kJoinButton);
    QVERIFY(w.dialog->job().joinRunning());
    // The title bar's close box and Exit both meet the busy check.
    QVERIFY(!w.dialog->close());
    w.click(MainDialog::kExitButton);
    QCoreApplication::processEvents();
    QCOMPARE(w.boxes.texts(),
             (QStringList{"Please first stop Convert", "Please first stop Convert"}));
    QCOMPARE(w.boxes.shown[0].caption, QStringLiteral("Corvane"));
    QVERIFY(w.dialog->isVisible());
    QVERIFY(w.dialog->job().joinRunning());
    QCOMPARE(storedFirstUpdate(w), -1);  // no prompt bookkeeping either
    QVERIFY(waitForEnd(w));
    QVERIFY(readWav(out).ok);
}

void MainWindowJoinTest::escapeStopsTheJoinAndSkipsThePrompt() {
    const QString out = fixture("escaped.wav");
    Window w(out);
    w.store.writeInt("Setup", "t_first_update", int(w.now - k180Days - 100));  // a prompt is due
    w.add({fixture("long.wav")});
    w.click(MainDialog::kJoinButton);
    QVERIFY(w.dialog->job().joinRunning());
    QSignalSpy ended(&w.dialog->job(), &JoinJob::finished);
    QTest::keyClick(w.list(), Qt::Key_Escape);
    QVERIFY(!w.dialog->isVisible());
    QCOMPARE(w.dialog->result(), int(QDialog::Rejected));
    QVERIFY(!w.dialog->job().joinRunning());
    QCOMPARE(ended.size(), 1);
    QVERIFY(w.boxes.shown.isEmpty());  // neither the busy message nor the update question
    QCOMPARE(storedFirstUpdate(w), int(w.now - k180Days - 100));
    const WavFile wav = readWav(out);
    QVERIFY2(wav.ok, qPrintable(wav.error));
    QCOMPARE(wav.dataSize % 4, 0ULL);
}

void MainWindowJoinTest::stopAndEscapeDuringAStall() {
    // Every decoder of the join stopped (a stalled network read): Stop and Escape still end
    // the join at once, and the list is kept.
    const QString out = fixture("stalled.wav");
    Window w(out);
    w.add({fixture("long.wav"), fixture("a.wav")});
    media::WorkerPool::setTestFault(media::worker::TestFault::Freeze, "long.wav", 200000);
    auto restore = qScopeGuard([] { media::WorkerPool::setTestFault(media::worker::TestFault::None); });
    w.click(MainDialog::kJoinButton);
    QVERIFY(w.dialog->job().joinRunning());
    QTest::qWait(500);
    w.click(MainDialog::kJoinButton);  // Stop
    QVERIFY(!w.dialog->job().joinRunning());
    QCOMPARE(w.rowNames(), (QStringList{"a.wav", "long.wav"}));
    QVERIFY(readWav(out).ok);

    w.boxes.answers << true;  // replace the file of the stopped join
    w.click(MainDialog::kJoinButton);
    QVERIFY(w.dialog->job().joinRunning());
    QTest::qWait(500);
    QTest::keyClick(w.list(), Qt::Key_Escape);
    QVERIFY(!w.dialog->isVisible());
    QVERIFY(!w.dialog->job().joinRunning());
    QVERIFY(readWav(out).ok);
}

void MainWindowJoinTest::updatePromptEvery180Days() {
    Window w;
    const qint64 first = w.now;
    // First close: the time is written, nothing asked.
    QVERIFY(w.dialog->close());
    QVERIFY(w.boxes.shown.isEmpty());
    QCOMPARE(storedFirstUpdate(w), int(first));

    // Exactly 180 days later: not yet.
    w.now = first + k180Days;
    w.open();
    QVERIFY(w.dialog->close());
    QVERIFY(w.boxes.shown.isEmpty());

    // One second more: asked, with no owner; No postpones it by another 180 days.
    w.now = first + k180Days + 1;
    w.open();
    w.click(MainDialog::kExitButton);
    QTRY_VERIFY(!w.dialog->isVisible());
    QCOMPARE(w.boxes.texts(), QStringList{kUpdateQuestion});
    QCOMPARE(w.boxes.shown[0].caption, QStringLiteral("Update the program"));
    QCOMPARE(w.boxes.shown[0].owner, MessageBoxes::Owner::None);
    QVERIFY(w.opener.opened.isEmpty());
    QCOMPARE(storedFirstUpdate(w), int(w.now));
    w.boxes.clear();
    w.open();
    QVERIFY(w.dialog->close());
    QVERIFY(w.boxes.shown.isEmpty());

    // Yes opens the product page; a browser that does not start is reported.
    w.now += k180Days + 1;
    w.open();
    w.boxes.answers = {true};
    w.opener.desktopWorks = false;
    QVERIFY(w.dialog->close());
    QCOMPARE(w.opener.opened, QStringList{site::productPage()});
    QCOMPARE(
        w.boxes.texts(),
        (QStringList{kUpdateQuestion,
                     "The Program does not launch your web browser to access " + site::homePage() +
                         " ,\nPlease launch your web browser and input the URL manually."}));
    QCOMPARE(w.boxes.shown[1].caption, QStringLiteral("unknown errors"));
    QCOMPARE(storedFirstUpdate(w), int(w.now));

    // Past 2038 the 32-bit value wraps; the period still holds.
    Window later;
    later.now = 2'200'000'000;
    QVERIFY(later.dialog->close());
    later.now += 3600;
    later.open();
    QVERIFY(later.dialog->close());
    QVERIFY(later.boxes.shown.isEmpty());
    later.now += k180Days;
    later.open();
    QVERIFY(later.dialog->close());
    QCOMPARE(later.boxes.texts(), QStringList{kUpdateQuestion});
}

void MainWindowJoinTest::enterInTheListClosesLikeExit() {
    Window w;
    w.add({fixture("a.wav")});
    w.list()->setFocus();
    QVERIFY(w.list()->hasFocus());
    QTest::keyClick(w.list(), Qt::Key_Return);
    QTRY_VERIFY(!w.dialog->isVisible());
    QCOMPARE(storedFirstUpdate(w), int(w.now));  // the close handler ran
    QVERIFY(w.opener.opened.isEmpty());          // and nothing was played
}
