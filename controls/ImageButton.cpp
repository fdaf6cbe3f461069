// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/ImageButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QToolTip>

#include "controls/Artwork.h"
#include "controls/SoundPlayer.h"

namespace corvane {

namespace {

constexpr int kCaptionFlags = Qt::AlignHCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;

bool isEnterKey(const QKeyEvent* e) {
    return (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
           (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// A one-pixel 3-D rectangle: top and left in one colour, bottom and right in the other.
void draw3dRect(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r.left(), r.top(), r.width() - 1, 1, topLeft);
    p.fillRect(r.left(), r.top(), 1, r.height() - 1, topLeft);
    p.fillRect(r.right(), r.top(), 1, r.height(), bottomRight);
    p.fillRect(r.left(), r.bottom(), r.width(), 1, bottomRight);
    p.restore();
}

}  // namespace

ImageButton::ImageButton(QWidget* parent) : QAbstractButton(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover, false);
    readSystemColours();
    // A click takes the focus first; the parent's handlers are connected after this one.
    connect(this, &QAbstractButton::clicked, this, [this] { setFocus(Qt::OtherFocusReason); });
}

ImageButton::~ImageButton() = default;

int ImageButton::SetIconResource(int iconId) {
    icon_ = QPixmap();
    iconSize_ = QSize();
    int result = kDone;
    if (artwork::iconSize(iconId).isValid()) {
        const QPixmap pixmap = artwork::iconPixmap(iconId);
        if (pixmap.isNull()) {
            result = kNoIconInfo;
        } else {
            icon_ = pixmap;
            iconSize_ = pixmap.deviceIndependentSize().toSize();
        }
    }
    updateGeometry();
    update();
    return result;
}

int ImageButton::SetHoverSound(int soundId, bool asynchronous) {
    hoverSound_ = soundId;
    soundAsync_ = soundId != 0 && asynchronous;
    preloadHoverSound();
    return kDone;
}

SoundPlayer* ImageButton::soundPlayer() const {
    return player_ ? player_ : EffectSoundPlayer::instance();
}

void ImageButton::setSoundPlayer(SoundPlayer* player) {
    player_ = player;
    preloadHoverSound();
}

void ImageButton::preloadHoverSound() {
    // Loaded before the first hover: a sound still loading when it is asked for stays silent.
    if (hoverSound_ == 0) return;
    if (SoundPlayer* player = soundPlayer()) player->preload(hoverSound_);
}

int ImageButton::SetTransparent(bool repaint) {
    transparent_ = true;
    if (repaint) update();
    return kDone;
}

int ImageButton::SetButtonCursor(int cursorId, bool repaint) {
    unsetCursor();
    hasCursor_ = false;
    if (cursorId == 0) return kDone;
    QCursor cursor;
    if (artwork::loadCursor(cursorId, &cursor)) {
        setCursor(cursor);
        hasCursor_ = true;
    }
    if (repaint) update();
    return hasCursor_ ? kDone : kNoCursor;
}

void ImageButton::SetTipText(const QString& text, bool activate) {
    if (text.isNull()) return;
    tipText_ = text;
    tipActive_ = activate;
    if (!activate) QToolTip::hideText();
}

int ImageButton::SetAlignment(int placement, bool repaint) {
    if (placement < 0 || placement > kIconOverlap) return kBadPlacement;
    placement_ = placement;
    if (repaint) update();
    return kDone;
}

void ImageButton::setDialogDefault(bool isDefault) {
    dialogDefault_ = isDefault;
    setButtonStyle(isDefault ? kDefPushButtonStyle : kPushButtonStyle);
}

void ImageButton::setButtonStyle(unsigned style) {
    const unsigned type = style & 0x1F;
    if (type == kDefPushButtonStyle)
        default_ = true;
    else if (type == kPushButtonStyle)
        default_ = false;
    update();
}

unsigned ImageButton::dialogCode() const {
    return kDlgcButton | (default_ ? kDlgcDefPushButton : kDlgcUndefPushButton);
}

ImageButton::Layout ImageButton::layoutFor(const QRect& item, bool pressed,
                                           bool hasCaption) const {
    Layout layout{QRect(), item};
    if (iconSize_.isEmpty()) {
        if (pressed) layout.captionArea.translate(pressOffset_);
        return layout;
    }
    const int w = iconSize_.width();
    const int h = iconSize_.height();
    QRect& caption = layout.captionArea;
    const int centredLeft = item.left() + (item.width() - w) / 2;
    const int centredTop = item.top() + (item.height() - h) / 2;
    switch (placement_) {
    case kIconAbove:
        if (hasCaption) {
            layout.icon = QRect(centredLeft, item.top() + imageOrigin_.y(), w, h);
            caption.setTop(caption.top() + h);
        } else {
            layout.icon = QRect(centredLeft, centredTop, w, h);
        }
        break;
    case kIconLeft:
        layout.icon = QRect(item.left() + imageOrigin_.x(), centredTop, w, h);
        if (hasCaption) caption.setLeft(layout.icon.right() + 1);
        break;
    case kIconRight:
        layout.icon = QRect(item.right() + 1 - imageOrigin_.x() - w, centredTop, w, h);
        if (hasCaption) caption.setRight(layout.icon.left() - 1);
        break;
    default:  // overlapping: both centred on the whole button
        layout.icon = QRect(centredLeft, centredTop, w, h);
        break;
    }
    if (pressed) {
        layout.icon.translate(pressOffset_);
        caption.translate(pressOffset_);
    }
    return layout;
}

QRect ImageButton::captionRect(const QRect& area, const QString& caption) const {
    const QRect measured = fontMetrics().boundingRect(area, kCaptionFlags, caption);
    return QRect(area.left() + (area.width() - measured.width()) / 2,
                 area.top() + (area.height() - measured.height()) / 2, measured.width(),
                 measured.height());
}

QString ImageButton::wrapToolTip(const QString& text, const QFont& font, int maxWidth) {
    const QFontMetrics metrics(font);
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QString line;
        for (const QString& word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > maxWidth) {
                lines << line;
                line = word;
            } else {
                line = candidate;
            }
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QSize ImageButton::sizeHint() const {
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, this->text());
    QSize size(text.width() + 8, text.height() + 8);
    if (!iconSize_.isEmpty()) {
        size.setWidth(qMax(size.width(), iconSize_.width() + 2 * imageOrigin_.x()));
        size.setHeight(size.height() + iconSize_.height());
    }
    return size;
}

void ImageButton::PaintBackground(QPainter& painter, const QRect& item) {
    // Transparent: the parent has already painted its pixels behind this widget.
    if (!transparent_) painter.fillRect(item, faceColor_);
}

void ImageButton::PaintBorder(QPainter& painter, const QRect& item) {
    const QColor highlight = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Dark);
    if (pressed_)
        draw3dRect(painter, item, shadow, highlight);
    else if (hot_)
        draw3dRect(painter, item, highlight, shadow);
}

void ImageButton::PaintIcon(QPainter& painter, const QRect& item, QRect& captionArea) {
    const Layout layout = layoutFor(item, pressed_, !text().isEmpty());
    captionArea = layout.captionArea;
    if (disabled_) {
        QStyleOption option;
        option.initFrom(this);
        painter.drawPixmap(layout.icon.topLeft(),
                           style()->generatedIconPixmap(QIcon::Disabled, icon_, &option));
    } else {
        painter.drawPixmap(layout.icon.topLeft(), icon_);
    }
}

void ImageButton::PaintCaption(QPainter& painter, const QRect& /*item*/,
                               const QRect& captionArea) {
    const QString caption = text();
    const QRect r = captionRect(captionArea, caption);
    if (disabled_) {
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(r.translated(1, 1), kCaptionFlags, caption);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawText(r, kCaptionFlags, caption);
    } else {
        painter.setPen(textColor_);
        painter.drawText(r, kCaptionFlags, caption);
    }
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    pressed_ = isDown();
    disabled_ = !isEnabled();
    const QRect item = rect();
    PaintBackground(painter, item);
    PaintBorder(painter, item);
    QRect captionArea = layoutFor(item, pressed_, false).captionArea;
    if (!icon_.isNull()) PaintIcon(painter, item, captionArea);
    if (!text().isEmpty()) PaintCaption(painter, item, captionArea);
    if (showsFocusCue()) {
        QPen pen(disabled_ ? palette().color(QPalette::Disabled, QPalette::ButtonText)
                           : textColor_);
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        // Inside the hover and press frames, clear of them.
        painter.drawRect(item.adjusted(2, 2, -3, -3));
    }
}

void ImageButton::trackMouse(const QPoint& pos, Qt::MouseButtons buttons) {
    // Dragging onto the button with the left button held does not light it up.
    if ((buttons & Qt::LeftButton) && !hot_) return;
    if (!rect().contains(pos)) {
        leaveHot();
        return;
    }
    if (hot_) return;
    hot_ = true;
    update();
    if (hoverSound_ != 0) {
        SoundPlayer* player = soundPlayer();
        if (player) player->play(hoverSound_);
    }
}

void ImageButton::leaveHot() {
    if (!hot_) return;
    hot_ = false;
    update();
}

void ImageButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    // Where the mouse is now: an enter event can arrive after the mouse has moved on.
    trackMouse(mapFromGlobal(QCursor::pos()), QApplication::mouseButtons());
}

void ImageButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    leaveHot();
}

void ImageButton::mouseMoveEvent(QMouseEvent* event) {
    QAbstractButton::mouseMoveEvent(event);
    trackMouse(event->position().toPoint(), event->buttons());
}

QList<ImageButton*> ImageButton::windowButtons() const {
    QList<ImageButton*> buttons;
    for (ImageButton* b : window()->findChildren<ImageButton*>())
        if (b->window() == window()) buttons << b;  // not those of child dialogs
    return buttons;
}

void ImageButton::focusInEvent(QFocusEvent* event) {
    QAbstractButton::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    focusCue_ = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                reason == Qt::ShortcutFocusReason;
    update();
    // A push button with the focus is the one Enter presses.
    for (ImageButton* b : windowButtons())
        b->setButtonStyle(b == this ? kDefPushButtonStyle : kPushButtonStyle);
}

void ImageButton::restoreDialogDefault() {
    for (ImageButton* b : windowButtons())
        b->setButtonStyle(b->dialogDefault_ ? kDefPushButtonStyle : kPushButtonStyle);
}

void ImageButton::mousePressEvent(QMouseEvent* event) {
    // A click keeps the look of the mouse: no focus frame, even on a button Tab had reached.
    if (focusCue_) {
        focusCue_ = false;
        update();
    }
    QAbstractButton::mousePressEvent(event);
}

