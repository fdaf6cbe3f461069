// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/media/MediaTests.h"

#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>

#include "media/PathCodec.h"
#include "media/graph/FilterGraph.h"
#include "media/graph/MediaType.h"
#include "media/wavfile/CueChunks.h"
#include "media/wavfile/FileWriterFilter.h"
#include "media/wavfile/WavHeader.h"
#include "media/wavfile/WaveMuxFilter.h"
#include "options/OutputFormat.h"
#include "tests/support/AudioFixture.h"

using namespace corvane;
using namespace corvane::media;

namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& h, std::size_t at) {
    return getLe32(&h[at]);
}
std::uint16_t le16(const std::vector<std::uint8_t>& h, std::size_t at) {
    return getLe16(&h[at]);
}
std::uint64_t le64(const std::vector<std::uint8_t>& h, std::size_t at) {
    return le32(h, at) | (static_cast<std::uint64_t>(le32(h, at + 4)) << 32);
}

// Hands the multiplexer PCM bytes as the render would.
class PcmSource : public Filter {
  public:
    explicit PcmSource(const WaveFormatEx& f) : format_(f) { out_ = addPin(PINDIR_OUTPUT, "out"); }
    std::optional<MediaType> proposedType(const Pin*) const override {
        return MediaType::pcm(format_);
    }
    HRESULT push(const std::vector<std::uint8_t>& b) {
        return deliver(out_, MediaSample{b.data(), b.size(), -1});
    }
    Pin* out_;
    WaveFormatEx format_;
};

// Source → "Wave Mux" → "Writer" into `out`, as the join connects them.
struct MuxRig {
    FilterGraph graph;
    PcmSource* src = nullptr;
    WaveMuxFilter* mux = nullptr;
    bool connected = false;

    MuxRig(const WaveFormatEx& f, const QString& out) {
        auto source = std::make_unique<PcmSource>(f);
        src = source.get();
        std::unique_ptr<WaveMuxFilter> m;
        std::unique_ptr<FileWriterFilter> writer;
        if (FAILED(WaveMuxFilter::Create(m)) || FAILED(FileWriterFilter::Create(writer))) return;
        mux = m.get();
        writer->SetFileName(toU16(out), nullptr);
        writer->SetMode(AM_FILE_OVERWRITE);
        std::vector<Pin*> muxPins, writerPins;
        m->EnumPins(muxPins);
        writer->EnumPins(writerPins);
        graph.AddFilter(std::move(source), "Source");
        graph.AddFilter(std::move(m), "Wave Mux");
        graph.AddFilter(std::move(writer), "Writer");
        connected = SUCCEEDED(graph.Connect(src->out_, muxPins[0])) &&
                    SUCCEEDED(graph.Connect(muxPins[1], writerPins[0]));
    }
};

// What ffprobe, a reader of its own, makes of a file: its stream, its tags, and the sample
// frames it decodes.
struct Probed {
    QJsonObject stream;
    QJsonObject tags;
    long long frames = 0;
};
Probed ffprobe(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
             QStringLiteral("stream=codec_name,sample_fmt,sample_rate,channels,channel_layout,"
                            "bits_per_sample:format_tags:frame=nb_samples"),
             QStringLiteral("-of"), QStringLiteral("json"), path});
    Probed r;
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return r;
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    r.stream = o.value(QStringLiteral("streams")).toArray().first().toObject();
    r.tags = o.value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
    for (const QJsonValue f : o.value(QStringLiteral("frames")).toArray())
        r.frames += f.toObject().value(QStringLiteral("nb_samples")).toInt();
    return r;
}

BroadcastExtension sampleBext() {
    BroadcastExtension b;
    b.description = "Scene 12, take 3";
    b.originator = "Field recorder";
    b.originatorReference = "FR0000123456";
    b.originationDate = "2026-05-06";
    b.originationTime = "10:11:12";
    b.timeReference = 0x1'2345'6789ull;  // needs the high word
    b.codingHistory = "A=PCM,F=96000,W=24,M=stereo,T=field\r\n";
    return b;
}

}  // namespace

void WavHeaderTest::fieldsForEveryOutputFormat_data() {
    QTest::addColumn<int>("rateIndex");
    QTest::addColumn<int>("channelsIndex");
    QTest::addColumn<int>("bitsIndex");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("bits");
    const int rates[] = {44100, 22050, 11025, 8000};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 2; ++c)
            for (int b = 0; b < 2; ++b)
                QTest::addRow("%d/%s/%d", rates[r], c ? "mono" : "stereo", b ? 8 : 16)
                    << r << c << b << rates[r] << (c ? 1 : 2) << (b ? 8 : 16);
    // Unknown rate positions fall back to 44100.
    QTest::addRow("rate index 9") << 9 << 0 << 0 << 44100 << 2 << 16;
    QTest::addRow("rate index -1") << -1 << 1 << 1 << 44100 << 1 << 8;
}

