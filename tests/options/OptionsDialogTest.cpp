// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <climits>

#include "app/AppSettings.h"
#include "app/SettingsStore.h"
#include "options/OptionsDialog.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "tests/support/ScriptedMessageBoxes.h"
#include "tests/support/TestMain.h"

using namespace corvane;
using corvane::test::ScriptedFileDialogs;
using corvane::test::ScriptedMessageBoxes;

class OptionsDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void opensWithRecordInControlsAndVideoBlockHidden();
    void frameSizeListMatchesStoredSize();
    void okWithoutChangesWritesEveryValue();
    void pictureSizesAreWholeBlocksOfEight_data();
    void pictureSizesAreWholeBlocksOfEight();
    void frameRateRules_data();
    void frameRateRules();
    void tooSmallFrameRateKeepsDialogOpenAndWritesNothing();
    void typedPathIsTakenAsTyped();
    void browseRenamesToWav_data();
    void browseRenamesToWav();
    void browseStartsInRecordFolderAndCancelChangesNothing();
    void overlongPathsAreRefusedNotCut();
    void optionsCommandCopiesBackOnlyPathAndWaveFormat();
    void optionsCommandCancelLeavesEverything();
    void leadingNumbersReadLikeC();

private:
    OptionsDialog* open(const OutputFormat& format);
    QStringList writtenKeys() const;
    QString settingsFile() const { return dir_->filePath("Corvane.conf"); }
    void pressOk(OptionsDialog* d) {
        QTest::mouseClick(d->control(1), Qt::LeftButton);
    }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<IniSettingsStore> store_;
    ScriptedMessageBoxes boxes_;
    ScriptedFileDialogs files_;
    std::unique_ptr<OptionsDialog> dialog_;
};

namespace {

OutputFormat sampleFormat() {
    OutputFormat f;
    f.outputPath = QStringLiteral("/home/ann/Music/corvane.wav");
    return f;
}

QComboBox* list(OptionsDialog* d, int id) { return qobject_cast<QComboBox*>(d->control(id)); }
QLineEdit* edit(OptionsDialog* d, int id) { return qobject_cast<QLineEdit*>(d->control(id)); }

}  // namespace

void OptionsDialogTest::init() {
    dialog_.reset();
    dir_ = std::make_unique<QTemporaryDir>();
    store_ = std::make_unique<IniSettingsStore>(settingsFile());
    boxes_.clear();
    files_ = ScriptedFileDialogs();
}

OptionsDialog* OptionsDialogTest::open(const OutputFormat& format) {
    dialog_ = std::make_unique<OptionsDialog>(*store_, boxes_, files_);
    dialog_->format() = format;
    dialog_->show();
    return dialog_.get();
}

QStringList OptionsDialogTest::writtenKeys() const {
    QSettings s(settingsFile(), QSettings::IniFormat);
    QStringList keys = s.allKeys();
    keys.sort();
    return keys;
}

