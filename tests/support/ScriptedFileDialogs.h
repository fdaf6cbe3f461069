// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStringList>

#include "app/FileDialogs.h"

namespace corvane::test {

// Answers file dialogs from a script and records how each was asked.
class ScriptedFileDialogs : public FileDialogs {
public:
    struct Asked {
        QString title;
        QString initial;
        QStringList filters;
        bool save;
    };

    QStringList getOpenFileNames(const QString& title, const QString& initialFolder,
                                 const QStringList& filters) override {
        asked.append({title, initialFolder, filters, false});
        return openAnswers.isEmpty() ? QStringList() : openAnswers.takeFirst();
    }
    QString getSaveFileName(const QString& title, const QString& initialPath,
                            const QStringList& filters) override {
        asked.append({title, initialPath, filters, true});
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }

    QList<Asked> asked;
    QList<QStringList> openAnswers;  // an empty list = cancelled
    QStringList saveAnswers;         // an empty string = cancelled
};

}  // namespace corvane::test
