// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>
#include <cstdio>

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QMenu>
#include <QMimeData>
#include <QPaintEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <thread>

#include "app/StatusLine.h"
#include "app/Translations.h"
#include "controls/DialogBuilder.h"
#include "controls/HelpFolder.h"
#include "controls/SiteAddresses.h"
#include "media/HResult.h"
#include "media/PathCodec.h"
#include "media/decoders/WorkerPool.h"
#include "options/OptionsDialog.h"
#include "tests/mainwindow/MainWindowTests.h"
#include "tests/mainwindow/Window.h"
#include "tests/support/AudioFixture.h"

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kCannotOpen = QStringLiteral(
    "Cannot open %1. You need to install appropriate decoders.\nOr the file is corrupt.");

}  // namespace

void MainWindowListTest::initTestCase() {
    // The default output folder must not be made in the real home.
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(dir_.isValid());
    QVERIFY(home_.isValid());
    qputenv("HOME", QFile::encodeName(home_.path()));
    EncodeOptions s;
    s.frames = 44100 * 3 + 100;  // 3.002 s: shown as 3
    QVERIFY(encodeFile(fixture("a.wav"), s, sine(330)).isEmpty());
    s.encoder = "flac";
    s.frames = 44100 * 2;
    QVERIFY(encodeFile(fixture("b.flac"), s, sine(440)).isEmpty());
    s.encoder = "libmp3lame";
    s.frames = 44100;
    QVERIFY(encodeFile(fixture("c.mp3"), s, sine(550)).isEmpty());
    QVERIFY(writeBytes(fixture("bad.wav"), {'R', 'I', 'F', 'F', 'n', 'o', 'p', 'e'}));
    for (const char* name : {"A.wav", "B.wav", "C.wav", "D.wav", "E.wav"})
        QVERIFY(QFile::copy(fixture("a.wav"), fixture(name)));
}

