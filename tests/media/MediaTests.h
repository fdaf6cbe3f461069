// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTemporaryDir>

class WavHeaderTest : public QObject {
    Q_OBJECT
  private slots:
    void fieldsForEveryOutputFormat_data();
    void fieldsForEveryOutputFormat();
    void knownFormatsFromIndexes();
    void oddDataCountsItsPadByte();
    void layoutFollowsThePlan();
    void switchesToRf64PastTheLimit();
    void fileIsWholeAfterEveryHeaderUpdate();
    void cueChunksArePaddedAndCounted();
    void extensibleFormatsReadBack_data();
    void extensibleFormatsReadBack();
    void extensibleFormatsAreChecked();
    void planKeepsRoomForLargerHeaders();
    void broadcastExtensionRoundTrips();
    void broadcastExtensionIsFoundInOtherFiles();
    void timeReferenceFollowsTheRate();
};

class PathAndTimelineTest : public QObject {
    Q_OBJECT
  private slots:
    void pathsRoundTripAnyBytes_data();
    void pathsRoundTripAnyBytes();
    void timelineObjectsCheckTheirCalls();
    void validateSourceNamesLocatesMissingFiles();
    void slotPlanRoundsPositionsOnce();
};

class ProbeTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void durationMatchesDecodedLength_data();
    void durationMatchesDecodedLength();
    void truncatedFilesMeasureWhatIsThere();
    void claimsAreNotBelieved_data();
    void claimsAreNotBelieved();
    void failuresAreReported_data();
    void failuresAreReported();
    void absurdHeadersAreRefused();
    void endsAreWhatDecodes_data();
    void endsAreWhatDecodes();
    void cutIndexIsAFailure_data();
    void cutIndexIsAFailure();

  private:
    QTemporaryDir dir_;
};

class LoudnessTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void standardTonesReadTheirLevel_data();
    void standardTonesReadTheirLevel();
    void filesCombineAsIfLaidEndToEnd();
    void shortAndLongFiles();
    void keptResultsAndFailures();

  private:
    QTemporaryDir dir_;
};

class ConverterTest : public QObject {
    Q_OBJECT
  private slots:
    void monoIsDuplicatedAndStereoAveraged();
    void exactInputIsNotDithered();
    void ditherIsRepeatableAndSmall();
    void eightBitIsUnsigned();
    void wideLayoutsMixDownWithoutClipping();
    void formatChangeMidStreamKeepsConverting();
    void nanBecomesSilence();
    void unnamedChannelsKeepTheirPlaces();
    void crossfadeMixesEveryFormat_data();
    void crossfadeMixesEveryFormat();
    void crossfadeStreamsInAnyBlocks_data();
    void crossfadeStreamsInAnyBlocks();
};
