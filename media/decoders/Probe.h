// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>

#include "media/HResult.h"
#include "media/graph/MediaType.h"

namespace corvane::media {

struct ProbeResult {
    HRESULT hr = E_FAIL;
    REFERENCE_TIME duration = 0;  // 100 ns, exact to the sample
    std::int64_t samples = 0;     // at sampleRate
    int sampleRate = 0;
    int channels = 0;
    std::int64_t frameSamples = 0;  // the largest codec frame: how far a decode may stray by rounding
    QString detail;  // why it failed
    QString title;   // its title and artist tags (ID3, Vorbis comment, MP4, RIFF INFO), or ""
    QString artist;
    QString codec;   // FFmpeg's short name of the audio codec ("mp3", "flac")
    bool fromDecoder = false;  // a decoder read the file: a failure is one of decoding
    SourceFormat format;       // as the decoder delivers it (the highest rate, where it changes)
};

// Counts decoded samples exactly across sample-rate changes; every sum is overflow-checked.
struct SampleClock {
    std::int64_t samplesAtRate = 0;
    int rate = 0;
    REFERENCE_TIME settled = 0;  // 100 ns of the runs at earlier rates
    std::int64_t totalSamples = 0;
    std::int64_t largestFrame = 0;
    bool overflowed = false;

    void add(int frameRate, std::int64_t n);
    // Goes on with what another clock counted after this one.
    void append(const SampleClock& later);
    REFERENCE_TIME duration() const;
};

// Measures the decoded length of a file's audio: what the join's decoder delivers once the
// encoder delay and padding the file states exactly are trimmed. Samples are counted at the
// codec level (each frame's own header or size) or by decoding; container timestamps and
// header totals are never added up or believed unconfirmed. The first packets are decoded to
// prove the stream is usable. The title and artist tags come along.
ProbeResult probeFile(const std::string& path);
// The same for a file opened by the caller (read from its start; the caller keeps fd).
ProbeResult probeDescriptor(int fd);

}  // namespace corvane::media
