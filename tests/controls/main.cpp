// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "tests/controls/ControlsTests.h"
#include "tests/support/TestMain.h"

ImageButtonTest imageButtonTest;
LinkControlTest linkControlTest;
DialogsTest dialogsTest;
CORVANE_TEST_MAIN(QApplication, &imageButtonTest, &linkControlTest, &dialogsTest)
