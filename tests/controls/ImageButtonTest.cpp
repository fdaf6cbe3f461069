// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSoundEffect>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

#include "controls/Artwork.h"
#include "controls/ImageButton.h"
#include "controls/SoundPlayer.h"
#include "tests/controls/ControlsTests.h"
#include "tests/controls/Pixels.h"

using corvane::ImageButton;
namespace artwork = corvane::artwork;

namespace {

class CountingPlayer : public corvane::SoundPlayer {
public:
    void play(int id) override {
        // Played before it was got ready: the first hovers after start would be silent.
        if (!preloaded.contains(id)) unready << id;
        played << id;
    }
    void preload(int id) override { preloaded << id; }
    QList<int> played;
    QList<int> preloaded;
    QList<int> unready;
};

// A window with the buttons at fixed places, shown and exposed.
struct Stage {
    QWidget window;
    Stage() {
        window.resize(300, 200);
    }
    ImageButton* button(const QRect& geometry, const QString& caption = QString()) {
        auto* b = new ImageButton(&window);
        b->setGeometry(geometry);
        b->setText(caption);
        return b;
    }
    void show() {
        window.move(0, 0);
        QCursor::setPos(window.width() + 50, window.height() + 50);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Start with the mouse in a corner no button covers, after any move Qt synthesizes
        // for a window appearing under the last known mouse position.
        QCoreApplication::processEvents();
        QTest::mouseMove(&window, QPoint(window.width() - 1, window.height() - 1));
        QCoreApplication::processEvents();
    }
};

QImage shot(QWidget* w) { return w->grab().toImage(); }

bool isFace(QColor c, const ImageButton* b) {
    return c.rgb() == b->palette().color(QPalette::Button).rgb();
}

}  // namespace

