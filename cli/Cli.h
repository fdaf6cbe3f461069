// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace corvane::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

// First thing at start-up: reopens closed descriptors 0-2 on /dev/null and ignores SIGPIPE.
void prepareProcess();
// Whether the arguments name a terminal command ("join", "probe", "--help", "--version").
bool isCommand(int argc, char** argv);
// Runs a terminal command; returns the exit status.
int run(int argc, char** argv);

}  // namespace corvane::cli
