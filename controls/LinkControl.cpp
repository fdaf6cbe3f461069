// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/LinkControl.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include "app/MessageBoxes.h"
#include "controls/Artwork.h"
#include "controls/LinkOpener.h"
#include "controls/QtMessageBoxes.h"

namespace corvane {

LinkControl::LinkControl(QWidget* parent) : QLabel(parent) {
    setMouseTracking(true);
    // Reached with Tab; a click opens the link without taking the focus.
    setFocusPolicy(Qt::TabFocus);
    setTextFormat(Qt::PlainText);
    // The background is the dialog's face, so a moved or resized link leaves no trace.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    applyColour();
}

void LinkControl::attach() {
    if (target_.isEmpty()) target_ = text();
    if (text().isEmpty()) setText(target_);
    normalFont_ = font();
    underlinedFont_ = normalFont_;
    underlinedFont_.setUnderline(true);
    attached_ = true;
    fitToText();
    loadHandCursor();
    if (underlineMode_ != kUnderlineHover) {
        selectFont(false);
        underlineMode_ = kUnderlineHover;
    }
    setToolTip(target_);
}

void LinkControl::setTarget(const QString& address) {
    target_ = address;
    if (!attached_) return;
    fitToText();
    setToolTip(address);
}

void LinkControl::setUnderlineMode(int mode) {
    if (mode == underlineMode_) return;
    if (attached_) selectFont(mode == kUnderlineAlways);
    underlineMode_ = mode;
}

void LinkControl::selectFont(bool underlined) {
    setFont(underlined ? underlinedFont_ : normalFont_);
    update();
}

QColor LinkControl::currentColour() const {
    return hovering_ ? hoverColour_ : visited_ ? visitedColour_ : linkColour_;
}

void LinkControl::applyColour() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, currentColour());
    setPalette(p);
}

void LinkControl::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    // A new palette from outside must not take the link colour away.
    if (event->type() == QEvent::PaletteChange &&
        palette().color(QPalette::WindowText) != currentColour())
        applyColour();
}

void LinkControl::mouseMoveEvent(QMouseEvent* event) {
    if (!hovering_) {
        hovering_ = true;
        if (underlineMode_ == kUnderlineHover) selectFont(true);
        applyColour();
        hoverTimer_.start(kHoverPeriodMs, this);
    }
    QLabel::mouseMoveEvent(event);
}

void LinkControl::timerEvent(QTimerEvent* event) {
    if (event->timerId() == hoverTimer_.timerId()) {
        if (!rect().contains(mapFromGlobal(QCursor::pos()))) {
            hovering_ = false;
            hoverTimer_.stop();
            if (underlineMode_ != kUnderlineAlways) selectFont(false);
            applyColour();
        }
        return;
    }
    QLabel::timerEvent(event);
}

void LinkControl::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) pressed_ = true;
}

void LinkControl::mouseDoubleClickEvent(QMouseEvent* event) {
    // Not a press (as QWidget would make it): the click before it has opened the link.
    event->accept();
}

void LinkControl::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return;
    const bool pressedHere = pressed_;
    pressed_ = false;
    if (pressedHere && rect().contains(event->position().toPoint())) click();
}

void LinkControl::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (event->modifiers() & ~Qt::KeypadModifier) break;
            event->accept();
            click();
            return;
        default:
            break;
    }
    QLabel::keyPressEvent(event);
}

void LinkControl::focusInEvent(QFocusEvent* event) {
    QLabel::focusInEvent(event);
    // Not when a window opening hands it the focus: only after Tab or a shortcut.
    focusCue_ = event->reason() == Qt::TabFocusReason ||
                event->reason() == Qt::BacktabFocusReason ||
                event->reason() == Qt::ShortcutFocusReason;
    update();
}

void LinkControl::focusOutEvent(QFocusEvent* event) {
    QLabel::focusOutEvent(event);
    focusCue_ = false;
    update();
}

void LinkControl::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!focusCue_ || !hasFocus()) return;
    QPainter painter(this);
    QPen pen(currentColour());
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void LinkControl::click() {
    hovering_ = false;
    const int result = openTarget(target_, kShowNormal);
    visited_ = result > 32;
    applyColour();
    emit targetOpened(visited_);
    if (!visited_) {
        QApplication::beep();
        showOpenError(result);
    }
}

int LinkControl::openTarget(const QString& address, int /*show*/) {
    LinkOpener& opener = opener_ ? *opener_ : DesktopLinkOpener::instance();
    if (opener.openWithDesktop(address)) return LinkOpener::kStarted;
    const int desktopResult = LinkOpener::kNoAssociation;
    const QString association = opener.webPageCommand();
    if (association.trimmed().isEmpty()) return desktopResult;
    const FallbackCommand command = FallbackCommand::build(association, address);
    return opener.start(command.program, command.arguments);
}

QString LinkControl::openErrorText(int code) {
    switch (code) {
    case 0: return tr("The operating system is out\nof memory or resources.");
    case 2: return tr("The specified file was not found.");
    case 3: return tr("The specified path was not found.");
    case 5: return tr("The operating system denied\naccess to the specified file.");
    case 8: return tr("There was not enough memory to complete the operation.");
    case 11:
        return tr("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
    case 26: return tr("A sharing violation occurred. ");
    case 27: return tr("The filename association is\nincomplete or invalid.");
    case 28:
        return tr(
            "The DDE transaction could not\nbe completed because the request timed out.");
    case 29: return tr("The DDE transaction failed.");
    case 30:
        return tr(
            "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
            "being processed.");
    case 31:
        return tr(
            "There is no application associated\nwith the given filename extension.");
    case 32: return tr("The specified dynamic-link library was not found.");
    default: return tr("Unknown Error (%1) occurred.").arg(code);
    }
}

void LinkControl::showOpenError(int code) {
    MessageBoxes& boxes = boxes_ ? *boxes_ : QtMessageBoxes::instance();
    boxes.showMessage(tr("Unable to open hyperlink:\n\n") + openErrorText(code),
                      kAppName, MessageBoxes::Owner::Application, MessageBoxes::Icon::Warning);
}

void LinkControl::fitToText() {
    if (!attached_ || !fitToText_) return;
    QRect w = geometry();
    const QMargins frame = contentsMargins();  // window minus client, per side
    const QSize text = QFontMetrics(underlinedFont_).size(Qt::TextSingleLine, this->text());

    int top = w.top(), bottom = w.top() + w.height();
    int left = w.left(), right = w.left() + w.width();
    const int height = text.height() + frame.top() + frame.bottom();
    if (alignment() & Qt::AlignVCenter) {
        const int d = (bottom - top - height) / 2;
        top += d;
        bottom -= d;
    } else {
        bottom = top + height;
    }
    const int width = text.width() + frame.left() + frame.right();
    if (alignment() & Qt::AlignHCenter) {
        const int d = (right - width - left) / 2;
        left += d;
        right -= d;
    } else if (alignment() & Qt::AlignRight) {
        left = right - width;
    } else {
        right = left + width;
    }
    setGeometry(left, top, right - left, bottom - top);
}

bool LinkControl::loadHandCursor() {
    if (hasHandCursor_) return true;
    QCursor hand;
    if (!artwork::loadCursor(artwork::kHandCursor, &hand)) return false;
    setCursor(hand);
    hasHandCursor_ = true;
    return true;
}

}  // namespace corvane
