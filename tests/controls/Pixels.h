// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <functional>

// Small helpers for looking at what a widget painted.
namespace pixels {

inline QRect boundsWhere(const QImage& image, const std::function<bool(QColor)>& match) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixelColor(x, y))) bounds |= QRect(x, y, 1, 1);
    return bounds;
}

inline int countWhere(const QImage& image, const std::function<bool(QColor)>& match) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixelColor(x, y))) ++n;
    return n;
}

inline bool near(QColor a, QColor b, int tolerance = 40) {
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) <=
           tolerance;
}

inline bool saturated(QColor c) { return c.hsvSaturation() > 80 && c.value() > 60; }

}  // namespace pixels
