// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "controls/AboutDialog.h"
#include "controls/Artwork.h"
#include "controls/DialogBuilder.h"
#include "controls/HelpFolder.h"
#include "controls/ImageButton.h"
#include "controls/LinkControl.h"
#include "controls/QtMessageBoxes.h"
#include "controls/SiteAddresses.h"
#include "tests/controls/ControlsTests.h"
#include "tests/controls/FakeLinkOpener.h"
#include "tests/support/ScriptedMessageBoxes.h"

using namespace corvane;

void DialogsTest::dialogUnitsUseFontBaseUnits() {
    // x × width / 4 and y × height / 8, corners rounded to the nearest pixel.
    QCOMPARE(dialogUnitsToPixels(QRect(4, 8, 4, 8), QSize(6, 13)), QRect(6, 13, 6, 13));
    QCOMPARE(dialogUnitsToPixels(QRect(208, 7, 34, 14), QSize(6, 13)), QRect(312, 11, 51, 23));
    QCOMPARE(dialogUnitsToPixels(QSize(249, 132), QSize(7, 14)), QSize(436, 231));

    QFont font;
    font.setPixelSize(13);
    const QSize base = dialogBaseUnits(font);
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    QCOMPARE(base.width(), (letters / 26 + 1) / 2);
    QCOMPARE(base.height(), metrics.height());

    // Without the template's font, the desktop's font at the desktop's own size.
    DialogTemplate missing;
    missing.fontFamily = QStringLiteral("No Such Family Corvane");
    missing.pointSize = 30;
    const QFont desktop = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    const QFont chosen = DialogBuilder::dialogFont(missing);
    QCOMPARE(chosen.family(), desktop.family());
    QCOMPARE(chosen.pointSizeF(), desktop.pointSizeF());
}

void DialogsTest::templatesLoadAndBadOnesAreRefused() {
    for (int id : {100, 102, 129}) {
        QString error;
        const DialogTemplate t = DialogTemplate::load(id, &error);
        QVERIFY2(t.isValid(), qPrintable(error));
        QCOMPARE(t.id, id);
    }
    const DialogTemplate options = DialogTemplate::load(129);
    QCOMPARE(options.title, QStringLiteral("Output options"));
    QCOMPARE(options.size, QSize(249, 238));
    // The marker choices sit below the wave format group, inside the dialog.
    QCOMPARE(options.find(1061)->kind, QStringLiteral("check"));
    QVERIFY(options.find(1061)->rect.top() >= 26 + 72);
    QVERIFY(options.find(1062)->rect.top() >= options.find(1061)->rect.bottom());
    // Then what goes between files, the loudness and its true-peak ceiling, a row of 12 units
    // each (a list's rectangle also holds its drop-down), all above OK.
    int below = options.find(1062)->rect.bottom();
    for (int id : {1063, 1064, 1065, 1066, 1068}) {
        QVERIFY2(options.find(id)->rect.top() > below, qPrintable(QString::number(id)));
        below = options.find(id)->rect.top() + 12;
    }
    QCOMPARE(options.find(1067)->rect.top(), options.find(1066)->rect.top());
    QVERIFY(options.find(1067)->rect.right() < 249);
    QVERIFY(options.find(1)->rect.top() > below);
    QVERIFY(options.find(1)->rect.bottom() < options.size.height());
    QCOMPARE(options.find(1024)->rect, QRect(208, 7, 34, 14));
    QCOMPARE(options.find(1024)->caption, QStringLiteral("Browse"));
    QVERIFY(options.find(1051)->hasStyle("hidden"));
    QVERIFY(!DialogTemplate::load(101).isValid());

    QString error;
    const QByteArray head = R"({"id": 7, "width": 10, "height": 10, "controls": )";
    QVERIFY(!DialogTemplate::parse(head + R"([[1, "slider", "", 0, 0, 1, 1]]})", &error).isValid());
    QVERIFY(error.contains("slider"));
    QVERIFY(!DialogTemplate::parse(head + R"([[1, "edit", "", 0, 0, 1, 1], [1, "edit", "", 0, 0, 1, 1]]})", &error).isValid());
    QVERIFY(error.contains("twice"));
    QVERIFY(!DialogTemplate::parse(head + R"([[1, "edit", "", 0, 0]]})", &error).isValid());
    QVERIFY(!DialogTemplate::parse("{ not json", &error).isValid());
    QVERIFY(DialogTemplate::parse(head + R"([[-1, "static", "a", 0, 0, 1, 1], [-1, "static", "b", 0, 0, 1, 1]]})").isValid());
}

