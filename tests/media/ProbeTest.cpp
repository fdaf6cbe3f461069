// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <cstring>

#include "media/PathCodec.h"
#include "media/decoders/Probe.h"
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
    // The container states the exact length (encoder padding included): the probe must give
    // the signal's own length, whatever FFmpeg's plain decode leaves in.
    bool exact = false;
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
    // Timestamps coarser than a sample: every packet's duration is rounded.
    {"ac3.mka", "ac3", 48000, 2, 100001, {}},
    {"eac3.mka", "eac3", 44100, 2, 100001, {}},
    {"mp3.mka", "libmp3lame", 44100, 2, 100001, {}},
    {"flac.mka", "flac", 44100, 1, 100001, {}},
    {"opus.webm", "libopus", 48000, 2, 100001, {}},
    {"aac.flv", "aac", 44100, 2, 100001, {}},
    {"mp2.ts", "mp2", 48000, 2, 100001, {}},
    {"ac3.ac3", "ac3", 44100, 2, 100001, {}},
    {"wma.wma", "wmav2", 44100, 2, 100001, {}},
    // An edit list in milliseconds, and one in samples.
    {"ms.m4a", "aac", 44100, 2, 100001, {}, true},
    {"samples.m4a", "aac", 44100, 2, 100001, {{"movie_timescale", "44100"}}, true},
    {"alac.m4a", "alac", 44100, 2, 100001, {}, true},
    // Long enough that only their ends are decoded and the rest is counted from the framing.
    {"long.opus", "libopus", 48000, 2, 200001, {}},
    {"long.ogg", "libvorbis", 44100, 2, 200001, {}},
    {"long.mka", "libopus", 48000, 1, 200001, {}},
    {"wavpack.wv", "wavpack", 22050, 1, 1500001, {}},
    {"tta.tta", "tta", 8000, 1, 500001, {}},
    {"long-alac.m4a", "alac", 44100, 2, 300001, {}, true},
    {"long.mp3", "libmp3lame", 44100, 2, 200001, {}},
    // VBR with its Xing header: the demuxer seeks by its index, not by the bit rate.
    {"long-vbr.mp3", "libmp3lame", 44100, 2, 300001, {{"write_xing", "1"}}},
    {"long.aac", "aac", 44100, 2, 200001, {}},
    {"long.m4a", "aac", 44100, 2, 200001, {}, true},
    {"adts22.aac", "aac", 22050, 2, 100001, {}},
    // The MP4 sample entry cannot state 96000 Hz: it holds a placeholder.
    {"flac96.mp4", "flac", 96000, 2, 300001, {{"strict", "experimental"}}},
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
    QTest::addColumn<long long>("exactFrames");
    for (const Fixture& f : kFixtures) QTest::newRow(f.name) << QString(f.name) << (f.exact ? f.frames : -1LL);
}

void ProbeTest::durationMatchesDecodedLength() {
    // The slot on the timeline must match what decodes: the probe agrees with a full decode
    // to the sample, encoder delay and padding trimmed.
    QFETCH(QString, name);
    QFETCH(long long, exactFrames);
    const QString path = dir_.filePath(name);
    const ProbeResult r = probeFile(qstringToPath(path));
    QVERIFY2(SUCCEEDED(r.hr), qPrintable(r.detail));
    const Decoded d = decodeFile(path);
    QVERIFY(d.frames() > 0);
    const REFERENCE_TIME expected = av_rescale(exactFrames >= 0 ? exactFrames : d.frames(), kUnitsPerSecond, d.sampleRate);
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

namespace {

// Overwrites bytes at `offset` of a copy of `from`.
QString patched(const QString& from, const QString& to, std::size_t offset, const std::vector<unsigned char>& bytes) {
    std::vector<unsigned char> b = readBytes(from);
    if (offset + bytes.size() > b.size()) return {};
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(offset));
    return writeBytes(to, b) ? to : QString();
}

std::size_t find(const std::vector<unsigned char>& b, const std::vector<unsigned char>& what) {
    const auto it = std::search(b.begin(), b.end(), what.begin(), what.end());
    return it == b.end() ? std::string::npos : static_cast<std::size_t>(it - b.begin());
}

std::vector<unsigned char> bigEndian(unsigned long long v, int bytes) {
    std::vector<unsigned char> out;
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
    return out;
}

}  // namespace

