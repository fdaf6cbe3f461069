// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include "app/MessageBoxes.h"

namespace corvane::test {

// Records every box and answers questions from a script (No when the script is empty).
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        QString text;
        QString caption;
        Owner owner;
        Icon icon;
        bool question;
    };

    void showMessage(const QString& text, const QString& caption, Owner owner, Icon icon) override {
        shown.append({text, caption, owner, icon, false});
    }
    bool askYesNo(const QString& text, const QString& caption, Owner owner, Icon icon) override {
        shown.append({text, caption, owner, icon, true});
        return answers.isEmpty() ? false : answers.takeFirst();
    }

    QStringList texts() const {
        QStringList t;
        for (const Shown& s : shown) t << s.text;
        return t;
    }
    void clear() { shown.clear(); }

    QList<Shown> shown;
    QList<bool> answers;  // true = Yes
};

}  // namespace corvane::test
