// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/DesktopNotifier.h"

namespace corvane {

// The freedesktop notification service and the launcher entry signal that docks and task
// bars read, on the session bus. Messages are sent without waiting for replies, so a
// missing bus or service costs nothing.
class DBusDesktopNotifier : public DesktopNotifier {
public:
    void notify(const QString& summary, const QString& body) override;
    void setTaskProgress(double fraction) override;
};

}  // namespace corvane
