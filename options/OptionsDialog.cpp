// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <algorithm>
#include <climits>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "app/AppSettings.h"
#include "app/FileDialogs.h"
#include "app/MessageBoxes.h"
#include "app/SettingsStore.h"
#include "media/PathCodec.h"

namespace corvane {

namespace {

struct FrameSize {
    const char* text;
    int width;
    int height;
};

constexpr FrameSize kFrameSizes[] = {
    {"800*600", 800, 600},   {"640*480", 640, 480},     {"720 * 576", 720, 576},
    {"720 * 480", 720, 480}, {"480*576", 480, 576},     {"480*480", 480, 480},
    {"352 * 288", 352, 288}, {"352 * 240", 352, 240},   {"Custom Size", 0, 0},
};
constexpr int kCustomSizeEntry = 8;
constexpr int kCustomFrameRateEntry = 5;
constexpr int kAspectPreserveMode = 2;

const QStringList kFrameRates = {"23.976", "24", "25", "29.97", "30", "Custom frame rate"};
const QStringList kAspects = {"Preserve aspect ratio", "Stretch"};

void fill(QComboBox* list, const QStringList& entries) {
    if (!list) return;
    list->clear();
    list->addItems(entries);
}

int selection(const QWidget* w) {
    const auto* list = qobject_cast<const QComboBox*>(w);
    return list ? list->currentIndex() : -1;
}

QString editText(const QWidget* w) {
    const auto* edit = qobject_cast<const QLineEdit*>(w);
    return edit ? edit->text() : QString();
}

// Picture sizes are kept in whole blocks of 8 pixels and at least 16.
int blockSize(int value) {
    const int size = value / 8 * 8;
    return size < 16 ? 16 : size;
}

}  // namespace

OptionsDialog::OptionsDialog(SettingsStore& store, MessageBoxes& boxes, FileDialogs& fileDialogs,
                             QWidget* parent)
    : QDialog(parent),
      store_(store),
      boxes_(boxes),
      fileDialogs_(fileDialogs),
      builder_(DialogTemplate::load(kTemplateId)) {
    builder_.build(this);
    if (auto* ok = builder_.control<QPushButton>(1))
        connect(ok, &QPushButton::clicked, this, &OptionsDialog::onOk);
    if (auto* cancel = builder_.control<QPushButton>(2))
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    if (auto* browse = builder_.control<QPushButton>(kBrowseButton))
        connect(browse, &QPushButton::clicked, this, &OptionsDialog::onBrowse);
    if (auto* between = builder_.control<QComboBox>(kBetweenFilesList))
        connect(between, &QComboBox::currentIndexChanged, this, [this] {
            if (initialised_) showSeamChoice();
        });
}

void OptionsDialog::showEvent(QShowEvent* event) {
    if (!initialised_) initialise();
    QDialog::showEvent(event);
}

double OptionsDialog::shownFrameRate() const {
    // A rate OK would refuse must not lock the dialog (the edit is hidden): the index's own
    // value stands in, as at start-up.
    if (format_.frameRate >= kMinFrameRate && std::isfinite(format_.frameRate))
        return format_.frameRate;
    int index = format_.frameRateIndex == kCustomFrameRateEntry ? 0 : format_.frameRateIndex;
    return frameRateForIndex(index, 0.0);
}

void OptionsDialog::initialise() {
    initialised_ = true;
    if (auto* path = builder_.control<QLineEdit>(kOutputPathEdit)) path->setText(format_.outputPath);

    if (auto* w = builder_.control<QLineEdit>(kWidthEdit))
        w->setText(QString::number(format_.outputWidth));
    if (auto* h = builder_.control<QLineEdit>(kHeightEdit))
        h->setText(QString::number(format_.outputHeight));
    if (auto* sizes = builder_.control<QComboBox>(kFrameSizeList)) {
        QStringList texts;
        for (const FrameSize& s : kFrameSizes) texts << QString::fromLatin1(s.text);
        fill(sizes, texts);
        int entry = kCustomSizeEntry;
        for (int i = 0; i < kCustomSizeEntry; ++i) {
            if (kFrameSizes[i].width == format_.outputWidth &&
                kFrameSizes[i].height == format_.outputHeight) {
                entry = i;
                break;
            }
        }
        sizes->setCurrentIndex(entry);
    }

    if (auto* rate = builder_.control<QLineEdit>(kFrameRateEdit))
        rate->setText(QString::asprintf("%.3f", shownFrameRate()));
    if (auto* rates = builder_.control<QComboBox>(kFrameRateList)) {
        fill(rates, kFrameRates);
        // An index outside the list leaves it without a selection, which OK turns into 0.
        rates->setCurrentIndex(format_.frameRateIndex >= 0 && format_.frameRateIndex < kFrameRates.size()
                                   ? format_.frameRateIndex
                                   : -1);
    }

    fillCompressorList(kVideoCompressorList, QStringLiteral("Full frames (uncompressed)"),
                       AVMEDIA_TYPE_VIDEO);
    fillCompressorList(kAudioCompressorList, QStringLiteral("Uncompressed Audio"),
                       AVMEDIA_TYPE_AUDIO);

    if (auto* aspect = builder_.control<QComboBox>(kAspectList)) {
        fill(aspect, kAspects);
        aspect->setCurrentIndex(format_.aspectMode == kAspectPreserveMode ? 0 : 1);
    }

    // The video block never reaches the screen.
    for (int id : {kFrameRateList, kFrameSizeList, kWidthEdit, kHeightEdit, kFrameRateEdit,
                   kAspectList, kVideoCompressorList, kSettingsButton, kDefaultButton, kCodecList,
                   kAudioCompressorList})
        if (QWidget* w = control(id)) w->hide();

    const auto select = [this](int id, const QStringList& texts, int index) {
        if (auto* list = builder_.control<QComboBox>(id)) {
            // Shown in the window's language; the stored index keeps its meaning.
            QStringList shown;
            for (const QString& text : texts) shown << tr(text.toUtf8().constData());
            fill(list, shown);
            list->setCurrentIndex(index >= 0 && index < texts.size() ? index : -1);
        }
    };
    select(kSampleRateList, sampleRateTexts(), format_.sampleRateIndex);
    select(kChannelsList, channelTexts(), format_.channelsIndex);
    select(kBitsList, bitsTexts(), format_.bitsIndex);
    if (auto* markers = builder_.control<QCheckBox>(kMarkersCheck))
        markers->setChecked(format_.markers);
    if (auto* cue = builder_.control<QCheckBox>(kCueSheetCheck)) cue->setChecked(format_.cueSheet);
    select(kBetweenFilesList, {tr("Nothing"), tr("Silence"), tr("Crossfade")},
           static_cast<int>(format_.betweenFiles));
    select(kCrossfadeCurveList, {tr("Equal power"), tr("Linear")}, static_cast<int>(format_.crossfadeCurve));
    showSeamChoice();
    QStringList modes;
    for (const QString& m : loudnessModeTexts()) modes << tr(m.toUtf8());
    select(kLoudnessList, modes, format_.loudnessMode);
    QStringList targets;
    int targetIndex = 1;  // -16, the default
    for (std::size_t i = 0; i < loudnessTargets().size(); ++i) {
        targets << QStringLiteral("%1 LUFS").arg(loudnessTargets()[i]);
        if (loudnessTargets()[i] == qRound(format_.loudnessTarget)) targetIndex = static_cast<int>(i);
    }
    select(kLoudnessTargetList, targets, targetIndex);
    QStringList ceilings;
    int ceilingIndex = 1;  // -1, the default
    for (std::size_t i = 0; i < truePeakCeilings().size(); ++i) {
        ceilings << QStringLiteral("%1 dBTP").arg(QLocale::c().toString(truePeakCeilings()[i], 'g', 3));
        if (truePeakCeilings()[i] == format_.truePeakCeiling) ceilingIndex = static_cast<int>(i);
    }
    select(kTruePeakList, ceilings, ceilingIndex);
    // The target and the ceiling mean nothing while matching is off.
    if (auto* modeList = builder_.control<QComboBox>(kLoudnessList)) {
        const auto follow = [this](int mode) {
            for (int id : {kLoudnessTargetList, kTruePeakList})
                if (QWidget* t = control(id)) t->setEnabled(mode > 0);
        };
        connect(modeList, &QComboBox::currentIndexChanged, this, follow);
        follow(modeList->currentIndex());
    }

    if (QWidget* first = control(kOutputPathEdit)) first->setFocus(Qt::OtherFocusReason);
}

void OptionsDialog::showSeamChoice() {
    using media::Seam;
    // What was typed for the previous choice is kept for it while the dialog is open.
    if (shownSeamKind_ > 0) {
        const double typed = leadingDecimal(editText(control(kSeamLengthEdit)));
        if (typed >= Seam::kMinSeconds && typed <= Seam::kMaxSeconds)
            (shownSeamKind_ == static_cast<int>(Seam::Kind::Silence) ? format_.silenceSeconds
                                                                     : format_.crossfadeSeconds) = typed;
    }
    const int kind = std::max(0, selection(control(kBetweenFilesList)));
    shownSeamKind_ = kind;
    auto* length = builder_.control<QLineEdit>(kSeamLengthEdit);
    if (length) {
        length->setEnabled(kind != static_cast<int>(Seam::Kind::Nothing));
        const double seconds = kind == static_cast<int>(Seam::Kind::Silence)     ? format_.silenceSeconds
                               : kind == static_cast<int>(Seam::Kind::Crossfade) ? format_.crossfadeSeconds
                                                                                 : 0.0;
        length->setText(seconds > 0 ? QLocale::c().toString(seconds, 'g', 6) : QString());
    }
    if (QWidget* curve = control(kCrossfadeCurveList))
        curve->setEnabled(kind == static_cast<int>(Seam::Kind::Crossfade));
}

bool OptionsDialog::takeSeamLength() {
    using media::Seam;
    const int kind = std::max(0, selection(control(kBetweenFilesList)));
    if (kind == static_cast<int>(Seam::Kind::Nothing)) return true;
    const double seconds = leadingDecimal(editText(control(kSeamLengthEdit)));
    if (!(seconds >= Seam::kMinSeconds && seconds <= Seam::kMaxSeconds)) {
        boxes_.appMessage(tr("The length between files must be from 0.1 to 30 seconds."));
        return false;
    }
    (kind == static_cast<int>(Seam::Kind::Silence) ? format_.silenceSeconds : format_.crossfadeSeconds) = seconds;
    return true;
}

void OptionsDialog::fillCompressorList(int listId, const QString& firstEntry, int mediaType) {
    auto* list = builder_.control<QComboBox>(listId);
    if (!list) return;
    list->clear();
    list->addItem(firstEntry);
    // The encoders FFmpeg was built with stand for the installed compressors.
    void* state = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&state)) {
        if (codec->type != mediaType || !av_codec_is_encoder(codec)) continue;
        list->addItem(QString::fromUtf8(codec->long_name ? codec->long_name : codec->name));
    }
    list->setCurrentIndex(0);
}

