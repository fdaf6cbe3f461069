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

}  // namespace corvane::media
