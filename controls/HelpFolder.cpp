// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/HelpFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace corvane {

QString findHelpFolder(const QString& programDir) {
    const QDir dir(programDir);
    const QStringList candidates = {
        dir.filePath(QStringLiteral("help")),
        dir.filePath(QStringLiteral(CORVANE_HELP_RELATIVE_DIR)),
        QStringLiteral(CORVANE_HELP_INSTALL_DIR),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo(QDir(candidate).filePath(kHelpStartPage)).isFile())
            return QDir::cleanPath(QDir(candidate).absolutePath());
    }
    return {};
}

QString helpFolder() { return findHelpFolder(QCoreApplication::applicationDirPath()); }

QUrl helpStartPage() {
    const QString folder = helpFolder();
    if (folder.isEmpty()) return {};
    return QUrl::fromLocalFile(QDir(folder).filePath(kHelpStartPage));
}

}  // namespace corvane
