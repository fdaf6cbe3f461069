// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStringList>

#include "app/DesktopNotifier.h"

namespace corvane::test {

// Records what the desktop would be told.
class RecordingDesktopNotifier : public DesktopNotifier {
public:
    void notify(const QString& summary, const QString& body) override {
        notifications << (summary + QLatin1Char('\n') + body);
    }
    void setTaskProgress(double fraction) override { progress << fraction; }

    QStringList notifications;  // summary, a line break, body
    QList<double> progress;
};

}  // namespace corvane::test