void ProbeTest::claimsAreNotBelieved_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("source");
    const QString flac = dir_.filePath("s24.flac");
    const QString wav = dir_.filePath("s16.wav");
    const QString mkv = dir_.filePath("matroska.mkv");
    // FLAC STREAMINFO: 36 bits of total samples at bytes 21 to 25.
    auto flacTotal = [&](unsigned long long total) {
        std::vector<unsigned char> b = readBytes(flac);
        std::vector<unsigned char> t = bigEndian(total, 5);
        t[0] = static_cast<unsigned char>((b[21] & 0xF0) | (t[0] & 0x0F));
        return t;
    };
    QTest::newRow("FLAC claims 1 %") << patched(flac, dir_.filePath("few.flac"), 21, flacTotal(1000)) << flac;
    QTest::newRow("FLAC claims 100 times") << patched(flac, dir_.filePath("many.flac"), 21, flacTotal(10000100)) << flac;
    QTest::newRow("FLAC claims nothing") << patched(flac, dir_.filePath("none.flac"), 21, flacTotal(0)) << flac;
    // WAV fmt: block_align at 12 bytes into the chunk body; 16-bit stereo has 4.
    const std::size_t fmt = find(readBytes(wav), {'f', 'm', 't', ' '});
    QTest::newRow("WAV block_align 1") << patched(wav, dir_.filePath("ba1.wav"), fmt + 20, {1, 0}) << wav;
    QTest::newRow("WAV block_align 16") << patched(wav, dir_.filePath("ba16.wav"), fmt + 20, {16, 0}) << wav;
    // Matroska segment duration (a float in ms): 10^9 ms and 2^56 ms.
    const std::size_t dur = find(readBytes(mkv), {0x44, 0x89, 0x88});
    auto doubleBytes = [](double v) {
        unsigned long long u = 0;
        std::memcpy(&u, &v, sizeof u);
        return bigEndian(u, 8);
    };
    QTest::newRow("Matroska claims 1e9 ms")
        << patched(mkv, dir_.filePath("long1e9.mkv"), dur + 3, doubleBytes(1e9)) << mkv;
    QTest::newRow("Matroska claims 2^56 ms")
        << patched(mkv, dir_.filePath("long2p56.mkv"), dur + 3, doubleBytes(72057594037927936.0)) << mkv;
    // An APEv2 tag after the last MP3 frame is no frame.
    std::vector<unsigned char> mp3 = readBytes(dir_.filePath("lame.mp3"));
    const std::string item = std::string("\x05\0\0\0\0\0\0\0Title\0", 13) + "hello";
    auto apeHeader = [&](unsigned flags) {
        std::vector<unsigned char> h{'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0};
        const unsigned size = static_cast<unsigned>(item.size()) + 32;
        for (int i = 0; i < 4; ++i) h.push_back(static_cast<unsigned char>(size >> (8 * i)));
        h.insert(h.end(), {1, 0, 0, 0});
        for (int i = 0; i < 4; ++i) h.push_back(static_cast<unsigned char>(flags >> (8 * i)));
        h.resize(32, 0);
        return h;
    };
    for (unsigned char c : apeHeader(0xA0000000u)) mp3.push_back(c);
    mp3.insert(mp3.end(), item.begin(), item.end());
    for (unsigned char c : apeHeader(0x80000000u)) mp3.push_back(c);
    QVERIFY(writeBytes(dir_.filePath("ape.mp3"), mp3));
    QTest::newRow("APE tag after MP3") << dir_.filePath("ape.mp3") << dir_.filePath("lame.mp3");
}