void OptionsDialogTest::opensWithRecordInControlsAndVideoBlockHidden() {
    OutputFormat f = sampleFormat();
    f.sampleRateIndex = 2;
    f.channelsIndex = 1;
    f.bitsIndex = 1;
    f.frameRate = 29.97;
    f.frameRateIndex = 3;
    f.aspectMode = 0;
    OptionsDialog* d = open(f);
    QCOMPARE(d->windowTitle(), QStringLiteral("Output options"));
    QCOMPARE(edit(d, OptionsDialog::kOutputPathEdit)->text(), f.outputPath);
    QVERIFY(edit(d, OptionsDialog::kOutputPathEdit)->hasFocus() ||
            QApplication::focusWidget() == nullptr);
    QCOMPARE(list(d, OptionsDialog::kSampleRateList)->currentText(), QStringLiteral("11025"));
    QCOMPARE(list(d, OptionsDialog::kSampleRateList)->count(), 9);
    QCOMPARE(list(d, OptionsDialog::kSampleRateList)->itemText(8), QStringLiteral("Same as the files"));
    QCOMPARE(list(d, OptionsDialog::kBitsList)->itemText(3), QStringLiteral("32 (float)"));
    QCOMPARE(list(d, OptionsDialog::kChannelsList)->currentText(), QStringLiteral("Mono"));
    QCOMPARE(list(d, OptionsDialog::kBitsList)->currentText(), QStringLiteral("8"));
    QCOMPARE(edit(d, OptionsDialog::kFrameRateEdit)->text(), QStringLiteral("29.970"));
    QCOMPARE(list(d, OptionsDialog::kFrameRateList)->currentIndex(), 3);
    QCOMPARE(list(d, OptionsDialog::kAspectList)->currentText(), QStringLiteral("Stretch"));

    QComboBox* video = list(d, OptionsDialog::kVideoCompressorList);
    QComboBox* audio = list(d, OptionsDialog::kAudioCompressorList);
    QCOMPARE(video->itemText(0), QStringLiteral("Full frames (uncompressed)"));
    QCOMPARE(audio->itemText(0), QStringLiteral("Uncompressed Audio"));
    QCOMPARE(video->currentIndex(), 0);
    QCOMPARE(audio->currentIndex(), 0);
    QVERIFY(audio->findText(QStringLiteral("PCM signed 16-bit little-endian")) > 0);
    QCOMPARE(video->findText(QStringLiteral("PCM signed 16-bit little-endian")), -1);
    QVERIFY(video->count() > 1);

    for (int id : {1025, 1027, 1028, 1055, 1056, 1057, 1001, 1002, 1052, 1051, 1053})
        QVERIFY2(!d->control(id)->isVisible(), qPrintable(QString::number(id)));
    for (int id : {1022, 1024, 1058, 1059, 1060, 1, 2})
        QVERIFY2(d->control(id)->isVisible(), qPrintable(QString::number(id)));
}

void OptionsDialogTest::frameSizeListMatchesStoredSize() {
    OutputFormat f = sampleFormat();
    f.outputWidth = 500;
    f.outputHeight = 400;
    QCOMPARE(list(open(f), OptionsDialog::kFrameSizeList)->currentText(),
             QStringLiteral("Custom Size"));
    QVERIFY(!dialog_->control(OptionsDialog::kWidthEdit)->isVisible());
    QCOMPARE(edit(dialog_.get(), OptionsDialog::kWidthEdit)->text(), QStringLiteral("500"));

    f.outputWidth = 352;
    f.outputHeight = 240;
    QCOMPARE(list(open(f), OptionsDialog::kFrameSizeList)->currentIndex(), 7);
    f.outputWidth = 720;
    f.outputHeight = 480;
    QCOMPARE(list(open(f), OptionsDialog::kFrameSizeList)->currentText(),
             QStringLiteral("720 * 480"));
}

