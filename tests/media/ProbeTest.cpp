#include <QTest>

#include "media/PathCodec.h"
#include "media/Probe.h"
#include "tests/media/MediaTests.h"
#include "tests/support/AudioFixture.h"

extern "C" {
#include <libavutil/mathematics.h>
}

using namespace corvane;
using namespace corvane::media;
using namespace corvane::test;

namespace {

struct Fixture {
    const char* name;
    const char* encoder;
    int rate;
    int channels;
    long long frames;
    std::map<std::string, std::string> muxerOptions;
};

const Fixture kFixtures[] = {
    {"s16.wav", "pcm_s16le", 44100, 2, 44100, {}},
    {"u8.wav", "pcm_u8", 8000, 1, 12345, {}},
    {"f32.wav", "pcm_f32le", 48000, 2, 30000, {}},
    {"s24.flac", "flac", 96000, 2, 100001, {}},
    {"lame.mp3", "libmp3lame", 44100, 2, 50000, {}},
    {"noxing.mp3", "libmp3lame", 44100, 1, 40000, {{"write_xing", "0"}}},
    {"vorbis.ogg", "libvorbis", 22050, 1, 30000, {}},
    {"opus.opus", "libopus", 48000, 2, 33333, {}},
    {"adts.aac", "aac", 44100, 2, 40000, {}},
    {"mp2.mp2", "mp2", 32000, 2, 32000, {}},
    {"aiff.aiff", "pcm_s16be", 11025, 1, 11025, {}},
    {"matroska.mkv", "libvorbis", 44100, 2, 44100, {}},
};

}  // namespace

void ProbeTest::initTestCase() {
    QVERIFY(dir_.isValid());
    for (const Fixture& f : kFixtures) {
        EncodeOptions opts;
        opts.encoder = f.encoder;
        opts.sampleRate = f.rate;
        opts.channels = f.channels;
        opts.frames = f.frames;
        opts.muxerOptions = f.muxerOptions;
        if (QString(f.name).endsWith(".mp3") && f.muxerOptions.count("write_xing")) {
            opts.codecOptions["q"] = "4";  // VBR, so the header's estimate is wrong
        }
        const QString err = encodeFile(dir_.filePath(f.name), opts, sine(441.0));
        QVERIFY2(err.isEmpty(), qPrintable(QString(f.name) + ": " + err));
    }
}

void ProbeTest::durationMatchesDecodedLength_data() {
    QTest::addColumn<QString>("name");
    for (const Fixture& f : kFixtures) QTest::newRow(f.name) << QString(f.name);
}

void ProbeTest::durationMatchesDecodedLength() {
    // The slot on the timeline must match what decodes: the probe agrees with a full decode
    // to the sample, encoder delay and padding trimmed.
    QFETCH(QString, name);
    const QString path = dir_.filePath(name);
    const ProbeResult r = probeFile(qstringToPath(path));
    QVERIFY2(SUCCEEDED(r.hr), qPrintable(r.detail));
    const Decoded d = decodeFile(path);
    QVERIFY(d.frames() > 0);
    const REFERENCE_TIME expected = av_rescale(d.frames(), kUnitsPerSecond, d.sampleRate);
    QCOMPARE(r.duration, expected);
}

void ProbeTest::truncatedFilesMeasureWhatIsThere() {
    // Headers that state the length (FLAC, WAV) are checked against what the file holds.
    for (const char* name : {"s24.flac", "s16.wav", "lame.mp3"}) {
        std::vector<unsigned char> b = readBytes(dir_.filePath(name));
        b.resize(b.size() * 3 / 5);
        const QString cut = dir_.filePath(QStringLiteral("cut-") + name);
        QVERIFY(writeBytes(cut, b));
        const ProbeResult r = probeFile(qstringToPath(cut));
        QVERIFY2(SUCCEEDED(r.hr), name);
        const Decoded d = decodeFile(cut);
        const REFERENCE_TIME decoded = av_rescale(d.frames(), kUnitsPerSecond, d.sampleRate);
        // Within one coded frame of what decodes, and well short of the whole.
        QVERIFY2(std::llabs(r.duration - decoded) <= av_rescale(4608, kUnitsPerSecond, d.sampleRate),
                 qPrintable(QStringLiteral("%1: %2 vs %3").arg(name).arg(r.duration).arg(decoded)));
        const ProbeResult whole = probeFile(qstringToPath(dir_.filePath(name)));
        QVERIFY(r.duration < whole.duration * 7 / 10);
    }
}

void ProbeTest::failuresAreReported_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addRow("zero bytes") << QByteArray() << "empty.mp3";
    QTest::addRow("text") << QByteArray("This is not a sound file at all.\n").repeated(40) << "text.wav";
    QTest::addRow("png") << QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489")
                          << "image.mp3";
    QTest::addRow("riff header only") << QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) << "cut.wav";
}

void ProbeTest::failuresAreReported() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    const QString path = dir_.filePath(name);
    QVERIFY(writeBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.end())));
    const ProbeResult r = probeFile(qstringToPath(path));
    QVERIFY(FAILED(r.hr));
    QVERIFY(!r.detail.isEmpty());
    // Missing files and folders fail the same way.
    QVERIFY(FAILED(probeFile(qstringToPath(dir_.filePath("missing.mp3"))).hr));
    QVERIFY(FAILED(probeFile(qstringToPath(dir_.path())).hr));
}

void ProbeTest::absurdHeadersAreRefused() {
    // A WAV declaring 2147483647 Hz or 0 and 65535 channels opens in FFmpeg; it must not here.
    auto wav = [](std::uint32_t rate, std::uint16_t channels) {
        std::vector<unsigned char> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                        16, 0, 0, 0, 1, 0};
        b.push_back(channels & 0xFF);
        b.push_back(channels >> 8);
        for (int i = 0; i < 4; ++i) b.push_back((rate >> (8 * i)) & 0xFF);
        for (int i = 0; i < 4; ++i) b.push_back(0);  // byte rate
        b.push_back(4);
        b.push_back(0);
        b.push_back(16);
        b.push_back(0);
        for (char c : std::string("data")) b.push_back(static_cast<unsigned char>(c));
        b.push_back(0);
        b.push_back(16);
        b.push_back(0);
        b.push_back(0);
        b.resize(b.size() + 4096, 0);
        return b;
    };
    const struct {
        std::uint32_t rate;
        std::uint16_t channels;
    } cases[] = {{2147483647u, 2}, {44100, 0}, {44100, 65535}, {1, 2}, {4000000, 1}};
    for (const auto& c : cases) {
        const QString path = dir_.filePath(QStringLiteral("absurd-%1-%2.wav").arg(c.rate).arg(c.channels));
        QVERIFY(writeBytes(path, wav(c.rate, c.channels)));
        const ProbeResult r = probeFile(qstringToPath(path));
        QVERIFY2(FAILED(r.hr), qPrintable(path));
    }
}
