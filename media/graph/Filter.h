// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/HResult.h"
#include "media/graph/MediaType.h"

namespace corvane::media {

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

class Filter;
class FilterGraph;

class Pin {
public:
    Pin(Filter* owner, PIN_DIRECTION direction, std::string name)
        : owner_(owner), direction_(direction), name_(std::move(name)) {}

    HRESULT QueryDirection(PIN_DIRECTION* direction) const;
    PIN_DIRECTION direction() const { return direction_; }
    Filter* filter() const { return owner_; }
    const std::string& name() const { return name_; }
    Pin* connectedTo() const { return peer_; }
    const MediaType& connectionMediaType() const { return type_; }

private:
    friend class FilterGraph;
    friend class Filter;
    Filter* owner_;
    PIN_DIRECTION direction_;
    std::string name_;
    Pin* peer_ = nullptr;
    MediaType type_;
};

// A piece of data travelling downstream: samples, or (from the multiplexer on) bytes of the
// file; offset >= 0 places the bytes at that position instead of after the previous ones, and
// an empty sample with an offset ends the file there.
//
// Audio decoded ahead of the stream may be placed at its own position before the stream
// gets there (Ahead, offset in bytes from the start of the audio, or of the file after the
// multiplexer). The stream later passes over it (Passed: size bytes, no data). When what
// comes before turns out longer or shorter than planned, placed audio moves (Moved: size
// bytes from offset to `to`).
struct MediaSample {
    enum class Kind { Bytes, Ahead, Passed, Moved };
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::int64_t offset = -1;
    Kind kind = Kind::Bytes;
    std::int64_t to = 0;
};

// The stream configuration of an output pin: its current format.
class StreamConfig {
public:
    virtual ~StreamConfig() = default;
    virtual HRESULT GetFormat(MediaType& type) = 0;
    virtual HRESULT SetFormat(const MediaType& type) = 0;
};

enum InterleavingMode { INTERLEAVE_NONE = 0, INTERLEAVE_CAPTURE = 1, INTERLEAVE_FULL = 2 };
class ConfigInterleaving {
public:
    virtual ~ConfigInterleaving() = default;
    virtual HRESULT put_Mode(int mode) = 0;
};

enum FileSinkMode { AM_FILE_APPEND = 0, AM_FILE_OVERWRITE = 1 };
class FileSinkFilter {
public:
    virtual ~FileSinkFilter() = default;
    virtual HRESULT SetFileName(const std::u16string& name, const MediaType* type) = 0;
    virtual HRESULT GetCurFile(std::u16string& name) const = 0;
};
class FileSinkFilter2 : public FileSinkFilter {
public:
    virtual HRESULT SetMode(int mode) = 0;
};

// A stage of the render graph. Streaming calls (receive, endOfStream) come from one
// streaming thread; start and stop from the thread that runs the graph, while no data flows.
class Filter {
public:
    virtual ~Filter() = default;

    const std::string& name() const { return name_; }
    FilterGraph* graph() const { return graph_; }
    // The pins in a stable order.
    HRESULT EnumPins(std::vector<Pin*>& pins) const;

    // Interface queries: nullptr when the filter does not offer it.
    virtual StreamConfig* queryStreamConfig() { return nullptr; }
    virtual ConfigInterleaving* queryConfigInterleaving() { return nullptr; }
    virtual FileSinkFilter* queryFileSink() { return nullptr; }
    virtual FileSinkFilter2* queryFileSink2() { return nullptr; }
    // The PCM format this filter converts to, for sources that convert on its behalf.
    virtual std::optional<WaveFormatEx> conversionTarget() const { return std::nullopt; }
    // Bytes a sink has really stored (not merely buffered), or -1 when it cannot tell.
    virtual std::int64_t committedBytes() const { return -1; }

    // Connection: what an output pin offers and whether an input pin takes a type.
    virtual std::optional<MediaType> proposedType(const Pin* output) const;
    virtual bool acceptsType(const Pin* input, const MediaType& type) const;
    // Told when a pin got connected with the type agreed.
    virtual void connected(Pin*) {}

    virtual HRESULT start() { return S_OK; }
    virtual HRESULT receive(Pin* input, const MediaSample& sample);
    virtual HRESULT endOfStream(Pin* input);
    // Ends streaming; a filter that still owes its output (a header, a flush) writes it.
    virtual HRESULT stop() { return S_OK; }

protected:
    Pin* addPin(PIN_DIRECTION direction, std::string name);
    Pin* firstPin(PIN_DIRECTION direction) const;
    // Hands a sample to whatever the output pin is connected to.
    static HRESULT deliver(Pin* output, const MediaSample& sample);
    static HRESULT deliverEndOfStream(Pin* output);

private:
    friend class FilterGraph;
    std::string name_;
    FilterGraph* graph_ = nullptr;
    std::vector<std::unique_ptr<Pin>> pins_;
};

}  // namespace corvane::media
