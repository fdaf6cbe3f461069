// SPDX-License-Identifier: GPL-3.0-or-later
// Writes settings through the store in a loop, as a second instance of the program would.
// Usage: settings-writer FILE TAG COUNT
#include <QCoreApplication>
#include <QString>

#include "app/SettingsStore.h"

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    QCoreApplication app(argc, argv);
    corvane::IniSettingsStore store(QString::fromLocal8Bit(argv[1]));
    const QString tag = QString::fromLocal8Bit(argv[2]);
    const int count = QString::fromLocal8Bit(argv[3]).toInt();
    for (int i = 0; i < count; ++i) {
        store.writeInt(QStringLiteral("Setup"), tag, i);
        store.writeString(QStringLiteral("Option"), tag, QStringLiteral("/folder/%1/%2/").arg(tag).arg(i));
    }
    return 0;
}
