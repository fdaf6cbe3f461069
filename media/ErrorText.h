// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "media/HResult.h"

namespace corvane::media {

// Readable text for a status code, at most 160 characters; FFmpeg codes wrapped by
// fromAvError keep their own wording.
QString errorText(HRESULT hr);

// Maps an FFmpeg error (negative errno or AVERROR tag) to a status code.
HRESULT fromAvError(int averror);
// Maps an errno value to a status code.
HRESULT fromErrno(int err);

// FFmpeg writes nothing to standard error (unless CORVANE_FFMPEG_LOG is set); its last error
// line of each thread is kept instead, for our own messages. Once per process, before forking.
void routeFfmpegLog();
// The last error FFmpeg reported on this thread since the last call ("partial file"), or "".
QString takeFfmpegError();

}  // namespace corvane::media
