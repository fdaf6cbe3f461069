// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/media/MediaTests.h"
#include "tests/support/TestMain.h"

WavHeaderTest wavHeaderTest;
PathAndTimelineTest pathAndTimelineTest;
ProbeTest probeTest;
ConverterTest converterTest;
LoudnessTest loudnessTest;
CORVANE_TEST_MAIN(QCoreApplication, &wavHeaderTest, &pathAndTimelineTest, &probeTest, &converterTest, &loudnessTest)