void ProbeTest::claimsAreNotBelieved() {
    // Whatever a header or container claims, the length is what decodes: the same as the
    // honest file's.
    QFETCH(QString, file);
    QFETCH(QString, source);
    QVERIFY(!file.isEmpty());
    const ProbeResult r = probeFile(qstringToPath(file));
    QVERIFY2(SUCCEEDED(r.hr), qPrintable(r.detail));
    const Decoded d = decodeFile(file);
    QCOMPARE(r.duration, av_rescale(d.frames(), kUnitsPerSecond, d.sampleRate));
    QCOMPARE(r.duration, probeFile(qstringToPath(source)).duration);
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

void ProbeTest::endsAreWhatDecodes_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("parts");  // decoded one by one, when the file glues them
    // Copied from ADTS, with no edit list to state the priming.
    const QString noEdit = dir_.filePath("noedit.mp4");
    QVERIFY(remuxFile(dir_.filePath("long.aac"), noEdit).isEmpty());
    QTest::newRow("AAC in MP4 without edit list") << noEdit << QStringList();
    // An APE tag, then damaged frames: headers with noise behind them.
    std::vector<unsigned char> mp3 = readBytes(dir_.filePath("long.mp3"));
    const std::string tag = std::string("APETAGEX\xD0\x07\0\0\x20\0\0\0\0\0\0\0\0\0\0\x80", 24);
    mp3.insert(mp3.end(), tag.begin(), tag.end());
    mp3.resize(mp3.size() + 8, 0);
    std::uint32_t r = 12345;
    for (int k = 0; k < 4; ++k) {
        mp3.insert(mp3.end(), {0xFF, 0xFB, 0x90, 0x64});
        for (int i = 0; i < 413; ++i) mp3.push_back(static_cast<unsigned char>((r = r * 1664525u + 1013904223u) >> 24));
    }
    QVERIFY(writeBytes(dir_.filePath("garbage.mp3"), mp3));
    QTest::newRow("MP3 with APE tag and garbage") << dir_.filePath("garbage.mp3") << QStringList();
    // Raw AC-3 with noise between its frames and its last frame cut: the frames the probe
    // splits off itself must be the ones the demuxer gives the decoder.
    std::vector<unsigned char> ac3 = readBytes(dir_.filePath("ac3.ac3"));
    std::vector<unsigned char> noise(999);
    for (unsigned char& c : noise)
        c = static_cast<unsigned char>((r = r * 1664525u + 1013904223u) >> 24);
    noise[100] = 0x0B;  // a sync word with nothing valid behind it
    noise[101] = 0x77;
    ac3.insert(ac3.begin() + static_cast<std::ptrdiff_t>(ac3.size() / 3), noise.begin(),
               noise.end());
    ac3.resize(ac3.size() - 300);
    QVERIFY(writeBytes(dir_.filePath("noisy.ac3"), ac3));
    QTest::newRow("raw AC-3 with noise, cut short") << dir_.filePath("noisy.ac3") << QStringList();
    // A fast-start M4A whose download stopped: its index promises more than is there.
    const QString fast = dir_.filePath("faststart.m4a");
    QVERIFY(remuxFile(dir_.filePath("long.m4a"), fast, {{"movflags", "+faststart"}}).isEmpty());
    std::vector<unsigned char> cut = readBytes(fast);
    cut.resize(cut.size() * 7 / 10 + 333);
    QVERIFY(writeBytes(dir_.filePath("faststart-cut.m4a"), cut));
    QTest::newRow("fast-start M4A cut short") << dir_.filePath("faststart-cut.m4a") << QStringList();
    // Chained Ogg links, as `cat` makes them: each link's headers, priming and padding at
    // the seam; a link that repeats the serial number of the one before sends its headers
    // as packets.
    auto chain = [&](const QString& name, const QStringList& links) {
        std::vector<unsigned char> b;
        for (const QString& link : links) {
            const std::vector<unsigned char> part = readBytes(dir_.filePath(link));
            b.insert(b.end(), part.begin(), part.end());
        }
        return writeBytes(dir_.filePath(name), b) ? dir_.filePath(name) : QString();
    };
    QTest::newRow("chained Ogg Opus") << chain("chained.opus", {"long.opus", "opus.opus", "long.opus", "long.opus"})
                                      << QStringList();
    QTest::newRow("chained Ogg Vorbis") << chain("chained.ogg", {"long.ogg", "long.ogg"}) << QStringList();
    // A page whose checksum fails, which the demuxer drops, and one cut out.
    std::vector<unsigned char> ogg = readBytes(dir_.filePath("long.ogg"));
    ogg[ogg.size() / 2] ^= 0x55;
    QVERIFY(writeBytes(dir_.filePath("damaged.ogg"), ogg));
    QTest::newRow("Ogg Vorbis with a damaged page")
        << dir_.filePath("damaged.ogg") << QStringList();
    ogg.erase(ogg.begin() + static_cast<std::ptrdiff_t>(ogg.size() / 3),
              ogg.begin() + static_cast<std::ptrdiff_t>(ogg.size() / 3 + 2000));
    QVERIFY(writeBytes(dir_.filePath("holed.ogg"), ogg));
    QTest::newRow("Ogg Vorbis with a page missing") << dir_.filePath("holed.ogg") << QStringList();
    std::vector<unsigned char> opus = readBytes(dir_.filePath("long.opus"));
    opus[opus.size() / 2] ^= 0x55;
    QVERIFY(writeBytes(dir_.filePath("damaged.opus"), opus));
    QTest::newRow("Ogg Opus with a damaged page") << dir_.filePath("damaged.opus") << QStringList();
    opus.erase(opus.begin() + static_cast<std::ptrdiff_t>(opus.size() / 3),
               opus.begin() + static_cast<std::ptrdiff_t>(opus.size() / 3 + 2000));
    QVERIFY(writeBytes(dir_.filePath("holed.opus"), opus));
    QTest::newRow("Ogg Opus with a page missing") << dir_.filePath("holed.opus") << QStringList();
    // Monkey's Audio, whose only encoder on Debian is jmac (libjmac-java): frames of one
    // fixed length but the last, learnt from the decoder.
    EncodeOptions wav;
    wav.sampleRate = 8000;
    wav.channels = 1;
    wav.frames = 1200099;  // 17 frames, the last partial
    QVERIFY(encodeFile(dir_.filePath("ape.wav"), wav, sine(441.0)).isEmpty());
    QProcess jmac;
    jmac.start(QStringLiteral("jmac"), {QStringLiteral("c1"), dir_.filePath("ape.wav"), dir_.filePath("ape.ape")});
    QVERIFY2(jmac.waitForFinished(60000) && jmac.exitCode() == 0 && QFileInfo(dir_.filePath("ape.ape")).size() > 0,
             "jmac (Debian package libjmac-java) could not make an APE file");
    QTest::newRow("APE") << dir_.filePath("ape.ape") << QStringList();
    // WavPack whose middle is walked from block header to block header: a damaged header
    // ends what the demuxer reads, and so do noise and an APE tag at the end.
    std::vector<unsigned char> wv = readBytes(dir_.filePath("wavpack.wv"));
    std::vector<std::size_t> blocks;
    for (std::size_t i = 0; i + 4 <= wv.size(); ++i)
        if (std::memcmp(wv.data() + i, "wvpk", 4) == 0) blocks.push_back(i);
    QVERIFY(blocks.size() > 30);
    std::vector<unsigned char> damaged = wv;
    damaged[blocks[20] + 1] = 'x';
    QVERIFY(writeBytes(dir_.filePath("damaged.wv"), damaged));
    QTest::newRow("WavPack with a damaged block header")
        << dir_.filePath("damaged.wv") << QStringList();
    for (int i = 0; i < 3000; ++i)
        wv.push_back(static_cast<unsigned char>((r = r * 1664525u + 1013904223u) >> 24));
    wv.insert(wv.end(), tag.begin(), tag.end());
    wv.resize(wv.size() + 8, 0);
    QVERIFY(writeBytes(dir_.filePath("tagged.wv"), wv));
    QTest::newRow("WavPack with noise and an APE tag")
        << dir_.filePath("tagged.wv") << QStringList();
    // Two ADTS streams of different rates, one after the other.
    std::vector<unsigned char> glued = readBytes(dir_.filePath("long.aac"));
    const std::vector<unsigned char> second = readBytes(dir_.filePath("adts22.aac"));
    glued.insert(glued.end(), second.begin(), second.end());
    QVERIFY(writeBytes(dir_.filePath("glued.aac"), glued));
    QTest::newRow("ADTS of two rates glued")
        << dir_.filePath("glued.aac") << QStringList{dir_.filePath("long.aac"), dir_.filePath("adts22.aac")};
}

