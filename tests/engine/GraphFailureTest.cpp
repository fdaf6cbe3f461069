// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTest>

#include "media/ErrorText.h"
#include "media/decoders/Fault.h"
#include "tests/engine/EngineTests.h"
#include "tests/support/JoinRunner.h"

using namespace corvane;
using namespace corvane::media;
using namespace corvane::test;

void GraphFailureTest::initTestCase() {
    QVERIFY(dir_.isValid());
    EncodeOptions s;
    s.frames = 22050;
    QVERIFY(encodeFile(dir_.filePath("a.wav"), s, sine(300)).isEmpty());
    QVERIFY(encodeFile(dir_.filePath("b.wav"), s, sine(400)).isEmpty());
}

void GraphFailureTest::cleanup() { Fault::clear(); }

void GraphFailureTest::startFailuresAreShown_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("nth");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("firstCaption");
    QTest::addColumn<bool>("runs");  // the join still runs (with silence or its own format)

    const QString app = QStringLiteral("Corvane");
    const QString err = QStringLiteral("Error");
    const QString code = errorText(E_FAIL);
    const QString noGroup = QStringLiteral("Could not GetGroupCount( &Groups )");
    QTest::newRow("timeline") << QString("Timeline::Create") << 1 << QStringList{"Could not create timeline"} << err << false;
    QTest::newRow("group node") << QString("Timeline::CreateEmptyNode") << 1 << QStringList{"Could not create pAudioGroupObj", noGroup} << app << false;
    QTest::newRow("group type") << QString("TimelineObj::SetMediaType") << 1 << QStringList{"Could not set AudioGroupType", noGroup} << app << false;
    QTest::newRow("add group") << QString("Timeline::AddGroup") << 1 << QStringList{"Could not add audio group", noGroup} << app << false;
    QTest::newRow("track node") << QString("Timeline::CreateEmptyNode") << 2 << QStringList{"Could not create pTrack3Obj"} << app << true;
    QTest::newRow("insert track") << QString("TimelineObj::VTrackInsBefore") << 1 << QStringList{"Could not insert pTrack3Obj"} << app << true;
    QTest::newRow("source node") << QString("Timeline::CreateEmptyNode") << 3 << QStringList{"Could not create the pSource3Obj"} << app << true;
    QTest::newRow("media times") << QString("TimelineObj::SetMediaTimes") << 2 << QStringList{"Could not set audio start and eng time!"} << app << true;
    QTest::newRow("media name") << QString("TimelineObj::SetMediaName") << 1 << QStringList{"Could not configure pSource3Src"} << app << true;
    QTest::newRow("source add") << QString("TimelineObj::SrcAdd") << 1 << QStringList{"Could not add pSource3Obj to track"} << app << true;
    QTest::newRow("engine") << QString("RenderEngine::Create") << 1 << QStringList{"Could not create pRenderEngine"} << err << false;
    QTest::newRow("set timeline") << QString("RenderEngine::SetTimelineObject") << 1 << QStringList{"Could not SetTimelineObject"} << app << false;
    QTest::newRow("front end") << QString("RenderEngine::ConnectFrontEnd") << 1 << QStringList{"Could not ConnectFrontEnd"} << app << false;
    QTest::newRow("builder") << QString("CaptureGraphBuilder::Create") << 1 << QStringList{"Could not create ICaptureGraphBuilder2"} << app << false;
    QTest::newRow("set graph") << QString("CaptureGraphBuilder::SetFiltergraph") << 1 << QStringList{"Error pBuilder->SetFiltergraph( pGraph )"} << app << false;
    QTest::newRow("mux") << QString("WaveMux::Create") << 1
               << QStringList{"The program does not detect its file writer. Please install the program again!"} << err << false;
    QTest::newRow("add mux") << QString("FilterGraph::AddFilter") << 2 << QStringList{"pGraph->AddFilter( pMux, Wave Mux )"} << app << false;
    QTest::newRow("writer") << QString("FileWriter::Create") << 1 << QStringList{"failed to create wav writer!"} << app << false;
    QTest::newRow("file name") << QString("FileWriter::SetFileName") << 1 << QStringList{"hr = pWriter->SetFileName( Filename, NULL );"} << app << false;
    QTest::newRow("add writer") << QString("FilterGraph::AddFilter") << 3 << QStringList{"hr = pGraph->AddFilter( pWriterBase, Writer );"} << app << false;
    QTest::newRow("acm") << QString("WaveFormat::Create") << 1
               << QStringList{"The program does not detect its file ACM WRAPPER. Please install the latest DirectX!"} << err << false;
    QTest::newRow("add acm") << QString("FilterGraph::AddFilter") << 4 << QStringList{"pGraph->AddFilter( pACM, Wave Format)"} << app << false;
    QTest::newRow("group pin") << QString("RenderEngine::GetGroupOutputPin") << 1 << QStringList{"Could not GetGroupOutputPin( g, &pPin )"} << app << false;
    QTest::newRow("render stream") << QString("CaptureGraphBuilder::RenderStream") << 1
                         << QStringList{"failed pBuilder->RenderStream( NULL, NULL, pPin, NULL, pMux )", code} << app << false;
    QTest::newRow("find interface") << QString("CaptureGraphBuilder::FindInterface") << 1 << QStringList{"can not FindInterface"} << app << true;
    QTest::newRow("control") << QString("FilterGraph::QueryMediaControl") << 1 << QStringList{"Could not get pControl"} << app << false;
    QTest::newRow("events") << QString("FilterGraph::QueryMediaEvent") << 1 << QStringList{"Could not get pEvent"} << app << false;
    QTest::newRow("notify") << QString("MediaEvent::SetNotifyWindow") << 1 << QStringList{"can not SetNotifyWindow!!!"} << app << false;
    QTest::newRow("run") << QString("MediaControl::Run") << 1 << QStringList{"can not pControl->Run()!!!", code} << app << false;
}

