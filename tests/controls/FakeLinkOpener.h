// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include "controls/LinkOpener.h"

// Answers like the desktop would, from a script, and records what would have been started.
class FakeLinkOpener : public corvane::LinkOpener {
public:
    bool openWithDesktop(const QString& address) override {
        opened << address;
        return desktopWorks;
    }
    QString webPageCommand() override {
        ++associationLookups;
        return association;
    }
    int start(const QString& program, const QStringList& arguments) override {
        startedProgram = program;
        startedArguments = arguments;
        return startResult;
    }

    bool desktopWorks = true;
    QString association;
    int startResult = kStarted;
    QStringList opened;
    int associationLookups = 0;
    QString startedProgram;
    QStringList startedArguments;
};