void MainWindowListTest::startUpLaysOutTheWindowAndReadsSettings() {
    {
        Window w(QStringLiteral("/tmp/kept/out.wav"));
        MainDialog& d = *w.dialog;
        QCOMPARE(d.windowTitle(), QStringLiteral("Corvane"));
        QCOMPARE(d.statusText(), QStringLiteral("Output File: /tmp/kept/out.wav"));
        QVERIFY(w.boxes.shown.isEmpty());

        struct Expected {
            int id;
            const char* caption;
            const char* tip;
        };
        const Expected buttons[] = {
            {1006, "Add", "Add wav files to list"},
            {1003, "Options", "Customize output options"},
            {1000, "Join", "Join the files to wav"},
            {57670, "&Help", "Help"},
            {1, "Exit", "Exit"},
            {1031, "", "Move item up"},
            {1032, "", "Move item down"},
            {1029, "", "Delete selected item"},
            {1030, "", "Delete all items"},
            {1047, "Homepage", "Homepage"},
            {1042, "About", "About"},
        };
        DialogBuilder reference(DialogTemplate::load(102));
        QDialog scratch;
        reference.build(&scratch);
        for (const Expected& e : buttons) {
            ImageButton* b = w.button(e.id);
            QVERIFY2(b, qPrintable(QString::number(e.id)));
            QCOMPARE(b->text(), QString::fromLatin1(e.caption));
            QCOMPARE(b->tipText(), QString::fromLatin1(e.tip));
            QVERIFY(b->isTipActive());
            QCOMPARE(b->placement(), int(ImageButton::kIconAbove));
            QVERIFY(b->isTransparent());
            QVERIFY(b->hasButtonCursor());
            QCOMPARE(b->hoverSound(), 144);
            // Every button but Homepage and About carries its icon.
            QCOMPARE(b->iconSize().isValid() && !b->iconSize().isEmpty(),
                     e.id != 1047 && e.id != 1042);
            QCOMPARE(b->geometry(), reference.control(e.id)->geometry());
        }
        QCOMPARE(w.button(1031)->iconSize(), QSize(16, 16));
        QCOMPARE(w.button(1000)->iconSize(), QSize(32, 32));

        ItemListView* list = w.list();
        QCOMPARE(list->geometry(), reference.control(1008)->geometry());
        QCOMPARE(list->columnCount(), 2);
        QCOMPARE(list->horizontalHeaderItem(0)->text(), QStringLiteral("Sound File Name"));
        QCOMPARE(list->horizontalHeaderItem(1)->text(), QStringLiteral("Duration(s)"));
        QCOMPARE(list->columnWidth(0), 245);
        QCOMPARE(list->columnWidth(1), 80);
        QVERIFY(list->showGrid());
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        // The status line where the template puts it, tall enough for a whole line of text
        // and inside the window's frame.
        const QRect line = d.control(1021)->geometry();
        const QRect planned = reference.control(1021)->geometry();
        QCOMPARE(line.left(), planned.left());
        QCOMPARE(line.width(), planned.width());
        QVERIFY(line.top() >= planned.top() - 4 && line.top() <= planned.top());
        QVERIFY(line.height() >= planned.height());
        QVERIFY(line.height() >=
                d.statusLine()->fontMetrics().height() + 2 * d.statusLine()->frameWidth() + 2);
        QVERIFY(line.bottom() <= d.height() - 4);
        QCOMPARE(d.size(), scratch.size());

        // The About entry of the window's menu.
        const QList<QAction*> actions = d.windowMenu()->actions();
        QVERIFY(actions.size() >= 1);
        QCOMPARE(actions.last()->text(), QStringLiteral("&About Corvane"));
        QCOMPARE(actions.last()->data().toInt(), MainDialog::kAboutCommand);
    }
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    QVERIFY(music.startsWith(home_.path()));
    // An output elsewhere: the music folder is not made.
    QVERIFY(!QFileInfo::exists(music));
    {
        // Nothing stored: the music folder's corvane.wav, made only when a join writes there.
        Window w;
        QCOMPARE(w.dialog->format().outputPath,
                 QDir(music).filePath(QStringLiteral("corvane.wav")));
        QCOMPARE(w.dialog->statusText(),
                 QStringLiteral("Output File: ") + w.dialog->format().outputPath);
        QVERIFY(w.boxes.shown.isEmpty());
        QVERIFY(!QFileInfo::exists(music));
        w.add({fixture("a.wav")});
        QSignalSpy ended(&w.dialog->job(), &JoinJob::finished);
        w.click(MainDialog::kJoinButton);
        QVERIFY(ended.wait(60000));
        QCOMPARE(ended.at(0).at(0).toBool(), true);
        QVERIFY(QFileInfo(QDir(music).filePath(QStringLiteral("corvane.wav"))).isFile());
        QVERIFY(QDir(music).removeRecursively());
    }
    {
        // A path longer than the status line loses its middle, never its end; the tooltip and
        // the text keep it whole.
        const QString longPath = QStringLiteral("/srv/") + QString(40, u'x') +
                                 QStringLiteral("/deep/") + QString(60, u'y') +
                                 QStringLiteral("/final-mix.wav");
        Window w(longPath);
        StatusLine* line = w.dialog->statusLine();
        QCOMPARE(w.dialog->statusText(), QStringLiteral("Output File: ") + longPath);
        QCOMPARE(line->toolTip(), QStringLiteral("Output File: ") + longPath);
        const QString shown = line->shownText();
        QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
        QVERIFY(shown.startsWith(QStringLiteral("Output File: /srv/")));
        QVERIFY(shown.endsWith(QStringLiteral("/final-mix.wav")));
        QVERIFY(line->fontMetrics().horizontalAdvance(shown) <= line->contentsRect().width());
        // A short text is shown as it is.
        w.dialog->setStatusText(QStringLiteral("Done."));
        QCOMPARE(line->shownText(), QStringLiteral("Done."));
    }
}

