// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/decoders/SampleConverter.h"
#include "media/graph/Crossfade.h"

Q_DECLARE_METATYPE(corvane::media::WaveFormatEx)
#include "options/OutputFormat.h"
#include "tests/media/MediaTests.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

using namespace corvane;
using namespace corvane::media;

namespace {

// A frame of `n` samples per channel, value(channel, i) in [-1, 1], in the given format.
struct TestFrame {
    AVFrame* f = av_frame_alloc();
    TestFrame(int rate, int channels, AVSampleFormat fmt, int n, const std::function<double(int, int)>& value) {
        f->sample_rate = rate;
        f->format = fmt;
        f->nb_samples = n;
        av_channel_layout_default(&f->ch_layout, channels);
        av_frame_get_buffer(f, 0);
        const bool planar = av_sample_fmt_is_planar(fmt);
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < n; ++i) {
                const double v = value(c, i);
                const int plane = planar ? c : 0;
                const int at = planar ? i : i * channels + c;
                switch (av_get_packed_sample_fmt(fmt)) {
                    case AV_SAMPLE_FMT_S16:
                        reinterpret_cast<int16_t*>(f->extended_data[plane])[at] =
                            static_cast<int16_t>(std::lround(v * 32767));
                        break;
                    case AV_SAMPLE_FMT_U8:
                        f->extended_data[plane][at] = static_cast<uint8_t>(std::lround(v * 127) + 128);
                        break;
                    case AV_SAMPLE_FMT_FLT:
                        reinterpret_cast<float*>(f->extended_data[plane])[at] = static_cast<float>(v);
                        break;
                    default:
                        break;
                }
            }
    }
    ~TestFrame() { av_frame_free(&f); }
};

std::vector<int> samples16(const PcmBytes& pcm) {
    std::vector<int> s(pcm.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    return s;
}

PcmBytes convertAll(const WaveFormatEx& out, std::initializer_list<const AVFrame*> frames, std::uint32_t seed = 1) {
    SampleConverter c(out, seed);
    PcmBytes pcm;
    for (const AVFrame* f : frames) {
        if (FAILED(c.convert(f, pcm))) return {};
    }
    c.drain(pcm);
    return pcm;
}

}  // namespace

void ConverterTest::monoIsDuplicatedAndStereoAveraged() {
    TestFrame mono(44100, 1, AV_SAMPLE_FMT_S16, 100, [](int, int i) { return (i % 20 - 10) / 20.0; });
    auto s = samples16(convertAll(WaveFormatFromIndexes(0, 0, 0), {mono.f}));
    QCOMPARE(s.size(), std::size_t(200));
    for (int i = 0; i < 100; ++i) {
        // At full level on both sides.
        QCOMPARE(s[2 * i], s[2 * i + 1]);
        QCOMPARE(s[2 * i], static_cast<int>(std::lround((i % 20 - 10) / 20.0 * 32767)));
    }
    TestFrame stereo(44100, 2, AV_SAMPLE_FMT_FLTP, 100, [](int c, int) { return c == 0 ? 0.5 : -0.1; });
    s = samples16(convertAll(WaveFormatFromIndexes(0, 1, 0), {stereo.f}));
    QCOMPARE(s.size(), std::size_t(100));
    for (int v : s) QVERIFY2(std::abs(v - 6554) <= 1, qPrintable(QString::number(v)));  // (0.5-0.1)/2
}

