// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/WavGraph.h"

#include "media/ErrorText.h"
#include "media/wavfile/FileWriterFilter.h"
#include "media/PathCodec.h"
#include "media/graph/TimelineSourceFilter.h"
#include "media/wavfile/WaveFormatFilter.h"
#include "media/wavfile/WaveMuxFilter.h"

namespace corvane {

using namespace media;

WaveFormatEx WavGraph::outputWave() const {
    return wave_ ? *wave_
                 : WaveFormatFromIndexes(format_.sampleRateIndex, format_.channelsIndex, format_.bitsIndex);
}

void WavGraph::applyOutputFormat(MediaType& type, const WaveFormatEx& w) {
    if (w.wFormatTag != WAVE_FORMAT_PCM || type.format.size() < 16) {
        type = MediaType::pcm(w);
        return;
    }
    std::uint8_t* format = type.format.data();
    putLe16(format + 2, w.nChannels);
    putLe32(format + 4, w.nSamplesPerSec);
    putLe32(format + 8, w.nAvgBytesPerSec);
    putLe16(format + 12, w.nBlockAlign);
    putLe16(format + 14, w.wBitsPerSample);
}

Pin* WavGraph::findPin(Filter* filter, int index, PIN_DIRECTION direction) {
    std::vector<Pin*> pins;
    if (!filter || FAILED(filter->EnumPins(pins))) return nullptr;
    for (Pin* p : pins) {
        PIN_DIRECTION d;
        if (FAILED(p->QueryDirection(&d)) || d != direction) continue;
        if (index == 0) return p;
        --index;
    }
    return nullptr;
}

QString WavGraph::writerDetail(FilterGraph* graph) {
    if (graph)
        if (auto* writer = dynamic_cast<FileWriterFilter*>(graph->findFilter("Writer")))
            return writer->detail();
    return {};
}

void WavGraph::showCodeText(HRESULT hr, FilterGraph* graph) {
    // The platform's text for the code; a failure of the file names the file instead.
    QString text = writerDetail(graph);
    if (text.isEmpty()) text = errorText(hr);
    boxes_.appMessage(text);
}

void WavGraph::disablePreviewMode(Timeline* timeline) {
    long groups = 0;
    if (FAILED(timeline->GetGroupCount(&groups))) return;
    for (long g = 0; g < groups; ++g) {
        TimelineObj* group = nullptr;
        if (SUCCEEDED(timeline->GetGroup(&group, g))) group->SetPreviewMode(false);
    }
}

HRESULT WavGraph::startWavRender(Timeline* timeline) {
    running_ = false;
    HRESULT hr = RenderEngine::Create(render_.joinRenderEngine);
    if (FAILED(hr)) {
        boxes_.errorMessage(tr("Could not create pRenderEngine"));
        return S_OK;
    }
    RenderEngine* engine = render_.joinRenderEngine.get();
    if (FAILED(engine->SetTimelineObject(timeline))) {
        boxes_.appMessage(tr("Could not SetTimelineObject"));
        return S_OK;
    }
    engine->SetDynamicReconnectLevel(CONNECTF_DYNAMIC_SOURCES);
    engine->SetSeam(seamOf(format_));
    if (FAILED(engine->ConnectFrontEnd())) {
        boxes_.appMessage(tr("Could not ConnectFrontEnd"));
        return S_OK;
    }
    const std::u16string pathW = toU16(format_.outputPath);
    disablePreviewMode(timeline);
    buildWavGraph(engine, pathW);
    return S_OK;
}

HRESULT WavGraph::buildWavGraph(RenderEngine* engine, const std::u16string& pathW) {
    std::unique_ptr<CaptureGraphBuilder> builder;
    HRESULT hr = CaptureGraphBuilder::Create(builder);
    if (FAILED(hr)) {
        boxes_.appMessage(tr("Could not create ICaptureGraphBuilder2"));
        return hr;
    }
    Timeline* timeline = nullptr;
    FilterGraph* graph = nullptr;
    if (FAILED(hr = engine->GetTimelineObject(&timeline))) return hr;
    if (FAILED(hr = engine->GetFilterGraph(&graph))) return hr;
    long groups = 0;
    timeline->GetGroupCount(&groups);
    if (groups == 0) {
        boxes_.appMessage(tr("Could not GetGroupCount( &Groups )"));
        return E_INVALIDARG;
    }
    if (FAILED(hr = builder->SetFiltergraph(graph))) {
        boxes_.appMessage(tr("Error pBuilder->SetFiltergraph( pGraph )"));
        return hr;
    }
    std::unique_ptr<WaveMuxFilter> mux;
    if (FAILED(hr = WaveMuxFilter::Create(mux))) {
        boxes_.errorMessage(
            tr("The program does not detect its file writer. Please install the program again!"));
        return hr;
    }
    WaveMuxFilter* muxFilter = mux.get();
    // The whole length is known before the first byte: it decides the header's layout.
    const WaveFormatEx out = outputWave();
    const std::int64_t plannedFrames =
        TimelineSourceFilter::plannedFrames(*timeline, 0, out.nSamplesPerSec, engine->seam());
    mux->setPlannedDataBytes(static_cast<std::uint64_t>(std::max<std::int64_t>(0, plannedFrames)) *
                             out.nBlockAlign);
    if (format_.markers) mux->setMarkerTitles(markerTitles_);
    mux->setBroadcastExtension(bext_);
    if (FAILED(hr = graph->AddFilter(std::move(mux), "Wave Mux"))) {
        boxes_.appMessage(tr("pGraph->AddFilter( pMux, Wave Mux )"));
        return hr;
    }
    std::unique_ptr<FileWriterFilter> writer;
    if (FAILED(hr = FileWriterFilter::Create(writer))) {
        boxes_.appMessage(tr("failed to create wav writer!"));
        return hr;
    }
    if (FAILED(hr = writer->queryFileSink()->SetFileName(pathW, nullptr))) {
        boxes_.appMessage(tr("hr = pWriter->SetFileName( Filename, NULL );"));
        return hr;
    }
    FileWriterFilter* writerFilter = writer.get();
    if (FAILED(hr = graph->AddFilter(std::move(writer), "Writer"))) {
        boxes_.appMessage(tr("hr = pGraph->AddFilter( pWriterBase, Writer );"));
        return hr;
    }
    if (ConfigInterleaving* interleaving = muxFilter->queryConfigInterleaving())
        interleaving->put_Mode(INTERLEAVE_FULL);
    if (FileSinkFilter2* sink2 = writerFilter->queryFileSink2()) sink2->SetMode(AM_FILE_OVERWRITE);

    std::unique_ptr<WaveFormatFilter> acm;
    if (FAILED(hr = WaveFormatFilter::Create(acm))) {
        boxes_.errorMessage(tr(
            "The program does not detect its file ACM WRAPPER. Please install the latest DirectX!"));
        return hr;
    }
    WaveFormatFilter* acmFilter = acm.get();
    if (FAILED(hr = graph->AddFilter(std::move(acm), "Wave Format"))) {
        boxes_.appMessage(tr("pGraph->AddFilter( pACM, Wave Format)"));
        return hr;
    }

    // Group 0 only: the timeline has one group.
    Pin* groupPin = nullptr;
    if (FAILED(hr = engine->GetGroupOutputPin(0, &groupPin))) {
        boxes_.appMessage(tr("Could not GetGroupOutputPin( g, &pPin )"));
        return hr;
    }
    if (FAILED(hr = builder->RenderStream(nullptr, groupPin, acmFilter, muxFilter))) {
        boxes_.appMessage(tr("failed pBuilder->RenderStream( NULL, NULL, pPin, NULL, pMux )"));
        showCodeText(hr, graph);
        return hr;
    }
    StreamConfig* config = nullptr;
    if (FAILED(builder->FindInterface(PinCategory::LookUpstreamOnly, MajorType::Audio, muxFilter, &config))) {
        boxes_.appMessage(tr("can not FindInterface"));
    } else {
        MediaType mt;
        if (SUCCEEDED(config->GetFormat(mt)) && mt.format.size() >= 16) {
            applyOutputFormat(mt, out);
            if (FAILED(hr = config->SetFormat(mt))) {
                boxes_.appMessage(tr("can not pASC->SetFormat(pmt)"));
                showCodeText(hr, graph);
            }
        }
    }

    Pin* muxOut = findPin(muxFilter, 0, PINDIR_OUTPUT);
    Pin* writerIn = findPin(writerFilter, 0, PINDIR_INPUT);
    if (!muxOut || !writerIn) return E_UNEXPECTED;
    graph->Connect(muxOut, writerIn);

    if (FAILED(hr = graph->QueryMediaControl(&render_.joinControl))) {
        boxes_.appMessage(tr("Could not get pControl"));
        return hr;
    }
    if (FAILED(hr = graph->QueryMediaEvent(&render_.joinEvents))) {
        boxes_.appMessage(tr("Could not get pEvent"));
        return hr;
    }
    render_.graph = graph;
    if (FAILED(hr = render_.joinEvents->SetNotifyWindow(notifyTarget_, WM_GRAPHNOTIFY, 0))) {
        boxes_.appMessage(tr("can not SetNotifyWindow!!!"));
        return hr;
    }
    if (FAILED(hr = render_.joinControl->Run())) {
        // A file that cannot be written is named with what to do; the step's own words only
        // when nothing better is known.
        if (writerDetail(graph).isEmpty())
            boxes_.appMessage(tr("can not pControl->Run()!!!"));
        showCodeText(hr, graph);
        return hr;
    }
    running_ = true;
    return S_OK;
}

}  // namespace corvane
