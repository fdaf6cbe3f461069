// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QTest>

#include "media/decoders/WorkerPool.h"

// Runs several test objects in one executable (one executable per area).
#define CORVANE_TEST_MAIN(AppType, ...)                                     \
    int main(int argc, char** argv) {                                       \
        corvane::media::WorkerPool::start();                                \
        AppType app(argc, argv);                                            \
        int status = 0;                                                     \
        QObject* tests[] = {__VA_ARGS__};                                   \
        for (QObject* t : tests) status |= QTest::qExec(t, argc, argv);     \
        return status;                                                      \
    }