void ConverterTest::exactInputIsNotDithered() {
    // 16-bit input at the output's rate and width comes out bit for bit.
    TestFrame in(22050, 2, AV_SAMPLE_FMT_S16, 500, [](int c, int i) { return std::sin(i * 0.01 + c) * 0.9; });
    const auto s = samples16(convertAll(WaveFormatFromIndexes(1, 0, 0), {in.f}));
    const auto* src = reinterpret_cast<const int16_t*>(in.f->data[0]);
    QCOMPARE(s.size(), std::size_t(1000));
    for (std::size_t i = 0; i < s.size(); ++i) QCOMPARE(s[i], int(src[i]));

    // A gain changes every sample: never the exact path, and the loss of precision is dithered.
    SampleConverter halved(WaveFormatFromIndexes(1, 0, 0), 1);
    halved.setGain(0.5f);
    PcmBytes pcm;
    QVERIFY(SUCCEEDED(halved.convert(in.f, pcm)));
    QVERIFY(SUCCEEDED(halved.drain(pcm)));
    const auto h = samples16(pcm);
    QCOMPARE(h.size(), std::size_t(1000));
    int dithered = 0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        QVERIFY(std::abs(h[i] - src[i] / 2.0) <= 1.5);
        dithered += h[i] * 2 != src[i] && h[i] * 2 + 1 != src[i];
    }
    QVERIFY(dithered > 100);
}

void ConverterTest::ditherIsRepeatableAndSmall() {
    TestFrame in(48000, 2, AV_SAMPLE_FMT_FLT, 4800, [](int, int i) { return 0.25 * std::sin(i * 0.05); });
    const WaveFormatEx out = WaveFormatFromIndexes(0, 0, 0);
    const auto a = convertAll(out, {in.f}, 7);
    const auto b = convertAll(out, {in.f}, 7);
    QCOMPARE(a, b);  // the same join gives the same bytes
    const auto c = convertAll(out, {in.f}, 8);
    QVERIFY(a != c);  // and the noise really is there
    // Resampled 48000 -> 44100: 4410 frames, close to the ideal sine.
    const auto s = samples16(a);
    QCOMPARE(s.size(), std::size_t(4410 * 2));
    double worst = 0;
    for (int i = 50; i < 4360; ++i) {
        const double ideal = 0.25 * std::sin(i * 48000.0 / 44100.0 * 0.05) * 32768;
        worst = std::max(worst, std::abs(s[2 * i] - ideal));
    }
    QVERIFY2(worst < 4.0, qPrintable(QString::number(worst)));
}

void ConverterTest::eightBitIsUnsigned() {
    TestFrame silence(8000, 1, AV_SAMPLE_FMT_S16, 400, [](int, int) { return 0.0; });
    const auto pcm = convertAll(WaveFormatFromIndexes(3, 1, 1), {silence.f});
    QCOMPARE(pcm.size(), std::size_t(400));
    for (auto v : pcm) QVERIFY(v >= 127 && v <= 129);  // 128 with dither
    TestFrame loud(8000, 1, AV_SAMPLE_FMT_FLT, 10, [](int, int) { return 2.0; });
    const auto clipped = convertAll(WaveFormatFromIndexes(3, 1, 1), {loud.f});
    for (auto v : clipped) QCOMPARE(int(v), 255);
}

void ConverterTest::wideLayoutsMixDownWithoutClipping() {
    for (int channels : {6, 8, 3, 16}) {
        TestFrame in(44100, channels, AV_SAMPLE_FMT_FLTP, 2000, [](int, int i) { return 0.99 * std::sin(i * 0.03); });
        for (int outIndex : {0, 1}) {
            const auto s = samples16(convertAll(WaveFormatFromIndexes(0, outIndex, 0), {in.f}));
            QVERIFY2(!s.empty(), qPrintable(QString::number(channels)));
            int peak = 0;
            for (int v : s) peak = std::max(peak, std::abs(v));
            QVERIFY2(peak < 32767, qPrintable(QStringLiteral("%1 ch peak %2").arg(channels).arg(peak)));
            QVERIFY2(peak > 3000, qPrintable(QStringLiteral("%1 ch peak %2").arg(channels).arg(peak)));
        }
    }
}