void DialogsTest::builderPlacesControlsAndStacksGroupsBelow() {
    QDialog dialog;
    DialogBuilder builder(DialogTemplate::load(102));
    QVERIFY(builder.build(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Corvane"));
    QCOMPARE(dialog.size(), dialogUnitsToPixels(QSize(265, 184), builder.baseUnits()));
    auto* join = builder.control<ImageButton>(1000);
    QVERIFY(join);
    QCOMPARE(join->geometry(), builder.toPixels(QRect(109, 5, 46, 32)));
    QCOMPARE(join->text(), QStringLiteral("Join"));
    QVERIFY(builder.control<ImageButton>(1)->isDefaultButton());
    QVERIFY(!join->isDefaultButton());
    QVERIFY(builder.control<QLabel>(1021));
    // The group box drawn round the command buttons must not cover them.
    const QList<QObject*> children = dialog.children();
    auto* group = dialog.findChild<QGroupBox*>();
    QVERIFY(group);
    QVERIFY(children.indexOf(group) < children.indexOf(join));

    QDialog options;
    DialogBuilder optionsBuilder(DialogTemplate::load(129));
    optionsBuilder.build(&options);
    QVERIFY(optionsBuilder.control<QPushButton>(1)->isDefault());
    QVERIFY(optionsBuilder.control(1027)->isHidden());
    QCOMPARE(optionsBuilder.control<QLineEdit>(1027)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    QVERIFY(!optionsBuilder.control(1022)->isHidden());
}

void DialogsTest::aboutBoxShowsLinksUnderlinedWithTargets() {
    FakeLinkOpener opener;
    test::ScriptedMessageBoxes boxes;
    AboutDialog about(nullptr, &opener, &boxes);
    QCOMPARE(about.windowTitle(), QStringLiteral("About Corvane"));
    LinkControl* home = about.homePageLink();
    LinkControl* support = about.supportLink();
    QVERIFY(home && support);
    QCOMPARE(home->text(), site::homePage());
    QCOMPARE(home->target(), site::homePage());
    QCOMPARE(support->text(), QStringLiteral("Support Email: Click here"));
    QCOMPARE(support->target(), site::contactPage());
    QCOMPARE(support->toolTip(), site::contactPage());
    QCOMPARE(home->underlineMode(), int(LinkControl::kUnderlineAlways));
    QVERIFY(home->font().underline());
    QVERIFY(support->font().underline());

    const QList<QLabel*> labels = about.findChildren<QLabel*>();
    QVERIFY(std::any_of(labels.begin(), labels.end(), [](QLabel* l) {
        return l->text() == QStringLiteral("Corvane Version 1.1.1.1");
    }));
    QVERIFY(std::any_of(labels.begin(), labels.end(), [](QLabel* l) {
        return !l->pixmap().isNull();
    }));

    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    // OK has the focus at first; Tab reaches both links, and Enter on one opens it.
    QTRY_COMPARE(QApplication::focusWidget(), about.control(1));
    QTest::keyClick(about.control(1), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), home);
    QTest::keyClick(home, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), support);
    QTest::keyClick(support, Qt::Key_Return);
    QCOMPARE(opener.opened, QStringList{site::contactPage()});
    QVERIFY(about.isVisible());
    opener.opened.clear();
    QTest::mouseClick(home, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QCOMPARE(opener.opened, QStringList{site::homePage()});
    QVERIFY(home->isVisited());
    QVERIFY(about.isVisible());
    QTest::mouseClick(about.control(1), Qt::LeftButton);
    QCOMPARE(about.result(), int(QDialog::Accepted));
    QVERIFY(!about.isVisible());
}

void DialogsTest::aboutLinkFailureKeepsDialogOpen() {
    FakeLinkOpener opener;
    opener.desktopWorks = false;
    opener.association = QStringLiteral("browser \"%1\"");
    opener.startResult = LinkOpener::kAccessDenied;
    test::ScriptedMessageBoxes boxes;
    AboutDialog about(nullptr, &opener, &boxes);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(about.supportLink(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QCOMPARE(opener.startedArguments, QStringList{site::contactPage()});
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral(
                                "Unable to open hyperlink:\n\nThe operating system denied\naccess "
                                "to the specified file.")});
    QVERIFY(!about.supportLink()->isVisited());
    QVERIFY(about.isVisible());
}

void DialogsTest::artworkRendersEveryId() {
    const QList<int> icons = {artwork::kAppIcon,        artwork::kAddIcon,
                              artwork::kOptionsIcon,    artwork::kHelpIcon,
                              artwork::kMoveUpIcon,     artwork::kMoveDownIcon,
                              artwork::kDeleteSelectedIcon, artwork::kDeleteAllIcon,
                              artwork::kExitIcon,       artwork::kJoinIcon,
                              artwork::kHomepageIcon,   artwork::kAboutIcon};
    for (int id : icons) {
        const QPixmap pixmap = artwork::iconPixmap(id);
        QVERIFY2(!pixmap.isNull(), qPrintable(QString::number(id)));
        const QImage image = pixmap.toImage();
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 200;
        QVERIFY2(opaque > image.width() * image.height() / 10, qPrintable(QString::number(id)));
    }
    for (int id : {artwork::kMoveUpIcon, artwork::kMoveDownIcon, artwork::kDeleteSelectedIcon,
                   artwork::kDeleteAllIcon})
        QCOMPARE(artwork::iconSize(id), QSize(16, 16));
    for (int id : {artwork::kAddIcon, artwork::kOptionsIcon, artwork::kHelpIcon,
                   artwork::kExitIcon, artwork::kJoinIcon})
        QCOMPARE(artwork::iconSize(id), QSize(32, 32));
    QVERIFY(artwork::iconPixmap(4242).isNull());
    QVERIFY(!artwork::applicationIcon().availableSizes().isEmpty());

    const QImage tile = artwork::bitmap(artwork::kBackgroundBitmap).toImage();
    QCOMPARE(tile.size(), QSize(64, 64));
    QCOMPARE(qAlpha(tile.pixel(0, 0)), 255);
    // Seamless: the opposite edges of the tile continue each other.
    for (int i = 0; i < 64; ++i) {
        QVERIFY(qAbs(qGray(tile.pixel(0, i)) - qGray(tile.pixel(63, i))) < 24);
        QVERIFY(qAbs(qGray(tile.pixel(i, 0)) - qGray(tile.pixel(i, 63))) < 24);
    }

    QCursor hand;
    QVERIFY(artwork::loadCursor(artwork::kHandCursor, &hand));
    QCOMPARE(hand.pixmap().size(), QSize(32, 32));
    QVERIFY(!artwork::loadCursor(artwork::kAppIcon, &hand));
    // On a scaled X11 screen the hot spot grows with the image, so the fingertip clicks;
    // Wayland scales it itself.
    const struct {
        qreal ratio;
        const char* platform;
        QPoint spot;
    } spots[] = {{1.0, "xcb", {12, 2}},  {1.5, "xcb", {18, 3}},     {2.0, "xcb", {24, 4}},
                 {2.0, "offscreen", {24, 4}}, {2.0, "wayland", {12, 2}}, {1.25, "wayland-egl", {12, 2}}};
    for (const auto& s : spots)
        QCOMPARE(artwork::cursorHotSpot(s.ratio, QString::fromLatin1(s.platform)), s.spot);

    QFile sound(artwork::soundUrl(artwork::kHoverSound).toString().mid(3));  // qrc:/… → :/…
    QVERIFY(sound.open(QIODevice::ReadOnly));
    const QByteArray wav = sound.readAll();
    QVERIFY(wav.startsWith("RIFF") && wav.mid(8, 4) == "WAVE");
    QVERIFY(wav.size() < 16 * 1024);
}

void DialogsTest::helpFolderIsFoundBesideOrInShare() {
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("build/help"));
    QVERIFY(QDir(root.path()).mkpath("prefix/bin"));
    QVERIFY(QDir(root.path()).mkpath("prefix/share/corvane/help"));
    QCOMPARE(findHelpFolder(root.filePath("build")), QString());  // no start page yet
    const auto touch = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly);
    };
    QVERIFY(touch(root.filePath("build/help/Introduction.htm")));
    QVERIFY(touch(root.filePath("prefix/share/corvane/help/Introduction.htm")));
    QCOMPARE(findHelpFolder(root.filePath("build")), QDir(root.filePath("build/help")).absolutePath());
    QCOMPARE(findHelpFolder(root.filePath("prefix/bin")),
             QDir(root.filePath("prefix/share/corvane/help")).absolutePath());
}