void MainWindowListTest::addAsksOnceAndReportsEachFailure() {
    Window w;
    w.add({fixture("a.wav"), fixture("bad.wav"), fixture("c.mp3")});
    QCOMPARE(w.files.asked.size(), qsizetype(1));
    QCOMPARE(w.files.asked[0].title, QStringLiteral("Select wav Files..."));
    QCOMPARE(w.files.asked[0].initial, QString());
    QCOMPARE(w.files.asked[0].filters.value(0), QStringLiteral("Wav Files (*.wav)"));
    QVERIFY(w.files.asked[0].filters.value(1).startsWith(QStringLiteral("Any Files")));
    QCOMPARE(w.boxes.texts().size(), qsizetype(2));
    // The cause, on a line of its own, after the message.
    QVERIFY(w.boxes.texts()[0].startsWith(kCannotOpen.arg(fixture("bad.wav")) + QLatin1Char('\n')));
    QCOMPARE(w.boxes.texts()[1],
             QStringLiteral("Can not get the duration of ") + fixture("bad.wav"));
    for (const auto& shown : w.boxes.shown) QCOMPARE(shown.caption, QStringLiteral("Error"));
    QCOMPARE(w.rowNames(), (QStringList{"a.wav", "c.mp3"}));
    QCOMPARE(w.list()->item(0, 1)->text(), QStringLiteral("3"));  // 3.002 s, truncated
    QCOMPARE(w.list()->item(1, 1)->text(), QStringLiteral("1"));
    QVERIFY(w.consistent());
    const QString folder = dir_.path() + QLatin1Char('/');
    QCOMPARE(w.store.readString("Option", "LastPhotoFolder", "unset"), folder);

    // The next Add opens in that folder; cancelling it changes nothing.
    w.boxes.clear();
    w.add({});
    QCOMPARE(w.files.asked.last().initial, folder);
    QCOMPARE(w.rowNames().size(), 2);
    QVERIFY(w.boxes.shown.isEmpty());

    // A later Add appends after what is there, in natural order of the names chosen.
    QVERIFY(QFile::copy(fixture("a.wav"), fixture("t10.wav")));
    QVERIFY(QFile::copy(fixture("a.wav"), fixture("t9.wav")));
    w.add({fixture("t10.wav"), fixture("b.flac"), fixture("t9.wav"), fixture("a.wav")});
    QCOMPARE(w.rowNames(), (QStringList{"a.wav", "c.mp3", "a.wav", "b.flac", "t9.wav", "t10.wav"}));
    QCOMPARE(w.list()->item(3, 1)->text(), QStringLiteral("2"));
    QVERIFY(w.consistent());
    // A decoder that crashes on one file: that file is left out, named with the cause, and
    // the window and its list go on.
    w.boxes.clear();
    media::WorkerPool::setTestFault(media::worker::TestFault::Abort, "c.mp3");
    w.add({fixture("c.mp3"), fixture("b.flac")});
    media::WorkerPool::setTestFault(media::worker::TestFault::None);
    QVERIFY2(w.boxes.texts().value(0).contains(QStringLiteral("decoder stopped (crashed)")),
             qPrintable(w.boxes.texts().join('\n')));
    QCOMPARE(w.rowNames(), (QStringList{"a.wav", "c.mp3", "a.wav", "b.flac", "t9.wav", "t10.wav", "b.flac"}));
    QVERIFY(w.consistent());
}

void MainWindowListTest::singleFailingFileChangesNothing() {
    Window w;
    w.store.writeString("Option", "LastPhotoFolder", "/somewhere/else/");
    w.add({fixture("a.wav")});
    w.store.writeString("Option", "LastPhotoFolder", "/somewhere/else/");
    w.add({fixture("bad.wav")});
    QCOMPARE(w.boxes.texts().size(), qsizetype(2));
    QVERIFY(w.boxes.texts()[0].startsWith(kCannotOpen.arg(fixture("bad.wav")) + QLatin1Char('\n')));
    QCOMPARE(w.boxes.texts()[1], QStringLiteral("Can not get the duration of the clip!"));
    QCOMPARE(w.rowNames(), QStringList{"a.wav"});
    QCOMPARE(w.store.readString("Option", "LastPhotoFolder", ""),
             QStringLiteral("/somewhere/else/"));
    QVERIFY(w.consistent());

    // Several chosen and all failing: the folder is still that of the list's last item.
    w.boxes.clear();
    w.add({fixture("bad.wav"), dir_.filePath("missing.wav")});
    QCOMPARE(w.boxes.shown.size(), qsizetype(4));
    QCOMPARE(w.rowNames(), QStringList{"a.wav"});
    QCOMPARE(w.store.readString("Option", "LastPhotoFolder", ""), dir_.path() + QLatin1Char('/'));
}

