// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class ImageButtonTest : public QObject {
    Q_OBJECT
private slots:
    void setUpCallResults();
    void iconOnlyButtonCentresIconAndPressMovesIt();
    void captionedButtonPutsIconAtTopAndCaptionBelow();
    void disabledButtonIsEmbossedAndGreyed();
    void hoverLightsFrameAndPlaysSoundOnce();
    void dragOntoButtonDoesNotLightIt();
    void doubleClickGivesTwoClicks();
    void clickTakesFocusBeforeParentHears();
    void defaultButtonFollowsFocusAndTakesEnter();
    void disablingMovesFocusToNextControl();
    void paletteChangeRereadsTextColour();
    void toolTipIsWrappedAndCanBeDeactivated();
    void realSoundPlayerIsSilentWithoutDevice();
};

class LinkControlTest : public QObject {
    Q_OBJECT
private slots:
    void attachTakesTextOrTarget();
    void coloursAndUnderlineFollowHover_data();
    void coloursAndUnderlineFollowHover();
    void clickSetsVisitedFromResult();
    void openTargetFallsBackToWebPageCommand();
    void fallbackCommandLine_data();
    void fallbackCommandLine();
    void openErrorTexts();
    void fitToTextKeepsAlignedEdge();
    void desktopFileExecLine();
};

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void dialogUnitsUseFontBaseUnits();
    void templatesLoadAndBadOnesAreRefused();
    void builderPlacesControlsAndStacksGroupsBelow();
    void aboutBoxShowsLinksUnderlinedWithTargets();
    void aboutLinkFailureKeepsDialogOpen();
    void artworkRendersEveryId();
    void helpFolderIsFoundBesideOrInShare();
    void shippedHelpPagesLinkToExistingFiles();
    void qtMessageBoxesUseOwnerCaptionAndIcon();
};
