// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QCursor>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "controls/LinkControl.h"
#include "tests/controls/ControlsTests.h"
#include "tests/controls/FakeLinkOpener.h"
#include "tests/controls/Pixels.h"
#include "tests/support/ScriptedMessageBoxes.h"

using corvane::FallbackCommand;
using corvane::LinkControl;
using corvane::test::ScriptedMessageBoxes;

namespace {

const QString kSite = QStringLiteral("https://www.example.org/");

struct Stage {
    QWidget window;
    FakeLinkOpener opener;
    ScriptedMessageBoxes boxes;
    LinkControl* link = new LinkControl(&window);

    explicit Stage(const QString& text = QStringLiteral("Example site")) {
        window.resize(400, 120);
        link->setOpener(&opener);
        link->setMessageBoxes(&boxes);
        link->setGeometry(20, 20, 300, 20);
        link->setText(text);
    }
    void show() {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    void hover() {
        QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), link->mapToGlobal(QPointF(3, 3)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(link, &move);
    }
    void leave() {
        QCursor::setPos(window.mapToGlobal(QPoint(390, 110)));
        QTRY_VERIFY(!link->isHovering());
    }
    void click() { QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3)); }
};

int pixelsNear(QWidget* w, QColor colour) {
    return pixels::countWhere(w->grab().toImage(),
                              [colour](QColor c) { return pixels::near(c, colour, 60); });
}

}  // namespace

void LinkControlTest::attachTakesTextOrTarget() {
    Stage empty{QString()};
    empty.link->setTarget(kSite);
    empty.link->attach();
    QCOMPARE(empty.link->text(), kSite);
    QCOMPARE(empty.link->toolTip(), kSite);

    Stage texted(QStringLiteral("https://www.example.com/"));
    texted.link->attach();
    QCOMPARE(texted.link->target(), QStringLiteral("https://www.example.com/"));
    QVERIFY(texted.link->hasHandCursor());
    QCOMPARE(texted.link->cursor().shape(), Qt::BitmapCursor);
    texted.link->setTarget(kSite);
    QCOMPARE(texted.link->toolTip(), kSite);
    QCOMPARE(texted.link->text(), QStringLiteral("https://www.example.com/"));
}

void LinkControlTest::coloursAndUnderlineFollowHover_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("underlinedAtRest");
    QTest::addColumn<bool>("underlinedHovering");
    QTest::newRow("while hovering") << -1 << false << true;
    QTest::newRow("never") << 0 << false << false;
    QTest::newRow("always") << 1 << true << true;
}

void LinkControlTest::coloursAndUnderlineFollowHover() {
    QFETCH(int, mode);
    QFETCH(bool, underlinedAtRest);
    QFETCH(bool, underlinedHovering);
    Stage stage;
    stage.link->attach();
    stage.link->setUnderlineMode(mode);
    stage.show();
    QCursor::setPos(stage.window.mapToGlobal(QPoint(390, 110)));

    QCOMPARE(stage.link->font().underline(), underlinedAtRest);
    QCOMPARE(stage.link->currentColour(), QColor(0, 0, 238));
    QVERIFY(pixelsNear(stage.link, QColor(0, 0, 238)) > 0);

    QCursor::setPos(stage.link->mapToGlobal(QPoint(3, 3)));
    stage.hover();
    QVERIFY(stage.link->isHovering());
    QCOMPARE(stage.link->font().underline(), underlinedHovering);
    QCOMPARE(stage.link->currentColour(), QColor(255, 0, 0));
    QVERIFY(pixelsNear(stage.link, QColor(255, 0, 0)) > 0);
    QCOMPARE(pixelsNear(stage.link, QColor(0, 0, 238)), 0);

    // Still over it: the next ticks keep the hover.
    QTest::qWait(3 * LinkControl::kHoverPeriodMs);
    QVERIFY(stage.link->isHovering());

    stage.leave();
    QCOMPARE(stage.link->font().underline(), underlinedAtRest);
    QCOMPARE(stage.link->currentColour(), QColor(0, 0, 238));
}