int OptionsDialog::maxPathBytes() { return PATH_MAX - 1; }

bool OptionsDialog::pathFits(const QString& path) {
    if (static_cast<qsizetype>(media::qstringToPath(path).size()) <= maxPathBytes()) return true;
    boxes_.appMessage(
        tr("The output file path is too long (at most %1 bytes).").arg(maxPathBytes()));
    return false;
}

void OptionsDialog::onOk() {
    const double customRate = leadingDouble(QStringView(editText(control(kFrameRateEdit))).left(127));
    if (customRate < kMinFrameRate) {
        boxes_.appMessage(tr("The frame rate is too small!"));
        return;
    }
    // Checked before anything is written, so a refused path leaves the settings untouched.
    const QString path = editText(control(kOutputPathEdit));
    if (!pathFits(path)) return;
    if (!takeSeamLength()) return;

    format_.frameRateIndex = selection(control(kFrameRateList));
    store_.writeInt(settings::kSettings, settings::kOutputFrameRateIndex, format_.frameRateIndex);
    format_.frameRate = frameRateForIndex(format_.frameRateIndex, customRate);
    store_.writeString(settings::kSettings, settings::kOutputFrameRate,
                       QString::asprintf("%f", format_.frameRate));

    format_.outputPath = path;
    store_.writeString(settings::kSettings, settings::kOutputName, format_.outputPath);

    format_.outputWidth = blockSize(leadingInt(editText(control(kWidthEdit))));
    format_.outputHeight = blockSize(leadingInt(editText(control(kHeightEdit))));
    store_.writeInt(settings::kSettings, settings::kOutputWidth, format_.outputWidth);
    store_.writeInt(settings::kSettings, settings::kOutputHigh, format_.outputHeight);

    store_.writeInt(settings::kDexVideoCompress, settings::kCompressorNumber,
                    selection(control(kVideoCompressorList)) - 1);
    format_.useVideoCompressor = 0;
    store_.writeInt(settings::kDexAudioCompress, settings::kCompressorNumber,
                    selection(control(kAudioCompressorList)) - 1);
    format_.useAudioCompressor = 0;

    format_.aspectMode = selection(control(kAspectList)) == 0 ? kAspectPreserveMode : 0;

    format_.sampleRateIndex = selection(control(kSampleRateList));
    format_.channelsIndex = selection(control(kChannelsList));
    format_.bitsIndex = selection(control(kBitsList));

    if (auto* markers = builder_.control<QCheckBox>(kMarkersCheck))
        format_.markers = markers->isChecked();
    if (auto* cue = builder_.control<QCheckBox>(kCueSheetCheck))
        format_.cueSheet = cue->isChecked();
    store_.writeInt(settings::kSettings, settings::kMarkers, format_.markers ? 1 : 0);
    store_.writeInt(settings::kSettings, settings::kCueSheet, format_.cueSheet ? 1 : 0);

    format_.betweenFiles = static_cast<media::Seam::Kind>(std::clamp(selection(control(kBetweenFilesList)), 0, 2));
    format_.crossfadeCurve = selection(control(kCrossfadeCurveList)) == 1 ? media::Seam::Curve::Linear
                                                                          : media::Seam::Curve::EqualPower;
    settings::writeSeam(store_, format_);
    format_.loudnessMode = std::max(0, selection(control(kLoudnessList)));
    if (const int t = selection(control(kLoudnessTargetList)); t >= 0 && t < static_cast<int>(loudnessTargets().size()))
        format_.loudnessTarget = loudnessTargets()[static_cast<std::size_t>(t)];
    store_.writeInt(settings::kSettings, settings::kLoudness, format_.loudnessMode);
    store_.writeInt(settings::kSettings, settings::kLoudnessTarget, qRound(format_.loudnessTarget));
    if (const int c = selection(control(kTruePeakList)); c >= 0 && c < static_cast<int>(truePeakCeilings().size()))
        format_.truePeakCeiling = truePeakCeilings()[static_cast<std::size_t>(c)];
    store_.writeString(settings::kSettings, settings::kTruePeak, QLocale::c().toString(format_.truePeakCeiling, 'g', 3));
    accept();
}

