// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <vector>

#include "media/graph/MediaType.h"
#include "media/graph/Seam.h"

namespace corvane {

// The output file and format, and the video settings the options dialog keeps.
struct OutputFormat {
    QString outputPath;
    int outputWidth = 352;
    int outputHeight = 240;
    int useVideoCompressor = 0;
    int useAudioCompressor = 0;
    double frameRate = 23.976;
    int frameRateIndex = 0;
    int aspectMode = 2;  // 2 = preserve aspect ratio, 0 = stretch
    int sampleRateIndex = 0;
    int channelsIndex = 0;
    int bitsIndex = 0;
    bool markers = true;    // a cue point and label per source in the WAV file
    bool cueSheet = false;  // a cue sheet beside the output: same name, ".cue"
    // Where the cue sheet and the label track go instead ("-": standard output); "" for none.
    QString cuePath;
    QString labelsPath;
    // "Between files": nothing, silence or a crossfade, each remembering its own length.
    media::Seam::Kind betweenFiles = media::Seam::Kind::Nothing;
    double silenceSeconds = media::Seam::kDefaultSilence;
    double crossfadeSeconds = media::Seam::kDefaultCrossfade;
    media::Seam::Curve crossfadeCurve = media::Seam::Curve::EqualPower;
    // Loudness matching: 0 off, 1 the same loudness for every file, 2 the whole join at the
    // target. Targets in LUFS, the ceiling in dBTP.
    int loudnessMode = 0;
    double loudnessTarget = -16.0;
    double truePeakCeiling = -1.0;
};

enum LoudnessMode : int { kLoudnessOff = 0, kLoudnessEachFile = 1, kLoudnessWholeJoin = 2 };
// The "Loudness" choices in mode order, and the targets offered (LUFS).
const QStringList& loudnessModeTexts();
const std::vector<int>& loudnessTargets();
// The true-peak ceilings the options dialog offers (dBTP); the terminal takes any from -20 to 0.
const std::vector<double>& truePeakCeilings();

// What goes between the files of a join with these options.
media::Seam seamOf(const OutputFormat& format);

// The list entries of the three wave-format choices, in index order. The last of each is
// "Same as the files".
const QStringList& sampleRateTexts();
const QStringList& channelTexts();
const QStringList& bitsTexts();
constexpr int kSameRateIndex = 8;
constexpr int kSameChannelsIndex = 2;
constexpr int kSameBitsIndex = 4;

// The PCM format of the indexes: rates 44100 (0 and anything unknown), 22050, 11025, 8000,
// 48000, 88200, 96000, 192000; channels 1 for index 1, else 2; bits 8 for index 1, 24 for 2,
// 32-bit float for 3, else 16. "Same as the files" is taken from `sources`: the highest rate,
// the most channels (at most 8, the speakers of the first file with that many) and the
// widest samples among them, so nothing is lost; without sources it is the default.
media::WaveFormatEx WaveFormatFromIndexes(int sampleRateIndex, int channelsIndex, int bitsIndex,
                                          const std::vector<media::SourceFormat>& sources = {});

// The least frame rate the options dialog accepts.
inline constexpr double kMinFrameRate = 0.001;

// The decimal number at the start of a text, in the C locale (leading blanks skipped,
// "25fps" is 25); 0 when there is none, or it is not finite.
double leadingDecimal(QStringView text);

// Frame rate of a frame-rate list position: 23.976, 24, 25, 29.97, 30, or `custom` for 5.
// Any other index is replaced by 0.
double frameRateForIndex(int& index, double custom);

}  // namespace corvane