void MainWindowListTest::listCommandsWalkTheSelection() {
    Window w;
    const QStringList five = {fixture("A.wav"), fixture("B.wav"), fixture("C.wav"),
                              fixture("D.wav"), fixture("E.wav")};
    w.add(five);
    QCOMPARE(w.rowNames(), (QStringList{"A.wav", "B.wav", "C.wav", "D.wav", "E.wav"}));

    // Delete rows 1 and 3.
    w.select({false, true, false, true, false});
    w.click(MainDialog::kDeleteSelectedButton);
    QCOMPARE(w.rowNames(), (QStringList{"A.wav", "C.wav", "E.wav"}));
    QVERIFY(!w.list()->hasSelection());
    QVERIFY(w.consistent());

    // The keyboard: Home and End go to the first and last row, the current item is a row
    // (never a cell), and the Delete key deletes the selection, leaving the next row current.
    ItemListView* list = w.list();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_End);
    QCOMPARE(list->currentIndex().row(), 2);
    QCOMPARE(list->currentIndex().column(), 0);
    QTest::keyClick(list, Qt::Key_Right);
    QCOMPARE(list->currentIndex().column(), 0);
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(list->currentIndex().row(), 0);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRowIndex(), 1);
    QCOMPARE(list->selectedRows(), (std::vector<bool>{false, true, false}));
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(w.rowNames(), (QStringList{"A.wav", "E.wav"}));
    QCOMPARE(list->currentRowIndex(), 1);
    QVERIFY(w.consistent());

    w.click(MainDialog::kDeleteAllButton);
    QCOMPARE(w.list()->rowCount(), 0);
    QVERIFY(w.consistent());
    QVERIFY(w.boxes.shown.isEmpty());

    // Move up with rows 2 and 3 selected: 0, 2, 3, 1, 4, both still selected, and the
    // current item (D) still current, so the arrows go on from there.
    w.add(five);
    w.select({false, false, true, true, false});
    list->setCurrentRowIndex(3);
    w.click(MainDialog::kMoveUpButton);
    QCOMPARE(w.rowNames(), (QStringList{"A.wav", "C.wav", "D.wav", "B.wav", "E.wav"}));
    QCOMPARE(w.list()->selectedRows(), (std::vector<bool>{false, true, true, false, false}));
    QVERIFY(w.list()->hasFocus());
    QCOMPARE(list->currentRowIndex(), 2);
    QVERIFY(w.consistent());
    w.select({false, false, true, false, false});
    w.click(MainDialog::kMoveDownButton);
    QCOMPARE(list->currentRowIndex(), 3);
    QCOMPARE(list->item(3, 0)->text(), QStringLiteral("D.wav"));
    w.click(MainDialog::kMoveUpButton);
    QCOMPARE(list->currentRowIndex(), 2);
    QCOMPARE(w.rowNames(), (QStringList{"A.wav", "C.wav", "D.wav", "B.wav", "E.wav"}));

    // With the first row selected nothing moves, not even the others.
    w.select({true, false, true, false, false});
    w.click(MainDialog::kMoveUpButton);
    QCOMPARE(w.rowNames(), (QStringList{"A.wav", "C.wav", "D.wav", "B.wav", "E.wav"}));
    QCOMPARE(w.list()->selectedRows(), (std::vector<bool>{true, false, true, false, false}));

    // Move down with three adjacent rows: the block moves down by one, still selected, and
    // the current row goes with its item.
    w.click(MainDialog::kDeleteAllButton);
    w.add(five);
    w.select({false, true, true, true, false});
    list->setCurrentRowIndex(2);
    w.click(MainDialog::kMoveDownButton);
    QCOMPARE(w.rowNames(), (QStringList{"A.wav", "E.wav", "B.wav", "C.wav", "D.wav"}));
    QCOMPARE(w.list()->selectedRows(), (std::vector<bool>{false, false, true, true, true}));
    QCOMPARE(list->currentRowIndex(), 3);
    QVERIFY(w.consistent());
    // At the bottom the block stays where it is.
    w.click(MainDialog::kMoveDownButton);
    QCOMPARE(w.rowNames(), (QStringList{"A.wav", "E.wav", "B.wav", "C.wav", "D.wav"}));
    QCOMPARE(w.list()->selectedRows(), (std::vector<bool>{false, false, true, true, true}));

    // Down with the last row among the selected: those above move, the walk stops at it.
    w.click(MainDialog::kDeleteAllButton);
    w.add(five);
    w.select({true, false, false, false, true});
    w.click(MainDialog::kMoveDownButton);
    QCOMPARE(w.rowNames(), (QStringList{"B.wav", "A.wav", "C.wav", "D.wav", "E.wav"}));
    QVERIFY(w.consistent());
    QVERIFY(w.boxes.shown.isEmpty());

    // A list of one: the moves do nothing and say nothing.
    w.click(MainDialog::kDeleteAllButton);
    w.add({fixture("A.wav")});
    w.click(MainDialog::kMoveUpButton);
    w.click(MainDialog::kMoveDownButton);
    QVERIFY(w.boxes.shown.isEmpty());
    QCOMPARE(w.rowNames(), QStringList{"A.wav"});
}

