// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the fuzzing seed corpus: a short file of every format the tests encode, plus
// truncated and bit-flipped copies of each.
#include <QDir>
#include <QFile>
#include <cstdio>

#include "tests/support/AudioFixture.h"

using namespace corvane::test;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    struct Kind {
        const char* name;
        const char* encoder;
        int rate, channels;
        std::map<std::string, std::string> mux;
    } kinds[] = {
        {"s16.wav", "pcm_s16le", 44100, 2, {}},   {"u8.wav", "pcm_u8", 8000, 1, {}},
        {"f32.wav", "pcm_f32le", 48000, 1, {}},   {"flac.flac", "flac", 96000, 2, {}},
        {"lame.mp3", "libmp3lame", 44100, 2, {}}, {"raw.mp3", "libmp3lame", 22050, 1, {{"write_xing", "0"}}},
        {"vorbis.ogg", "libvorbis", 22050, 1, {}}, {"opus.opus", "libopus", 48000, 2, {}},
        {"adts.aac", "aac", 44100, 2, {}},        {"m4a.m4a", "aac", 44100, 2, {}},
        {"mp2.mp2", "mp2", 32000, 1, {}},         {"aiff.aiff", "pcm_s16be", 11025, 1, {}},
        {"ac3.ac3", "ac3", 48000, 2, {}},         {"mka.mka", "flac", 44100, 1, {}},
    };
    int written = 0;
    for (const Kind& k : kinds) {
        EncodeOptions s;
        s.encoder = k.encoder;
        s.sampleRate = k.rate;
        s.channels = k.channels;
        s.frames = k.rate / 5;
        s.muxerOptions = k.mux;
        const QString path = dir + QLatin1Char('/') + QLatin1String(k.name);
        const QString err = encodeFile(path, s, sine(440));
        if (!err.isEmpty()) {
            std::fprintf(stderr, "%s: %s\n", k.name, qPrintable(err));
            continue;
        }
        std::vector<unsigned char> b = readBytes(path);
        ++written;
        // Truncated at a third and in the header; bits flipped across the file.
        writeBytes(path + ".cut", std::vector<unsigned char>(b.begin(), b.begin() + b.size() / 3));
        writeBytes(path + ".head", std::vector<unsigned char>(b.begin(), b.begin() + std::min<std::size_t>(b.size(), 40)));
        std::vector<unsigned char> flipped = b;
        for (std::size_t i = 7; i < flipped.size(); i += 97) flipped[i] ^= static_cast<unsigned char>(1u << (i % 8));
        writeBytes(path + ".flip", flipped);
        written += 3;
    }
    std::printf("%d seeds in %s\n", written, qPrintable(dir));
    return 0;
}
