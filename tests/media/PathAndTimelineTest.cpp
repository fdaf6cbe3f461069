// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTemporaryDir>
#include <QTest>

#include "media/PathCodec.h"
#include "media/graph/Timeline.h"
#include "media/graph/TimelineSourceFilter.h"
#include "tests/media/MediaTests.h"
#include "tests/support/AudioFixture.h"

using namespace corvane::media;

namespace {

// A timeline with one audio group; returns the group.
TimelineObj* audioTimeline(std::unique_ptr<Timeline>& t) {
    Timeline::Create(t);
    std::unique_ptr<TimelineObj> group;
    t->CreateEmptyNode(group, TIMELINE_MAJOR_TYPE_GROUP);
    MediaType audio;
    audio.majortype = MajorType::Audio;
    group->SetMediaType(audio);
    TimelineObj* g = group.get();
    t->AddGroup(std::move(group));
    return g;
}

}  // namespace

void PathAndTimelineTest::pathsRoundTripAnyBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addRow("ascii") << QByteArray("/music/a b.mp3");
    QTest::addRow("utf-8") << QByteArray("/m\xc3\xbcsik/\xe2\x99\xaa.flac");
    QTest::addRow("latin-1 byte") << QByteArray("/music/caf\xe9.wav");
    QTest::addRow("broken sequence") << QByteArray("/x/\xe2\x82/\xff\xfe.ogg");
    QTest::addRow("quotes and newline") << QByteArray("/x/it's \"odd\"\nname.mp3");
    QTest::addRow("four-byte utf-8") << QByteArray("/x/\xf0\x9f\x8e\xb5.mp3");
}

void PathAndTimelineTest::pathsRoundTripAnyBytes() {
    QFETCH(QByteArray, bytes);
    const std::string raw(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    QCOMPARE(encodePath(decodePath(raw)), raw);
    QCOMPARE(qstringToPath(pathToQString(raw)), raw);
}

void PathAndTimelineTest::timelineObjectsCheckTheirCalls() {
    std::unique_ptr<Timeline> t;
    QCOMPARE(Timeline::Create(t), S_OK);
    std::unique_ptr<TimelineObj> group, track, source;
    QCOMPARE(t->CreateEmptyNode(group, TIMELINE_MAJOR_TYPE_GROUP), S_OK);
    QCOMPARE(t->CreateEmptyNode(track, 3), E_INVALIDARG);
    // A group without a type is not added; an audio type is taken.
    QVERIFY(FAILED(t->AddGroup(std::make_unique<TimelineObj>(TIMELINE_MAJOR_TYPE_GROUP))));
    MediaType audio;
    audio.majortype = MajorType::Audio;
    QCOMPARE(group->SetMediaType(audio), S_OK);
    TimelineObj* g = group.get();
    QCOMPARE(t->AddGroup(std::move(group)), S_OK);
    long count = 0;
    QCOMPARE(t->GetGroupCount(&count), S_OK);
    QCOMPARE(count, 1L);

    QCOMPARE(t->CreateEmptyNode(track, TIMELINE_MAJOR_TYPE_TRACK), S_OK);
    QCOMPARE(t->CreateEmptyNode(source, TIMELINE_MAJOR_TYPE_SOURCE), S_OK);
    QCOMPARE(source->SetStartStop(10, 5), E_INVALIDARG);  // stop before start
    QCOMPARE(source->SetStartStop(0, 35'000'000), S_OK);
    QCOMPARE(source->SetMediaTimes(0, 35'000'000), S_OK);
    QCOMPARE(source->SetMediaName(u""), E_INVALIDARG);
    QCOMPARE(source->SetMediaName(std::u16string(u"a\0b", 3)), E_INVALIDARG);
    QCOMPARE(source->SetMediaName(u"/x/a.wav"), S_OK);
    QCOMPARE(g->SrcAdd(std::make_unique<TimelineObj>(TIMELINE_MAJOR_TYPE_SOURCE)), E_NOINTERFACE);
    TimelineObj* tr = track.get();
    QCOMPARE(g->VTrackInsBefore(std::move(track), -1), S_OK);
    QCOMPARE(tr->SrcAdd(std::move(source)), S_OK);
    const auto slotList = t->slotsOfGroup(0);
    QCOMPARE(slotList.size(), std::size_t(1));
    QCOMPARE(slotList[0].stop, REFERENCE_TIME(35'000'000));
    QCOMPARE(t->groupDuration(0), REFERENCE_TIME(35'000'000));
}

void PathAndTimelineTest::validateSourceNamesLocatesMissingFiles() {
    QTemporaryDir dir;
    const QString present = dir.filePath("here.wav");
    QVERIFY(corvane::test::writeBytes(present, {1, 2, 3}));
    const QString missing = dir.filePath("gone.wav");
    std::unique_ptr<Timeline> t;
    TimelineObj* g = audioTimeline(t);
    for (const QString& name : {present, missing}) {
        std::unique_ptr<TimelineObj> tr, src;
        t->CreateEmptyNode(tr, TIMELINE_MAJOR_TYPE_TRACK);
        t->CreateEmptyNode(src, TIMELINE_MAJOR_TYPE_SOURCE);
        src->SetMediaName(toU16(name));
        tr->SrcAdd(std::move(src));
        g->VTrackInsBefore(std::move(tr), -1);
    }
    QStringList asked;
    // Declined: still missing.
    QCOMPARE(t->ValidateSourceNames(SFN_VALIDATEF_CHECK | SFN_VALIDATEF_POPUP | SFN_VALIDATEF_REPLACE,
                                    [&](const std::u16string& m) {
                                        asked << fromU16(m);
                                        return std::u16string();
                                    }),
             S_FALSE);
    QCOMPARE(asked, QStringList{missing});
    // Located: the found name takes its place.
    QCOMPARE(t->ValidateSourceNames(SFN_VALIDATEF_CHECK | SFN_VALIDATEF_POPUP | SFN_VALIDATEF_REPLACE,
                                    [&](const std::u16string&) { return toU16(present); }),
             S_OK);
    QCOMPARE(fromU16(t->slotsOfGroup(0)[1].name), present);
}

void PathAndTimelineTest::slotPlanRoundsPositionsOnce() {
    // 1000 sources of 1/3 s at 44100: each slot is its own length rounded, as its audio comes
    // out, so no source is cut by a frame to keep a position its audio does not reach.
    std::unique_ptr<Timeline> t;
    TimelineObj* g = audioTimeline(t);
    const REFERENCE_TIME third = 3'333'333;
    for (int i = 0; i < 1000; ++i) {
        std::unique_ptr<TimelineObj> tr, src;
        t->CreateEmptyNode(tr, TIMELINE_MAJOR_TYPE_TRACK);
        t->CreateEmptyNode(src, TIMELINE_MAJOR_TYPE_SOURCE);
        src->SetStartStop(i * third, (i + 1) * third);
        src->SetMediaName(u"/x.wav");
        tr->SrcAdd(std::move(src));
        g->VTrackInsBefore(std::move(tr), -1);
    }
    std::int64_t tail = -1;
    const auto plan = TimelineSourceFilter::planGroup(*t, 0, 44100, &tail);
    std::int64_t total = 0;
    for (const auto& p : plan) {
        QCOMPARE(p.leadSilence, std::int64_t(0));
        QCOMPARE(p.frames, std::int64_t(14700));
        total += p.frames;
    }
    QCOMPARE(tail, std::int64_t(0));
    QCOMPARE(total, std::int64_t(14'700'000));
}