void ImageButton::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    focusCue_ = false;
    leaveHot();
    // Focus moving on to a control that is not a push button gives Enter back to the
    // dialog's own default button.
    QWidget* next = QApplication::focusWidget();
    if (next && next->window() == window() && !qobject_cast<ImageButton*>(next))
        restoreDialogDefault();
}

void ImageButton::keyPressEvent(QKeyEvent* event) {
    if (isEnterKey(event)) {
        click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void ImageButton::moveFocusAfterDisable() {
    QWidget* top = window();
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if (w->window() == top && w != top && w->isEnabled() && w->isVisible() &&
            (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    if (top != this) top->setFocus(Qt::OtherFocusReason);
}

void ImageButton::readSystemColours() {
    faceColor_ = palette().color(QPalette::Button);
    textColor_ = palette().color(QPalette::ButtonText);
}

void ImageButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        // Only for this button being disabled, not for a whole window going disabled.
        if (!isEnabled() && testAttribute(Qt::WA_ForceDisabled)) moveFocusAfterDisable();
        if (!isEnabled()) leaveHot();
        break;
    case QEvent::ActivationChange:
        if (!isActiveWindow()) leaveHot();
        break;
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
        readSystemColours();
        update();
        break;
    default:
        break;
    }
}

void ImageButton::showEvent(QShowEvent* event) {
    QAbstractButton::showEvent(event);
    // Enter pressed anywhere in the window reaches the default button through this filter.
    if (filteredWindow_ != window()) {
        if (filteredWindow_) filteredWindow_->removeEventFilter(this);
        filteredWindow_ = window();
        if (filteredWindow_ != this) filteredWindow_->installEventFilter(this);
    }
}

bool ImageButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filteredWindow_ && event->type() == QEvent::KeyPress && default_ &&
        isVisible() && isEnabled() && isEnterKey(static_cast<QKeyEvent*>(event))) {
        click();
        return true;
    }
    return QAbstractButton::eventFilter(watched, event);
}

bool ImageButton::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (tipActive_ && !tipText_.isEmpty())
            QToolTip::showText(help->globalPos(),
                               wrapToolTip(tipText_, QToolTip::font(), kToolTipMaxWidth), this,
                               rect());
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractButton::event(event);
}

}  // namespace corvane