void OptionsDialogTest::okWithoutChangesWritesEveryValue() {
    OptionsDialog* d = open(sampleFormat());
    pressOk(d);
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QCOMPARE(writtenKeys(),
             (QStringList{"DexAudioCompress/CompressorNumber", "DexVideoCompress/CompressorNumber",
                          "Settings/BetweenFiles", "Settings/CrossfadeCurve", "Settings/CrossfadeSeconds",
                          "Settings/CueSheet", "Settings/Loudness", "Settings/LoudnessTarget",
                          "Settings/Markers", "Settings/OutputFrameRate",
                          "Settings/OutputFrameRateIndex", "Settings/OutputHigh",
                          "Settings/OutputName", "Settings/OutputWidth", "Settings/SilenceSeconds",
                          "Settings/TruePeak"}));
    using namespace settings;
    // Markers on, no cue sheet: the defaults, shown on screen.
    QVERIFY(!d->control(OptionsDialog::kMarkersCheck)->isHidden());
    QVERIFY(!d->control(OptionsDialog::kCueSheetCheck)->isHidden());
    QCOMPARE(store_->readInt(kSettings, kMarkers, 99), 1);
    QCOMPARE(store_->readInt(kSettings, kCueSheet, 99), 0);
    // Nothing between files, with the two lengths' defaults kept for when one is chosen.
    QCOMPARE(store_->readInt(kSettings, kBetweenFiles, 99), 0);
    QCOMPARE(store_->readString(kSettings, kSilenceSeconds, {}), QStringLiteral("2"));
    QCOMPARE(store_->readString(kSettings, kCrossfadeSeconds, {}), QStringLiteral("3"));
    QCOMPARE(store_->readInt(kSettings, kCrossfadeCurve, 99), 0);
    // Loudness matching off, the target at -16 and the ceiling at -1, neither to be chosen
    // while off.
    QCOMPARE(list(d, OptionsDialog::kLoudnessList)->currentText(), QStringLiteral("Off"));
    QCOMPARE(list(d, OptionsDialog::kLoudnessTargetList)->currentText(), QStringLiteral("-16 LUFS"));
    QVERIFY(!list(d, OptionsDialog::kLoudnessTargetList)->isEnabled());
    QCOMPARE(list(d, OptionsDialog::kTruePeakList)->currentText(), QStringLiteral("-1 dBTP"));
    QVERIFY(!list(d, OptionsDialog::kTruePeakList)->isEnabled());
    QCOMPARE(store_->readInt(kSettings, kLoudness, 99), 0);
    QCOMPARE(store_->readInt(kSettings, kLoudnessTarget, 99), -16);
    QCOMPARE(store_->readString(kSettings, kTruePeak, {}), QStringLiteral("-1"));
    QCOMPARE(store_->readInt(kSettings, kOutputFrameRateIndex, 99), 0);
    QCOMPARE(store_->readString(kSettings, kOutputFrameRate, {}), QStringLiteral("23.976000"));
    QCOMPARE(store_->readString(kSettings, kOutputName, {}), sampleFormat().outputPath);
    QCOMPARE(store_->readInt(kSettings, kOutputWidth, 0), 352);
    QCOMPARE(store_->readInt(kSettings, kOutputHigh, 0), 240);
    QCOMPARE(store_->readInt(kDexVideoCompress, kCompressorNumber, 99), -1);
    QCOMPARE(store_->readInt(kDexAudioCompress, kCompressorNumber, 99), -1);
    QVERIFY(boxes_.shown.isEmpty());
}

void OptionsDialogTest::pictureSizesAreWholeBlocksOfEight_data() {
    QTest::addColumn<QString>("widthText");
    QTest::addColumn<int>("stored");
    QTest::newRow("1001") << "1001" << 1000;
    QTest::newRow("15") << "15" << 16;
    QTest::newRow("-9") << "-9" << 16;
    QTest::newRow("16") << "16" << 16;
    QTest::newRow("not a number") << "abc" << 16;
    QTest::newRow("number then text") << " 727px" << 720;
    QTest::newRow("beyond int") << "99999999999" << INT_MAX / 8 * 8;
}

void OptionsDialogTest::pictureSizesAreWholeBlocksOfEight() {
    QFETCH(QString, widthText);
    QFETCH(int, stored);
    OptionsDialog* d = open(sampleFormat());
    edit(d, OptionsDialog::kWidthEdit)->setText(widthText);
    edit(d, OptionsDialog::kHeightEdit)->setText(widthText);
    pressOk(d);
    QCOMPARE(store_->readInt(settings::kSettings, settings::kOutputWidth, 0), stored);
    QCOMPARE(store_->readInt(settings::kSettings, settings::kOutputHigh, 0), stored);
    QCOMPARE(d->format().outputWidth, stored);
}