void MainWindowListTest::selectionByMouseAndNoSelectionMessage() {
    Window w;
    w.add({fixture("A.wav"), fixture("B.wav"), fixture("C.wav"), fixture("D.wav")});
    QWidget* viewport = w.list()->viewport();
    const auto rowCentre = [&](int r) {
        return w.list()->visualRect(w.list()->model()->index(r, 0)).center();
    };
    QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(1));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(3));
    QCOMPARE(w.list()->selectedRows(), (std::vector<bool>{false, true, false, true}));
    // Ctrl+click and Ctrl+arrow move only the focus frame: the row it leaves is repainted
    // whole, its Duration cell too, so no old frame is left behind.
    QRegion painted;
    struct PaintSpy : QObject {
        QRegion* region;
        explicit PaintSpy(QRegion* r) : region(r) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) *region += static_cast<QPaintEvent*>(e)->region();
            return false;
        }
    } spy(&painted);
    const auto durationCell = [&](int r) {
        return w.list()->visualRect(w.list()->model()->index(r, 1));
    };
    QApplication::processEvents();
    viewport->installEventFilter(&spy);
    QTest::keyClick(w.list(), Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(w.list()->currentRowIndex(), 2);
    QTRY_VERIFY(painted.contains(durationCell(2)));
    QVERIFY(painted.contains(durationCell(3)));  // the row the frame left
    painted = QRegion();
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(0));
    QTRY_VERIFY(painted.contains(durationCell(0)));
    QVERIFY(painted.contains(durationCell(2)));
    viewport->removeEventFilter(&spy);
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(0));

    w.click(MainDialog::kDeleteSelectedButton);
    QCOMPARE(w.rowNames(), (QStringList{"A.wav", "C.wav"}));

    // Each selection command asks for a selection first.
    for (int id : {MainDialog::kDeleteSelectedButton, MainDialog::kMoveUpButton,
                   MainDialog::kMoveDownButton}) {
        w.boxes.clear();
        w.click(id);
        QCOMPARE(w.boxes.texts(), QStringList{"Please select items!"});
        QCOMPARE(w.boxes.shown[0].caption, QStringLiteral("Corvane"));
        QCOMPARE(w.rowNames(), (QStringList{"A.wav", "C.wav"}));
    }
    // An empty list: delete selected says nothing.
    w.click(MainDialog::kDeleteAllButton);
    w.boxes.clear();
    w.click(MainDialog::kDeleteSelectedButton);
    QVERIFY(w.boxes.shown.isEmpty());
}

void MainWindowListTest::capacityIsRefused() {
    Window w;
    // Measuring is replaced: a thousand real files are not needed to fill the list.
    w.dialog->setProber([](const QStringList& paths, const std::function<void(int, int)>&,
                           const std::atomic<bool>*) {
        std::vector<media::ProbeResult> results(static_cast<std::size_t>(paths.size()));
        for (auto& r : results) {
            r.hr = media::S_OK;
            r.duration = 10'000'000;
        }
        return results;
    });
    QStringList paths;
    for (int i = 0; i < kMaxItems + 2; ++i) paths << QStringLiteral("/music/%1.wav").arg(i);
    w.add(paths);
    QCOMPARE(w.dialog->items().itemCount(), kMaxItems);
    QCOMPARE(w.list()->rowCount(), kMaxItems);
    QCOMPARE(w.boxes.shown.size(), qsizetype(1));
    QVERIFY(w.boxes.shown[0].text.contains(QStringLiteral("at most 1000")));
    QVERIFY(w.boxes.shown[0].text.contains(QStringLiteral("2 file(s) were not added")));
    QCOMPARE(w.dialog->items().itemPath(kMaxItems - 1), QStringLiteral("/music/999.wav"));
    QVERIFY(w.consistent());

    // Full: Add says so before any dialog opens.
    w.boxes.clear();
    const qsizetype asked = w.files.asked.size();
    w.click(MainDialog::kAddButton);
    QCOMPARE(w.files.asked.size(), asked);
    QCOMPARE(w.boxes.shown.size(), qsizetype(1));
    QVERIFY(w.boxes.shown[0].text.contains(QStringLiteral("at most 1000")));
    QCOMPARE(w.dialog->items().itemCount(), kMaxItems);
}

void MainWindowListTest::slowProbeShowsProgressAndCancelAddsNothing() {
    Window w;
    w.add({fixture("A.wav")});
    std::atomic<bool> entered{false};
    // Measures nothing until cancelled, as a very long selection would.
    w.dialog->setProber([&entered](const QStringList& paths,
                                   const std::function<void(int, int)>& progress,
                                   const std::atomic<bool>* cancel) {
        entered = true;
        progress(1, static_cast<int>(paths.size()));
        while (!cancel->load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::vector<media::ProbeResult> results(static_cast<std::size_t>(paths.size()));
        for (auto& r : results) r.hr = media::E_ABORT;
        results[0].hr = media::S_OK;
        return results;
    });
    w.dialog->setProgressDelay(100);

    bool sawProgress = false, clickIgnored = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* progress = w.dialog->findChild<QProgressDialog*>();
        if (!progress || !progress->isVisible() || !entered) return;
        poll.stop();
        sawProgress = true;
        // The window takes no commands while it measures.
        QTest::mouseClick(w.button(MainDialog::kDeleteAllButton), Qt::LeftButton);
        clickIgnored = w.dialog->items().itemCount() == 1;
        auto* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    poll.start();
    w.add({fixture("B.wav"), fixture("C.wav"), fixture("D.wav")});
    QVERIFY(sawProgress);
    QVERIFY(clickIgnored);
    QVERIFY(!w.dialog->isAdding());
    // Cancelled: as if nothing had been chosen.
    QCOMPARE(w.rowNames(), QStringList{"A.wav"});
    QVERIFY(w.boxes.shown.isEmpty());
    QVERIFY(w.consistent());

    // The window takes commands again.
    w.click(MainDialog::kDeleteAllButton);
    QCOMPARE(w.list()->rowCount(), 0);

    // Closing while it measures is not lost: the measuring stops and the window closes,
    // with nothing added.
    entered = false;
    bool stillOpen = false;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!entered) return;
        closer.stop();
        w.dialog->close();
        stillOpen = w.dialog->isVisible() && w.dialog->isAdding();
    });
    closer.start();
    w.add({fixture("B.wav"), fixture("C.wav")});
    QVERIFY(stillOpen);
    QTRY_VERIFY(!w.dialog->isVisible());
    QCOMPARE(w.dialog->items().itemCount(), 0);
    QVERIFY(w.boxes.shown.isEmpty());
}

