// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/DialogTemplate.h"

#include "controls/Artwork.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace corvane {

namespace {

const QStringList& knownKinds() {
    static const QStringList kinds = {"static", "icon",        "edit",     "button", "combo",
                                      "group",  "imagebutton", "listview", "check"};
    return kinds;
}

bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

bool parseControl(const QJsonValue& value, TemplateControl& out, QString* error) {
    // [id, kind, caption, x, y, width, height, [styles...]]
    const QJsonArray row = value.toArray();
    if (row.size() < 7) return fail(error, QStringLiteral("control row needs 7 or 8 fields"));
    for (int i : {0, 3, 4, 5, 6})
        if (!row[i].isDouble()) return fail(error, QStringLiteral("field %1 is not a number").arg(i));
    out.id = row[0].toInt();
    out.kind = row[1].toString();
    if (!knownKinds().contains(out.kind))
        return fail(error, QStringLiteral("unknown control kind '%1'").arg(out.kind));
    out.caption = row[2].toString();
    out.rect = QRect(row[3].toInt(), row[4].toInt(), row[5].toInt(), row[6].toInt());
    out.styles.clear();
    if (row.size() > 7)
        for (const QJsonValue& s : row[7].toArray()) out.styles << s.toString();
    return true;
}

}  // namespace

DialogTemplate DialogTemplate::load(int id, QString* error) {
    artwork::ensureResources();
    QFile file(QStringLiteral(":/dialogs/%1.json").arg(id));
    if (!file.open(QIODevice::ReadOnly)) {
        fail(error, QStringLiteral("no dialog template %1").arg(id));
        return {};
    }
    DialogTemplate t = parse(file.readAll(), error);
    if (t.isValid() && t.id != id) {
        fail(error, QStringLiteral("template file %1 holds template %2").arg(id).arg(t.id));
        return {};
    }
    return t;
}

DialogTemplate DialogTemplate::parse(const QByteArray& json, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject()) {
        fail(error, parseError.errorString());
        return {};
    }
    const QJsonObject o = doc.object();
    DialogTemplate t;
    t.title = o.value("title").toString();
    t.fontFamily = o.value("font").toString();
    t.pointSize = o.value("pointSize").toInt(8);
    t.size = QSize(o.value("width").toInt(), o.value("height").toInt());
    for (const QJsonValue& row : o.value("controls").toArray()) {
        TemplateControl c;
        if (!parseControl(row, c, error)) return {};
        if (c.id != -1 && t.find(c.id)) {
            fail(error, QStringLiteral("control id %1 appears twice").arg(c.id));
            return {};
        }
        t.controls.append(c);
    }
    t.id = o.value("id").toInt();
    if (t.id == 0 || t.size.isEmpty()) {
        fail(error, QStringLiteral("template needs an id and a size"));
        return {};
    }
    return t;
}

const TemplateControl* DialogTemplate::find(int controlId) const {
    for (const TemplateControl& c : controls)
        if (c.id == controlId) return &c;
    return nullptr;
}

QSize dialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((letters / 26 + 1) / 2, metrics.height());
}

static int scale(int units, int base, int divisor) {
    return static_cast<int>(std::lround(static_cast<double>(units) * base / divisor));
}

QRect dialogUnitsToPixels(const QRect& units, const QSize& base) {
    const int left = scale(units.x(), base.width(), 4);
    const int top = scale(units.y(), base.height(), 8);
    // Convert the corners, not the sizes, so neighbouring controls meet without gaps.
    const int right = scale(units.x() + units.width(), base.width(), 4);
    const int bottom = scale(units.y() + units.height(), base.height(), 8);
    return QRect(left, top, right - left, bottom - top);
}

QSize dialogUnitsToPixels(const QSize& units, const QSize& base) {
    return QSize(scale(units.width(), base.width(), 4), scale(units.height(), base.height(), 8));
}

}  // namespace corvane
