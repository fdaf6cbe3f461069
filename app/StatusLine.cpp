#include "app/StatusLine.h"

#include <QPainter>
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

void StatusLine::paintEvent(QPaintEvent* event) {
    if (const QRect fill = fillRect(); !fill.isEmpty()) {
        QPainter painter(this);
        QColor colour = palette().color(QPalette::Highlight);
        // Light enough that the text on top stays readable.
        colour.setAlpha(70);
        painter.fillRect(fill, colour);
    }
    QLabel::paintEvent(event);
}

}  // namespace corvane