void OptionsDialogTest::frameRateRules_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("customRate");
    QTest::addColumn<int>("storedIndex");
    QTest::addColumn<QString>("storedRate");
    QTest::addColumn<int>("recordIndex");
    QTest::addColumn<QString>("storedBefore");  // "OutputFrameRate" as found; null: none
    QTest::newRow("24") << 1 << 50.0 << 1 << "24.000000" << 1 << QString();
    QTest::newRow("29.97") << 3 << 50.0 << 3 << "29.970000" << 3 << QString();
    QTest::newRow("30") << 4 << 50.0 << 4 << "30.000000" << 4 << QString();
    QTest::newRow("custom") << 5 << 12.5 << 5 << "12.500000" << 5 << QString("12.5");
    QTest::newRow("custom shown to 3 places")
        << 5 << 12.34567 << 5 << "12.346000" << 5 << QString();
    QTest::newRow("outside the list") << 9 << 50.0 << -1 << "23.976000" << 0 << QString();
    // A stored custom rate that is not a number must not lock the dialog.
    QTest::newRow("stored rate not a number")
        << 5 << 0.0 << 5 << "23.976000" << 5 << QString("fast");
    QTest::newRow("stored rate nan") << 5 << qQNaN() << 5 << "23.976000" << 5 << QString("nan");
    QTest::newRow("stored rate inf") << 5 << qInf() << 5 << "23.976000" << 5 << QString("inf");
    QTest::newRow("stored rate too small")
        << 5 << 0.0004 << 5 << "23.976000" << 5 << QString("0.0004");
    QTest::newRow("stored rate with unit") << 5 << 25.0 << 5 << "25.000000" << 5 << QString("25fps");
}

void OptionsDialogTest::frameRateRules() {
    QFETCH(int, index);
    QFETCH(double, customRate);
    QFETCH(int, storedIndex);
    QFETCH(QString, storedRate);
    QFETCH(int, recordIndex);
    QFETCH(QString, storedBefore);
    if (!storedBefore.isNull())
        store_->writeString(settings::kSettings, settings::kOutputFrameRate, storedBefore);
    OutputFormat f = sampleFormat();
    f.frameRateIndex = index;
    f.frameRate = customRate;
    OptionsDialog* d = open(f);
    pressOk(d);
    QVERIFY(boxes_.shown.isEmpty());
    QVERIFY(!d->isVisible());
    QCOMPARE(store_->readInt(settings::kSettings, settings::kOutputFrameRateIndex, 99), storedIndex);
    QCOMPARE(store_->readString(settings::kSettings, settings::kOutputFrameRate, {}), storedRate);
    QCOMPARE(d->format().frameRateIndex, recordIndex);
}

void OptionsDialogTest::tooSmallFrameRateKeepsDialogOpenAndWritesNothing() {
    OutputFormat f = sampleFormat();
    f.frameRateIndex = 5;
    f.frameRate = 0.0004;
    OptionsDialog* d = open(f);
    // A rate OK would refuse never comes in from the record: the edit is hidden, so the
    // dialog could not be confirmed.
    QCOMPARE(edit(d, OptionsDialog::kFrameRateEdit)->text(), QStringLiteral("23.976"));
    edit(d, OptionsDialog::kFrameRateEdit)->setText(QStringLiteral("0.0004"));
    pressOk(d);
    QCOMPARE(boxes_.texts(), QStringList{QStringLiteral("The frame rate is too small!")});
    QCOMPARE(boxes_.shown[0].caption, QStringLiteral("Corvane"));
    QVERIFY(d->isVisible());
    QVERIFY(writtenKeys().isEmpty());

    // The check reads the edit, whatever list entry is chosen.
    edit(d, OptionsDialog::kFrameRateEdit)->setText(QStringLiteral("nan"));
    list(d, OptionsDialog::kFrameRateList)->setCurrentIndex(0);
    pressOk(d);
    QCOMPARE(boxes_.shown.size(), 2);
    QVERIFY(writtenKeys().isEmpty());
}

void OptionsDialogTest::typedPathIsTakenAsTyped() {
    OptionsDialog* d = open(sampleFormat());
    edit(d, OptionsDialog::kOutputPathEdit)->setText(QStringLiteral("/tmp/ünïcode mix"));
    pressOk(d);
    QCOMPARE(d->format().outputPath, QStringLiteral("/tmp/ünïcode mix"));
    QCOMPARE(store_->readString(settings::kSettings, settings::kOutputName, {}),
             QStringLiteral("/tmp/ünïcode mix"));
}

