// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include "media/PathCodec.h"

namespace corvane {

namespace {

QString keyOf(const QString& section, const QString& name) {
    return section + QLatin1Char('/') + name;
}

}  // namespace

QString IniSettingsStore::defaultFileName(const QString& organization, const QString& application) {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + organization + QLatin1Char('/') + application +
           QStringLiteral(".conf");
}

IniSettingsStore::IniSettingsStore()
    : fileName_(defaultFileName(QStringLiteral("Brontal"), QStringLiteral("Corvane"))) {}

IniSettingsStore::IniSettingsStore(const QString& fileName) : fileName_(fileName) {}

void IniSettingsStore::keepCorruptFileAside(QSettings& s) {
    // QSettings reports a parse error only to the first reader of a file in the process, and
    // drops what it could not parse on its next write: keep a copy of the file first.
    (void)s.childGroups();
    if (s.status() != QSettings::FormatError || keptAside_) return;
    // Every copy is kept: ".corrupt", then ".corrupt.2", ".corrupt.3", ...
    QString aside = fileName_ + QStringLiteral(".corrupt");
    for (int n = 2; QFileInfo::exists(aside) && n < 100000; ++n)
        aside = fileName_ + QStringLiteral(".corrupt.%1").arg(n);
    keptAside_ = QFile::copy(fileName_, aside);
}

bool IniSettingsStore::findRawValue(const QByteArray& ini, const QString& section,
                                    const QString& name, qsizetype* begin, qsizetype* end) {
    const bool general = section.isEmpty() || section == QLatin1String("General");
    bool inSection = general;
    bool found = false;
    for (qsizetype at = 0; at < ini.size();) {
        qsizetype eol = ini.indexOf('\n', at);
        if (eol < 0) eol = ini.size();
        qsizetype lineEnd = eol;
        if (lineEnd > at && ini[lineEnd - 1] == '\r') --lineEnd;
        const QByteArray line = ini.mid(at, lineEnd - at);
        const QByteArray t = line.trimmed();
        if (t.startsWith('[') && t.endsWith(']')) {
            const QString group = QUrl::fromPercentEncoding(t.mid(1, t.size() - 2));
            inSection = general ? group == QLatin1String("General") : group == section;
        } else if (inSection && !t.startsWith(';') && !t.startsWith('#')) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0 && QUrl::fromPercentEncoding(line.left(eq).trimmed()) == name) {
                qsizetype b = at + eq + 1, e = lineEnd;
                while (b < e && (ini[b] == ' ' || ini[b] == '\t')) ++b;
                while (e > b && (ini[e - 1] == ' ' || ini[e - 1] == '\t')) --e;
                *begin = b;
                *end = e;
                found = true;  // the last one counts, as for QSettings
            }
        }
        at = eol + 1;
    }
    return found;
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
    // Paths that are not UTF-8 are stored as bytes (see writeString) and keep them.
    if (v.typeId() == QMetaType::QByteArray)
        return media::pathToQString(v.toByteArray().toStdString());
    QString text = v.toString();
    if (text.contains(QChar::ReplacementCharacter)) {
        // Written by hand or by another program in raw bytes: take them as they are, when the
        // value is plain (no quotes or escapes for QSettings to undo).
        QFile f(fileName_);
        qsizetype b = 0, e = 0;
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray ini = f.readAll();
            if (findRawValue(ini, section, name, &b, &e)) {
                const QByteArray raw = ini.mid(b, e - b);
                if (!raw.contains('"') && !raw.contains('\\') && !raw.contains(','))
                    text = media::pathToQString(raw.toStdString());
            }
        }
    }
    return text;
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

bool IniSettingsStore::writeString(const QString& section, const QString& name,
                                   const QString& value) {
    // A name's bytes that are not UTF-8 (carried as U+DC80..U+DCFF) would be lost as text.
    for (QChar c : value)
        if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF) {
            const std::string bytes = media::qstringToPath(value);
            return write(section, name,
                         QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
        }
    return write(section, name, value);
}

}  // namespace corvane