void MainWindowListTest::droppedFilesAreAdded() {
    Window w;
    // A folder brings the sound files inside it, not those of its subfolders.
    QDir dir(dir_.path());
    QVERIFY(dir.mkpath("album/inner"));
    for (const char* name : {"album/10 ten.wav", "album/2 two.wav", "album/inner/1 one.wav"})
        QVERIFY(QFile::copy(fixture("a.wav"), fixture(name)));
    QVERIFY(writeBytes(fixture("album/cover.jpg"), {'j', 'p', 'g'}));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(fixture("b.flac")),
                  QUrl(QStringLiteral("https://example.org/x.wav")),
                  QUrl::fromLocalFile(fixture("album")), QUrl::fromLocalFile(fixture("a.wav"))});
    const QPoint at = w.list()->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.dialog.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.dialog.get(), &drop);
    // In natural order of the names dropped, the folder's files in theirs at its place.
    QTRY_COMPARE(w.rowNames(), (QStringList{"a.wav", "2 two.wav", "10 ten.wav", "b.flac"}));
    QVERIFY(w.boxes.shown.isEmpty());
    QVERIFY(w.consistent());
    QCOMPARE(w.store.readString("Option", "LastPhotoFolder", ""), dir_.path() + QLatin1Char('/'));

    // Nothing that is a local file: the drag is not taken.
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/x.wav"))});
    QDragEnterEvent refused(at, Qt::CopyAction, &remote, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(w.dialog.get(), &refused);
    QVERIFY(!refused.isAccepted());
}