void OptionsDialogTest::browseRenamesToWav_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("result");
    QTest::newRow("no extension") << "/music/mix" << "/music/mix.wav";
    QTest::newRow("other extension") << "/music/mix.mp3" << "/music/mix.wav";
    QTest::newRow("several dots") << "/music/a.b.c" << "/music/a.b.wav";
    QTest::newRow("dot in folder only") << "/my.music/mix" << "/my.music/mix.wav";
    QTest::newRow("upper-case wav") << "/music/mix.WAV" << "/music/mix.wav";
    QTest::newRow("no folder") << "mix.ogg" << "mix.wav";
}

void OptionsDialogTest::browseRenamesToWav() {
    QFETCH(QString, chosen);
    QFETCH(QString, result);
    QCOMPARE(OptionsDialog::withWavExtension(chosen), result);
    OptionsDialog* d = open(sampleFormat());
    files_.saveAnswers << chosen;
    QTest::mouseClick(d->control(OptionsDialog::kBrowseButton), Qt::LeftButton);
    QCOMPARE(edit(d, OptionsDialog::kOutputPathEdit)->text(), result);
    QCOMPARE(d->format().outputPath, sampleFormat().outputPath);  // only OK takes it
}

void OptionsDialogTest::browseStartsInRecordFolderAndCancelChangesNothing() {
    OptionsDialog* d = open(sampleFormat());
    edit(d, OptionsDialog::kOutputPathEdit)->setText(QStringLiteral("/elsewhere/typed.wav"));
    QTest::mouseClick(d->control(OptionsDialog::kBrowseButton), Qt::LeftButton);  // cancelled
    QCOMPARE(files_.asked.size(), 1);
    QCOMPARE(files_.asked[0].title, QStringLiteral("Select Output File Name"));
    QCOMPARE(files_.asked[0].initial, QStringLiteral("/home/ann/Music"));
    QCOMPARE(files_.asked[0].filters, QStringList{QStringLiteral("WAV file (*.wav)")});
    QVERIFY(files_.asked[0].save);
    QCOMPARE(edit(d, OptionsDialog::kOutputPathEdit)->text(), QStringLiteral("/elsewhere/typed.wav"));

    QCOMPARE(OptionsDialog::browseFolder(QStringLiteral("corvane.wav")), QStringLiteral("."));
    QCOMPARE(OptionsDialog::browseFolder(QStringLiteral("/corvane.wav")), QStringLiteral("/"));
}

void OptionsDialogTest::overlongPathsAreRefusedNotCut() {
    const QString folder = QStringLiteral("/music/");
    const QString longest = folder + QString(OptionsDialog::maxPathBytes() - folder.size() - 4, u'a');
    OptionsDialog* d = open(sampleFormat());
    files_.saveAnswers << longest + QStringLiteral(".mp3");
    QTest::mouseClick(d->control(OptionsDialog::kBrowseButton), Qt::LeftButton);
    QCOMPARE(edit(d, OptionsDialog::kOutputPathEdit)->text(), longest + QStringLiteral(".wav"));
    QVERIFY(boxes_.shown.isEmpty());

    // One more byte (here a two-byte letter) and it no longer fits.
    files_.saveAnswers << longest + QStringLiteral("é.mp3");
    QTest::mouseClick(d->control(OptionsDialog::kBrowseButton), Qt::LeftButton);
    QCOMPARE(boxes_.shown.size(), 1);
    QVERIFY(boxes_.shown[0].text.contains(QStringLiteral("too long")));
    QCOMPARE(edit(d, OptionsDialog::kOutputPathEdit)->text(), longest + QStringLiteral(".wav"));

    edit(d, OptionsDialog::kOutputPathEdit)->setText(longest + QStringLiteral("xx.wav"));
    pressOk(d);
    QCOMPARE(boxes_.shown.size(), 2);
    QVERIFY(d->isVisible());
    QVERIFY(writtenKeys().isEmpty());
}

