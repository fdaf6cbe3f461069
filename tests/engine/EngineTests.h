// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTemporaryDir>

class TimelineBuilderTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup();
    void oneFileGivesOneSource();
    void filesLieEndToEnd();
    void lengthsPastTheRangeAreRefused();
    void zeroLengthsEndTheWalk();
    void rejectedNamesLeaveEmptyTracks();
    void emptyMusicListHasNoGroup();
    void disagreeingListsAreBounded();
};

class JoinOutputTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanup();
    void exactLengthForEveryFormat_data();
    void exactLengthForEveryFormat();
    void samplesMatchTheSources();
    void resampledSineStaysClean();
    void cutSignalRejoinsGapless_data();
    void cutSignalRejoinsGapless();
    void changedSourcesJoinAsTheyDecode();
    void placedAudioMovesWithChangedLengths_data();
    void placedAudioMovesWithChangedLengths();
    void sameJoinSameBytes();
    void rf64WhenPastTheLimit();
    void classicHeaderNeverOverflows();
    void oddEightBitDataIsPadded();
    void markersFollowTheAudio_data();
    void markersFollowTheAudio();
    void tinySourcesKeepTheirFrames_data();
    void tinySourcesKeepTheirFrames();
    void cueSheetAndLabelText();
    void seamsGiveExactLengthsAndMarkers_data();
    void seamsGiveExactLengthsAndMarkers();
    void crossfadeKeepsTheLevel_data();
    void crossfadeKeepsTheLevel();
    void longCrossfadesAreShortened_data();
    void longCrossfadesAreShortened();

  private:
    QString fixture(const char* name) const;
    QTemporaryDir dir_;
};

class JoinJobTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanup();
    void emptyListAsksForFiles();
    void elapsedTimeText();
    void replaceQuestion();
    void refusedOutputsAreKept();
    void oneJoinPerOutput();
    void linkedOutputKeepsTheLink();
    void unreplaceableOutputNamesThePartFile();
    void longestNamesJoin();
    void cueSheetsOfLongLists();
    void stopLeavesAValidFile();
    void stopReportsTheFileWritten();
    void lateNotifyDoesNothing();
    void emptiedListStillStops();
    void missingSourceIsOffered();
    void writeFailureIsNeverDone();
    void everyWriteFailureIsReported();
    void sourceFailingMidJoinIsReported();
    void decoderFeedbackValue();
    void loudnessPassStopsFailsAndReports();

  private:
    QString fixture(const char* name) const;
    QTemporaryDir dir_;
};

class GraphFailureTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanup();
    void startFailuresAreShown_data();
    void startFailuresAreShown();
    void formatRejectedRunsInFilterFormat();

  private:
    QTemporaryDir dir_;
};
