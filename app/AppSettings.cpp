// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppSettings.h"

#include <QCoreApplication>
#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace corvane::settings {

namespace {

QString musicFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
}

// The folder exists and we may write in it, or it can be made: its nearest existing
// ancestor is a folder we may write in.
bool usableFolder(const QString& folder) {
    QFileInfo f(QDir::cleanPath(folder));
    while (!f.exists()) {
        const QString parent = f.absolutePath();
        if (parent == f.absoluteFilePath()) return false;
        f = QFileInfo(parent);
    }
    return f.isDir() && f.isWritable();
}

}  // namespace

QString defaultOutputPath(MessageBoxes& boxes) {
    // Only proposed here: the folder is made when a join first writes into it.
    const QString music = musicFolder();
    if (!music.isEmpty() && usableFolder(music)) return QDir(music).filePath(kDefaultFileName);
    boxes.errorMessage(QCoreApplication::translate("corvane::settings", "Can not get My Music directory!"));
    return QDir::home().filePath(kDefaultFileName);
}

void makeDefaultFolder(const QString& outputPath) {
    const QString music = musicFolder();
    if (music.isEmpty() || outputPath.isEmpty()) return;
    const QString folder = QFileInfo(outputPath).absolutePath();
    if (QDir::cleanPath(folder) != QDir::cleanPath(music) || QFileInfo::exists(folder)) return;
    // A failure is left to the join's own check, which names the folder.
    QDir().mkpath(folder);
}

OutputFormat readOutputFormat(SettingsStore& store, const QString& defaultPath) {
    OutputFormat f;
    f.outputPath = store.readString(kSettings, kOutputName, defaultPath);
    f.outputWidth = store.readInt(kSettings, kOutputWidth, 352);
    f.outputHeight = store.readInt(kSettings, kOutputHigh, 240);
    f.frameRateIndex = store.readInt(kSettings, kOutputFrameRateIndex, 0);
    double custom = 23.976;
    if (f.frameRateIndex == 5) {
        // A decimal number at the start of the text, as the options dialog reads its edit.
        custom = leadingDecimal(store.readString(kSettings, kOutputFrameRate, QStringLiteral("23.976")));
        // The options dialog could never be confirmed with less (its edit is hidden).
        if (!(custom >= kMinFrameRate)) custom = 23.976;
    }
    f.frameRate = frameRateForIndex(f.frameRateIndex, custom);
    f.markers = store.readInt(kSettings, kMarkers, 1) != 0;
    f.cueSheet = store.readInt(kSettings, kCueSheet, 0) != 0;
    readSeam(store, f);
    // An unknown mode, or a target or ceiling not offered, is read as off, -16 and -1.
    f.loudnessMode = store.readInt(kSettings, kLoudness, kLoudnessOff);
    if (f.loudnessMode < kLoudnessOff || f.loudnessMode > kLoudnessWholeJoin) f.loudnessMode = kLoudnessOff;
    const int target = store.readInt(kSettings, kLoudnessTarget, -16);
    const auto& offered = loudnessTargets();
    f.loudnessTarget = std::find(offered.begin(), offered.end(), target) != offered.end() ? target : -16;
    const double ceiling = leadingDecimal(store.readString(kSettings, kTruePeak, QString()));
    const auto& ceilings = truePeakCeilings();
    f.truePeakCeiling = std::find(ceilings.begin(), ceilings.end(), ceiling) != ceilings.end() ? ceiling : -1.0;
    return f;
}

void readSeam(SettingsStore& store, OutputFormat& format) {
    using media::Seam;
    const int kind = store.readInt(kSettings, kBetweenFiles, 0);
    format.betweenFiles = kind == 1 ? Seam::Kind::Silence : kind == 2 ? Seam::Kind::Crossfade : Seam::Kind::Nothing;
    const auto seconds = [&](const QString& key, double fallback) {
        const double v = leadingDecimal(store.readString(kSettings, key, QString()));
        return v >= Seam::kMinSeconds && v <= Seam::kMaxSeconds ? v : fallback;
    };
    format.silenceSeconds = seconds(kSilenceSeconds, Seam::kDefaultSilence);
    format.crossfadeSeconds = seconds(kCrossfadeSeconds, Seam::kDefaultCrossfade);
    format.crossfadeCurve = store.readInt(kSettings, kCrossfadeCurve, 0) == 1 ? Seam::Curve::Linear
                                                                              : Seam::Curve::EqualPower;
}

void writeSeam(SettingsStore& store, const OutputFormat& format) {
    store.writeInt(kSettings, kBetweenFiles, static_cast<int>(format.betweenFiles));
    store.writeString(kSettings, kSilenceSeconds, QString::number(format.silenceSeconds, 'g', 6));
    store.writeString(kSettings, kCrossfadeSeconds, QString::number(format.crossfadeSeconds, 'g', 6));
    store.writeInt(kSettings, kCrossfadeCurve, format.crossfadeCurve == media::Seam::Curve::Linear ? 1 : 0);
}

QString decoderStoreFile() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/DivXNetworks/DivX4Windows.conf");
}

namespace {

// The value as QSettings writes it into an INI file.
QByteArray iniText(const QVariant& v) {
    QTemporaryDir dir;
    if (!dir.isValid()) return {};
    const QString scratch = dir.filePath(QStringLiteral("value.ini"));
    {
        QSettings s(scratch, QSettings::IniFormat);
        s.setValue(QStringLiteral("v"), v);
    }
    QFile f(scratch);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray ini = f.readAll();
    qsizetype b = 0, e = 0;
    return IniSettingsStore::findRawValue(ini, QString(), QStringLiteral("v"), &b, &e)
               ? ini.mid(b, e - b)
               : QByteArray();
}

}  // namespace

void disableDecoderFeedback(const QString& file) {
    if (!QFileInfo(file).isFile() || !QFileInfo(file).isWritable()) return;
    const QString key = QStringLiteral("Disable feedback");
    QVariant v;
    {
        QSettings s(file, QSettings::IniFormat);
        if (s.status() != QSettings::NoError || !s.contains(key)) return;
        v = s.value(key);
    }
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
    // Not our file: only that one value changes, in place, and only when it differs; its
    // comments, order and spelling of keys stay as they are.
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return;
    const QByteArray ini = in.readAll();
    in.close();
    qsizetype b = 0, e = 0;
    if (!IniSettingsStore::findRawValue(ini, QString(), key, &b, &e)) return;
    const QByteArray text = iniText(v);
    if (text.isEmpty() || ini.mid(b, e - b) == text) return;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return;
    out.write(ini.left(b) + text + ini.mid(e));
    out.commit();
}

}  // namespace corvane::settings
