#include "tests/media/MediaTests.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "media/wavfile/FileWriterFilter.h"
#include "media/graph/FilterGraph.h"
#include "media/wavfile/CueChunks.h"
#include "media/graph/MediaType.h"
#include "media/PathCodec.h"
#include "media/wavfile/WavHeader.h"
#include "media/wavfile/WaveMuxFilter.h"
#include "options/OutputFormat.h"

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
    QTest::addRow("rate index 7") << 7 << 0 << 0 << 44100 << 2 << 16;
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
    FilterGraph graph;
    auto source = std::make_unique<PcmSource>(f);
    PcmSource* src = source.get();
    std::unique_ptr<WaveMuxFilter> mux;
    std::unique_ptr<FileWriterFilter> writer;
    QCOMPARE(WaveMuxFilter::Create(mux), S_OK);
    QCOMPARE(FileWriterFilter::Create(writer), S_OK);
    QCOMPARE(writer->SetFileName(toU16(out), nullptr), S_OK);
    writer->SetMode(AM_FILE_OVERWRITE);
    Pin* muxIn = nullptr;
    Pin* muxOut = nullptr;
    Pin* writerIn = nullptr;
    std::vector<Pin*> pins;
    mux->EnumPins(pins);
    muxIn = pins[0];
    muxOut = pins[1];
    pins.clear();
    writer->EnumPins(pins);
    writerIn = pins[0];
    QCOMPARE(graph.AddFilter(std::move(source), "Source"), S_OK);
    QCOMPARE(graph.AddFilter(std::move(mux), "Wave Mux"), S_OK);
    QCOMPARE(graph.AddFilter(std::move(writer), "Writer"), S_OK);
    QCOMPARE(graph.Connect(src->out_, muxIn), S_OK);
    QCOMPARE(graph.Connect(muxOut, writerIn), S_OK);
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
