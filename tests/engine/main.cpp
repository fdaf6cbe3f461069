// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/engine/EngineTests.h"
#include "tests/support/TestMain.h"

TimelineBuilderTest timelineBuilderTest;
JoinOutputTest joinOutputTest;
JoinJobTest joinJobTest;
GraphFailureTest graphFailureTest;
CORVANE_TEST_MAIN(QCoreApplication, &timelineBuilderTest, &joinOutputTest, &joinJobTest, &graphFailureTest)
