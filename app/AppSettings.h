// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "app/MessageBoxes.h"
#include "app/SettingsStore.h"
#include "options/OutputFormat.h"

namespace corvane::settings {

inline const QString kSettings = QStringLiteral("Settings");
inline const QString kOutputName = QStringLiteral("OutputName");
inline const QString kOutputWidth = QStringLiteral("OutputWidth");
inline const QString kOutputHigh = QStringLiteral("OutputHigh");
inline const QString kOutputFrameRateIndex = QStringLiteral("OutputFrameRateIndex");
inline const QString kOutputFrameRate = QStringLiteral("OutputFrameRate");
inline const QString kDexVideoCompress = QStringLiteral("DexVideoCompress");
inline const QString kDexAudioCompress = QStringLiteral("DexAudioCompress");
inline const QString kCompressorNumber = QStringLiteral("CompressorNumber");
inline const QString kMarkers = QStringLiteral("Markers");
inline const QString kCueSheet = QStringLiteral("CueSheet");
inline const QString kBetweenFiles = QStringLiteral("BetweenFiles");
inline const QString kSilenceSeconds = QStringLiteral("SilenceSeconds");
inline const QString kCrossfadeSeconds = QStringLiteral("CrossfadeSeconds");
inline const QString kCrossfadeCurve = QStringLiteral("CrossfadeCurve");
inline const QString kLoudness = QStringLiteral("Loudness");
inline const QString kLoudnessTarget = QStringLiteral("LoudnessTarget");
inline const QString kTruePeak = QStringLiteral("TruePeak");
inline const QString kOption = QStringLiteral("Option");
inline const QString kLastPhotoFolder = QStringLiteral("LastPhotoFolder");
inline const QString kSetup = QStringLiteral("Setup");
inline const QString kFirstUpdate = QStringLiteral("t_first_update");

inline const QString kDefaultFileName = QStringLiteral("corvane.wav");

// The output file proposed when none is stored: the user's music folder plus "/corvane.wav";
// when there is no music folder that exists or can be made, "Can not get My Music
// directory!" is shown and the home folder is used. Nothing is created here.
QString defaultOutputPath(MessageBoxes& boxes);
// Makes the music folder when the output is to go into it and it does not exist yet; any
// other folder is the user's to make.
void makeDefaultFolder(const QString& outputPath);

// The output record as the main window starts it: "OutputName" (with the default above),
// picture size, frame rate, "Markers" (1) and "CueSheet" (0); the wave-format indexes start at
// 0 on every run.
OutputFormat readOutputFormat(SettingsStore& store, const QString& defaultPath);

// "Between files" (0 nothing, 1 silence, 2 crossfade), the two lengths in seconds and the
// curve (0 equal power, 1 linear): what a value out of range stands for is the default.
void readSeam(SettingsStore& store, OutputFormat& format);
void writeSeam(SettingsStore& store, const OutputFormat& format);

// The outside decoder's "Disable feedback" value, in its own store: when present, its first
// byte becomes 1 and the rest is kept; when absent nothing is created.
void disableDecoderFeedback(const QString& decoderStoreFile);
QString decoderStoreFile();

}  // namespace corvane::settings