void OptionsDialogTest::optionsCommandCopiesBackOnlyPathAndWaveFormat() {
    OutputFormat main = sampleFormat();
    main.outputWidth = 1001;
    main.frameRateIndex = 2;
    main.frameRate = 25;
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<OptionsDialog*>(QApplication::activeModalWidget());
        QVERIFY(d);
        sawDialog = true;
        QCOMPARE(d->format().outputWidth, 1001);  // all eleven fields went in
        QCOMPARE(d->format().frameRateIndex, 2);
        files_.saveAnswers << QStringLiteral("/out/new");
        QTest::mouseClick(d->control(OptionsDialog::kBrowseButton), Qt::LeftButton);
        list(d, OptionsDialog::kSampleRateList)->setCurrentIndex(3);
        list(d, OptionsDialog::kChannelsList)->setCurrentIndex(1);
        list(d, OptionsDialog::kBitsList)->setCurrentIndex(1);
        list(d, OptionsDialog::kLoudnessList)->setCurrentIndex(2);
        QVERIFY(list(d, OptionsDialog::kLoudnessTargetList)->isEnabled());
        list(d, OptionsDialog::kLoudnessTargetList)->setCurrentIndex(5);
        QVERIFY(list(d, OptionsDialog::kTruePeakList)->isEnabled());
        list(d, OptionsDialog::kTruePeakList)->setCurrentIndex(0);
        QCOMPARE(list(d, OptionsDialog::kTruePeakList)->currentText(), QStringLiteral("-0.5 dBTP"));
        for (int id : {OptionsDialog::kMarkersCheck, OptionsDialog::kCueSheetCheck}) {
            auto* box = qobject_cast<QAbstractButton*>(d->control(id));
            QTest::mouseClick(box, Qt::LeftButton, {},
                              QPoint(6, box->height() / 2));  // on the box itself
        }
        QComboBox* between = list(d, OptionsDialog::kBetweenFilesList);
        QCOMPARE(between->currentText(), QStringLiteral("Nothing"));
        QVERIFY(!d->control(OptionsDialog::kSeamLengthEdit)->isEnabled());
        QVERIFY(!d->control(OptionsDialog::kCrossfadeCurveList)->isEnabled());
        between->setCurrentIndex(2);
        QCOMPARE(between->currentText(), QStringLiteral("Crossfade"));
        QCOMPARE(edit(d, OptionsDialog::kSeamLengthEdit)->text(), QStringLiteral("3"));
        QVERIFY(d->control(OptionsDialog::kCrossfadeCurveList)->isEnabled());
        list(d, OptionsDialog::kCrossfadeCurveList)->setCurrentIndex(1);
        edit(d, OptionsDialog::kSeamLengthEdit)->setText(QStringLiteral("4.5"));
        // Each choice keeps its own length; the curve is the crossfade's alone.
        between->setCurrentIndex(1);
        QCOMPARE(edit(d, OptionsDialog::kSeamLengthEdit)->text(), QStringLiteral("2"));
        QVERIFY(!d->control(OptionsDialog::kCrossfadeCurveList)->isEnabled());
        edit(d, OptionsDialog::kSeamLengthEdit)->setText(QStringLiteral("30.5"));
        QTest::mouseClick(d->control(1), Qt::LeftButton);
        QCOMPARE(boxes_.texts(), QStringList{QStringLiteral("The length between files must be from 0.1 to 30 seconds.")});
        QVERIFY(d->isVisible());
        between->setCurrentIndex(2);
        QCOMPARE(edit(d, OptionsDialog::kSeamLengthEdit)->text(), QStringLiteral("4.5"));
        QTest::mouseClick(d->control(1), Qt::LeftButton);
    });
    QVERIFY(runOptionsCommand(nullptr, main, *store_, boxes_, files_));
    QVERIFY(sawDialog);
    QCOMPARE(main.outputPath, QStringLiteral("/out/new.wav"));
    QCOMPARE(main.sampleRateIndex, 3);
    QCOMPARE(main.channelsIndex, 1);
    QCOMPARE(main.bitsIndex, 1);
    QVERIFY(!main.markers);
    QVERIFY(main.cueSheet);
    QCOMPARE(store_->readInt(settings::kSettings, settings::kMarkers, 99), 0);
    QCOMPARE(store_->readInt(settings::kSettings, settings::kCueSheet, 99), 1);
    // The window starts with them next time.
    const OutputFormat next = settings::readOutputFormat(*store_, QString());
    QVERIFY(!next.markers);
    QVERIFY(next.cueSheet);
    for (const OutputFormat& f : {main, next}) {
        QCOMPARE(f.betweenFiles, media::Seam::Kind::Crossfade);
        QCOMPARE(f.crossfadeSeconds, 4.5);
        QCOMPARE(f.silenceSeconds, 2.0);
        QCOMPARE(f.crossfadeCurve, media::Seam::Curve::Linear);
    }
    QCOMPARE(main.loudnessMode, int(kLoudnessWholeJoin));
    QCOMPARE(next.loudnessMode, int(kLoudnessWholeJoin));
    QCOMPARE(next.loudnessTarget, -23.0);
    QCOMPARE(main.truePeakCeiling, -0.5);
    QCOMPARE(next.truePeakCeiling, -0.5);
    QCOMPARE(main.outputWidth, 1001);  // the settings have 1000; the window keeps its copy
    QCOMPARE(store_->readInt(settings::kSettings, settings::kOutputWidth, 0), 1000);
    QCOMPARE(store_->readInt(settings::kSettings, settings::kOutputFrameRateIndex, 0), 2);
    // The wave format is never stored: the next start is back at 44100, stereo, 16 bits.
    QCOMPARE(writtenKeys().size(), 16);
}