QString OptionsDialog::browseFolder(const QString& outputPath) {
    const qsizetype slash = outputPath.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : outputPath.left(slash);
}

QString OptionsDialog::withWavExtension(const QString& chosenPath) {
    const qsizetype nameStart = chosenPath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = chosenPath.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot >= nameStart ? chosenPath.left(dot) : chosenPath;
    return stem + QStringLiteral(".wav");
}

void OptionsDialog::onBrowse() {
    const QString chosen =
        fileDialogs_.getSaveFileName(tr("Select Output File Name"),
                                     browseFolder(format_.outputPath),
                                     {tr("WAV file (*.wav)")});
    if (chosen.isEmpty()) return;
    const QString path = withWavExtension(chosen);
    if (!pathFits(path)) return;  // refused, never shortened
    if (auto* edit = builder_.control<QLineEdit>(kOutputPathEdit)) edit->setText(path);
}

int OptionsDialog::leadingInt(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;  // saturate, never overflow
    }
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

double OptionsDialog::leadingDouble(QStringView text) { return leadingDecimal(text); }

bool runOptionsCommand(QWidget* parent, OutputFormat& mainFormat, SettingsStore& store,
                       MessageBoxes& boxes, FileDialogs& fileDialogs) {
    OptionsDialog dialog(store, boxes, fileDialogs, parent);
    dialog.format() = mainFormat;
    if (dialog.exec() != QDialog::Accepted) return false;
    mainFormat.outputPath = dialog.format().outputPath;
    mainFormat.sampleRateIndex = dialog.format().sampleRateIndex;
    mainFormat.channelsIndex = dialog.format().channelsIndex;
    mainFormat.bitsIndex = dialog.format().bitsIndex;
    mainFormat.markers = dialog.format().markers;
    mainFormat.cueSheet = dialog.format().cueSheet;
    mainFormat.betweenFiles = dialog.format().betweenFiles;
    mainFormat.silenceSeconds = dialog.format().silenceSeconds;
    mainFormat.crossfadeSeconds = dialog.format().crossfadeSeconds;
    mainFormat.crossfadeCurve = dialog.format().crossfadeCurve;
    mainFormat.loudnessMode = dialog.format().loudnessMode;
    mainFormat.loudnessTarget = dialog.format().loudnessTarget;
    mainFormat.truePeakCeiling = dialog.format().truePeakCeiling;
    return true;
}

}  // namespace corvane
