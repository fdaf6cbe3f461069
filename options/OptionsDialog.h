// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QStringView>

#include "controls/DialogBuilder.h"
#include "options/OutputFormat.h"

namespace corvane {

class FileDialogs;
class MessageBoxes;
class SettingsStore;

// The output options (template 129): the output file with Browse, the three wave-format
// lists and the marker choices on screen; the video block (frame size, frame rate, aspect,
// compressors) kept in hidden controls whose values are written to the settings on OK. Cancel
// writes nothing.
class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 129;
    static constexpr int kOutputPathEdit = 1022;
    static constexpr int kBrowseButton = 1024;
    static constexpr int kSampleRateList = 1058;
    static constexpr int kChannelsList = 1059;
    static constexpr int kBitsList = 1060;
    static constexpr int kFrameSizeList = 1025;
    static constexpr int kWidthEdit = 1027;
    static constexpr int kHeightEdit = 1028;
    static constexpr int kFrameRateList = 1055;
    static constexpr int kFrameRateEdit = 1056;
    static constexpr int kAspectList = 1057;
    static constexpr int kVideoCompressorList = 1001;
    static constexpr int kAudioCompressorList = 1002;
    static constexpr int kCodecList = 1052;
    static constexpr int kDefaultButton = 1051;
    static constexpr int kSettingsButton = 1053;
    static constexpr int kMarkersCheck = 1061;
    static constexpr int kCueSheetCheck = 1062;
    static constexpr int kBetweenFilesList = 1063;
    static constexpr int kSeamLengthEdit = 1064;
    static constexpr int kCrossfadeCurveList = 1065;
    static constexpr int kLoudnessList = 1066;
    static constexpr int kLoudnessTargetList = 1067;
    static constexpr int kTruePeakList = 1068;

    OptionsDialog(SettingsStore& store, MessageBoxes& boxes, FileDialogs& fileDialogs,
                  QWidget* parent = nullptr);

    // The dialog's own record: the caller fills it before showing, reads it after OK.
    OutputFormat& format() { return format_; }
    const OutputFormat& format() const { return format_; }

    QWidget* control(int id) const { return builder_.control(id); }

    // Puts the record into the controls; runs once, when the dialog is first shown.
    void initialise();

    // Browse's result for a chosen path: the file name's extension replaced by ".wav".
    static QString withWavExtension(const QString& chosenPath);
    // The folder Browse starts in: the path cut before its last '/', "." without one.
    static QString browseFolder(const QString& outputPath);
    // The longest output path in bytes the system accepts.
    static int maxPathBytes();

    // The number at the start of a text as C reads it, 0 when it starts with none.
    static int leadingInt(QStringView text);
    static double leadingDouble(QStringView text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void onOk();
    void onBrowse();
    void fillCompressorList(int listId, const QString& firstEntry, int mediaType);
    bool pathFits(const QString& path);
    double shownFrameRate() const;
    // Shows the length kept for the choice and enables what applies to it.
    void showSeamChoice();
    // The length typed for the current choice, or false (with the message shown).
    bool takeSeamLength();

    SettingsStore& store_;
    MessageBoxes& boxes_;
    FileDialogs& fileDialogs_;
    DialogBuilder builder_;
    OutputFormat format_;
    bool initialised_ = false;
    int shownSeamKind_ = -1;
};

// The Options command: a dialog on a copy of the main window's record; on OK the main record
// takes back the output path, the three wave-format indexes and the two marker choices only.
// True when OK ended it.
bool runOptionsCommand(QWidget* parent, OutputFormat& mainFormat, SettingsStore& store,
                       MessageBoxes& boxes, FileDialogs& fileDialogs);

}  // namespace corvane
