// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace corvane {

// The open-file and save-file dialogs, behind an interface so tests can script them.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Several existing files; empty when cancelled. filters: "Description (*.x)" entries.
    virtual QStringList getOpenFileNames(const QString& title, const QString& initialFolder,
                                         const QStringList& filters) = 0;
    // One file name; empty when cancelled.
    virtual QString getSaveFileName(const QString& title, const QString& initialPath,
                                    const QStringList& filters) = 0;
};

}  // namespace corvane