void LinkControlTest::clickSetsVisitedFromResult() {
    Stage stage;
    stage.link->attach();
    stage.link->setTarget(kSite);
    stage.show();
    QSignalSpy opened(stage.link, &LinkControl::targetOpened);

    QCursor::setPos(stage.link->mapToGlobal(QPoint(3, 3)));
    stage.hover();
    stage.click();
    QCOMPARE(stage.opener.opened, QStringList{kSite});
    // A double-click (press, release, double-click, release) opens the page once, not twice.
    const QPointF at(3, 3);
    const QPointF global = stage.link->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(stage.link, &event);
    }
    QCOMPARE(stage.opener.opened.size(), qsizetype(2));
    stage.opener.opened.removeLast();
    opened.removeLast();
    QVERIFY(stage.link->isVisited());
    QVERIFY(!stage.link->isHovering());  // a click ends the hover until the mouse moves
    QCOMPARE(stage.link->currentColour(), QColor(85, 26, 139));
    QVERIFY(stage.boxes.shown.isEmpty());
    stage.leave();
    QVERIFY(pixelsNear(stage.link, QColor(85, 26, 139)) > 0);
    QCOMPARE(opened.takeFirst().at(0).toBool(), true);

    // A failed open clears the visited state and says why.
    stage.opener.desktopWorks = false;
    stage.click();
    QVERIFY(!stage.link->isVisited());
    QCOMPARE(stage.link->currentColour(), QColor(0, 0, 238));
    QCOMPARE(stage.boxes.texts(),
             QStringList{QStringLiteral("Unable to open hyperlink:\n\nThere is no application "
                                        "associated\nwith the given filename extension.")});
    QCOMPARE(opened.takeFirst().at(0).toBool(), false);

    // Tab reaches the link and draws a frame; Enter opens it.
    stage.opener.desktopWorks = true;
    QCOMPARE(stage.link->focusPolicy(), Qt::TabFocus);
    stage.link->clearFocus();
    QVERIFY(!stage.link->hasFocus());
    const QImage before = stage.link->grab().toImage();
    stage.link->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(stage.link->hasFocus());
    QVERIFY(stage.link->grab().toImage() != before);
    QTest::keyClick(stage.link, Qt::Key_Return);
    QCOMPARE(stage.opener.opened.size(), qsizetype(3));
}

void LinkControlTest::openTargetFallsBackToWebPageCommand() {
    Stage stage;
    stage.link->attach();
    QCOMPARE(stage.link->openTarget(kSite, LinkControl::kShowNormal), 33);
    QCOMPARE(stage.opener.associationLookups, 0);

    stage.opener.desktopWorks = false;
    QCOMPARE(stage.link->openTarget(kSite, LinkControl::kShowNormal), 31);  // no association
    QVERIFY(stage.opener.startedProgram.isEmpty());

    stage.opener.association = QStringLiteral("firefox-esr %u");
    QCOMPARE(stage.link->openTarget(kSite, LinkControl::kShowNormal), 33);
    QCOMPARE(stage.opener.startedProgram, QStringLiteral("firefox-esr"));
    QCOMPARE(stage.opener.startedArguments, QStringList{kSite});

    stage.opener.startResult = corvane::LinkOpener::kFileNotFound;
    QCOMPARE(stage.link->openTarget(kSite, LinkControl::kShowNormal), 2);
}

void LinkControlTest::fallbackCommandLine_data() {
    QTest::addColumn<QString>("association");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    const QString a = QStringLiteral("https://x.org/a b?q=\"1\"");
    QTest::newRow("no placeholder: address appended")
        << "browser --new-window" << "browser --new-window " + a << "browser"
        << QStringList{"--new-window", a};
    QTest::newRow("quoted %1: cut before the quote")
        << "\"/opt/My Browser/browser\" -osint -url \"%1\" --extra"
        << "\"/opt/My Browser/browser\" -osint -url  " + a << "/opt/My Browser/browser"
        << QStringList{"-osint", "-url", a};
    QTest::newRow("bare %1") << "browser %1 --later" << "browser  " + a << "browser"
                             << QStringList{a};
    QTest::newRow("quoted %1 preferred over an earlier bare one")
        << "browser %1x \"%1\"" << "browser %1x  " + a << "browser" << QStringList{"%1x", a};
    QTest::newRow("desktop field code %U") << "chromium %U" << "chromium  " + a << "chromium"
                                           << QStringList{a};
    QTest::newRow("other field codes dropped")
        << "browser %i --name=%c %u" << "browser %i --name=%c  " + a << "browser"
        << QStringList{"--name=", a};
}