void ImageButtonTest::setUpCallResults() {
    ImageButton b;
    QCOMPARE(b.SetAlignment(ImageButton::kIconAbove, true), ImageButton::kDone);
    QCOMPARE(b.SetAlignment(4, true), ImageButton::kBadPlacement);
    QCOMPARE(b.SetAlignment(-1, false), ImageButton::kBadPlacement);
    QCOMPARE(b.placement(), int(ImageButton::kIconAbove));
    QCOMPARE(b.SetAlignment(ImageButton::kIconOverlap, false), ImageButton::kDone);
    QCOMPARE(b.placement(), int(ImageButton::kIconOverlap));

    QCOMPARE(b.SetButtonCursor(artwork::kHandCursor, true), ImageButton::kDone);
    QVERIFY(b.hasButtonCursor());
    QCOMPARE(b.cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(b.cursor().hotSpot(), QPoint(12, 2));
    QCOMPARE(b.SetButtonCursor(999, true), ImageButton::kNoCursor);
    QVERIFY(!b.hasButtonCursor());
    QCOMPARE(b.cursor().shape(), Qt::ArrowCursor);
    b.SetButtonCursor(artwork::kHandCursor, false);
    QCOMPARE(b.SetButtonCursor(0, false), ImageButton::kDone);
    QVERIFY(!b.hasButtonCursor());

    QCOMPARE(b.SetIconResource(artwork::kJoinIcon), ImageButton::kDone);
    QCOMPARE(b.iconSize(), QSize(32, 32));
    QCOMPARE(b.SetIconResource(artwork::kMoveUpIcon), ImageButton::kDone);
    QCOMPARE(b.iconSize(), QSize(16, 16));
    QCOMPARE(b.SetIconResource(4242), ImageButton::kDone);  // a missing icon is no icon
    QVERIFY(b.iconSize().isEmpty());

    QCOMPARE(b.SetHoverSound(artwork::kHoverSound, true), ImageButton::kDone);
    QCOMPARE(b.hoverSound(), artwork::kHoverSound);
    QCOMPARE(b.SetHoverSound(0, true), ImageButton::kDone);
    QCOMPARE(b.hoverSound(), 0);

    b.SetTipText(QStringLiteral("Join the files to wav"), true);
    b.SetTipText(QString(), false);  // a null text changes nothing
    QCOMPARE(b.tipText(), QStringLiteral("Join the files to wav"));
    QVERIFY(b.isTipActive());
}

void ImageButtonTest::iconOnlyButtonCentresIconAndPressMovesIt() {
    Stage stage;
    ImageButton* b = stage.button(QRect(10, 10, 36, 26));
    b->SetIconResource(artwork::kMoveUpIcon);
    b->SetAlignment(ImageButton::kIconAbove, false);
    const ImageButton::Layout at = b->layoutFor(b->rect(), false, false);
    QCOMPARE(at.icon, QRect(10, 5, 16, 16));
    QCOMPARE(b->layoutFor(b->rect(), true, false).icon, QRect(11, 6, 16, 16));
    stage.show();

    // What is painted stays inside the computed place, and moves with the press.
    const auto icon = [b](QColor c) { return pixels::saturated(c) && !isFace(c, b); };
    const QRect drawn = pixels::boundsWhere(shot(b), icon);
    QVERIFY(!drawn.isEmpty());
    QVERIFY2(at.icon.contains(drawn), qPrintable(QString("icon drawn at %1,%2 %3x%4")
                                                     .arg(drawn.x()).arg(drawn.y())
                                                     .arg(drawn.width()).arg(drawn.height())));
    b->setDown(true);
    QCOMPARE(pixels::boundsWhere(shot(b), icon), drawn.translated(1, 1));
}

void ImageButtonTest::captionedButtonPutsIconAtTopAndCaptionBelow() {
    Stage stage;
    ImageButton* b = stage.button(QRect(0, 0, 70, 56), QStringLiteral("Join"));
    b->SetIconResource(artwork::kJoinIcon);
    b->SetAlignment(ImageButton::kIconAbove, false);
    QPalette p = b->palette();
    p.setColor(QPalette::ButtonText, QColor(200, 0, 200));
    b->setPalette(p);
    stage.show();

    const ImageButton::Layout layout = b->layoutFor(b->rect(), false, true);
    QCOMPARE(layout.icon, QRect((70 - 32) / 2, 3, 32, 32));
    QCOMPARE(layout.captionArea, QRect(0, 32, 70, 24));
    const QRect caption = b->captionRect(layout.captionArea, b->text());
    QCOMPARE(caption.center().x(), layout.captionArea.center().x());
    QVERIFY(qAbs(caption.center().y() - layout.captionArea.center().y()) <= 1);

    const QRect text = pixels::boundsWhere(
        shot(b), [](QColor c) { return pixels::near(c, QColor(200, 0, 200), 90); });
    QVERIFY(!text.isEmpty());
    QVERIFY(text.top() >= 32);
    QVERIFY(qAbs(text.center().x() - 35) <= 2);

    // The caption is read at paint: a renamed button shows the new text in the same place.
    b->setText(QStringLiteral("Stop"));
    const QRect renamed = pixels::boundsWhere(
        shot(b), [](QColor c) { return pixels::near(c, QColor(200, 0, 200), 90); });
    QVERIFY(!renamed.isEmpty());
    QVERIFY(renamed.top() >= 32);
}

void ImageButtonTest::disabledButtonIsEmbossedAndGreyed() {
    Stage stage;
    ImageButton* b = stage.button(QRect(0, 0, 70, 56), QStringLiteral("Options"));
    b->SetIconResource(artwork::kOptionsIcon);
    b->SetAlignment(ImageButton::kIconAbove, false);
    QPalette p = b->palette();
    p.setColor(QPalette::Light, QColor(0, 255, 0));
    p.setColor(QPalette::Dark, QColor(0, 0, 255));
    p.setColor(QPalette::Disabled, QPalette::Light, QColor(0, 255, 0));
    p.setColor(QPalette::Disabled, QPalette::Dark, QColor(0, 0, 255));
    b->setPalette(p);
    stage.show();
    const QImage enabled = shot(b);
    b->setEnabled(false);
    const QImage disabled = shot(b);

    const auto iconArea = [](const QImage& i) { return i.copy(19, 3, 32, 32); };
    QVERIFY(pixels::countWhere(iconArea(enabled), pixels::saturated) > 20);
    QCOMPARE(pixels::countWhere(iconArea(disabled), [](QColor c) {
                 return pixels::saturated(c) && c != QColor(0, 255, 0) && c != QColor(0, 0, 255);
             }),
             0);

    // Highlight copy one pixel down and right, shadow-coloured text on top.
    const QImage captionArea = disabled.copy(0, 36, 70, 20);
    const QRect light = pixels::boundsWhere(captionArea, [](QColor c) {
        return pixels::near(c, QColor(0, 255, 0), 120);
    });
    const QRect dark = pixels::boundsWhere(captionArea, [](QColor c) {
        return pixels::near(c, QColor(0, 0, 255), 120);
    });
    QVERIFY(!light.isEmpty() && !dark.isEmpty());
    QCOMPARE(light.bottomRight(), dark.bottomRight() + QPoint(1, 1));
    QCOMPARE(dark.topLeft().x(), light.topLeft().x() - 1);
}

void ImageButtonTest::hoverLightsFrameAndPlaysSoundOnce() {
    Stage stage;
    ImageButton* b = stage.button(QRect(50, 50, 60, 40), QStringLiteral("Add"));
    CountingPlayer player;
    b->setSoundPlayer(&player);
    b->SetHoverSound(artwork::kHoverSound, true);
    stage.show();
    const QColor light = b->palette().color(QPalette::Light);
    const QColor dark = b->palette().color(QPalette::Dark);

    QImage rest = shot(b);
    QVERIFY(isFace(rest.pixelColor(0, 0), b));
    QVERIFY(isFace(rest.pixelColor(59, 39), b));

    QTest::mouseMove(&stage.window, QPoint(10, 10));
    QTest::mouseMove(b, QPoint(20, 20));
    QTRY_VERIFY(b->isHot());
    QTest::mouseMove(b, QPoint(30, 25));
    QTest::mouseMove(b, QPoint(5, 5));
    QCOMPARE(player.played, QList<int>{artwork::kHoverSound});
    QVERIFY(player.unready.isEmpty());

    const QImage hot = shot(b);
    QCOMPARE(hot.pixel(0, 0), light.rgb());    // raised: light top-left
    QCOMPARE(hot.pixel(59, 39), dark.rgb());   // dark bottom-right
    QCOMPARE(hot.pixel(59, 0), dark.rgb());

    b->setDown(true);
    const QImage pressed = shot(b);
    QCOMPARE(pressed.pixel(0, 0), dark.rgb());  // sunken
    QCOMPARE(pressed.pixel(59, 39), light.rgb());
    b->setDown(false);

    QTest::mouseMove(&stage.window, QPoint(250, 150));
    QTRY_VERIFY(!b->isHot());
    QVERIFY(isFace(shot(b).pixelColor(0, 0), b));

    QTest::mouseMove(b, QPoint(10, 10));
    QTRY_VERIFY(b->isHot());
    QCOMPARE(player.played.size(), 2);

    // No sound set: hot without a sound.
    b->SetHoverSound(0, false);
    QTest::mouseMove(&stage.window, QPoint(250, 150));
    QTRY_VERIFY(!b->isHot());
    QTest::mouseMove(b, QPoint(10, 10));
    QTRY_VERIFY(b->isHot());
    QCOMPARE(player.played.size(), 2);

    // Losing the focus or the window's activation ends the hot state too.
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(b, &out);
    QVERIFY(!b->isHot());
}

void ImageButtonTest::dragOntoButtonDoesNotLightIt() {
    Stage stage;
    ImageButton* b = stage.button(QRect(50, 50, 60, 40));
    CountingPlayer player;
    b->setSoundPlayer(&player);
    b->SetHoverSound(artwork::kHoverSound, true);
    stage.show();

    QMouseEvent drag(QEvent::MouseMove, QPointF(10, 10), b->mapToGlobal(QPointF(10, 10)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b, &drag);
    QVERIFY(!b->isHot());
    QVERIFY(player.played.isEmpty());

    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), b->mapToGlobal(QPointF(10, 10)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(b, &move);
    QVERIFY(b->isHot());
    // Once hot, holding the button (a press on it) keeps it hot; leaving ends it.
    QApplication::sendEvent(b, &drag);
    QVERIFY(b->isHot());
    QMouseEvent outside(QEvent::MouseMove, QPointF(100, 10), b->mapToGlobal(QPointF(100, 10)),
                        Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b, &outside);
    QVERIFY(!b->isHot());
}

void ImageButtonTest::doubleClickGivesTwoClicks() {
    Stage stage;
    ImageButton* b = stage.button(QRect(50, 50, 60, 40), QStringLiteral("Add"));
    stage.show();
    QSignalSpy clicks(b, &QAbstractButton::clicked);
    // What a double-click delivers: the second press arrives as the double-click event.
    const auto send = [b](QEvent::Type type, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(10, 10), b->mapToGlobal(QPointF(10, 10)), Qt::LeftButton,
                      held, Qt::NoModifier);
        QApplication::sendEvent(b, &e);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    send(QEvent::MouseButtonDblClick, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    QCOMPARE(clicks.size(), 2);
}

void ImageButtonTest::clickTakesFocusBeforeParentHears() {
    Stage stage;
    auto* edit = new QLineEdit(&stage.window);
    edit->setGeometry(0, 0, 40, 20);
    ImageButton* b = stage.button(QRect(50, 50, 60, 40), QStringLiteral("Add"));
    b->setFocusPolicy(Qt::StrongFocus);
    stage.show();
    stage.window.activateWindow();
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    bool focusedWhenHeard = false;
    QObject::connect(b, &QAbstractButton::clicked, [&] { focusedWhenHeard = b->hasFocus(); });
    b->click();  // a keyboard-made click also takes the focus
    QVERIFY(focusedWhenHeard);

    // Focus from a click shows no frame; from Tab it shows one, which a click takes away.
    QVERIFY(!b->showsFocusCue());
    const QImage clicked = shot(b);
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QTest::keyClick(edit, Qt::Key_Tab);
    QTRY_VERIFY(b->hasFocus());
    QVERIFY(b->showsFocusCue());
    QVERIFY(shot(b) != clicked);
    QTest::mouseClick(b, Qt::LeftButton);
    QVERIFY(b->hasFocus());
    QVERIFY(!b->showsFocusCue());
    QCOMPARE(shot(b), clicked);
}

void ImageButtonTest::defaultButtonFollowsFocusAndTakesEnter() {
    Stage stage;
    auto* edit = new QLineEdit(&stage.window);
    edit->setGeometry(0, 0, 40, 20);
    ImageButton* exit = stage.button(QRect(50, 50, 60, 40), QStringLiteral("Exit"));
    ImageButton* add = stage.button(QRect(150, 50, 60, 40), QStringLiteral("Add"));
    exit->setDialogDefault(true);
    add->setDialogDefault(false);
    QCOMPARE(exit->dialogCode(), ImageButton::kDlgcButton | ImageButton::kDlgcDefPushButton);
    QCOMPARE(add->dialogCode(), ImageButton::kDlgcButton | ImageButton::kDlgcUndefPushButton);

    // Only the low five bits count; other button types leave the flag alone.
    add->setButtonStyle(0x10000000 | ImageButton::kDefPushButtonStyle);
    QVERIFY(add->isDefaultButton());
    add->setButtonStyle(0x0B);
    QVERIFY(add->isDefaultButton());
    add->setButtonStyle(0x20);
    QVERIFY(!add->isDefaultButton());

    stage.show();
    stage.window.activateWindow();
    QSignalSpy exitClicks(exit, &QAbstractButton::clicked);
    QSignalSpy addClicks(add, &QAbstractButton::clicked);

    add->setFocus();
    QTRY_VERIFY(add->hasFocus());
    QVERIFY(add->isDefaultButton());
    QVERIFY(!exit->isDefaultButton());
    QTest::keyClick(add, Qt::Key_Return);
    QCOMPARE(addClicks.size(), 1);
    QCOMPARE(exitClicks.size(), 0);

    edit->setFocus();  // not a push button: Enter goes back to the dialog's default
    QTRY_VERIFY(edit->hasFocus());
    QVERIFY(exit->isDefaultButton());
    QVERIFY(!add->isDefaultButton());
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(exitClicks.size(), 1);
    QCOMPARE(addClicks.size(), 1);
}

void ImageButtonTest::disablingMovesFocusToNextControl() {
    Stage stage;
    auto* layout = new QVBoxLayout(&stage.window);
    auto* first = new QLineEdit;
    auto* b = new ImageButton;
    b->setText(QStringLiteral("Join"));
    auto* after = new QLineEdit;
    layout->addWidget(first);
    layout->addWidget(b);
    layout->addWidget(after);
    stage.show();
    stage.window.activateWindow();
    first->setFocus();
    QTRY_VERIFY(first->hasFocus());
    b->setEnabled(false);
    QTRY_VERIFY(after->hasFocus());

    // A whole window going disabled moves nothing.
    b->setEnabled(true);
    first->setFocus();
    QTRY_VERIFY(first->hasFocus());
    stage.window.setEnabled(false);
    stage.window.setEnabled(true);
    QVERIFY(!after->hasFocus());
}

void ImageButtonTest::paletteChangeRereadsTextColour() {
    Stage stage;
    ImageButton* b = stage.button(QRect(0, 0, 80, 30), QStringLiteral("Homepage"));
    stage.show();
    QPalette p = b->palette();
    p.setColor(QPalette::ButtonText, QColor(255, 0, 0));
    p.setColor(QPalette::Button, QColor(250, 250, 250));
    b->setPalette(p);
    QCOMPARE(b->textColor(), QColor(255, 0, 0));
    QVERIFY(pixels::countWhere(shot(b), [](QColor c) {
                return pixels::near(c, QColor(255, 0, 0), 60);
            }) > 5);
    QCOMPARE(shot(b).pixel(1, 1), qRgb(250, 250, 250));
    b->SetTransparent(true);
    QVERIFY(b->isTransparent());
}

void ImageButtonTest::toolTipIsWrappedAndCanBeDeactivated() {
    const QFont font = QToolTip::font();
    const QString longText = QStringLiteral(
        "Join the files to wav, one after the other in the order of the list, converting each "
        "to the chosen sample rate, channels and bits per sample as it goes");
    const QString wrapped = ImageButton::wrapToolTip(longText, font, ImageButton::kToolTipMaxWidth);
    const QStringList lines = wrapped.split(QLatin1Char('\n'));
    QVERIFY(lines.size() > 1);
    for (const QString& line : lines)
        QVERIFY(QFontMetrics(font).horizontalAdvance(line) <= ImageButton::kToolTipMaxWidth);
    QCOMPARE(lines.join(QLatin1Char(' ')), longText);
    QCOMPARE(ImageButton::wrapToolTip(QStringLiteral("Help"), font, 400), QStringLiteral("Help"));

    Stage stage;
    ImageButton* b = stage.button(QRect(10, 10, 60, 40), QStringLiteral("Join"));
    stage.show();
    b->SetTipText(QStringLiteral("Join the files to wav"), true);
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), b->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(b, &help);
    QCOMPARE(QToolTip::text(), QStringLiteral("Join the files to wav"));
    b->SetTipText(QStringLiteral("Join the files to wav"), false);
    QApplication::sendEvent(b, &help);
    QTRY_VERIFY(!QToolTip::isVisible());
}

void ImageButtonTest::realSoundPlayerIsSilentWithoutDevice() {
    Stage stage;
    ImageButton* b = stage.button(QRect(10, 10, 60, 40), QStringLiteral("Add"));
    b->SetHoverSound(artwork::kHoverSound, true);
    // Loading from the moment the sound is set, before any hover.
    QSoundEffect* effect = corvane::EffectSoundPlayer::instance()->effect(artwork::kHoverSound);
    QVERIFY(effect);
    QCOMPARE(effect->source(), artwork::soundUrl(artwork::kHoverSound));
    stage.show();
    QElapsedTimer timer;
    timer.start();
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), b->mapToGlobal(QPointF(10, 10)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(b, &move);
    QVERIFY(b->isHot());
    QTest::qWait(100);
    QVERIFY(timer.elapsed() < 2000);
    QVERIFY(corvane::EffectSoundPlayer::instance());
}