void MainWindowListTest::playlistsInAndOutOfTheList() {
    Window w;
    QVERIFY(QDir(dir_.path()).mkpath("lists"));
    QFile m3u(fixture("lists/mix.m3u"));
    QVERIFY(m3u.open(QIODevice::WriteOnly));
    m3u.write("#EXTM3U\n#EXTINF:1,C\n../c.mp3\n\n../a.wav\nmissing.wav\n");
    m3u.close();
    // Dropped: its files in its order, the missing one named.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(m3u.fileName())});
    const QPoint at = w.list()->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.dialog.get(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.dialog.get(), &drop);
    QTRY_COMPARE(w.rowNames(), (QStringList{"c.mp3", "a.wav"}));
    QCOMPARE(w.boxes.shown.size(), qsizetype(1));
    QVERIFY(w.boxes.shown[0].text.contains(m3u.fileName()));
    QVERIFY(w.boxes.shown[0].text.endsWith(fixture("lists/missing.wav")));

    // The list's own menu: saved as .m3u8 (the extension added), then opened again.
    QCOMPARE(w.list()->contextMenuPolicy(), Qt::CustomContextMenu);
    const QList<QAction*> actions = w.dialog->listMenu()->actions();
    QCOMPARE(actions.size(), qsizetype(2));
    w.files.saveAnswers << fixture("saved");
    actions[0]->trigger();
    QFile saved(fixture("saved.m3u8"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("#EXTM3U\n#EXTINF:1,c\nc.mp3\n#EXTINF:3,a\na.wav\n"));
    saved.close();
    w.click(MainDialog::kDeleteAllButton);
    w.files.openAnswers << QStringList{saved.fileName()};
    actions[1]->trigger();
    QTRY_COMPARE(w.rowNames(), (QStringList{"c.mp3", "a.wav"}));
    QVERIFY(w.files.asked.last().filters.contains("Playlists (*.m3u *.m3u8 *.pls)"));
    // The name with its added extension exists: asked, and No keeps the file.
    w.boxes.clear();
    w.files.saveAnswers << fixture("saved");
    w.boxes.answers << false;
    const QDateTime before = QFileInfo(saved).lastModified();
    actions[0]->trigger();
    QCOMPARE(w.boxes.shown.last().text, saved.fileName() + " exists. Do you want to replace it?");
    QCOMPARE(QFileInfo(saved).lastModified(), before);
    QVERIFY(w.consistent());
}

void MainWindowListTest::doubleClickPlaysSelectedInOrder() {
    Window w;
    const QString doomed = fixture("Bb-doomed.wav");  // between B and C in natural order
    QVERIFY(QFile::copy(fixture("a.wav"), doomed));
    w.add({fixture("A.wav"), fixture("B.wav"), doomed, fixture("C.wav"), fixture("D.wav")});
    QWidget* viewport = w.list()->viewport();
    const QPoint below(viewport->width() / 2, viewport->height() - 3);

    // Double-click with nothing selected.
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, below);
    QCOMPARE(w.boxes.texts(), QStringList{"Please select items!"});
    QVERIFY(w.opener.opened.isEmpty());

    // Three selected: each opened in list order, the list unchanged.
    w.boxes.clear();
    w.select({true, false, false, true, true});
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::ControlModifier, below);
    QCOMPARE(w.opener.opened, (QStringList{QUrl::fromLocalFile(fixture("A.wav")).toString(),
                                           QUrl::fromLocalFile(fixture("C.wav")).toString(),
                                           QUrl::fromLocalFile(fixture("D.wav")).toString()}));
    QVERIFY(w.boxes.shown.isEmpty());
    QCOMPARE(w.rowNames().size(), 5);

    // Only the left button plays.
    w.opener.opened.clear();
    QTest::mouseDClick(viewport, Qt::RightButton, Qt::ControlModifier, below);
    QTest::mouseDClick(viewport, Qt::MiddleButton, Qt::ControlModifier, below);
    QVERIFY(w.opener.opened.isEmpty());

    // The second of three is gone: the first plays, the message names the second, the third waits.
    w.opener.opened.clear();
    QVERIFY(QFile::remove(doomed));
    w.select({false, true, true, true, false});
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::ControlModifier, below);
    QCOMPARE(w.opener.opened, QStringList{QUrl::fromLocalFile(fixture("B.wav")).toString()});
    QCOMPARE(w.boxes.texts(), QStringList{doomed + " does not exist!"});
    QCOMPARE(w.boxes.shown[0].caption, QStringLiteral("Error"));
    QCOMPARE(w.boxes.shown[0].owner, MessageBoxes::Owner::None);

    // A name that is not UTF-8 reaches the player with its own bytes.
    w.click(MainDialog::kDeleteAllButton);
    w.boxes.clear();
    w.opener.opened.clear();
    const std::string latin1 = dir_.path().toStdString() + "/caf\xe9 %41.wav";
    QVERIFY(QFile::copy(fixture("a.wav"), fixture("latin1.tmp")));
    QCOMPARE(::rename(fixture("latin1.tmp").toStdString().c_str(), latin1.c_str()), 0);
    w.add({media::pathToQString(latin1)});
    QCOMPARE(w.rowNames().size(), 1);
    w.select({true});
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, below);
    QCOMPARE(
        w.opener.opened,
        QStringList{QStringLiteral("file://") +
                    QString::fromLatin1(QByteArray::fromStdString(latin1).toPercentEncoding("/"))});
    QVERIFY(w.opener.opened[0].endsWith(QStringLiteral("/caf%E9%20%2541.wav")));
    ::unlink(latin1.c_str());

    // An empty list: nothing at all.
    w.click(MainDialog::kDeleteAllButton);
    w.boxes.clear();
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, below);
    QVERIFY(w.boxes.shown.isEmpty());
}

