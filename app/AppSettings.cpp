#include "app/AppSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace corvane::settings {

QString defaultOutputPath(MessageBoxes& boxes) {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QDir().mkpath(music) && QFileInfo(music).isWritable())
        return QDir(music).filePath(kDefaultFileName);
    boxes.errorMessage(QStringLiteral("Can not get My Music directory!"));
    return QDir::home().filePath(kDefaultFileName);
}

OutputFormat readOutputFormat(SettingsStore& store, const QString& defaultPath) {
    OutputFormat f;
    f.outputPath = store.readString(kSettings, kOutputName, defaultPath);
    f.outputWidth = store.readInt(kSettings, kOutputWidth, 352);
    f.outputHeight = store.readInt(kSettings, kOutputHigh, 240);
    f.frameRateIndex = store.readInt(kSettings, kOutputFrameRateIndex, 0);
    double custom = 23.976;
    if (f.frameRateIndex == 5)
        custom = store.readString(kSettings, kOutputFrameRate, QStringLiteral("23.976")).toDouble();
    f.frameRate = frameRateForIndex(f.frameRateIndex, custom);
    f.markers = store.readInt(kSettings, kMarkers, 1) != 0;
    f.cueSheet = store.readInt(kSettings, kCueSheet, 0) != 0;
    return f;
}

QString decoderStoreFile() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/DivXNetworks/DivX4Windows.conf");
}

void disableDecoderFeedback(const QString& file) {
    if (!QFileInfo(file).isFile() || !QFileInfo(file).isWritable()) return;
    QSettings s(file, QSettings::IniFormat);
    const QString key = QStringLiteral("Disable feedback");
    if (s.status() != QSettings::NoError || !s.contains(key)) return;
    QVariant v = s.value(key);
    bool isNumber = false;
    const qlonglong n = v.toLongLong(&isNumber);
    if (v.typeId() == QMetaType::QByteArray) {
        QByteArray b = v.toByteArray();
        if (b.isEmpty()) b.append('\0');
        b[0] = 1;
        v = b;
    } else if (isNumber) {
        // A number's first byte is its lowest.
        v = (n & ~qlonglong(0xFF)) | 1;
    } else {
        QString t = v.toString();
        if (t.isEmpty()) t.append(QChar(0));
        t[0] = QChar(1);
        v = t;
    }
    s.setValue(key, v);
    s.sync();
}

}  // namespace corvane::settings
