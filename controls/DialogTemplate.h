// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

class QFont;

namespace corvane {

// One control row of a dialog template: id (-1 for none), kind, caption, rectangle in dialog
// units and style words.
struct TemplateControl {
    int id = -1;
    QString kind;
    QString caption;
    QRect rect;
    QStringList styles;

    bool hasStyle(const QString& style) const { return styles.contains(style); }
};

// A dialog template kept as data in the resources (":/dialogs/<id>.json").
struct DialogTemplate {
    int id = 0;
    QString title;
    QString fontFamily;
    int pointSize = 8;
    QSize size;  // dialog units
    QVector<TemplateControl> controls;

    // Empty id (0) with `error` set when the template is missing or malformed.
    static DialogTemplate load(int id, QString* error = nullptr);
    static DialogTemplate parse(const QByteArray& json, QString* error = nullptr);

    bool isValid() const { return id != 0; }
    const TemplateControl* find(int controlId) const;
};

// The dialog base units of a font: the average width of the 52 letters and the line height.
QSize dialogBaseUnits(const QFont& font);
// x × base width / 4 and y × base height / 8, rounded to the nearest pixel.
QRect dialogUnitsToPixels(const QRect& units, const QSize& baseUnits);
QSize dialogUnitsToPixels(const QSize& units, const QSize& baseUnits);

}  // namespace corvane
