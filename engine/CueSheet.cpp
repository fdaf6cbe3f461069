// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CueSheet.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>
#include <unordered_map>

#include "media/Cause.h"
#include "media/wavfile/CueChunks.h"
#include "media/PathCodec.h"

namespace corvane {

using namespace media;

namespace {

// Cue sheets have no escapes: a double quote would end the text early.
QString quoted(const QString& text) {
    QString t = text;
    t.replace(QLatin1Char('"'), QLatin1Char('\''));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

// Exact seconds of a frame count, six decimals, without a detour through floating point.
QString secondsText(std::int64_t frames, std::uint32_t rate) {
    std::int64_t whole = frames / rate;
    std::int64_t micro =
        ((frames % rate) * 2'000'000 + rate) / (2 * static_cast<std::int64_t>(rate));
    if (micro == 1'000'000) {
        ++whole;
        micro = 0;
    }
    return QStringLiteral("%1.%2").arg(whole).arg(micro, 6, 10, QLatin1Char('0'));
}

}  // namespace

QString markerTitle(const QString& path, const QString& tagTitle) {
    const QString tag = cleanLabel(tagTitle);
    if (!tag.isEmpty()) return tag;
    const QString name = ItemList::displayNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return cleanLabel(dot > 0 ? name.left(dot) : name);
}

std::vector<SourceTitle> sourceTitles(const Timeline& timeline, const ItemList& items) {
    std::unordered_map<QString, const MediaItem*> byPath;
    for (int i = 0; i < items.musicCount(); ++i)
        byPath.emplace(items.musicPath(i), &items.musicItem(i));
    std::vector<SourceTitle> titles;
    for (const TimelineSlot& s : timeline.slotsOfGroup(0)) {
        const QString path = fromU16(s.name);
        const auto it = byPath.find(path);
        SourceTitle t;
        t.title = markerTitle(path, it != byPath.end() ? it->second->title : QString());
        if (it != byPath.end()) t.performer = cleanLabel(it->second->artist);
        titles.push_back(std::move(t));
    }
    return titles;
}

std::vector<Marker> markersOf(const std::vector<SourceOutcome>& outcomes,
                              const std::vector<SourceTitle>& titles) {
    std::vector<Marker> markers;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        Marker m;
        m.startFrame = outcomes[i].startFrame;
        m.frames = outcomes[i].frames;
        if (i < titles.size()) {
            m.title = titles[i].title;
            m.performer = titles[i].performer;
        } else {
            m.title = markerTitle(pathToQString(outcomes[i].path), {});
        }
        markers.push_back(std::move(m));
    }
    return markers;
}

QString cueSheetText(const QString& wavFile, const std::vector<Marker>& markers,
                     std::uint32_t rate) {
    QString t = QStringLiteral("FILE %1 WAVE\n").arg(quoted(wavFile));
    int track = 0;
    for (const Marker& m : markers) {
        const std::int64_t cd = (m.startFrame * 150 + rate) / (2 * static_cast<std::int64_t>(rate));
        t += QStringLiteral("  TRACK %1 AUDIO\n").arg(++track, 2, 10, QLatin1Char('0'));
        t += QStringLiteral("    TITLE %1\n").arg(quoted(m.title));
        if (!m.performer.isEmpty())
            t += QStringLiteral("    PERFORMER %1\n").arg(quoted(m.performer));
        t += QStringLiteral("    INDEX 01 %1:%2:%3\n")
                 .arg(cd / (75 * 60), 2, 10, QLatin1Char('0'))
                 .arg(cd / 75 % 60, 2, 10, QLatin1Char('0'))
                 .arg(cd % 75, 2, 10, QLatin1Char('0'));
    }
    return t;
}

QString cueSheetPathNumber(const QString& cuePath, int n) {
    if (n <= 1) return cuePath;
    const qsizetype nameStart = cuePath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = cuePath.lastIndexOf(QLatin1Char('.'));
    const qsizetype at = dot > nameStart ? dot : cuePath.size();
    return cuePath.left(at) + QStringLiteral("-%1").arg(n) + cuePath.mid(at);
}

int cueSheetCount(std::size_t files) {
    return files == 0 ? 1 : static_cast<int>((files + kCueSheetTracks - 1) / kCueSheetTracks);
}

QString cueReferenceRefusal(const QString& reference, const QString& outputPath) {
    for (const QChar c : reference)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('"'))
            return QStringLiteral(
                       "%1 cannot be named in a cue sheet: its name holds a line break, another "
                       "control character or a double quote. Choose another output name, or "
                       "join without a cue sheet.")
                .arg(outputPath);
    return {};
}

QString labelTrackText(const std::vector<Marker>& markers, std::uint32_t rate) {
    QString t;
    for (const Marker& m : markers)
        t += QStringLiteral("%1\t%2\t%3\n")
                 .arg(secondsText(m.startFrame, rate), secondsText(m.startFrame + m.frames, rate),
                      m.title);
    return t;
}

QString cuePathBeside(const QString& outputPath) {
    const qsizetype nameStart = outputPath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = outputPath.lastIndexOf(QLatin1Char('.'));
    return (dot > nameStart ? outputPath.left(dot) : outputPath) + QStringLiteral(".cue");
}

QString cueFileReference(const QString& cuePath, const QString& outputPath) {
    const QString folder =
        cuePath == QStringLiteral("-") ? QDir::currentPath() : QFileInfo(cuePath).absolutePath();
    return QDir(folder).relativeFilePath(QFileInfo(outputPath).absoluteFilePath());
}

QString writeTextFile(const QString& path, const QByteArray& text) {
    if (path == QStringLiteral("-")) {
        const bool ok = std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()),
                                    stdout) == static_cast<std::size_t>(text.size()) &&
                        std::fflush(stdout) == 0;
        return ok ? QString() : QStringLiteral("Cannot write to standard output.");
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit())
        return media::Cause::tr("Cannot write %1: %2").arg(path, f.errorString());
    return {};
}

}  // namespace corvane
