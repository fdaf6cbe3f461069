// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <atomic>
#include <functional>
#include <vector>

#include "app/ItemList.h"
#include "app/MessageBoxes.h"
#include "media/decoders/Probe.h"

namespace corvane {

// The path up to and including its last '/', or "" when it has none.
QString folderOf(const QString& path);

inline const QString kCannotOpenMessage =
    QStringLiteral("Cannot open %1. You need to install appropriate decoders.\nOr the file is corrupt.");

// Adding files: every file is measured (probeDuration) and appended with its length.
class FileAdder {
public:
    struct Outcome {
        int added = 0;
        int failed = 0;   // could not be measured
        int refused = 0;  // not taken: list full or path too long
    };

    // Measures files on several threads; results come back in the order of `paths`.
    // progress(done, total) is called from the caller's thread between results is not
    // guaranteed: it runs on worker threads and must be thread-safe. A set cancel flag
    // leaves the remaining results failed with E_ABORT.
    static std::vector<media::ProbeResult> probeAll(const QStringList& paths,
                                                    const std::function<void(int done, int total)>& progress = {},
                                                    const std::atomic<bool>* cancel = nullptr);

    // Appends the measured files in order and tells the user about each one that failed:
    // the decoder message, then "Can not get the duration of %s" (several files chosen) or
    // "Can not get the duration of the clip!" (one file chosen, which ends the command).
    static Outcome apply(ItemList& list, const QStringList& paths,
                         const std::vector<media::ProbeResult>& results, bool severalChosen,
                         MessageBoxes& boxes);

    // Longest path the platform opens, in bytes.
    static bool pathTooLong(const QString& path);

    // Natural order of the names ("track2" before "track10"), then of the whole paths.
    static void sortNaturally(QStringList& paths);
    // Whether a name has the extension of a sound (or audio-carrying video) file.
    static bool isSoundFileName(const QString& name);
    // The sound files directly inside a folder (not in its subfolders), in natural order;
    // names that are not UTF-8 keep their bytes.
    static QStringList soundFilesIn(const QString& folder);
    // What a failed measurement tells the user: kCannotOpenMessage where a decoder failed on
    // the file, "Cannot open …." where it never reached one (missing, unreadable, a folder);
    // then the cause on a line of its own when one is known.
    static QString cannotOpenText(const QString& path, const QString& cause,
                                  bool fromDecoder = true);

    Q_DECLARE_TR_FUNCTIONS(corvane::FileAdder)
};

// A file: URL carrying the name's own bytes, percent-encoded (not UTF-8 when the name is not).
QString fileUrlOf(const QString& path);

}  // namespace corvane
