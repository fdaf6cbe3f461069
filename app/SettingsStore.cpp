#include "app/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace corvane {

namespace {

QString keyOf(const QString& section, const QString& name) { return section + QLatin1Char('/') + name; }

}  // namespace

QString IniSettingsStore::defaultFileName(const QString& organization, const QString& application) {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + organization + QLatin1Char('/') + application + QStringLiteral(".conf");
}

IniSettingsStore::IniSettingsStore()
    : fileName_(defaultFileName(QStringLiteral("Brontal"), QStringLiteral("Corvane"))) {}

IniSettingsStore::IniSettingsStore(const QString& fileName) : fileName_(fileName) {}

void IniSettingsStore::keepCorruptFileAside(QSettings& s) {
    // QSettings reports a parse error only to the first reader of a file in the process, and
    // drops what it could not parse on its next write: keep a copy of the file first.
    (void)s.childGroups();
    if (s.status() != QSettings::FormatError || keptAside_) return;
    const QString aside = fileName_ + QStringLiteral(".corrupt");
    QFile::remove(aside);
    keptAside_ = QFile::copy(fileName_, aside);
}

int IniSettingsStore::readInt(const QString& section, const QString& name, int defaultValue) {
    QSettings s(fileName_, QSettings::IniFormat);
    keepCorruptFileAside(s);
    const QVariant v = s.value(keyOf(section, name));
    if (!v.isValid()) return defaultValue;
    bool ok = false;
    // Stored as a 32-bit number: larger values keep their low 32 bits, as the registry would.
    const qlonglong n = v.toLongLong(&ok);
    if (!ok) return defaultValue;
    return static_cast<int>(static_cast<quint32>(static_cast<qulonglong>(n)));
}

QString IniSettingsStore::readString(const QString& section, const QString& name,
                                     const QString& defaultValue) {
    QSettings s(fileName_, QSettings::IniFormat);
    keepCorruptFileAside(s);
    const QVariant v = s.value(keyOf(section, name));
    if (!v.isValid() || !v.canConvert<QString>()) return defaultValue;
    return v.toString();
}

bool IniSettingsStore::write(const QString& section, const QString& name, const QVariant& value) {
    QFileInfo info(fileName_);
    QDir().mkpath(info.absolutePath());
    // QSettings locks the file ("<name>.lock") around its rewrite, so two instances
    // closing at once do not interleave.
    QSettings s(fileName_, QSettings::IniFormat);
    keepCorruptFileAside(s);
    s.setValue(keyOf(section, name), value);
    s.sync();
    return s.status() == QSettings::NoError;
}

bool IniSettingsStore::writeInt(const QString& section, const QString& name, int value) {
    return write(section, name, value);
}

bool IniSettingsStore::writeString(const QString& section, const QString& name, const QString& value) {
    return write(section, name, value);
}

}  // namespace corvane
