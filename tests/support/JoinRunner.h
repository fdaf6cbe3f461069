// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>

#include "app/FileAdder.h"
#include "engine/JoinJob.h"
#include "tests/support/AudioFixture.h"
#include "tests/support/RecordingJoinView.h"
#include "tests/support/ScriptedMessageBoxes.h"

namespace corvane::test {

// A join driven the way the Join button drives it, with scripted answers.
struct JoinRunner {
    ItemList items;
    OutputFormat format;
    ScriptedMessageBoxes boxes;
    RecordingJoinView view;
    JoinJob job{items, format, boxes, view};
    bool finishedOk = false;
    int finishedCount = 0;

    JoinRunner() {
        job.setDecoderStoreFile(QString());
        QObject::connect(&job, &JoinJob::finished, [this](bool ok) {
            finishedOk = ok;
            ++finishedCount;
        });
    }

    // Adds files as Add does; returns how many were added.
    int add(const QStringList& paths) {
        const auto results = FileAdder::probeAll(paths);
        const auto outcome = FileAdder::apply(items, paths, results, paths.size() > 1, boxes);
        items.syncMusicList();
        return outcome.added;
    }

    // Starts the join and waits for its end; false if it did not start or end in time.
    bool join(int timeoutMs = 60000) {
        const int before = finishedCount;
        job.onJoinCommand();
        if (!job.joinRunning()) return finishedCount > before;
        QSignalSpy spy(&job, &JoinJob::finished);
        return spy.wait(timeoutMs) || finishedCount > before;
    }
};

}  // namespace corvane::test
