// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QMap>
#include <QSize>
#include <QString>
#include <functional>

#include "controls/DialogTemplate.h"

class QDialog;
class QFont;
class QWidget;

namespace corvane {

// Turns a dialog template into widgets on a dialog: its title, its font, its fixed size and
// one widget per control row, in table order (which is also the tab order).
//
// Kinds: static → QLabel, icon → QLabel with artwork, edit → QLineEdit, button → QPushButton,
// combo → QComboBox, group → QGroupBox, imagebutton → ImageButton, listview → QTreeWidget.
// A factory registered for an id replaces the default widget of that row.
// "{Name}" in a caption is replaced by the variable of that name.
class DialogBuilder {
public:
    using Factory = std::function<QWidget*(QWidget* parent)>;

    explicit DialogBuilder(DialogTemplate dialogTemplate);

    void setFactory(int controlId, Factory factory);
    void setVariable(const QString& name, const QString& value);

    // Builds onto `dialog`; false (and no widgets) when the template is not valid.
    bool build(QDialog* dialog);

    QWidget* control(int controlId) const { return controls_.value(controlId); }
    template <class T>
    T* control(int controlId) const {
        return qobject_cast<T*>(control(controlId));
    }

    const DialogTemplate& dialogTemplate() const { return template_; }
    const QSize& baseUnits() const { return baseUnits_; }
    QRect toPixels(const QRect& units) const { return dialogUnitsToPixels(units, baseUnits_); }

    // The template's font on this system: the named family when installed, else the
    // desktop's sans-serif face at the same point size.
    static QFont dialogFont(const DialogTemplate& t);

private:
    QWidget* create(const TemplateControl& row, QWidget* parent) const;
    QString expand(const QString& caption) const;

    DialogTemplate template_;
    QMap<int, Factory> factories_;
    QHash<QString, QString> variables_;
    QHash<int, QWidget*> controls_;
    QSize baseUnits_;
};

}  // namespace corvane
