// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/JoinJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFileInfo>
#include <QTimerEvent>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/AppSettings.h"
#include "media/ErrorText.h"
#include "media/decoders/LoudnessSurvey.h"
#include "media/wavfile/FileWriterFilter.h"
#include "media/graph/MediaEvent.h"
#include "media/graph/TimelineSourceFilter.h"
#include "media/wavfile/OutputFile.h"
#include "media/PathCodec.h"

namespace corvane {

using namespace media;

JoinJob::JoinJob(const ItemList& items, const OutputFormat& format, MessageBoxes& boxes,
                 JoinView& view, QObject* parent)
    : QObject(parent),
      items_(items),
      format_(format),
      boxes_(boxes),
      view_(view),
      builder_(items, boxes),
      decoderStoreFile_(settings::decoderStoreFile()) {
    builder_.setLocator([this](const std::u16string& missing) {
        return toU16(view_.locateMissingSource(fromU16(missing)));
    });
}

JoinJob::~JoinJob() {
    cancelMeasuring();
    // A join still running is stopped cleanly, so its file keeps a valid header.
    if (joinRunning_) {
        if (qtTimerId_) killTimer(qtTimerId_);
        qtTimerId_ = 0;
        releaseRender();
    }
}

QString JoinJob::usedTimeText(int s) {
    return tr("Please wait... Used Time: %1")
        .arg(QString::asprintf("%02d:%02d:%02d", s / 3600, (s % 3600) / 60, (s % 3600) % 60));
}

bool JoinJob::fileExists(const QString& path) {
    // By the name's own bytes: a name that is not UTF-8 must not slip past the question.
    const int fd = ::open(qstringToPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
}

QString JoinJob::outputRefusal(const QString& outputPath, const ItemList& items) {
    if (const QString why = OutputFile::refusal(outputPath); !why.isEmpty()) return why;
    struct stat os {};
    if (::stat(qstringToPath(outputPath).c_str(), &os) != 0) return {};  // does not exist yet: fine
    for (int i = 0; i < items.musicCount(); ++i) {
        struct stat is {};
        const std::string in = qstringToPath(items.musicPath(i));
        if (::stat(in.c_str(), &is) == 0 && is.st_dev == os.st_dev && is.st_ino == os.st_ino)
            return tr("%1 is one of the files to join; choose another output file.")
                .arg(outputPath);
    }
    return {};
}

void JoinJob::onJoinCommand() {
    // A running join can always be stopped, whatever became of the list meanwhile.
    if (joinRunning_) {
        stopJoin();
        return;
    }
    if (items_.itemCount() == 0) {
        boxes_.appMessage(tr("Please add wav files into the list"));
        return;
    }
    if (items_.itemCount() > kMaxItems || items_.musicCount() > kMaxItems) {
        boxes_.appMessage(
            tr("The wav files are too many! Please delete some files in the list."));
        return;
    }
    settings::makeDefaultFolder(format_.outputPath);
    // Refused before anything is deleted: the output must be a file we may replace.
    if (const QString why = outputRefusal(format_.outputPath, items_); !why.isEmpty()) {
        boxes_.errorMessage(why);
        return;
    }
    // The cue sheets and labels are checked now, not after a long join.
    if (const QString why = sideFilesRefusal(); !why.isEmpty()) {
        boxes_.errorMessage(why);
        return;
    }
    if (fileExists(format_.outputPath)) {
        const QString question =
            tr("%1 exists. Do you want to replace it?").arg(format_.outputPath);
        // Yes deletes nothing: the join writes beside the file and replaces it when it ends.
        if (!boxes_.askYesNo(question, tr("Warning"), MessageBoxes::Owner::MainWindow,
                             MessageBoxes::Icon::Warning))
            return;
    }
    settings::disableDecoderFeedback(decoderStoreFile_);
    if (FAILED(builder_.buildTimeline())) return;
    if (builder_.sourceCheck != S_OK) {
        // A source file is missing and was not located: the join would lose its audio.
        builder_.currentTimeline.reset();
        return;
    }
    std::vector<media::SourceFormat> formats;
    for (int i = 0; i < items_.musicCount(); ++i) formats.push_back(items_.musicItem(i).format);
    outputWave_ = WaveFormatFromIndexes(format_.sampleRateIndex, format_.channelsIndex,
                                        format_.bitsIndex, formats);
    // Said before the join, not after it: the user may rather change the length.
    if (const QString shortened =
            shortenedCrossfadesText(*builder_.currentTimeline, format_, outputWave_.nSamplesPerSec);
        !shortened.isEmpty())
        boxes_.appMessage(shortened);
    writtenPath_ = format_.outputPath;
    titles_ = sourceTitles(*builder_.currentTimeline, items_);
    lastOutcomes_.clear();
    markers_.clear();
    loudnessPlan_ = {};
    nothingWritten_ = false;
    matchingWhileJoining_ = false;
    measureShown_ = 0.0;
    if (format_.loudnessMode == kLoudnessWholeJoin) {
        startMeasuring();
        return;
    }
    if (format_.loudnessMode == kLoudnessEachFile) {
        // A file's gain needs only its own measurement: its decoder measures it, keeps the
        // converted audio aside meanwhile and then joins it with the gain, so the file is
        // decoded once and the others go on beside it.
        matchingWhileJoining_ = true;
        const media::LoudnessMatch match{true, format_.loudnessTarget, format_.truePeakCeiling};
        TimelineObj* group = nullptr;
        if (SUCCEEDED(builder_.currentTimeline->GetGroup(&group, 0)) && group)
            for (const auto& track : group->tracks())
                for (const auto& source : track->sources()) source->SetMatch(match);
    }
    startRender();
}

void JoinJob::startMeasuring() {
    measurePaths_.clear();
    measureTotal_ = 0;
    std::vector<REFERENCE_TIME> lengths;
    for (const TimelineSlot& s : builder_.currentTimeline->slotsOfGroup(0)) {
        measurePaths_.push_back(encodePath(s.name));
        lengths.push_back(std::max<REFERENCE_TIME>(0, s.stop - s.start));
        measureTotal_ += lengths.back();
    }
    measureCancel_ = false;
    measuredLength_ = 0;
    measureShown_ = 0.0;
    measuring_ = true;
    joinRunning_ = 1;
    view_.setJoinButtonText(QStringLiteral("Stop"));
    qtTimerId_ = startTimer(kJoinTimerPeriodMs);
    // Each file is measured as the render will write it: mixed to the output's speakers, at its
    // rate, so that a mono file spread to two speakers or a 5.1 file mixed down reads as heard.
    const media::WaveFormatEx heardAs = outputWave_;
    const int mode = format_.loudnessMode;
    const double target = format_.loudnessTarget, ceiling = format_.truePeakCeiling;
    // Room for each file's audio as heard, with some to spare: the join then takes it from
    // there instead of decoding the file again.
    std::vector<std::int64_t> keepBytes;
    for (const REFERENCE_TIME length : lengths) {
        const std::int64_t frames = length / kUnitsPerSecond * heardAs.nSamplesPerSec +
                                    length % kUnitsPerSecond * heardAs.nSamplesPerSec / kUnitsPerSecond;
        keepBytes.push_back(media::keptAudioBytes(frames, heardAs.nChannels));
    }
    keptAudio_.clear();
    measureThread_ = std::thread([this, heardAs, lengths, mode, target, ceiling, keepBytes] {
        // How much of each file the progress has counted; one thread at a time measures a file.
        std::vector<REFERENCE_TIME> counted(lengths.size(), 0);
        const auto count = [this, &lengths, &counted](std::size_t i, REFERENCE_TIME at) {
            const REFERENCE_TIME now = std::clamp<REFERENCE_TIME>(at, counted[i], lengths[i]);
            measuredLength_ += now - counted[i];
            counted[i] = now;
        };
        // The true peak costs four times the rest of the meter: first without it, then with it
        // only for the files whose peak could reach the ceiling.
        std::vector<media::KeptAudioPtr> kept;
        auto results = LoudnessSurvey::measureAll(
            measurePaths_, heardAs, false,
            [this, &lengths, &count](std::size_t i, const LoudnessResult& r) {
                count(i, lengths[i]);
                // One file that cannot be measured fails the join: the rest need not wait for it.
                if (FAILED(r.hr) && r.hr != E_ABORT) measureCancel_ = true;
            },
            &measureCancel_, count, keepBytes, &kept);
        std::vector<QString> names;
        for (const std::string& p : measurePaths_) names.push_back(pathToQString(p));
        const std::vector<std::size_t> again = truePeakNeeded(planLoudness(names, results, mode, target, ceiling));
        if (!again.empty() && !measureCancel_) {
            std::vector<std::string> paths;
            for (std::size_t i : again) {
                paths.push_back(measurePaths_[i]);
                counted[i] = 0;
                measureTotal_ += lengths[i];
            }
            const auto countAgain = [&](std::size_t k, REFERENCE_TIME at) { count(again[k], at); };
            const auto peaks = LoudnessSurvey::measureAll(
                paths, heardAs, true, [&](std::size_t k, const LoudnessResult&) { countAgain(k, lengths[again[k]]); },
                &measureCancel_, countAgain);
            for (std::size_t k = 0; k < again.size(); ++k) results[again[k]] = peaks[k];
        }
        QMetaObject::invokeMethod(
            this,
            [this, r = std::move(results), k = std::move(kept)]() mutable {
                if (!measuring_) return;  // stopped meanwhile: what was kept goes now
                measureResults_ = std::move(r);
                keptAudio_ = std::move(k);
                onMeasured();
            },
            Qt::QueuedConnection);
    });
}

void JoinJob::cancelMeasuring() {
    measureCancel_ = true;
    if (measureThread_.joinable()) measureThread_.join();
}

void JoinJob::onMeasured() {
    if (!measuring_) return;  // stopped meanwhile
    if (measureThread_.joinable()) measureThread_.join();
    // The file that failed, not one of those cancelled because of it.
    for (const bool cancelled : {false, true})
        for (std::size_t i = 0; i < measureResults_.size(); ++i) {
            const LoudnessResult& r = measureResults_[i];
            if (SUCCEEDED(r.hr) || (r.hr == E_ABORT) != cancelled) continue;
            const QString name = pathToQString(measurePaths_[i]);
            endJoin(Ending::Failed, tr("Cannot measure the loudness of %1: %2").arg(name, r.detail));
            return;
        }
    measuring_ = false;
    std::vector<QString> names;
    for (const std::string& p : measurePaths_) names.push_back(pathToQString(p));
    loudnessPlan_ = planLoudness(names, measureResults_, format_.loudnessMode, format_.loudnessTarget,
                                 format_.truePeakCeiling);
    // Every source of the timeline takes its file's gain. The tracks are in timeline order, as
    // the files measured were: each source's file is looked for from where the last was found.
    std::size_t row = 0;
    TimelineObj* group = nullptr;
    if (SUCCEEDED(builder_.currentTimeline->GetGroup(&group, 0)) && group)
        for (const auto& track : group->tracks())
            for (const auto& source : track->sources())
                for (std::size_t k = 0; k < names.size(); ++k, row = (row + 1) % names.size())
                    if (encodePath(source->mediaName()) == measurePaths_[row]) {
                        source->SetGain(loudnessPlan_.linearGain(row));
                        if (row < keptAudio_.size()) source->SetKept(keptAudio_[row]);
                        break;
                    }
    startRender();
}

void JoinJob::startRender() {
    WavGraph graph(render_, format_, boxes_, this);
    graph.setOutputWave(outputWave_);
    graph.setBroadcastExtension(firstBroadcastExtension());
    std::vector<std::string> labels;
    for (const SourceTitle& t : titles_) labels.push_back(t.title.toStdString());
    graph.setMarkerTitles(std::move(labels));
    graph.startWavRender(builder_.currentTimeline.get());
    if (!graph.running()) {
        releaseRender();
        builder_.currentTimeline.reset();
        if (joinRunning_) {
            // Measured, but the render did not start: idle again, its message shown.
            if (qtTimerId_) killTimer(qtTimerId_);
            qtTimerId_ = 0;
            joinRunning_ = 0;
            elapsedSeconds_ = 0;
            view_.setJoinButtonText(QStringLiteral("Join"));
            emit finished(false);
        }
        return;
    }
    if (joinRunning_) return;  // after measuring: the timer already counts
    joinRunning_ = 1;
    view_.setJoinButtonText(QStringLiteral("Stop"));
    qtTimerId_ = startTimer(kJoinTimerPeriodMs);
}

void JoinJob::timerEvent(QTimerEvent* e) {
    onJoinTimer(e->timerId() == qtTimerId_ ? kJoinTimerId : e->timerId());
}

void JoinJob::onJoinTimer(int timerId) {
    if (timerId != kJoinTimerId) return;
    ++elapsedSeconds_;
    view_.setStatusText(measuring_ ? tr("Measuring loudness... %1").arg(usedTimeText(elapsedSeconds_))
                                   : usedTimeText(elapsedSeconds_));
    view_.setProgress(progress());
}

double JoinJob::progress() const {
    const bool matched = format_.loudnessMode != kLoudnessOff;
    if (measuring_) {
        const auto total = measureTotal_.load();
        const double now = total > 0 ? kMeasuringShare * std::min(1.0, static_cast<double>(measuredLength_.load()) /
                                                                           static_cast<double>(total))
                                     : 0.0;
        measureShown_ = std::max(measureShown_, now);
        return measureShown_;
    }
    if (!render_.graph) return 0.0;
    const REFERENCE_TIME total = render_.graph->duration.load();
    if (total <= 0) return 0.0;
    const double rendered =
        std::min(1.0, static_cast<double>(render_.graph->position.load()) / static_cast<double>(total));
    if (matchingWhileJoining_) {
        const double measured =
            std::min(1.0, static_cast<double>(render_.graph->measured.load()) / static_cast<double>(total));
        measureShown_ = std::max(measureShown_, kMeasuringShare * measured + (1.0 - kMeasuringShare) * rendered);
        return measureShown_;
    }
    return matched ? kMeasuringShare + (1.0 - kMeasuringShare) * rendered : rendered;
}

bool JoinJob::event(QEvent* e) {
    if (e->type() == GraphNotifyEvent::eventType()) {
        onGraphNotify();
        return true;
    }
    return QObject::event(e);
}

void JoinJob::onGraphNotify() {
    if (!render_.joinEvents) return;
    long code = 0;
    std::intptr_t p1 = 0, p2 = 0;
    while (render_.joinEvents && SUCCEEDED(render_.joinEvents->GetEvent(&code, &p1, &p2, 0))) {
        render_.joinEvents->FreeEventParams(code, p1, p2);
        if (code == EC_COMPLETE) {
            const QString differences = differencesText(render_.joinEvents->outcomes());
            if (differences.isEmpty())
                stopJoin();
            else
                endJoin(Ending::Differed, differences);
        } else if (code == EC_ERRORABORT) {
            // Never reported as done: the user learns which file failed and why.
            QString why = render_.joinEvents->errorDetail();
            if (why.isEmpty()) why = errorText(static_cast<HRESULT>(p1));
            endJoin(Ending::Failed, why);
        }
    }
}

void JoinJob::releaseRender() {
    if (render_.joinControl) render_.joinControl->Stop();
    // Stopped, nothing moves any more: these are the positions the file's markers hold.
    if (render_.joinEvents) lastOutcomes_ = render_.joinEvents->outcomes();
    if (render_.joinEvents) render_.joinEvents->SetNotifyWindow(nullptr, 0, 0);
    render_.joinEvents = nullptr;
    render_.joinControl = nullptr;
    render_.graph = nullptr;
    if (render_.joinRenderEngine) render_.joinRenderEngine->ScrapIt();
    render_.joinRenderEngine.reset();
}

QString JoinJob::differenceText(const SourceOutcome& o) {
    const REFERENCE_TIME d = o.decoded - o.measured;
    const double seconds = static_cast<double>(d < 0 ? -d : d) / kUnitsPerSecond;
    const QString amount = seconds < 1.0 ? QStringLiteral("%1 ms").arg(qRound(seconds * 1000))
                                         : QStringLiteral("%1 s").arg(seconds, 0, 'f', 1);
    return tr("%1 decoded %2 %3 than when it was added.")
        .arg(pathToQString(o.path), amount, d < 0 ? tr("shorter") : tr("longer"));
}

QString JoinJob::differencesText(const std::vector<SourceOutcome>& outcomes) {
    QStringList lines;
    for (const SourceOutcome& o : outcomes)
        if (o.complete && o.differs) lines << differenceText(o);
    return lines.join(QLatin1Char('\n'));
}

FileWriterFilter* JoinJob::writer() const {
    return render_.graph ? dynamic_cast<FileWriterFilter*>(render_.graph->findFilter("Writer"))
                         : nullptr;
}

void JoinJob::endJoin(Ending ending, QString why) {
    if (qtTimerId_) killTimer(qtTimerId_);
    qtTimerId_ = 0;
    bool keptOld = false;
    if (FileWriterFilter* w = writer(); w && render_.joinControl) {
        if (ending == Ending::Failed) w->abandon();
        // Stopping closes the file and puts it in place; a failure there is no success.
        const HRESULT hr = render_.joinControl->Stop();
        if (FAILED(hr) && ending != Ending::Failed) {
            ending = Ending::Failed;
            why = w->detail().isEmpty() ? errorText(hr) : w->detail();
        }
        keptOld = w->keptOldFile();
    }
    const bool failed = ending != Ending::Done;
    const bool wasMeasuring = measuring_;
    if (measuring_) {
        cancelMeasuring();
        measuring_ = false;
    }
    releaseRender();
    builder_.currentTimeline.reset();
    keptAudio_.clear();
    joinRunning_ = 0;
    view_.setJoinButtonText(QStringLiteral("Join"));
    elapsedSeconds_ = 0;
    markers_ = markersOf(lastOutcomes_, titles_);
    if (wasMeasuring) {
        // Stopped or failed before the output file was begun: nothing to put in place.
        nothingWritten_ = true;
        if (ending == Ending::Failed) {
            view_.setStatusText(tr("Join failed. Output File: %1").arg(writtenPath_));
            boxes_.errorMessage(tr("The join failed; nothing was written.\n%1").arg(why));
        } else {
            view_.setStatusText(tr("Stopped while measuring loudness; nothing was written."));
        }
        emit finished(!failed);
        return;
    }
    if (matchingWhileJoining_) loudnessPlan_ = planFromOutcomes();
    QString sideFailure;
    if (ending != Ending::Failed) sideFailure = writeSideFiles();
    if (!loudnessPlan_.rows.empty() && ending != Ending::Failed) view_.showLoudnessReport(loudnessPlan_);
    if (ending == Ending::Failed) {
        view_.setStatusText(tr("Join failed. Output File: %1").arg(writtenPath_));
        boxes_.errorMessage(keptOld ? tr("The join failed; %1 was left as it was.\n%2")
                                          .arg(writtenPath_, why)
                                    : tr("The join failed and %1 is incomplete.\n%2")
                                          .arg(writtenPath_, why));
    } else if (ending == Ending::Differed) {
        // The file is whole, but not what the list promised: never a plain "Done.".
        view_.setProgress(1.0);
        view_.setStatusText(tr("Done, but files changed since they were added. Output File: %1")
                                .arg(writtenPath_));
        boxes_.showMessage(tr("%1 holds all the audio that decoded, but not as measured when the "
                                          "files were added:\n%2")
                               .arg(writtenPath_, why),
                           tr("Warning"), MessageBoxes::Owner::MainWindow, MessageBoxes::Icon::Warning);
    } else {
        view_.setProgress(1.0);
        view_.setStatusText(tr("Done. Output File: %1").arg(writtenPath_));
    }
    if (!sideFailure.isEmpty()) boxes_.errorMessage(sideFailure);
    emit finished(!failed && sideFailure.isEmpty());
}

QString JoinJob::cueSheetPath(const OutputFormat& format) {
    if (!format.cuePath.isEmpty()) return format.cuePath;
    return format.cueSheet ? cuePathBeside(format.outputPath) : QString();
}

QString JoinJob::sideFilesRefusal() const {
    const QString cue = cueSheetPath(format_);
    QStringList sides;
    if (!cue.isEmpty()) {
        const int sheets = cueSheetCount(static_cast<std::size_t>(items_.musicCount()));
        if (cue == QStringLiteral("-") && sheets > 1)
            return tr(
                       "A cue sheet holds at most %1 tracks: the %2 files need %3 cue sheets, "
                       "which standard output cannot keep apart. Give the cue sheet a file name.")
                .arg(kCueSheetTracks)
                .arg(items_.musicCount())
                .arg(sheets);
        if (const QString why =
                cueReferenceRefusal(cueFileReference(cue, format_.outputPath), format_.outputPath);
            !why.isEmpty())
            return why;
        for (int n = 1; n <= sheets; ++n) sides << cueSheetPathNumber(cue, n);
    }
    sides << format_.labelsPath;
    for (const QString& side : sides)
        if (const QString why = sideFileRefusal(side); !why.isEmpty()) return why;
    return {};
}

QString JoinJob::sideFileRefusal(const QString& path) const {
    if (path.isEmpty() || path == QStringLiteral("-")) return {};
    if (const QString why = outputRefusal(path, items_); !why.isEmpty()) return why;
    // Written beside itself and renamed into place: its folder must take a new file.
    const QString folder = QFileInfo(path).absolutePath();
    if (::access(qstringToPath(folder).c_str(), W_OK | X_OK) != 0)
        return tr("Cannot write %1 in %2: %3.")
            .arg(path, folder, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat a {
    }, b{};
    const bool same = ::stat(qstringToPath(path).c_str(), &a) == 0 &&
                              ::stat(qstringToPath(format_.outputPath).c_str(), &b) == 0
                          ? a.st_dev == b.st_dev && a.st_ino == b.st_ino
                          : QFileInfo(path).absoluteFilePath() ==
                                QFileInfo(format_.outputPath).absoluteFilePath();
    return same ? tr(
                      "%1 is the output file; choose another name for the cue sheet or labels.")
                      .arg(path)
                : QString();
}

QString JoinJob::writeSideFiles() {
    const std::uint32_t rate = outputWave_.nSamplesPerSec;
    if (const QString cue = cueSheetPath(format_); !cue.isEmpty()) {
        const QString reference = cueFileReference(cue, writtenPath_);
        const int sheets = cueSheetCount(markers_.size());
        for (int n = 1; n <= sheets; ++n) {
            const auto from = std::min(markers_.size(), std::size_t(n - 1) * kCueSheetTracks);
            const auto to = std::min(markers_.size(), from + kCueSheetTracks);
            const std::vector<Marker> slice(markers_.begin() + static_cast<std::ptrdiff_t>(from),
                                            markers_.begin() + static_cast<std::ptrdiff_t>(to));
            const QString text = cueSheetText(reference, slice, rate);
            if (QString why = writeTextFile(cueSheetPathNumber(cue, n), text.toUtf8());
                !why.isEmpty())
                return why;
        }
    }
    if (!format_.labelsPath.isEmpty())
        if (QString why =
                writeTextFile(format_.labelsPath, labelTrackText(markers_, rate).toUtf8());
            !why.isEmpty())
            return why;
    return {};
}

std::optional<media::BroadcastExtension> JoinJob::firstBroadcastExtension() const {
    if (items_.musicCount() == 0) return std::nullopt;
    const int fd = ::open(qstringToPath(items_.musicPath(0)).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<media::BroadcastExtension> bext;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) bext = media::readBroadcastExtension(fd);
    ::close(fd);
    // A recorder's time stamp counts frames at the recording's rate.
    const std::uint32_t rate = items_.musicItem(0).format.rate;
    if (bext && rate > 0)
        bext->timeReference = media::convertTimeReference(bext->timeReference, rate, outputWave_.nSamplesPerSec);
    return bext;
}

QString JoinJob::shortenedCrossfadesText(const Timeline& timeline, const OutputFormat& format,
                                        std::uint32_t rate) {
    const Seam seam = seamOf(format);
    if (seam.kind != Seam::Kind::Crossfade || !seam.isOn()) return {};
    std::int64_t tail = 0;
    std::vector<std::int64_t> fades;
    const std::vector<SlotPlan> plan = TimelineSourceFilter::planGroup(timeline, 0, rate, &tail, seam, &fades);
    const std::int64_t wanted = seam.frames(rate);
    constexpr int kShownLines = 10;
    QStringList lines;
    int more = 0;
    for (std::size_t i = 0; i < fades.size(); ++i) {
        if (fades[i] >= wanted || plan[i + 1].leadSilence > 0) continue;
        if (lines.size() == kShownLines) {
            ++more;
            continue;
        }
        lines << tr("The crossfade between %1 and %2 is shortened to %3 s, half of the shorter file.")
                     .arg(pathToQString(plan[i].path), pathToQString(plan[i + 1].path))
                     .arg(static_cast<double>(fades[i]) / rate, 0, 'f', 3);
    }
    if (more > 0) lines << tr("%1 more crossfades are shortened likewise.").arg(more);
    return lines.join(QLatin1Char('\n'));
}

void JoinJob::stopJoin() { endJoin(Ending::Done, {}); }

LoudnessPlan JoinJob::planFromOutcomes() const {
    std::vector<QString> names;
    std::vector<LoudnessResult> results;
    bool any = false;
    for (const SourceOutcome& o : lastOutcomes_) {
        names.push_back(pathToQString(o.path));
        results.push_back(o.loudness);
        if (!o.complete || !o.matched) {
            results.back().hr = E_ABORT;
            results.back().detail = tr("not measured: the join ended before it");
        }
        any = any || SUCCEEDED(results.back().hr);
    }
    if (!any) return {};
    // The same rule the decoders applied, on the same measurements: the same gains.
    return planLoudness(names, results, format_.loudnessMode, format_.loudnessTarget, format_.truePeakCeiling);
}

}  // namespace corvane