void ConverterTest::formatChangeMidStreamKeepsConverting() {
    // 1 s at 44100 mono, then 1 s at 22050 stereo, then 1 s at 48000 mono float.
    TestFrame a(44100, 1, AV_SAMPLE_FMT_S16, 44100, [](int, int i) { return 0.5 * std::sin(i * 0.02); });
    TestFrame b(22050, 2, AV_SAMPLE_FMT_S16P, 22050, [](int, int i) { return 0.5 * std::sin(i * 0.04); });
    TestFrame c(48000, 1, AV_SAMPLE_FMT_FLT, 48000, [](int, int i) { return 0.5 * std::sin(i * 0.02); });
    const auto s = samples16(convertAll(WaveFormatFromIndexes(0, 0, 0), {a.f, b.f, c.f}));
    const long frames = static_cast<long>(s.size() / 2);
    QVERIFY2(std::abs(frames - 3 * 44100) <= 64, qPrintable(QString::number(frames)));
    // Every second carries sound.
    for (int sec = 0; sec < 3; ++sec) {
        int peak = 0;
        for (long i = sec * 44100 + 1000; i < (sec + 1) * 44100 - 1000 && i < frames; ++i)
            peak = std::max(peak, std::abs(s[2 * i]));
        QVERIFY2(peak > 10000, qPrintable(QString::number(sec)));
    }
}

void ConverterTest::nanBecomesSilence() {
    TestFrame in(44100, 1, AV_SAMPLE_FMT_FLT, 64, [](int, int i) { return i % 2 ? std::nan("") : 0.0; });
    const auto s = samples16(convertAll(WaveFormatFromIndexes(0, 1, 0), {in.f}));
    QCOMPARE(s.size(), std::size_t(64));
    for (int v : s) QVERIFY(std::abs(v) <= 1);
}

void ConverterTest::unnamedChannelsKeepTheirPlaces() {
    // Four channels of no stated meaning into a four-channel file: FFmpeg's usual 4-channel
    // layout is not the WAV file's, and no remix may follow from that, copied or resampled.
    TestFrame in(44100, 4, AV_SAMPLE_FMT_S16, 4000, [](int c, int) { return 0.2 * (c + 1); });
    in.f->ch_layout.order = AV_CHANNEL_ORDER_UNSPEC;
    for (std::uint32_t rate : {44100u, 48000u}) {
        const auto s = samples16(convertAll(WaveFormatEx::pcm(rate, 4, 16), {in.f}));
        QVERIFY(s.size() > 4 * 3000);
        for (int c = 0; c < 4; ++c)
            QVERIFY2(std::abs(s[4 * 2000 + c] - std::lround(0.2 * (c + 1) * 32767)) <= 2,
                     qPrintable(QStringLiteral("%1 Hz, channel %2: %3").arg(rate).arg(c).arg(s[4 * 2000 + c])));
    }
}

namespace {

// A sample value in [-1, 1] as the format stores it, and back.
void putSample(const WaveFormatEx& f, std::uint8_t* p, double v) {
    const int bytes = f.nBlockAlign / f.nChannels;
    if (f.isFloat()) {
        const auto s = static_cast<float>(v);
        std::memcpy(p, &s, 4);
        return;
    }
    const double scale = std::ldexp(1.0, bytes * 8 - 1);
    const auto s = static_cast<long long>(std::clamp(std::llround(v * scale), -static_cast<long long>(scale),
                                                     static_cast<long long>(scale) - 1));
    const auto u = static_cast<unsigned long long>(bytes == 1 ? s + 128 : s);
    for (int b = 0; b < bytes; ++b) p[b] = static_cast<std::uint8_t>(u >> (8 * b));
}

double getSample(const WaveFormatEx& f, const std::uint8_t* p) {
    const int bytes = f.nBlockAlign / f.nChannels;
    if (f.isFloat()) {
        float s;
        std::memcpy(&s, p, 4);
        return s;
    }
    unsigned long long u = 0;
    for (int b = 0; b < bytes; ++b) u |= static_cast<unsigned long long>(p[b]) << (8 * b);
    long long s = bytes == 1 ? static_cast<long long>(u) - 128 : static_cast<long long>(u << (64 - 8 * bytes)) >> (64 - 8 * bytes);
    return static_cast<double>(s) / std::ldexp(1.0, bytes * 8 - 1);
}

std::vector<std::uint8_t> filled(const WaveFormatEx& f, std::int64_t frames, const std::function<double(std::int64_t, int)>& v) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(frames) * f.nBlockAlign);
    const int bytes = f.nBlockAlign / f.nChannels;
    for (std::int64_t n = 0; n < frames; ++n)
        for (int c = 0; c < f.nChannels; ++c) putSample(f, b.data() + n * f.nBlockAlign + c * bytes, v(n, c));
    return b;
}

}  // namespace