void OptionsDialogTest::optionsCommandCancelLeavesEverything() {
    const OutputFormat before = sampleFormat();
    OutputFormat main = before;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<OptionsDialog*>(QApplication::activeModalWidget());
        QVERIFY(d);
        files_.saveAnswers << QStringLiteral("/out/new.wav");
        QTest::mouseClick(d->control(OptionsDialog::kBrowseButton), Qt::LeftButton);
        list(d, OptionsDialog::kBitsList)->setCurrentIndex(1);
        QTest::mouseClick(d->control(2), Qt::LeftButton);
    });
    QVERIFY(!runOptionsCommand(nullptr, main, *store_, boxes_, files_));
    QCOMPARE(main.outputPath, before.outputPath);
    QCOMPARE(main.bitsIndex, 0);
    QVERIFY(writtenKeys().isEmpty());

    QTimer::singleShot(0, [] {
        QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
    });
    QVERIFY(!runOptionsCommand(nullptr, main, *store_, boxes_, files_));
    QVERIFY(writtenKeys().isEmpty());
}

void OptionsDialogTest::leadingNumbersReadLikeC() {
    QCOMPARE(OptionsDialog::leadingInt(u"  42abc"), 42);
    QCOMPARE(OptionsDialog::leadingInt(u"+7"), 7);
    QCOMPARE(OptionsDialog::leadingInt(u"--1"), 0);
    QCOMPARE(OptionsDialog::leadingInt(u"-99999999999"), INT_MIN);
    QCOMPARE(OptionsDialog::leadingInt(u""), 0);
    QCOMPARE(OptionsDialog::leadingDouble(u"1.5e2fps"), 150.0);
    QCOMPARE(OptionsDialog::leadingDouble(u" .5"), 0.5);
    QCOMPARE(OptionsDialog::leadingDouble(u"2e"), 2.0);
    QCOMPARE(OptionsDialog::leadingDouble(u"23,976"), 23.0);  // a comma is not a decimal point
    QCOMPARE(OptionsDialog::leadingDouble(u"."), 0.0);
    QCOMPARE(OptionsDialog::leadingDouble(u"inf"), 0.0);
    QCOMPARE(OptionsDialog::leadingDouble(u"1e999"), 0.0);
}

#include "OptionsDialogTest.moc"

OptionsDialogTest optionsDialogTest;
CORVANE_TEST_MAIN(QApplication, &optionsDialogTest)
