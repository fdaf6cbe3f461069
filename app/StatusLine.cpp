// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StatusLine.h"

#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace corvane {

StatusLine::StatusLine(QWidget* parent) : QLabel(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The lower and right edges in a grey that shows on the light window face, not white.
    QPalette p = palette();
    p.setColor(QPalette::Light, p.color(QPalette::Mid));
    setPalette(p);
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setIndent(3);
    // A long path must not widen the window.
    setMinimumWidth(1);
}

int StatusLine::oneLineHeight() const {
    // A pixel of room above and below the text, as a one-line static has.
    return fontMetrics().height() + 2 * frameWidth() + 2;
}

void StatusLine::setFraction(double fraction) {
    const double f = fraction < 0 || std::isnan(fraction) ? -1.0 : std::min(fraction, 1.0);
    if (f == fraction_) return;
    fraction_ = f;
    update();
}

QRect StatusLine::fillRect() const {
    if (fraction_ < 0) return {};
    QRect inside = contentsRect();
    inside.setWidth(static_cast<int>(std::lround(inside.width() * fraction_)));
    return inside;
}

QRect StatusLine::textRect() const {
    // The indent on the left, as a label keeps it, and as much again before the right edge.
    return contentsRect().adjusted(indent(), 0, -indent(), 0);
}

QString StatusLine::shownText() const {
    // A long path loses its middle, so the drive and the file name both stay in sight; the
    // tooltip holds the whole text.
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, std::max(textRect().width(), 0));
}

void StatusLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    if (const QRect fill = fillRect(); !fill.isEmpty()) {
        QColor colour = palette().color(QPalette::Highlight);
        // Light enough that the text on top stays readable.
        colour.setAlpha(70);
        painter.fillRect(fill, colour);
    }
    style()->drawItemText(&painter, textRect(), static_cast<int>(alignment()), palette(),
                          isEnabled(), shownText(), foregroundRole());
}

}  // namespace corvane
