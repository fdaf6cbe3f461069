// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

namespace corvane {

inline const QString kHelpStartPage = QStringLiteral("Introduction.htm");

// The help folder for a program in `programDir`: "help" beside it (the build tree) or the
// installed share folder relative to it, then the configured install prefix. Only a folder
// that holds the start page counts; empty when there is none.
QString findHelpFolder(const QString& programDir);

// The same for the running program.
QString helpFolder();

// The start page of the help as a file URL; empty when the help is missing.
QUrl helpStartPage();

}  // namespace corvane
