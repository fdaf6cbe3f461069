// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTest>

#include "engine/TimelineBuilder.h"
#include "media/decoders/Fault.h"
#include "media/PathCodec.h"
#include "tests/engine/EngineTests.h"
#include "tests/support/ScriptedMessageBoxes.h"

using namespace corvane;
using namespace corvane::media;
using corvane::test::ScriptedMessageBoxes;

namespace {

constexpr REFERENCE_TIME kSecond = 10'000'000;

struct Built {
    ItemList items;
    ScriptedMessageBoxes boxes;
    TimelineBuilder builder{items, boxes};

    std::vector<TimelineSlot> build() {
        builder.buildTimeline();
        return builder.currentTimeline->slotsOfGroup(0);
    }
    long groups() {
        long n = -1;
        builder.currentTimeline->GetGroupCount(&n);
        return n;
    }
    std::size_t tracks() {
        TimelineObj* g = nullptr;
        if (FAILED(builder.currentTimeline->GetGroup(&g, 0))) return 0;
        return g->tracks().size();
    }
};

}  // namespace

void TimelineBuilderTest::cleanup() { Fault::clear(); }

void TimelineBuilderTest::oneFileGivesOneSource() {
    Built b;
    b.items.append("/m/a.wav", 35'000'000);
    b.items.syncMusicList();
    const auto s = b.build();
    QCOMPARE(b.groups(), 1L);
    QCOMPARE(b.tracks(), std::size_t(1));
    QCOMPARE(s.size(), std::size_t(1));
    QCOMPARE(s[0].start, REFERENCE_TIME(0));
    QCOMPARE(s[0].stop, REFERENCE_TIME(35'000'000));
    QCOMPARE(s[0].mediaStart, REFERENCE_TIME(0));
    QCOMPARE(s[0].mediaStop, REFERENCE_TIME(35'000'000));
    QCOMPARE(fromU16(s[0].name), QStringLiteral("/m/a.wav"));
    QVERIFY(b.boxes.shown.isEmpty());
    // The group is typed audio only: no format of its own.
    TimelineObj* g = nullptr;
    b.builder.currentTimeline->GetGroup(&g, 0);
    QCOMPARE(g->mediaType().majortype, MajorType::Audio);
    QCOMPARE(g->mediaType().subtype, SubType::Null);
    QVERIFY(g->mediaType().format.empty());
}

void TimelineBuilderTest::filesLieEndToEnd() {
    Built b;
    b.items.append("/m/a.wav", 4 * kSecond);
    b.items.append("/m/b.wav", 25 * kSecond);
    b.items.append("/m/c.wav", 1 * kSecond);
    b.items.syncMusicList();
    const auto s = b.build();
    QCOMPARE(b.builder.totalDuration, REFERENCE_TIME(300'000'000));
    QCOMPARE(s.size(), std::size_t(3));
    QCOMPARE(s[0].stop, 4 * kSecond);
    QCOMPARE(s[1].start, 4 * kSecond);
    QCOMPARE(s[1].stop, 29 * kSecond);
    QCOMPARE(s[2].start, 29 * kSecond);
    QCOMPARE(s[2].stop, 30 * kSecond);
    QCOMPARE(s[2].mediaStop, 1 * kSecond);
}

void TimelineBuilderTest::lengthsPastTheRangeAreRefused() {
    // Two lengths of 2^62: their sum would wrap to a negative total.
    Built b;
    b.items.append("/m/a.wav", REFERENCE_TIME(1) << 62);
    b.items.append("/m/b.wav", REFERENCE_TIME(1) << 62);
    b.items.syncMusicList();
    QVERIFY(FAILED(b.builder.buildTimeline()));
    QVERIFY(!b.builder.currentTimeline);
    QCOMPARE(b.boxes.texts(), QStringList{"The files are too long to join into one file."});
}

void TimelineBuilderTest::zeroLengthsEndTheWalk() {
    Built b;
    b.items.append("/m/a.wav", 2 * kSecond);
    b.items.append("/m/zero.wav", 0);
    b.items.append("/m/c.wav", 1 * kSecond);
    b.items.syncMusicList();
    auto s = b.build();
    QCOMPARE(s.size(), std::size_t(3));
    QCOMPARE(s[1].start, s[1].stop);
    QCOMPARE(s[2].start, 2 * kSecond);
    // Every length 0: the first file's stop already equals the total.
    Built z;
    z.items.append("/m/a.wav", 0);
    z.items.append("/m/b.wav", 0);
    z.items.syncMusicList();
    s = z.build();
    QCOMPARE(s.size(), std::size_t(1));
    QCOMPARE(fromU16(s[0].name), QStringLiteral("/m/a.wav"));
}

void TimelineBuilderTest::rejectedNamesLeaveEmptyTracks() {
    Built b;
    for (const char* p : {"/m/a.wav", "/m/b.wav", "/m/c.wav"}) b.items.append(p, kSecond);
    b.items.syncMusicList();
    Fault::failAlways("TimelineObj::SetMediaName", E_INVALIDARG);
    QCOMPARE(b.builder.buildTimeline(), S_OK);
    QCOMPARE(b.boxes.texts(), QStringList(3, QStringLiteral("Could not configure pSource3Src")));
    for (const auto& shown : b.boxes.shown) QCOMPARE(shown.caption, QStringLiteral("Corvane"));
    QCOMPARE(b.tracks(), std::size_t(3));
    QVERIFY(b.builder.currentTimeline->slotsOfGroup(0).empty());
}

void TimelineBuilderTest::emptyMusicListHasNoGroup() {
    Built b;
    b.items.append("/m/a.wav", kSecond);  // items without the mirror
    QCOMPARE(b.builder.buildTimeline(), S_OK);
    QCOMPARE(b.groups(), 0L);
    QCOMPARE(b.builder.totalDuration, kSecond);
    // A timeline that cannot be created is the one failure the caller sees.
    Fault::failOn("Timeline::Create", E_OUTOFMEMORY);
    QCOMPARE(b.builder.buildTimeline(), E_OUTOFMEMORY);
    QCOMPARE(b.boxes.shown.last().text, QStringLiteral("Could not create timeline"));
    QCOMPARE(b.boxes.shown.last().caption, QStringLiteral("Error"));
}

void TimelineBuilderTest::disagreeingListsAreBounded() {
    // The mirror lags behind the list: the walk cycles through it and still ends at the total.
    Built b;
    b.items.append("/m/a.wav", 3 * kSecond);
    b.items.append("/m/b.wav", 2 * kSecond);
    b.items.syncMusicList();
    b.items.append("/m/c.wav", 4 * kSecond);
    const auto s = b.build();
    QCOMPARE(b.builder.totalDuration, 9 * kSecond);
    QCOMPARE(s.back().stop, 9 * kSecond);
    QCOMPARE(fromU16(s[2].name), QStringLiteral("/m/a.wav"));
    // A mirror of zero lengths against a non-zero total cannot reach it: the walk still ends.
    Built z;
    z.items.append("/m/a.wav", 0);
    z.items.syncMusicList();
    z.items.append("/m/b.wav", kSecond);
    z.build();
    QVERIFY(z.builder.currentTimeline->slotsOfGroup(0).size() <= 2);
}