void ProbeTest::endsAreWhatDecodes() {
    // What the decoder adds or drops at either end, and the rate it decodes at, are what the
    // length is made of: the probe agrees with FFmpeg's full decode.
    QFETCH(QString, file);
    QFETCH(QStringList, parts);
    const ProbeResult r = probeFile(qstringToPath(file));
    QVERIFY2(SUCCEEDED(r.hr), qPrintable(r.detail));
    if (parts.isEmpty()) {
        const Decoded d = decodeFile(file);
        QVERIFY(d.frames() > 0);
        QCOMPARE(r.duration, av_rescale(d.frames(), kUnitsPerSecond, d.sampleRate));
        return;
    }
    REFERENCE_TIME whole = 0;
    for (const QString& part : parts) {
        const Decoded d = decodeFile(part);
        whole += av_rescale(d.frames(), kUnitsPerSecond, d.sampleRate);
    }
    // Where one stream gives way to the other, the decoder may keep or drop one frame.
    QVERIFY2(std::llabs(r.duration - whole) <= av_rescale(1024, kUnitsPerSecond, 22050),
             qPrintable(QStringLiteral("%1 vs %2").arg(r.duration).arg(whole)));
}

void ProbeTest::cutIndexIsAFailure_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<REFERENCE_TIME>("length");  // what the file states, or -1: refused
    std::vector<unsigned char> b = readBytes(dir_.filePath("long.m4a"));
    // The sample size table claims a quarter of its samples.
    std::vector<unsigned char> cut = b;
    const std::size_t stsz = find(cut, {'s', 't', 's', 'z'});
    QVERIFY(stsz != std::string::npos);
    const std::size_t countAt = stsz + 4 + 4 + 4;  // version and flags, sample size, count
    const unsigned count = (cut[countAt] << 24) | (cut[countAt + 1] << 16) | (cut[countAt + 2] << 8) | cut[countAt + 3];
    QVERIFY(count > 100);
    const std::vector<unsigned char> quarter = bigEndian(count / 4, 4);
    std::copy(quarter.begin(), quarter.end(), cut.begin() + static_cast<std::ptrdiff_t>(countAt));
    QVERIFY(writeBytes(dir_.filePath("cut-index.m4a"), cut));
    QTest::newRow("index cut to a quarter") << dir_.filePath("cut-index.m4a") << REFERENCE_TIME(-1);
    // The edit list ends the track after a third of its samples, on purpose: the table is whole.
    const std::size_t elst = find(b, {'e', 'l', 's', 't'});
    QVERIFY(elst != std::string::npos && b[elst + 4] == 0);  // version 0: 32-bit fields
    const std::size_t segmentAt = elst + 4 + 4 + 4;           // version and flags, entry count
    const unsigned segment = (b[segmentAt] << 24) | (b[segmentAt + 1] << 16) | (b[segmentAt + 2] << 8) | b[segmentAt + 3];
    const std::vector<unsigned char> third = bigEndian(segment / 3, 4);
    std::copy(third.begin(), third.end(), b.begin() + static_cast<std::ptrdiff_t>(segmentAt));
    QVERIFY(writeBytes(dir_.filePath("edited.m4a"), b));
    // In the movie's timescale, which long.m4a keeps at the muxer's millisecond default.
    QTest::newRow("edit list ends early") << dir_.filePath("edited.m4a")
                                          << REFERENCE_TIME(segment / 3) * (kUnitsPerSecond / 1000);
}

void ProbeTest::cutIndexIsAFailure() {
    // An index that stops short of the audio (cut for want of memory, or damaged) must not
    // pass for a shorter length; an edit list that ends the track early is no such index.
    QFETCH(QString, file);
    QFETCH(REFERENCE_TIME, length);
    const ProbeResult r = probeFile(qstringToPath(file));
    if (length < 0) {
        QVERIFY(FAILED(r.hr));
        QCOMPARE(r.detail, QStringLiteral("the file's index ends before its audio does"));
    } else {
        QVERIFY2(SUCCEEDED(r.hr), qPrintable(r.detail));
        // To the edit list's millisecond.
        QVERIFY2(std::llabs(r.duration - length) <= kUnitsPerSecond / 1000,
                 qPrintable(QStringLiteral("%1 vs %2").arg(r.duration).arg(length)));
    }
    // The whole file has no such complaint.
    QVERIFY(SUCCEEDED(probeFile(qstringToPath(dir_.filePath("long.m4a"))).hr));
}
