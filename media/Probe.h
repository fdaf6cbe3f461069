#pragma once

#include <QString>
#include <string>

#include "media/HResult.h"

namespace corvane::media {

struct ProbeResult {
    HRESULT hr = E_FAIL;
    REFERENCE_TIME duration = 0;  // 100 ns, exact to the sample
    std::int64_t samples = 0;     // at sampleRate
    int sampleRate = 0;
    int channels = 0;
    QString detail;  // why it failed
};

// Measures the decoded length of a file's audio: what the decoder will deliver once encoder
// delay and padding are trimmed, counted from the packets (estimates in headers are not
// trusted). The first frames are decoded to prove the stream is usable.
ProbeResult probeFile(const std::string& path);

}  // namespace corvane::media
