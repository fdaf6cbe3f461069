// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QStandardPaths>

#include "tests/mainwindow/MainWindowTests.h"
#include "tests/support/TestMain.h"

MainWindowListTest listTest;
MainWindowJoinTest joinTest;
CORVANE_TEST_MAIN(QApplication, &listTest, &joinTest)
