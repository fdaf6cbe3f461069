// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace corvane {

// What the desktop is told about a join: a notification when it ends unseen, and its
// progress on the task bar entry. An implementation does nothing where the desktop offers
// no such service.
class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    virtual void notify(const QString& summary, const QString& body) = 0;
    // 0..1 shows the fraction on the task bar entry; a negative value hides it.
    virtual void setTaskProgress(double fraction) = 0;
};

}  // namespace corvane
