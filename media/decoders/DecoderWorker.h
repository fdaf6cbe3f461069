#pragma once

#include <cstdint>

namespace corvane::media {

// The decoder worker: a process of the program's own, forked before any thread exists, that
// demuxes and decodes the files the program opens and hands it. It runs with no rights
// beyond that: see enterSandbox.

// Limits this process to memoryLimit bytes more than it has, no core files, no file writes,
// a few descriptors, and a system-call filter that leaves reading what it was given.
void enterSandbox(std::uint64_t memoryLimit);
// Serves requests on sock until the program goes away; the exit status.
int runDecoderWorker(int sock);

}  // namespace corvane::media
