// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace corvane::media {

// From now on a failed allocation ends the process with worker::kExitOutOfMemory instead of
// returning null. FFmpeg copes with null by dropping what it could not allocate (a long file's
// index cut short, then a shorter length), so a decoder at its memory limit must stop, not go on.
// A no-op where a sanitizer owns the allocator.
void makeAllocationFailuresFatal();

}  // namespace corvane::media
