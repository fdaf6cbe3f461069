// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

#include "app/ItemList.h"
#include "app/MessageBoxes.h"
#include "engine/CueSheet.h"
#include "engine/LoudnessMatch.h"
#include "engine/TimelineBuilder.h"
#include "engine/WavGraph.h"
#include "media/graph/SourceOutcome.h"
#include "options/OutputFormat.h"

namespace corvane {

namespace media {
class FileWriterFilter;
}

constexpr int kJoinTimerId = 1112;
constexpr int kJoinTimerPeriodMs = 1000;

// What the join touches on its front end besides message boxes.
class JoinView {
  public:
    virtual ~JoinView() = default;
    virtual void setStatusText(const QString& text) = 0;
    virtual void setJoinButtonText(const QString& text) = 0;
    // A source file is missing: the front end may offer to locate it. Returns the file to use
    // instead, or an empty string.
    virtual QString locateMissingSource(const QString& path) = 0;
    // Part of the join written so far, 0..1, about once a second while it runs.
    virtual void setProgress(double) {}
    // After a join with loudness matching: what each file measured and the gain it got.
    virtual void showLoudnessReport(const LoudnessPlan&) {}
};

// The join job behind the Join/Stop button: checks, replace question, timeline, render,
// elapsed time every second, completion. Runs on the thread that owns it; the render
// streams on threads of its own and reports through posted events.
class JoinJob : public QObject {
    Q_OBJECT
  public:
    JoinJob(const ItemList& items, const OutputFormat& format, MessageBoxes& boxes, JoinView& view,
            QObject* parent = nullptr);
    ~JoinJob() override;

    void onJoinCommand();
    void stopJoin();
    void onGraphNotify();
    void onJoinTimer(int timerId);

    bool joinRunning() const { return joinRunning_ != 0; }
    int elapsedSeconds() const { return elapsedSeconds_; }
    media::REFERENCE_TIME totalDuration() const { return builder_.totalDuration; }
    // The file the running (or last) join writes.
    const QString& writtenPath() const { return writtenPath_; }
    // Part of the running join written, 0..1.
    double progress() const;

    // Where the outside decoder's setting lives (tests point it elsewhere).
    void setDecoderStoreFile(const QString& file) { decoderStoreFile_ = file; }

    static bool fileExists(const QString& path);
    // Why the output path cannot be written over, or "" when it can: see OutputFile::refusal;
    // nor may it be one of the files being joined.
    static QString outputRefusal(const QString& outputPath, const ItemList& items);
    static QString usedTimeText(int seconds);
    // "… decoded 108.7 s shorter than when it was added." for each source that differed.
    static QString differenceText(const media::SourceOutcome& outcome);
    static QString differencesText(const std::vector<media::SourceOutcome>& outcomes);
    // The cue sheet and label track files the join writes ("-": standard output).
    static QString cueSheetPath(const OutputFormat& format);
    // Which crossfades of a join with these options are shortened to half of the shorter file
    // and to what; "" when none is.
    static QString shortenedCrossfadesText(const media::Timeline& timeline, const OutputFormat& format,
                                           std::uint32_t rate);
    // The markers of the last join: the sources it reached, where their audio begins.
    const std::vector<Marker>& markers() const { return markers_; }
    // The format the running (or last) join writes.
    const media::WaveFormatEx& outputWave() const { return outputWave_; }
    // Loudness matching of the last join (empty rows when it was off).
    const LoudnessPlan& loudnessPlan() const { return loudnessPlan_; }
    // The running join is still measuring loudness; nothing is written yet.
    bool measuring() const { return measuring_; }
    // The last join ended before its output file was begun (stopped while measuring).
    bool nothingWritten() const { return nothingWritten_; }
    // Share of the progress that the measuring pass takes when it runs.
    static constexpr double kMeasuringShare = 0.3;

  signals:
    // The join ended: ok is false when it failed. The status line has been set.
    void finished(bool ok);

  protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

  private:
    void startMeasuring();
    void onMeasured();
    // Stops the measuring pass and waits for its thread (which never waits on a worker).
    void cancelMeasuring();
    void startRender();
    void releaseRender();
    enum class Ending { Done, Failed, Differed };
    void endJoin(Ending ending, QString why);
    // The report of a join whose files were matched as they were joined.
    LoudnessPlan planFromOutcomes() const;
    media::FileWriterFilter* writer() const;
    QString sideFileRefusal(const QString& path) const;
    // Why the cue sheets or the label track cannot be written, or "": checked before the join.
    QString sideFilesRefusal() const;
    // Writes the cue sheet and label track asked for; "" or why one failed.
    QString writeSideFiles();
    // The first file's Broadcast WAV description, restated for the output, if it has one.
    std::optional<media::BroadcastExtension> firstBroadcastExtension() const;

    const ItemList& items_;
    const OutputFormat& format_;
    MessageBoxes& boxes_;
    JoinView& view_;
    TimelineBuilder builder_;
    JoinRender render_;
    int joinRunning_ = 0;
    int elapsedSeconds_ = 0;
    int qtTimerId_ = 0;
    QString writtenPath_;
    QString decoderStoreFile_;
    std::vector<SourceTitle> titles_;
    std::vector<media::SourceOutcome> lastOutcomes_;
    std::vector<Marker> markers_;
    media::WaveFormatEx outputWave_;  // of the running (or last) join
    LoudnessPlan loudnessPlan_;
    bool measuring_ = false;
    bool matchingWhileJoining_ = false;  // each file measured by its own decoder as it is joined
    bool nothingWritten_ = false;
    std::thread measureThread_;
    std::atomic<bool> measureCancel_{false};
    std::atomic<std::int64_t> measuredLength_{0};  // 100 ns of the files measured so far
    std::atomic<std::int64_t> measureTotal_{0};    // grows when true peaks are measured again
    mutable double measureShown_ = 0.0;            // the measuring progress never goes back
    std::vector<std::string> measurePaths_;
    std::vector<media::LoudnessResult> measureResults_;
    std::vector<media::KeptAudioPtr> keptAudio_;  // each file's audio as measured, where kept
};

}  // namespace corvane
