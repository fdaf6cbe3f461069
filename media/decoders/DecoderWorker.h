// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "media/decoders/WorkerProtocol.h"

namespace corvane::media {

// The decoder worker: a process of the program's own, forked before any thread exists, that
// demuxes and decodes the files the program opens and hands it. It runs with no rights
// beyond that: see enterSandbox.

// Limits this process to `allowance` bytes of memory more than it has (the program may move
// that up to `ceiling` from outside), no core files, no file writes, a few descriptors, and a
// system-call filter that leaves reading what it was given. Returns what it had.
worker::ReadyReply enterSandbox(std::uint64_t allowance, std::uint64_t ceiling);
// Announces itself, then serves requests on sock until the program goes away; the exit status.
int runDecoderWorker(int sock, const worker::ReadyReply& ready);

}  // namespace corvane::media