void ConverterTest::crossfadeMixesEveryFormat_data() {
    QTest::addColumn<WaveFormatEx>("format");
    QTest::newRow("u8 mono") << WaveFormatEx::pcm(8000, 1, 8);
    QTest::newRow("s16 stereo") << WaveFormatEx::pcm(44100, 2, 16);
    QTest::newRow("s24 5.1") << WaveFormatEx::pcm(96000, 6, 24);
    QTest::newRow("s32 7.1") << WaveFormatEx::pcm(48000, 8, 32);
    QTest::newRow("float stereo") << WaveFormatEx::ieeeFloat(192000, 2);
}

void ConverterTest::crossfadeMixesEveryFormat() {
    QFETCH(WaveFormatEx, format);
    QVERIFY(format.isSupportedFormat());
    const int bytes = format.nBlockAlign / format.nChannels;
    const double lsb = format.isFloat() ? 1e-6 : std::ldexp(1.0, 1 - bytes * 8);
    constexpr std::int64_t kLength = 101;
    // One signal on both sides of a linear fade: it passes unchanged, to the last bit.
    const auto wave = [](std::int64_t n, int c) { return 0.9 * std::sin(0.05 * static_cast<double>(n) + c); };
    const std::vector<std::uint8_t> from = filled(format, kLength, wave);
    std::vector<std::uint8_t> into = from;
    Crossfade::mix(format, Seam::Curve::Linear, from.data(), into.data(), kLength, 0, kLength);
    for (std::size_t i = 0; i < into.size(); i += bytes)
        QVERIFY2(std::abs(getSample(format, into.data() + i) - getSample(format, from.data() + i)) <= lsb,
                 qPrintable(QString::number(i)));

    // Two full-scale signals in phase under equal power add to √2 in the middle: integers
    // clamp at their top instead of wrapping round; float keeps the value.
    const auto top = [](std::int64_t, int) { return 1.0; };
    const std::vector<std::uint8_t> loud = filled(format, kLength, top);
    std::vector<std::uint8_t> sum = loud;
    Crossfade::mix(format, Seam::Curve::EqualPower, loud.data(), sum.data(), kLength, 0, kLength);
    const double middle = getSample(format, sum.data() + (kLength / 2) * format.nBlockAlign);
    if (format.isFloat())
        QVERIFY(std::abs(middle - std::sqrt(2.0)) < 1e-3);
    else
        QCOMPARE(middle, 1.0 - lsb);
    // The gains at the edges: the fade starts near the old side and ends near the new one.
    const std::vector<std::uint8_t> zeros = filled(format, kLength, [](std::int64_t, int) { return 0.0; });
    std::vector<std::uint8_t> rising = filled(format, kLength, [](std::int64_t, int) { return 0.5; });
    Crossfade::mix(format, Seam::Curve::Linear, zeros.data(), rising.data(), kLength, 0, kLength);
    QVERIFY(std::abs(getSample(format, rising.data()) - 0.5 * 0.5 / kLength) <= lsb);
    QVERIFY(std::abs(getSample(format, rising.data() + (kLength - 1) * format.nBlockAlign) -
                     0.5 * (kLength - 0.5) / kLength) <= lsb);
}

