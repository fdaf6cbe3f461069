// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace corvane::test {

// A signal: sample value in [-1, 1] for channel c at frame n of a stream at `rate`.
using Signal = std::function<double(int channel, long long frame, int rate)>;

// A sine of `freq` Hz at `amplitude`; channel c is shifted so channels differ.
Signal sine(double freq, double amplitude = 0.5);

struct EncodeOptions {
    std::string encoder = "pcm_s16le";  // an FFmpeg encoder name
    std::string container;              // muxer name; empty: from the file's extension
    int sampleRate = 44100;
    int channels = 2;
    unsigned long long channelMask = 0;  // the speakers; 0: FFmpeg's usual layout for the count
    long long frames = 44100;
    long long bitRate = 0;  // 0: the encoder's default
    std::string sampleFormat;  // e.g. "s32"; empty: the encoder's first
    int bitsPerRawSample = 0;
    std::map<std::string, std::string> codecOptions;
    // With a video encoder ("mpeg4"), a small picture stream goes along with the audio.
    std::string videoEncoder;
    int videoFrames = 0;
    std::map<std::string, std::string> muxerOptions;
    std::map<std::string, std::string> metadata;  // tags: "title", "artist"
};

// Encodes `signal` into a file with libavcodec/libavformat; returns "" or the reason it failed.
QString encodeFile(const QString& path, const EncodeOptions& opts, const Signal& signal);

// Copies the packets of `from` into a new container (`-c copy`); returns "" or why it failed.
QString remuxFile(const QString& from, const QString& to, const std::map<std::string, std::string>& muxerOptions = {});

struct Decoded {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;  // interleaved
    long long frames() const { return channels ? static_cast<long long>(samples.size()) / channels : 0; }
};

// FFmpeg's own decode of a file, at its own rate and channel count, as float.
Decoded decodeFile(const QString& path);

// A WAV file read with a plain RIFF parser (not FFmpeg), for checking headers and samples.
struct WavFile {
    bool ok = false;
    QString error;
    bool rf64 = false;
    std::string riffId;
    unsigned long long riffSize = 0;      // as declared (ds64 value for RF64)
    unsigned long long fileSize = 0;
    int formatTag = 0, channels = 0, sampleRate = 0, byteRate = 0, blockAlign = 0, bits = 0;
    int subFormat = 0;             // WAVE_FORMAT_EXTENSIBLE: the sub-format's tag
    unsigned channelMask = 0;      // WAVE_FORMAT_EXTENSIBLE only
    long long factFrames = -1;     // the fact chunk's count, -1 without one
    std::vector<std::string> chunksBeforeData;
    unsigned long long dataOffset = 0, dataSize = 0;  // dataSize as declared (ds64 for RF64)
    std::vector<unsigned char> data;
    // Chunks after the data: cue points and their labels (adtl labl), by cue point id.
    struct Cue {
        unsigned id = 0, position = 0, sampleOffset = 0;
        std::string chunk;
    };
    std::vector<Cue> cues;
    std::map<unsigned, std::string> labels;
    std::vector<std::string> chunksAfterData;
    long long frames() const { return blockAlign ? static_cast<long long>(dataSize / blockAlign) : 0; }
    // Sample of channel c at frame n, scaled to [-1, 1) (float as it is).
    double sample(long long n, int c) const;
};
WavFile readWav(const QString& path);

// Writes raw bytes (for hand-made headers and broken files).
bool writeBytes(const QString& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> readBytes(const QString& path);

}  // namespace corvane::test
