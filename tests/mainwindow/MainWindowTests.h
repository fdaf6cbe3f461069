// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTemporaryDir>

class MainWindowListTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void startUpLaysOutTheWindowAndReadsSettings();
    void addAsksOnceAndReportsEachFailure();
    void singleFailingFileChangesNothing();
    void listCommandsWalkTheSelection();
    void selectionByMouseAndNoSelectionMessage();
    void capacityIsRefused();
    void slowProbeShowsProgressAndCancelAddsNothing();
    void droppedFilesAreAdded();
    void playlistsInAndOutOfTheList();
    void doubleClickPlaysSelectedInOrder();
    void homepageHelpAndMenus();
    void germanWhereTheLocaleIsGerman();

  private:
    QString fixture(const char* name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
    QTemporaryDir home_;
};

class MainWindowJoinTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanup();
    void joinWritesTheWavAndSaysDone();
    void stopMidJoinLeavesAValidWav();
    void desktopIsToldOfLongJoinsEndingUnseen();
    void replaceQuestionNoThenYes();
    void optionsChangeOutputAndFormatAboutOpens();
    void quotedMessagesForEmptyListAndFailure();
    void missingSourceIsOfferedToLocate();
    void closeWhileJoiningIsRefused();
    void escapeStopsTheJoinAndSkipsThePrompt();
    void stopAndEscapeDuringAStall();
    void updatePromptEvery180Days();
    void enterInTheListClosesLikeExit();

  private:
    QString fixture(const char* name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};