void WavHeaderTest::fieldsForEveryOutputFormat() {
    QFETCH(int, rateIndex);
    QFETCH(int, channelsIndex);
    QFETCH(int, bitsIndex);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, bits);
    const WaveFormatEx w = WaveFormatFromIndexes(rateIndex, channelsIndex, bitsIndex);
    QCOMPARE(int(w.nSamplesPerSec), rate);
    QCOMPARE(int(w.nChannels), channels);
    QCOMPARE(int(w.wBitsPerSample), bits);
    QCOMPARE(int(w.nBlockAlign), channels * bits / 8);
    QCOMPARE(int(w.nAvgBytesPerSec), rate * channels * bits / 8);
    QVERIFY(w.isSupportedPcm());
    // Described the same way when asked for by rate, channels and bits: the classic form.
    QCOMPARE(WaveFormatEx::pcm(rate, channels, bits), w);
    QCOMPARE(WaveFormatEx::pcm(rate, channels, bits, channels == 1 ? 0x4 : 0x3), w);
    QCOMPARE(w.toBytes().size(), WaveFormatEx::kSize);

    const std::uint64_t data = 12345 * w.nBlockAlign;
    // Both layouts carry the same fmt and data fields, 36 bytes apart.
    for (const auto layout : {WavHeader::Layout::Canonical, WavHeader::Layout::Reserved}) {
        const auto h = WavHeader(w, layout).build(data);
        const std::size_t at = layout == WavHeader::Layout::Canonical ? 0 : 36;
        QCOMPARE(h.size(), at ? WavHeader::kReservedSize : WavHeader::kCanonicalSize);
        QCOMPARE(std::string(h.begin(), h.begin() + 4), std::string("RIFF"));
        QCOMPARE(std::string(h.begin() + 8, h.begin() + 12), std::string("WAVE"));
        if (at) QCOMPARE(std::string(h.begin() + 12, h.begin() + 16), std::string("JUNK"));
        QCOMPARE(std::string(h.begin() + at + 12, h.begin() + at + 16), std::string("fmt "));
        QCOMPARE(le32(h, at + 16), 16u);
        QCOMPARE(le16(h, at + 20), std::uint16_t(1));
        QCOMPARE(int(le16(h, at + 22)), channels);
        QCOMPARE(int(le32(h, at + 24)), rate);
        QCOMPARE(le32(h, at + 28), w.nAvgBytesPerSec);
        QCOMPARE(le16(h, at + 32), w.nBlockAlign);
        QCOMPARE(int(le16(h, at + 34)), bits);
        QCOMPARE(std::string(h.begin() + at + 36, h.begin() + at + 40), std::string("data"));
        QCOMPARE(std::uint64_t(le32(h, at + 40)), data);
        // RIFF size: the whole file less its first 8 bytes, pad byte and chunks after the data
        // included.
        QCOMPARE(std::uint64_t(le32(h, 4)), h.size() - 8 + data + (data & 1));
        QCOMPARE(
            std::uint64_t(le32(WavHeader(w, layout).build(data, WavHeader::kMaxRiffSize, 30), 4)),
            h.size() - 8 + data + (data & 1) + 30);
    }
}

void WavHeaderTest::knownFormatsFromIndexes() {
    // 44100 stereo 16: block align 4, 176400 bytes a second; 8000 mono 8: 1 and 8000;
    // 11025 stereo 8: 2 and 22050.
    WaveFormatEx w = WaveFormatFromIndexes(0, 0, 0);
    QCOMPARE(int(w.nBlockAlign), 4);
    QCOMPARE(int(w.nAvgBytesPerSec), 176400);
    w = WaveFormatFromIndexes(3, 1, 1);
    QCOMPARE(int(w.nBlockAlign), 1);
    QCOMPARE(int(w.nAvgBytesPerSec), 8000);
    w = WaveFormatFromIndexes(2, 0, 1);
    QCOMPARE(int(w.nBlockAlign), 2);
    QCOMPARE(int(w.nAvgBytesPerSec), 22050);
}

void WavHeaderTest::oddDataCountsItsPadByte() {
    const WaveFormatEx w = WaveFormatFromIndexes(3, 1, 1);
    const auto h = WavHeader(w).build(7);
    QCOMPARE(le32(h, 40), 7u);
    QCOMPARE(std::uint64_t(le32(h, 4)), WavHeader::kCanonicalSize - 8 + 8);
}

