// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

#include "app/ItemList.h"
#include "media/graph/SourceOutcome.h"
#include "media/graph/Timeline.h"

namespace corvane {

// What a source is called in the markers of a join.
struct SourceTitle {
    QString title;
    QString performer;  // "" when the file has no artist tag
};

// A source as it landed in the output.
struct Marker {
    std::int64_t startFrame = 0;  // output frames
    std::int64_t frames = 0;
    QString title;
    QString performer;
};

// The title of a file's marker: its title tag, else its file name without the extension.
QString markerTitle(const QString& path, const QString& tagTitle);
// One title per source of the timeline's group 0, in order, from the list items' tags; a
// source that is no item (a located replacement) is named after its file.
std::vector<SourceTitle> sourceTitles(const media::Timeline& timeline, const ItemList& items);
// The sources the render reached, where their audio really began.
std::vector<Marker> markersOf(const std::vector<media::SourceOutcome>& outcomes,
                              const std::vector<SourceTitle>& titles);

// A cue sheet for `wavFile` (as written in its FILE line): one audio track per marker with
// INDEX 01 in CD frames (1/75 s), rounded to the nearest.
QString cueSheetText(const QString& wavFile, const std::vector<Marker>& markers,
                     std::uint32_t rate);
// Cue-sheet readers take at most 99 tracks: a longer list gets one sheet per 99 files, all
// naming the same WAV file.
constexpr int kCueSheetTracks = 99;
// The path of the n-th cue sheet (n from 1): the first is `cuePath` itself, the next ones
// carry "-2", "-3", … before the extension ("book.cue", "book-2.cue").
QString cueSheetPathNumber(const QString& cuePath, int n);
// How many cue sheets that many files need.
int cueSheetCount(std::size_t files);
// Why a cue sheet cannot name the WAV file as `reference` ("" when it can): its FILE line has
// no escapes for line breaks, other control characters or double quotes.
QString cueReferenceRefusal(const QString& reference, const QString& outputPath);
// A label track: start, end and title per marker, in seconds with six decimals, tab-separated.
QString labelTrackText(const std::vector<Marker>& markers, std::uint32_t rate);
// The cue sheet beside an output file: the same name with ".cue" for its extension.
QString cuePathBeside(const QString& outputPath);
// How a cue sheet at `cuePath` ("-": standard output, read from the current folder) names the
// output.
QString cueFileReference(const QString& cuePath, const QString& outputPath);
// Writes a whole text file, never half of one; "-" is standard output. "" or why it failed.
QString writeTextFile(const QString& path, const QByteArray& text);

}  // namespace corvane
