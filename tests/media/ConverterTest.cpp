// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTest>
#include <cmath>

#include "media/decoders/SampleConverter.h"
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

std::vector<int> samples16(const std::vector<std::uint8_t>& pcm) {
    std::vector<int> s(pcm.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    return s;
}

std::vector<std::uint8_t> convertAll(const WaveFormatEx& out, std::initializer_list<const AVFrame*> frames,
                                     std::uint32_t seed = 1) {
    SampleConverter c(out, seed);
    std::vector<std::uint8_t> pcm;
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
    std::vector<std::uint8_t> pcm;
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