void ConverterTest::crossfadeStreamsInAnyBlocks_data() {
    QTest::addColumn<std::int64_t>("block");
    QTest::addColumn<std::int64_t>("secondDelivers");  // frames the middle source really has
    QTest::addColumn<std::int64_t>("expectedTotal");
    // Three sources of 900, 1000 and 700 frames with fades of 300 planned at both seams.
    QTest::newRow("one frame at a time") << std::int64_t(1) << std::int64_t(1000) << std::int64_t(2000);
    QTest::newRow("odd blocks") << std::int64_t(7) << std::int64_t(1000) << std::int64_t(2000);
    QTest::newRow("blocks past the fade") << std::int64_t(650) << std::int64_t(1000) << std::int64_t(2000);
    QTest::newRow("whole sources") << std::int64_t(5000) << std::int64_t(1000) << std::int64_t(2000);
    // Decoded shorter than planned: 200 frames cover part of the fade, hold nothing back; the
    // rest of the first tail fades out alone and the last source follows unmixed.
    QTest::newRow("middle source short") << std::int64_t(64) << std::int64_t(200) << std::int64_t(1600);
    // Longer than planned: only a fade's worth is held back; every frame still comes out.
    QTest::newRow("middle source long") << std::int64_t(64) << std::int64_t(1500) << std::int64_t(2500);
}

void ConverterTest::crossfadeStreamsInAnyBlocks() {
    QFETCH(std::int64_t, block);
    QFETCH(std::int64_t, secondDelivers);
    QFETCH(std::int64_t, expectedTotal);
    const WaveFormatEx format = WaveFormatEx::pcm(44100, 2, 16);
    const std::int64_t planned[] = {900, 1000, 700};
    const std::vector<std::int64_t> fades = crossfadeLengths({900, 1000, 700}, 300);
    QCOMPARE(fades, (std::vector<std::int64_t>{300, 300}));
    const std::int64_t actual[] = {900, secondDelivers, 700};
    std::vector<std::vector<std::uint8_t>> sources;
    for (int s = 0; s < 3; ++s)
        sources.push_back(filled(format, actual[s], [s](std::int64_t n, int c) {
            return 0.3 * std::sin(0.01 * static_cast<double>(n) * (s + 1) + c) + 0.1 * s;
        }));

    std::vector<std::uint8_t> out;
    std::vector<std::int64_t> starts;
    Crossfade stage(format, Seam::Curve::EqualPower, [&](const std::uint8_t* d, std::size_t n) {
        out.insert(out.end(), d, d + n);
        return S_OK;
    });
    for (int s = 0; s < 3; ++s) {
        const std::int64_t fadeOut = s < 2 ? fades[s] : 0;
        stage.beginSource(planned[s] - fadeOut, fadeOut);
        starts.push_back(stage.delivered());
        std::vector<std::uint8_t> copy = sources[s];
        for (std::int64_t at = 0; at < actual[s]; at += block) {
            const std::int64_t n = std::min(block, actual[s] - at);
            QVERIFY(SUCCEEDED(stage.write(copy.data() + at * format.nBlockAlign, n * format.nBlockAlign)));
        }
        QVERIFY(SUCCEEDED(stage.endSource()));
    }
    QVERIFY(SUCCEEDED(stage.flush()));
    QCOMPARE(stage.held(), std::int64_t(0));
    QCOMPARE(std::int64_t(out.size() / format.nBlockAlign), expectedTotal);
    QCOMPARE(stage.delivered(), expectedTotal);
    if (secondDelivers != 1000) return;

    // As planned: each source begins where the one before starts fading, and the output is
    // the sources with their overlaps mixed, whatever the blocks were.
    QCOMPARE(starts, (std::vector<std::int64_t>{0, 600, 1300}));
    std::vector<std::uint8_t> expected(sources[0].begin(), sources[0].begin() + 600 * 4);
    std::vector<std::uint8_t> b = sources[1], c = sources[2];
    Crossfade::mix(format, Seam::Curve::EqualPower, sources[0].data() + 600 * 4, b.data(), 300, 0, 300);
    Crossfade::mix(format, Seam::Curve::EqualPower, b.data() + 700 * 4, c.data(), 300, 0, 300);
    expected.insert(expected.end(), b.begin(), b.begin() + 700 * 4);
    expected.insert(expected.end(), c.begin(), c.end());
    QVERIFY(out == expected);
}