void GraphFailureTest::startFailuresAreShown() {
    QFETCH(QString, call);
    QFETCH(int, nth);
    QFETCH(QStringList, texts);
    QFETCH(QString, firstCaption);
    QFETCH(bool, runs);
    JoinRunner j;
    QCOMPARE(j.add({dir_.filePath("a.wav"), dir_.filePath("b.wav")}), 2);
    j.format.outputPath = dir_.filePath(QStringLiteral("out-%1.wav").arg(QTest::currentDataTag()));
    Fault::failOn(call.toStdString(), E_FAIL, nth);
    j.join();
    QCOMPARE(j.boxes.texts(), texts);
    QCOMPARE(j.boxes.shown[0].caption, firstCaption);
    QVERIFY(!j.job.joinRunning());
    QCOMPARE(j.view.buttonText, QStringLiteral("Join"));
    if (runs) {
        // The failing file's slot stays silent; the join keeps its full length.
        QVERIFY(j.finishedOk);
        QCOMPARE(readWav(j.format.outputPath).frames(), 44100LL);
    } else {
        QCOMPARE(j.finishedCount, 0);
        QVERIFY(j.view.statuses.isEmpty());
    }
}

void GraphFailureTest::formatRejectedRunsInFilterFormat() {
    // The converter refuses the chosen format: the user is told, and the join runs in the
    // filter's own format.
    JoinRunner j;
    j.add({dir_.filePath("a.wav")});
    j.format.outputPath = dir_.filePath("ownformat.wav");
    j.format.sampleRateIndex = 3;
    j.format.channelsIndex = 1;
    j.format.bitsIndex = 1;
    Fault::failOn("StreamConfig::SetFormat", VFW_E_TYPE_NOT_ACCEPTED);
    QVERIFY(j.join());
    QCOMPARE(j.boxes.texts(), (QStringList{"can not pASC->SetFormat(pmt)", errorText(VFW_E_TYPE_NOT_ACCEPTED)}));
    QVERIFY(j.finishedOk);
    const WavFile w = readWav(j.format.outputPath);
    QCOMPARE(w.sampleRate, 44100);
    QCOMPARE(w.channels, 2);
    QCOMPARE(w.bits, 16);
    QCOMPARE(w.frames(), 22050LL);
}