void WavHeaderTest::layoutFollowsThePlan() {
    // The classic header while the plan is well inside 32 bits; the RF64 placeholder near them.
    const std::uint64_t limit = 16000;
    QCOMPARE(WavHeader::layoutFor(0, 0), WavHeader::Layout::Canonical);
    QCOMPARE(WavHeader::layoutFor(3'000'000'000ull, 0), WavHeader::Layout::Canonical);
    QCOMPARE(WavHeader::layoutFor(4'100'000'000ull, 0), WavHeader::Layout::Reserved);
    QCOMPARE(WavHeader::layoutFor(6'000'000'000ull, 0), WavHeader::Layout::Reserved);
    QCOMPARE(WavHeader::layoutFor(UINT64_MAX, 0), WavHeader::Layout::Reserved);
    // A sixteenth of the limit is kept for sources that decode longer; markers count too.
    const std::uint64_t edge = limit - limit / 16 - (WavHeader::kCanonicalSize - 8);
    QCOMPARE(WavHeader::layoutFor(edge, 0, limit), WavHeader::Layout::Canonical);
    QCOMPARE(WavHeader::layoutFor(edge + 2, 0, limit), WavHeader::Layout::Reserved);
    QCOMPARE(WavHeader::layoutFor(edge - 100, 100, limit), WavHeader::Layout::Canonical);
    QCOMPARE(WavHeader::layoutFor(edge - 100, 102, limit), WavHeader::Layout::Reserved);
    // The classic header never turns into RF64: it only states sizes that fit.
    const WaveFormatEx w = WaveFormatFromIndexes(0, 0, 0);
    const WavHeader canonical(w);
    QVERIFY(canonical.fits(limit - 36, limit));
    QVERIFY(!canonical.fits(limit - 36 + 4, limit));
    QVERIFY(!canonical.fits(limit - 36, limit, 2));
    QVERIFY(!canonical.needsRf64(limit * 2, limit));
    QVERIFY(!WavHeader(w).fits(0x1'0000'0000ull));
}

void WavHeaderTest::switchesToRf64PastTheLimit() {
    const WaveFormatEx w = WaveFormatFromIndexes(0, 0, 0);
    const WavHeader reserved(w, WavHeader::Layout::Reserved);
    const std::uint64_t limit = 1000;
    // Just inside the limit: still RIFF.
    const std::uint64_t fits = limit - (WavHeader::kReservedSize - 8);
    QVERIFY(!reserved.needsRf64(fits, limit));
    const auto inside = reserved.build(fits, limit);
    QCOMPARE(std::string(inside.begin(), inside.begin() + 4), std::string("RIFF"));
    // Chunks after the data count: with them the same data needs RF64.
    QVERIFY(reserved.needsRf64(fits, limit, 2));
    // One block more: RF64 with ds64 in place of JUNK and the 32-bit sizes all ones.
    const std::uint64_t data = fits + 4;
    const auto h = reserved.build(data, limit, 10);
    QCOMPARE(std::string(h.begin(), h.begin() + 4), std::string("RF64"));
    QCOMPARE(le32(h, 4), 0xFFFFFFFFu);
    QCOMPARE(std::string(h.begin() + 12, h.begin() + 16), std::string("ds64"));
    QCOMPARE(le32(h, 16), 28u);
    QCOMPARE(le64(h, 20), WavHeader::kReservedSize - 8 + data + 10);
    QCOMPARE(le64(h, 28), data);
    QCOMPARE(le64(h, 36), data / 4);
    QCOMPARE(le32(h, 76), 0xFFFFFFFFu);
    // The real limit: 4 GiB of data no longer fits 32 bits.
    QVERIFY(reserved.needsRf64(0xFFFFFFFFull));
    QVERIFY(!reserved.needsRf64(0xFFFFFFFFull - 80));
    const auto big = reserved.build(6'000'000'000ull);
    QCOMPARE(le64(big, 28), 6'000'000'000ull);
}

void WavHeaderTest::fileIsWholeAfterEveryHeaderUpdate() {
    // 8-bit mono, odd pieces: the header on disk must match the file after every update, its
    // pad byte included, and be there from the start (what a killed render leaves).
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("odd.wav"));
    const QString part = out + QStringLiteral(".part");
    WaveFormatEx f;
    f.nChannels = 1;
    f.nSamplesPerSec = 8000;
    f.nAvgBytesPerSec = 8000;
    f.nBlockAlign = 1;
    f.wBitsPerSample = 8;
    WaveMuxFilter::setHeaderInterval(std::chrono::milliseconds(0));
    MuxRig rig(f, out);
    QVERIFY(rig.connected);
    FilterGraph& graph = rig.graph;
    PcmSource* src = rig.src;
    QCOMPARE(graph.run(), S_OK);
    auto onDisk = [&] {
        QFile file(part);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QCOMPARE(onDisk().size(), qsizetype(WavHeader::kReservedSize));
    std::uint64_t data = 0;
    for (std::size_t piece : {1u, 2u, 1u, 3001u, 4u, 7u}) {
        QCOMPARE(src->push(std::vector<std::uint8_t>(piece, 0x90)), S_OK);
        data += piece;
        const QByteArray b = onDisk();
        const auto* p = reinterpret_cast<const std::uint8_t*>(b.constData());
        QCOMPARE(std::uint64_t(getLe32(p + 76)), data);
        QCOMPARE(std::uint64_t(getLe32(p + 4)) + 8, std::uint64_t(b.size()));
        QCOMPARE(std::uint64_t(b.size()), WavHeader::kReservedSize + data + (data & 1));
    }
    QVERIFY(!QFile::exists(out));  // replaced only when the render ends
    QCOMPARE(graph.stop(), S_OK);
    WaveMuxFilter::setHeaderInterval(std::chrono::seconds(1));
    QVERIFY(!QFile::exists(part));
    QFile done(out);
    QVERIFY(done.open(QIODevice::ReadOnly));
    QCOMPARE(std::uint64_t(done.size()), WavHeader::kReservedSize + data + (data & 1));
}

void WavHeaderTest::cueChunksArePaddedAndCounted() {
    // Labels of odd and even lengths (the NUL counts), one of them non-ASCII.
    const std::vector<CuePoint> points = {{0, "Intro"}, {44100, "Zwölf"}, {0xFFFFFFFFu, ""}};
    const std::vector<std::uint8_t> b = buildCueChunks(points);
    QCOMPARE(std::uint64_t(b.size()), cueChunksSize({"Intro", "Zwölf", ""}));
    QCOMPARE(b.size() % 2, std::size_t(0));
    QCOMPARE(std::string(b.begin(), b.begin() + 4), std::string("cue "));
    QCOMPARE(le32(b, 4), 4u + 24 * 3);
    QCOMPARE(le32(b, 8), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        const std::size_t c = 12 + 24 * i;
        QCOMPARE(le32(b, c), i + 1);
        QCOMPARE(le32(b, c + 4), points[i].frame);
        QCOMPARE(std::string(b.begin() + c + 8, b.begin() + c + 12), std::string("data"));
        QCOMPARE(le32(b, c + 20), points[i].frame);
    }
    std::size_t at = 12 + 24 * 3;
    QCOMPARE(std::string(b.begin() + at, b.begin() + at + 4), std::string("LIST"));
    QCOMPARE(std::size_t(le32(b, at + 4)), b.size() - at - 8);
    QCOMPARE(std::string(b.begin() + at + 8, b.begin() + at + 12), std::string("adtl"));
    at += 12;
    for (std::uint32_t i = 0; i < 3; ++i) {
        QCOMPARE(std::string(b.begin() + at, b.begin() + at + 4), std::string("labl"));
        const std::uint32_t size = le32(b, at + 4);
        QCOMPARE(std::size_t(size), 4 + points[i].label.size() + 1);
        QCOMPARE(le32(b, at + 8), i + 1);
        QCOMPARE(std::string(reinterpret_cast<const char*>(&b[at + 12])), points[i].label);
        at += 8 + size + (size & 1);
    }
    QCOMPARE(at, b.size());
    QVERIFY(buildCueChunks({}).empty());
    QCOMPARE(cueChunksSize({}), 0u);

    // Titles become one clean line.
    QCOMPARE(cleanLabel(QStringLiteral("  Side A\tpart\n2\r ")), QStringLiteral("Side A part 2"));
    QCOMPARE(cleanLabel(QString(300, QLatin1Char('x'))).size(), kMaxLabelLength);
    const QString emoji =
        QString(kMaxLabelLength - 1, QLatin1Char('y')) + QString::fromUtf8("\xF0\x9F\x8E\xB5");
    QCOMPARE(cleanLabel(emoji), QString(kMaxLabelLength - 1, QLatin1Char('y')));
}

void WavHeaderTest::extensibleFormatsReadBack_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("isFloat");
    QTest::addColumn<qint64>("mask");  // -1: the usual one for the count
    QTest::addColumn<uint>("expectedMask");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("sampleFormat");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<bool>("rf64");  // a lowered limit: the file is RF64
    QTest::addColumn<bool>("bext");
    auto row = [](const char* name, int rate, int ch, int bits, bool fl, qint64 mask, uint em,
                  const char* codec, const char* fmt, const char* layout, bool rf64, bool bext) {
        QTest::newRow(name) << rate << ch << bits << fl << mask << em << QString::fromLatin1(codec)
                            << QString::fromLatin1(fmt) << QString::fromLatin1(layout) << rf64
                            << bext;
    };
    row("24-bit stereo 96000", 96000, 2, 24, false, -1, 0x3, "pcm_s24le", "s32", "stereo", false,
        false);
    row("16-bit 5.1 48000", 48000, 6, 16, false, 0x3F, 0x3F, "pcm_s16le", "s16", "5.1", false,
        false);
    row("float stereo 44100", 44100, 2, 32, true, -1, 0x3, "pcm_f32le", "flt", "stereo", false,
        false);
    row("24-bit mono, odd data", 48000, 1, 24, false, -1, 0x4, "pcm_s24le", "s32", "mono", false,
        false);
    row("8-bit 3.0", 22050, 3, 8, false, -1, 0x7, "pcm_u8", "u8", "3.0", false, false);
    row("16-bit quad", 44100, 4, 16, false, -1, 0x33, "pcm_s16le", "s16", "quad", false, false);
    row("32-bit 5.0", 88200, 5, 32, false, -1, 0x37, "pcm_s32le", "s32", "5.0", false, false);
    row("24-bit 6.1", 48000, 7, 24, false, -1, 0x13F, "pcm_s24le", "s32", "6.1(back)", false,
        false);
    row("float 7.1 192000", 192000, 8, 32, true, -1, 0x63F, "pcm_f32le", "flt", "7.1", false,
        false);
    // A stereo pair that is not front left and right needs the mask, so the extensible form.
    row("16-bit side pair", 44100, 2, 16, false, 0x600, 0x600, "pcm_s16le", "s16",
        "2 channels (SL+SR)", false, false);
    row("float 5.1 as RF64", 48000, 6, 32, true, -1, 0x3F, "pcm_f32le", "flt", "5.1", true, false);
    row("24-bit stereo with bext", 96000, 2, 24, false, -1, 0x3, "pcm_s24le", "s32", "stereo",
        false, true);
    row("24-bit stereo with bext as RF64", 96000, 2, 24, false, -1, 0x3, "pcm_s24le", "s32",
        "stereo", true, true);
}

void WavHeaderTest::extensibleFormatsReadBack() {
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, bits);
    QFETCH(bool, isFloat);
    QFETCH(qint64, mask);
    QFETCH(uint, expectedMask);
    QFETCH(QString, codec);
    QFETCH(QString, sampleFormat);
    QFETCH(QString, layout);
    QFETCH(bool, rf64);
    QFETCH(bool, bext);
    const auto givenMask = mask < 0 ? std::nullopt : std::optional<std::uint32_t>(mask);
    const WaveFormatEx w = isFloat ? WaveFormatEx::ieeeFloat(rate, channels, givenMask)
                                   : WaveFormatEx::pcm(rate, channels, bits, givenMask);
    QCOMPARE(w.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    QCOMPARE(w.channelMask(), expectedMask);
    QCOMPARE(int(w.nBlockAlign), channels * bits / 8);
    QVERIFY(w.isSupportedFormat());
    QVERIFY(!w.isSupportedPcm());  // nothing before the multiplexer converts to it yet
    QCOMPARE(WaveFormatEx::fromBytes(w.toBytes()), std::optional<WaveFormatEx>(w));
    const MediaType type = MediaType::pcm(w);
    QCOMPARE(type.subtype, isFloat ? SubType::IEEE_FLOAT : SubType::PCM);

    // Odd frame counts; with 3-byte mono samples the data is odd and gets its pad byte.
    const long long frames = 1001;
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(frames) * w.nBlockAlign);
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < samples.size(); i += isFloat ? 4 : 1) {
        seed = seed * 1664525u + 1013904223u;
        if (isFloat) {
            const float v = static_cast<float>(static_cast<std::int32_t>(seed)) / 4.3e9f;
            std::memcpy(&samples[i], &v, 4);
        } else {
            samples[i] = static_cast<std::uint8_t>(seed >> 24);
        }
    }
    const BroadcastExtension b = sampleBext();
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("new.wav"));
    const std::uint64_t limit = rf64 ? 4000 : WavHeader::kMaxRiffSize;
    WaveMuxFilter::setRiffLimit(limit);
    {
        MuxRig rig(w, out);
        QVERIFY(rig.connected);
        // Without a plan the RF64 placeholder is kept; with one, the smaller header.
        if (!rf64) rig.mux->setPlannedDataBytes(samples.size());
        if (bext) rig.mux->setBroadcastExtension(b);
        QCOMPARE(rig.graph.run(), S_OK);
        const std::size_t half = samples.size() / 2 / w.nBlockAlign * w.nBlockAlign;
        QCOMPARE(rig.src->push({samples.begin(), samples.begin() + half}), S_OK);
        QCOMPARE(rig.src->push({samples.begin() + half, samples.end()}), S_OK);
        QCOMPARE(rig.graph.stop(), S_OK);
    }
    WaveMuxFilter::setRiffLimit(WavHeader::kMaxRiffSize);

    const std::vector<unsigned char> file = test::readBytes(out);
    const WavHeader header =
        rf64 ? WavHeader(w, WavHeader::Layout::Reserved, bext ? std::optional(b) : std::nullopt)
             : WavHeader::forPlan(w, samples.size(), 0, limit,
                                  bext ? std::optional(b) : std::nullopt);
    QCOMPARE(file.size(), header.size() + samples.size() + (samples.size() & 1));
    QCOMPARE(std::string(file.begin(), file.begin() + 4), std::string(rf64 ? "RF64" : "RIFF"));
    // fmt: 40 bytes, the record as it stands, after the RF64 reservation when there is one.
    const std::size_t fmt = rf64 ? 48 : 12;
    QCOMPARE(std::string(file.begin() + fmt, file.begin() + fmt + 4), std::string("fmt "));
    QCOMPARE(getLe32(&file[fmt + 4]), 40u);
    QCOMPARE(std::vector<std::uint8_t>(file.begin() + fmt + 8, file.begin() + fmt + 48),
             w.toBytes());
    std::size_t next = fmt + 48;
    if (isFloat) {
        QCOMPARE(std::string(file.begin() + next, file.begin() + next + 4), std::string("fact"));
        QCOMPARE(getLe32(&file[next + 8]), rf64 ? 0xFFFFFFFFu : std::uint32_t(frames));
        next += 12;
    }
    if (rf64) QCOMPARE(getLe64(&file[36]), std::uint64_t(frames));  // ds64 sample count
    if (bext) {
        QCOMPARE(std::string(file.begin() + next, file.begin() + next + 4), std::string("bext"));
        next += 8 + getLe32(&file[next + 4]) + (getLe32(&file[next + 4]) & 1);
        QCOMPARE(readBroadcastExtension(file), std::optional(b));
    }
    QCOMPARE(next + 8, header.size());
    QCOMPARE(std::string(file.begin() + next, file.begin() + next + 4), std::string("data"));
    QVERIFY(std::equal(samples.begin(), samples.end(), file.begin() + header.size()));

    const Probed p = ffprobe(out);
    QCOMPARE(p.stream.value(QStringLiteral("codec_name")).toString(), codec);
    QCOMPARE(p.stream.value(QStringLiteral("sample_fmt")).toString(), sampleFormat);
    QCOMPARE(p.stream.value(QStringLiteral("sample_rate")).toString().toInt(), rate);
    QCOMPARE(p.stream.value(QStringLiteral("channels")).toInt(), channels);
    QCOMPARE(p.stream.value(QStringLiteral("channel_layout")).toString(), layout);
    QCOMPARE(p.stream.value(QStringLiteral("bits_per_sample")).toInt(), bits);
    QCOMPARE(p.frames, frames);
    if (bext) {
        // FFmpeg names the fields after its own tags.
        QCOMPARE(p.tags.value(QStringLiteral("comment")).toString().toStdString(), b.description);
        QCOMPARE(p.tags.value(QStringLiteral("encoded_by")).toString().toStdString(), b.originator);
        QCOMPARE(p.tags.value(QStringLiteral("originator_reference")).toString().toStdString(),
                 b.originatorReference);
        QCOMPARE(p.tags.value(QStringLiteral("date")).toString().toStdString(), b.originationDate);
        QCOMPARE(p.tags.value(QStringLiteral("creation_time")).toString().toStdString(),
                 b.originationTime);
        QCOMPARE(p.tags.value(QStringLiteral("time_reference")).toString().toULongLong(),
                 quint64(b.timeReference));
    }
}

void WavHeaderTest::extensibleFormatsAreChecked() {
    const WaveFormatEx good = WaveFormatEx::pcm(48000, 6, 24);
    QVERIFY(good.isSupportedFormat());
    auto broken = [&](auto change) {
        WaveFormatEx w = good;
        change(w);
        return !w.isSupportedFormat();
    };
    QVERIFY(broken([](WaveFormatEx& w) { w.dwChannelMask = 0x7F; }));  // 7 speakers, 6 channels
    QVERIFY(broken([](WaveFormatEx& w) { w.dwChannelMask = 0x80000003; }));
    QVERIFY(broken([](WaveFormatEx& w) { w.wValidBitsPerSample = 25; }));
    QVERIFY(broken([](WaveFormatEx& w) { w.wBitsPerSample = 20; }));
    QVERIFY(broken([](WaveFormatEx& w) { w.nBlockAlign = 12; }));
    QVERIFY(broken([](WaveFormatEx& w) { w.nAvgBytesPerSec += 1; }));
    QVERIFY(broken([](WaveFormatEx& w) { w.cbSize = 0; }));
    QVERIFY(broken([](WaveFormatEx& w) { w.subFormat = 2; }));                       // ADPCM
    QVERIFY(broken([](WaveFormatEx& w) { w.subFormat = WAVE_FORMAT_IEEE_FLOAT; }));  // 24-bit float
    QVERIFY(!WaveFormatEx::pcm(48000, 9, 16).isSupportedFormat());
    QVERIFY(!WaveFormatEx::pcm(2'000'000, 2, 24).isSupportedFormat());
    // Fewer speakers than channels is allowed (the rest feed none), as is no mask at all.
    QVERIFY(WaveFormatEx::pcm(48000, 6, 16, 0x3).isSupportedFormat());
    QVERIFY(WaveFormatEx::pcm(48000, 6, 16, 0).isSupportedFormat());
    // A sub-format GUID that is not built on a format tag is not taken for one.
    std::vector<std::uint8_t> bytes = good.toBytes();
    bytes[39] ^= 1;
    QCOMPARE(WaveFormatEx::fromBytes(bytes)->subFormat, std::uint16_t(0));
    // The multiplexer takes the new formats, and no type that contradicts its format block.
    WaveMuxFilter mux;
    std::vector<Pin*> pins;
    mux.EnumPins(pins);
    QVERIFY(mux.acceptsType(pins[0], MediaType::pcm(WaveFormatEx::ieeeFloat(96000, 2))));
    MediaType mislabelled = MediaType::pcm(WaveFormatEx::ieeeFloat(96000, 2));
    mislabelled.subtype = SubType::PCM;
    QVERIFY(!mux.acceptsType(pins[0], mislabelled));
}

void WavHeaderTest::planKeepsRoomForLargerHeaders() {
    // The sixteenth to spare is counted beyond the whole header, however large it grows.
    const std::uint64_t limit = 16000;
    for (const bool withBext : {false, true}) {
        const auto bext = withBext ? std::optional(sampleBext()) : std::nullopt;
        const WaveFormatEx w = WaveFormatEx::ieeeFloat(48000, 6);
        const std::size_t headerSize = WavHeader(w, WavHeader::Layout::Canonical, bext).size();
        QCOMPARE(headerSize, withBext ? 80u + 8 + 640 : 80u);
        QCOMPARE(WavHeader(w, WavHeader::Layout::Reserved, bext).size(), headerSize + 36);
        const std::uint64_t edge = limit - limit / 16 - (headerSize - 8);
        QCOMPARE(WavHeader::forPlan(w, edge, 0, limit, bext).layout(),
                 WavHeader::Layout::Canonical);
        QCOMPARE(WavHeader::forPlan(w, edge + 2, 0, limit, bext).layout(),
                 WavHeader::Layout::Reserved);
        QCOMPARE(WavHeader::forPlan(w, edge - 100, 102, limit, bext).layout(),
                 WavHeader::Layout::Reserved);
        // Once chosen, the smaller header states no more than 32 bits can hold.
        const WavHeader canonical(w, WavHeader::Layout::Canonical, bext);
        QVERIFY(canonical.fits(limit - (headerSize - 8), limit));
        QVERIFY(!canonical.fits(limit - (headerSize - 8) + 24, limit));
    }
    // At the user's scale: 96 kHz, 24 bits, 6 channels for 35 minutes stays RIFF, 40 do not.
    const WaveFormatEx hires = WaveFormatEx::pcm(96000, 6, 24);
    QCOMPARE(WavHeader::forPlan(hires, 35ull * 60 * hires.nAvgBytesPerSec, 0).layout(),
             WavHeader::Layout::Canonical);
    QCOMPARE(WavHeader::forPlan(hires, 40ull * 60 * hires.nAvgBytesPerSec, 0).layout(),
             WavHeader::Layout::Reserved);
}

void WavHeaderTest::broadcastExtensionRoundTrips() {
    BroadcastExtension b = sampleBext();
    // 255 bytes, then a character of two that does not fit the 256 of the field.
    b.description = std::string(255, 'd') + "\xC3\xA9tude";
    b.originator = std::string(40, 'o');
    const std::vector<std::uint8_t> chunk = b.toChunk();
    QCOMPARE(std::string(chunk.begin(), chunk.begin() + 4), std::string("bext"));
    const std::uint32_t body = getLe32(&chunk[4]);
    // The odd history ends in a NUL inside the chunk: no pad byte for readers to step over.
    QCOMPARE(b.codingHistory.size() % 2, 1u);
    QCOMPARE(std::size_t(body), BroadcastExtension::kFixedSize + b.codingHistory.size() + 1);
    QCOMPARE(chunk.size(), 8 + std::size_t(body));
    QCOMPARE(chunk.back(), std::uint8_t(0));
    QCOMPARE(getLe16(&chunk[8 + 346]), std::uint16_t(1));  // version
    QVERIFY(std::all_of(chunk.begin() + 8 + 348, chunk.begin() + 8 + 602,
                        [](std::uint8_t c) { return c == 0; }));  // no UMID, no loudness
    const auto back = BroadcastExtension::fromBody({chunk.data() + 8, body});
    QVERIFY(back);
    QCOMPARE(back->description, std::string(255, 'd'));
    QCOMPARE(back->originator, std::string(32, 'o'));
    QCOMPARE(back->originatorReference, b.originatorReference);
    QCOMPARE(back->originationDate, b.originationDate);
    QCOMPARE(back->originationTime, b.originationTime);
    QCOMPARE(back->timeReference, b.timeReference);
    QCOMPARE(back->codingHistory, b.codingHistory);
    // Old, short chunks: the time reference is what is needed.
    QVERIFY(!BroadcastExtension::fromBody({chunk.data() + 8, 345}));
    const auto shortOne = BroadcastExtension::fromBody({chunk.data() + 8, 346});
    QVERIFY(shortOne);
    QCOMPARE(shortOne->timeReference, b.timeReference);
    QVERIFY(shortOne->codingHistory.empty());
}

void WavHeaderTest::broadcastExtensionIsFoundInOtherFiles() {
    QTemporaryDir dir;
    // Written by FFmpeg's muxer with an INFO comment and date too, as recorders do: FFmpeg's
    // own reader then reports those in place of the description and date.
    const QString recorded = dir.filePath(QStringLiteral("recorded.wav"));
    test::EncodeOptions opts;
    opts.encoder = "pcm_s24le";
    opts.sampleRate = 48000;
    opts.frames = 4800;
    opts.muxerOptions = {{"write_bext", "1"}};
    opts.metadata = {{"description", "Scene 12, take 3"},
                     {"originator", "Field recorder"},
                     {"originator_reference", "FR0000123456"},
                     {"origination_date", "2026-05-06"},
                     {"origination_time", "10:11:12"},
                     {"time_reference", "4886718345"},
                     {"coding_history", "A=PCM,F=48000,W=24,M=stereo\r\n"},
                     {"comment", "An INFO comment"},
                     {"date", "1999-01-01"}};
    QCOMPARE(test::encodeFile(recorded, opts, test::sine(440)), QString());
    const int fd = ::open(QFile::encodeName(recorded).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const auto fromFile = readBroadcastExtension(fd);
    ::close(fd);
    QVERIFY(fromFile);
    QCOMPARE(fromFile->description, std::string("Scene 12, take 3"));
    QCOMPARE(fromFile->originator, std::string("Field recorder"));
    QCOMPARE(fromFile->originatorReference, std::string("FR0000123456"));
    QCOMPARE(fromFile->originationDate, std::string("2026-05-06"));
    QCOMPARE(fromFile->originationTime, std::string("10:11:12"));
    QCOMPARE(fromFile->timeReference, 4886718345ull);
    QCOMPARE(fromFile->codingHistory, std::string("A=PCM,F=48000,W=24,M=stereo\r\n"));
    QCOMPARE(readBroadcastExtension(test::readBytes(recorded)), fromFile);

    // RF64 with the chunk after a data chunk whose size only ds64 states, an odd chunk
    // (with its pad byte) before it.
    const BroadcastExtension b = sampleBext();
    const std::vector<std::uint8_t> chunk = b.toChunk();
    std::vector<std::uint8_t> rf64 = {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A',
                                      'V', 'E', 'd', 's', '6',  '4',  28,   0,    0,   0};
    rf64.resize(rf64.size() + 28, 0);
    putLe64(&rf64[28], 10);  // data size
    for (const char* c : {"data"}) rf64.insert(rf64.end(), c, c + 4);
    rf64.insert(rf64.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    rf64.resize(rf64.size() + 10, 0x55);
    rf64.insert(rf64.end(), {'o', 'd', 'd', ' ', 3, 0, 0, 0, 1, 2, 3, 0});
    rf64.insert(rf64.end(), chunk.begin(), chunk.end());
    QCOMPARE(readBroadcastExtension(rf64), std::optional(b));

    // What is no such chunk, or no such file, gives nothing and reads nothing beyond itself.
    QVERIFY(!readBroadcastExtension(std::vector<std::uint8_t>{}));
    std::vector<std::uint8_t> wrong = rf64;
    wrong[8] = 'X';  // not WAVE
    QVERIFY(!readBroadcastExtension(wrong));
    wrong = rf64;
    putLe64(&wrong[28], 1ull << 40);  // the data runs past the end
    QVERIFY(!readBroadcastExtension(wrong));
    wrong = rf64;
    putLe64(&wrong[28], ~0ull - 20);  // sizes that wrap around
    QVERIFY(!readBroadcastExtension(wrong));
    wrong = rf64;
    putLe32(&wrong[wrong.size() - chunk.size() + 4], 0x7FFFFFFF);  // an absurd bext
    QVERIFY(!readBroadcastExtension(wrong));
    wrong.assign(rf64.begin(), rf64.end() - chunk.size() + 300);  // cut inside the chunk
    QVERIFY(!readBroadcastExtension(wrong));
    const QString plain = dir.filePath(QStringLiteral("plain.wav"));
    opts.muxerOptions.clear();
    QCOMPARE(test::encodeFile(plain, opts, test::sine(440)), QString());
    QVERIFY(!readBroadcastExtension(test::readBytes(plain)));
}

void WavHeaderTest::timeReferenceFollowsTheRate() {
    // One hour past midnight at 44100 is one hour at 48000; halves round away from zero.
    QCOMPARE(convertTimeReference(3600ull * 44100, 44100, 48000), 3600ull * 48000);
    QCOMPARE(convertTimeReference(1000, 44100, 48000), 1088ull);  // 1088.4
    QCOMPARE(convertTimeReference(3, 96000, 48000), 2ull);        // 1.5
    QCOMPARE(convertTimeReference(1, 96000, 48000), 1ull);        // 0.5
    QCOMPARE(convertTimeReference(4886718345ull, 48000, 48000), 4886718345ull);
    // A day at 192000 Hz needs more than 32 bits, and no intermediate overflows.
    QCOMPARE(convertTimeReference(86400ull * 44100, 44100, 192000), 86400ull * 192000);
    QCOMPARE(convertTimeReference(1ull << 62, 8000, 8000 * 4), std::uint64_t(INT64_MAX));
    QCOMPARE(convertTimeReference(~0ull, 48000, 48000), ~0ull);
}
