// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/DialogBuilder.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "controls/Artwork.h"
#include "controls/ImageButton.h"

namespace corvane {

namespace {

// The templates' captions and titles, for lupdate, which reads no JSON.
[[maybe_unused]] const char* const kTemplateTexts[] = {
    QT_TRANSLATE_NOOP("DialogTemplate", "Add"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Options"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Join"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Stop"),
    QT_TRANSLATE_NOOP("DialogTemplate", "&Help"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Exit"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Homepage"),
    QT_TRANSLATE_NOOP("DialogTemplate", "About"),
    QT_TRANSLATE_NOOP("DialogTemplate", "About Corvane"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Support Email: Click here"),
    QT_TRANSLATE_NOOP("DialogTemplate", "OK"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Cancel"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Output options"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Output file:"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Browse"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Wave format"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Samples per second (Hz):"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Channels:"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Bits per sample:"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Settings"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Mark where each file starts"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Also write a cue sheet"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Between files:"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Length in seconds:"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Crossfade curve:"),
    QT_TRANSLATE_NOOP("DialogTemplate", "Loudness:"),
};

}  // namespace

DialogBuilder::DialogBuilder(DialogTemplate dialogTemplate) : template_(std::move(dialogTemplate)) {}

void DialogBuilder::setFactory(int controlId, Factory factory) {
    factories_.insert(controlId, std::move(factory));
}

void DialogBuilder::setVariable(const QString& name, const QString& value) {
    variables_.insert(name, value);
}

QString DialogBuilder::expand(const QString& caption) const {
    QString text = caption.isEmpty() ? caption
                                     : QCoreApplication::translate("DialogTemplate", caption.toUtf8());
    for (auto it = variables_.cbegin(); it != variables_.cend(); ++it)
        text.replace(QLatin1Char('{') + it.key() + QLatin1Char('}'), it.value());
    return text;
}

QFont DialogBuilder::dialogFont(const DialogTemplate& t) {
    QFont font;
    if (QFontDatabase::hasFamily(t.fontFamily)) {
        font.setFamily(t.fontFamily);
        font.setPointSize(t.pointSize);
    } else {
        // The desktop's font at the size the desktop chose for it: the template's size
        // belongs to the template's font.
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setStyleHint(QFont::SansSerif);
        if (font.pointSize() <= 0 && font.pixelSize() <= 0) font.setPointSize(t.pointSize);
    }
    return font;
}

static Qt::Alignment labelAlignment(const TemplateControl& row) {
    Qt::Alignment a = row.hasStyle("center")  ? Qt::AlignHCenter
                      : row.hasStyle("right") ? Qt::AlignRight
                                              : Qt::AlignLeft;
    return a | (row.hasStyle("vcenter") ? Qt::AlignVCenter : Qt::AlignTop);
}

QWidget* DialogBuilder::create(const TemplateControl& row, QWidget* parent) const {
    const QString text = expand(row.caption);
    if (auto f = factories_.find(row.id); f != factories_.end() && row.id != -1) {
        QWidget* w = (*f)(parent);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setText(text);
            label->setAlignment(labelAlignment(row));
            if (row.hasStyle("noprefix")) label->setTextFormat(Qt::PlainText);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setText(text);
        }
        return w;
    }
    if (row.kind == "static") {
        auto* label = new QLabel(parent);
        // Dialog statics show plain text; "noprefix" needs nothing more because QLabel
        // has no '&' prefix processing unless a buddy is set.
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
        label->setAlignment(labelAlignment(row));
        if (row.hasStyle("sunken")) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return label;
    }
    if (row.kind == "icon") {
        auto* label = new QLabel(parent);
        label->setPixmap(artwork::iconPixmap(text.toInt()));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    if (row.kind == "edit") {
        auto* edit = new QLineEdit(text, parent);
        if (row.hasStyle("center")) edit->setAlignment(Qt::AlignCenter);
        return edit;
    }
    if (row.kind == "button") {
        auto* button = new QPushButton(text, parent);
        button->setAutoDefault(true);
        if (row.hasStyle("default")) button->setDefault(true);
        return button;
    }
    if (row.kind == "combo") return new QComboBox(parent);
    if (row.kind == "check") return new QCheckBox(text, parent);
    if (row.kind == "group") return new QGroupBox(text, parent);
    if (row.kind == "imagebutton") {
        auto* button = new ImageButton(parent);
        button->setText(text);
        button->setDialogDefault(row.hasStyle("default"));
        return button;
    }
    auto* list = new QTreeWidget(parent);  // "listview": report view
    list->setRootIsDecorated(false);
    return list;
}

bool DialogBuilder::build(QDialog* dialog) {
    if (!template_.isValid()) return false;
    const QFont font = dialogFont(template_);
    dialog->setFont(font);
    dialog->setWindowTitle(QCoreApplication::translate("DialogTemplate", template_.title.toUtf8()));
    baseUnits_ = dialogBaseUnits(font);
    dialog->setFixedSize(dialogUnitsToPixels(template_.size, baseUnits_));

    for (const TemplateControl& row : template_.controls) {
        QWidget* w = create(row, dialog);
        QRect rect = toPixels(row.rect);
        if (row.kind == "combo") {
            // A drop-down's template height includes its open list; the closed box takes
            // the height the style needs.
            rect.setHeight(w->sizeHint().height());
        }
        w->setGeometry(rect);
        // Frames drawn round other controls stay beneath them.
        if (row.kind == "group") w->lower();
        if (row.hasStyle("disabled")) w->setEnabled(false);
        if (row.hasStyle("hidden")) w->setVisible(false);
        if (row.id != -1) {
            w->setObjectName(QStringLiteral("control%1").arg(row.id));
            controls_.insert(row.id, w);
        }
    }
    return true;
}

}  // namespace corvane