void DialogsTest::shippedHelpPagesLinkToExistingFiles() {
    const QDir help(QStringLiteral(CORVANE_BUILD_HELP_DIR));
    QVERIFY(help.exists(kHelpStartPage));
    const QStringList pages = help.entryList({"*.htm"});
    QVERIFY(pages.size() >= 5);
    static const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"#:]+)"));
    for (const QString& page : pages) {
        QFile file(help.filePath(page));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QVERIFY2(html.contains("<title>"), qPrintable(page));
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            QVERIFY2(help.exists(target), qPrintable(page + " links to " + target));
        }
    }
    // Every page is reachable from the start page's navigation.
    QFile start(help.filePath(kHelpStartPage));
    QVERIFY(start.open(QIODevice::ReadOnly));
    const QString intro = QString::fromUtf8(start.readAll());
    for (const QString& page : pages) QVERIFY2(intro.contains(page), qPrintable(page));
}

void DialogsTest::qtMessageBoxesUseOwnerCaptionAndIcon() {
    QWidget mainWindow;
    mainWindow.show();
    QtMessageBoxes boxes(&mainWindow);
    struct Seen {
        QString text, caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QWidget* owner = nullptr;
    } seen;
    const auto answer = [&](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [&, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen = {box->text(), box->windowTitle(), box->icon(), box->parentWidget()};
            box->button(button)->click();
        });
    };
    answer(QMessageBox::Ok);
    boxes.errorMessage(QStringLiteral("broken"));
    QCOMPARE(seen.text, QStringLiteral("broken"));
    QCOMPARE(seen.caption, QStringLiteral("Error"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.owner, &mainWindow);

    answer(QMessageBox::No);
    QVERIFY(!boxes.askYesNo("replace?", "Corvane", MessageBoxes::Owner::None,
                            MessageBoxes::Icon::Question));
    QCOMPARE(seen.owner, nullptr);
    answer(QMessageBox::Yes);
    QVERIFY(boxes.askYesNo("replace?", "Corvane", MessageBoxes::Owner::Application,
                           MessageBoxes::Icon::Warning));
    QCOMPARE(seen.icon, QMessageBox::Warning);
}
