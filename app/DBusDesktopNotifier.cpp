// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DBusDesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace corvane {

namespace {

// The launcher entry is matched to the program by its desktop file.
const QString kDesktopEntry = QStringLiteral("corvane");

}  // namespace

void DBusDesktopNotifier::notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call << QStringLiteral("Corvane") << 0u << QStringLiteral("corvane") << summary << body
         << QStringList() << QVariantMap{{QStringLiteral("desktop-entry"), kDesktopEntry}} << -1;
    bus.send(call);
}

void DBusDesktopNotifier::setTaskProgress(double fraction) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/com/brontal/Corvane"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    const bool visible = fraction >= 0;
    update << QStringLiteral("application://%1.desktop").arg(kDesktopEntry)
           << QVariantMap{{QStringLiteral("progress"), visible ? qBound(0.0, fraction, 1.0) : 0.0},
                          {QStringLiteral("progress-visible"), visible}};
    bus.send(update);
}

}  // namespace corvane