void LinkControlTest::fallbackCommandLine() {
    QFETCH(QString, association);
    QFETCH(QString, line);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    const QString address = QStringLiteral("https://x.org/a b?q=\"1\"");
    const FallbackCommand command = FallbackCommand::build(association, address);
    QCOMPARE(command.line, line);
    QCOMPARE(command.program, program);
    QCOMPARE(command.arguments, arguments);
}

void LinkControlTest::openErrorTexts() {
    ScriptedMessageBoxes boxes;
    LinkControl link;
    link.setMessageBoxes(&boxes);
    link.showOpenError(26);
    link.showOpenError(40);
    link.showOpenError(0);
    QCOMPARE(boxes.shown.size(), 3);
    QCOMPARE(boxes.shown[0].text,
             QStringLiteral("Unable to open hyperlink:\n\nA sharing violation occurred. "));
    QCOMPARE(boxes.shown[1].text, QStringLiteral("Unable to open hyperlink:\n\nUnknown Error (40) occurred."));
    QCOMPARE(boxes.shown[2].text, QStringLiteral("Unable to open hyperlink:\n\nThe operating system "
                                                 "is out\nof memory or resources."));
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Corvane"));
    QCOMPARE(boxes.shown[0].icon, corvane::MessageBoxes::Icon::Warning);
    QCOMPARE(boxes.shown[0].owner, corvane::MessageBoxes::Owner::Application);

    // Every code of the table has its own text; the rest share the unknown one.
    QSet<QString> texts;
    for (int code : {0, 2, 3, 5, 8, 11, 26, 27, 28, 29, 30, 31, 32})
        texts.insert(LinkControl::openErrorText(code));
    QCOMPARE(texts.size(), 13);
    QVERIFY(!texts.contains(LinkControl::openErrorText(33)));
    QCOMPARE(LinkControl::openErrorText(-1), QStringLiteral("Unknown Error (-1) occurred."));
}

void LinkControlTest::fitToTextKeepsAlignedEdge() {
    Stage left(QStringLiteral("Support"));
    left.link->attach();
    const int textWidth = QFontMetrics(left.link->font()).horizontalAdvance("Support");
    QCOMPARE(left.link->geometry().left(), 20);
    QVERIFY(qAbs(left.link->width() - textWidth) <= 2);
    QCOMPARE(left.link->height(), QFontMetrics(left.link->font()).height());

    Stage centred(QStringLiteral("Support"));
    centred.link->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    centred.link->setGeometry(20, 20, 300, 41);
    centred.link->attach();
    QVERIFY(qAbs(centred.link->geometry().center().x() - QRect(20, 20, 300, 41).center().x()) <= 1);
    QVERIFY(qAbs(centred.link->geometry().center().y() - QRect(20, 20, 300, 41).center().y()) <= 1);
    QVERIFY(centred.link->width() < 300);

    Stage right(QStringLiteral("Support"));
    right.link->setAlignment(Qt::AlignRight);
    right.link->attach();
    QCOMPARE(right.link->geometry().right(), 319);
    QVERIFY(right.link->width() < 300);

    Stage fixed(QStringLiteral("Support"));
    fixed.link->setFitToText(false);
    fixed.link->attach();
    QCOMPARE(fixed.link->geometry(), QRect(20, 20, 300, 20));
}

void LinkControlTest::desktopFileExecLine() {
    QTemporaryDir dir;
    const QString path = dir.filePath("browser.desktop");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Action new-window]\nExec=browser --new-window\n\n"
               "[Desktop Entry]\nName=Browser\nExecutable=no\nExec = /usr/bin/my\\sbrowser %u\n");
    file.close();
    QCOMPARE(corvane::DesktopLinkOpener::execLine(path), QStringLiteral("/usr/bin/my browser %u"));
    QVERIFY(corvane::DesktopLinkOpener::execLine(dir.filePath("missing.desktop")).isEmpty());

    corvane::DesktopLinkOpener opener;
    QCOMPARE(opener.start(QStringLiteral("no-such-program-here"), {}),
             corvane::LinkOpener::kFileNotFound);
    QCOMPARE(opener.start(path, {}), corvane::LinkOpener::kAccessDenied);  // not executable
}