void MainWindowListTest::homepageHelpAndMenus() {
    Window w;
    w.click(MainDialog::kHomepageButton);
    QCOMPARE(w.opener.opened, QStringList{site::homePage()});
    QVERIFY(w.boxes.shown.isEmpty());
    w.opener.desktopWorks = false;
    w.click(MainDialog::kHomepageButton);
    QCOMPARE(
        w.boxes.texts(),
        QStringList{
            "Failed to launch web brower.\nPlease launch your web browser manually to access " +
            site::homePage()});
    QCOMPARE(w.boxes.shown[0].caption, QStringLiteral("unknown errors"));
    QCOMPARE(w.boxes.shown[0].owner, MessageBoxes::Owner::MainWindow);

    // Help: the start page of the help beside the program; failures are silent.
    w.boxes.clear();
    w.opener.opened.clear();
    w.click(MainDialog::kHelpButton);
    QVERIFY(!helpStartPage().isEmpty());
    QCOMPARE(w.opener.opened, QStringList{helpStartPage().toString()});
    QVERIFY(w.opener.opened[0].endsWith(QStringLiteral("/Introduction.htm")));
    QVERIFY(w.boxes.shown.isEmpty());
    // F1 too, wherever the focus is in the window.
    w.opener.opened.clear();
    w.dialog->activateWindow();
    w.list()->setFocus();
    QTest::keyClick(w.list(), Qt::Key_F1);
    QCOMPARE(w.opener.opened, QStringList{helpStartPage().toString()});

    // A right-click on the list shows its playlist menu; on the window, the About entry.
    QWidget* viewport = w.list()->viewport();
    bool listMenu = false;
    QTimer::singleShot(50, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            listMenu = popup == w.dialog->listMenu();
            popup->close();
        }
    });
    QContextMenuEvent onList(QContextMenuEvent::Mouse, QPoint(5, 5),
                             viewport->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(viewport, &onList);
    QTest::qWait(80);
    QVERIFY(listMenu);
    bool menuShown = false;
    QTimer::singleShot(50, [&] {
        menuShown = QApplication::activePopupWidget() == w.dialog->windowMenu();
        w.dialog->windowMenu()->close();
    });
    const QPoint outside(w.dialog->width() - 10, w.dialog->height() / 2);
    QContextMenuEvent onWindow(QContextMenuEvent::Mouse, outside, w.dialog->mapToGlobal(outside));
    QApplication::sendEvent(w.dialog.get(), &onWindow);
    QVERIFY(menuShown);
}

void MainWindowListTest::germanWhereTheLocaleIsGerman() {
    // As a German desktop starts the program (LANG=de_DE.UTF-8 sets the default locale).
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QVERIFY(installTranslations());
    {
        Window w;
        QCOMPARE(w.button(MainDialog::kAddButton)->text(), QStringLiteral("Hinzufügen"));
        QCOMPARE(w.button(MainDialog::kAddButton)->tipText(),
                 QStringLiteral("WAV-Dateien zur Liste hinzufügen"));
        QCOMPARE(w.list()->horizontalHeaderItem(0)->text(), QStringLiteral("Name der Audiodatei"));
        QCOMPARE(w.dialog->listMenu()->actions().value(0)->text(),
                 QStringLiteral("Liste als Wiedergabeliste &speichern..."));
        QVERIFY(w.dialog->statusText().startsWith(QStringLiteral("Ausgabedatei: ")));
        QCOMPARE(JoinJob::usedTimeText(3661), QStringLiteral("Bitte warten... Benötigte Zeit: 01:01:01"));
        // The output format lists, their stored indexes unchanged.
        OptionsDialog options(w.store, w.boxes, w.files);
        options.format().channelsIndex = kSameChannelsIndex;
        options.show();
        auto* channels = qobject_cast<QComboBox*>(options.control(OptionsDialog::kChannelsList));
        QVERIFY(channels);
        QCOMPARE(channels->currentText(), QStringLiteral("Wie die Dateien"));
        QCOMPARE(channels->itemText(1), QStringLiteral("Mono"));
        auto* bits = qobject_cast<QComboBox*>(options.control(OptionsDialog::kBitsList));
        QCOMPARE(bits->itemText(3), QStringLiteral("32 (Gleitkomma)"));
        auto* loudness = qobject_cast<QComboBox*>(options.control(OptionsDialog::kLoudnessList));
        QCOMPARE(loudness->itemText(1), QStringLiteral("Gleiche Lautheit für jede Datei"));
        options.hide();
        // A cause given by a decoder worker, forked before the window had a language.
        w.add({fixture("bad.wav")});
        QCOMPARE(w.boxes.texts().value(0),
                 QStringLiteral("%1 kann nicht geöffnet werden. Sie müssen passende Decoder "
                                "installieren.\nOder die Datei ist beschädigt.\nBeim Verarbeiten "
                                "der Eingabe wurden ungültige Daten gefunden")
                     .arg(fixture("bad.wav")));
        // Qt's own texts (its dialogs' buttons), where Debian's translation of them is installed.
        if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm"))
            QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
    }
    QLocale::setDefault(before);
    // English needs no translation: the source texts come back.
    QVERIFY(!installTranslations(QLocale(QLocale::English, QLocale::UnitedStates)));
    Window w;
    QCOMPARE(w.button(MainDialog::kAddButton)->text(), QStringLiteral("Add"));
    // And the workers speak English again.
    w.add({fixture("bad.wav")});
    QVERIFY2(w.boxes.texts().value(0).contains(
                 QStringLiteral("\nInvalid data found when processing input")),
             qPrintable(w.boxes.texts().value(0)));
}
