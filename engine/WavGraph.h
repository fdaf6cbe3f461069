// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>

#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/MessageBoxes.h"
#include "media/graph/CaptureGraphBuilder.h"
#include "media/graph/RenderEngine.h"
#include "media/wavfile/BroadcastExtension.h"
#include "options/OutputFormat.h"

namespace corvane {

constexpr long WM_GRAPHNOTIFY = 1037;

// The render of a running join: engine, and the control and event queue of its graph.
struct JoinRender {
    std::unique_ptr<media::RenderEngine> joinRenderEngine;
    media::MediaControl* joinControl = nullptr;
    media::MediaEvent* joinEvents = nullptr;
    media::FilterGraph* graph = nullptr;  // for progress
};

// Renders a timeline into the output WAV file: render engine front end → "Wave Format" →
// "Wave Mux" → "Writer", then runs it. Every failure is shown to the user.
class WavGraph {
    Q_DECLARE_TR_FUNCTIONS(WavGraph)

public:
    WavGraph(JoinRender& render, const OutputFormat& format, MessageBoxes& boxes, QObject* notifyTarget)
        : render_(render), format_(format), boxes_(boxes), notifyTarget_(notifyTarget) {}

    // Always 0; running() tells whether the graph runs.
    media::HRESULT startWavRender(media::Timeline* timeline);
    void disablePreviewMode(media::Timeline* timeline);
    media::HRESULT buildWavGraph(media::RenderEngine* engine, const std::u16string& pathW);
    bool running() const { return running_; }
    // The output's format, with "same as the files" already taken from the sources; without
    // it, the format of the choices alone.
    void setOutputWave(const media::WaveFormatEx& wave) { wave_ = wave; }
    // Carried over into the output (its time reference already at the output's rate).
    void setBroadcastExtension(std::optional<media::BroadcastExtension> bext) { bext_ = std::move(bext); }
    // One title per source (UTF-8), for the markers the output gets when they are on.
    void setMarkerTitles(std::vector<std::string> titles) { markerTitles_ = std::move(titles); }

    static media::Pin* findPin(media::Filter* filter, int index, media::PIN_DIRECTION direction);
    // The chosen format in place of the one the converter proposed: the five PCM fields of a
    // classic WAVEFORMATEX, or the whole extensible description.
    static void applyOutputFormat(media::MediaType& type, const media::WaveFormatEx& wave);

private:
    void showCodeText(media::HRESULT hr, media::FilterGraph* graph);
    // What the file writer said about its failure, or "".
    static QString writerDetail(media::FilterGraph* graph);

    JoinRender& render_;
    const OutputFormat& format_;
    MessageBoxes& boxes_;
    QObject* notifyTarget_;
    bool running_ = false;
    std::vector<std::string> markerTitles_;
    std::optional<media::WaveFormatEx> wave_;
    std::optional<media::BroadcastExtension> bext_;
    media::WaveFormatEx outputWave() const;
};

}  // namespace corvane
