// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/OggTally.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <ogg/ogg.h>
#include <unistd.h>

namespace corvane::media {

namespace {

constexpr long kReadSize = 256 * 1024;

struct Sync {
    ogg_sync_state state;
    Sync() { ogg_sync_init(&state); }
    ~Sync() { ogg_sync_clear(&state); }
};

struct Stream {
    ogg_stream_state state;
    bool open = false;
    ~Stream() {
        if (open) ogg_stream_clear(&state);
    }
};

}  // namespace

std::uint64_t packetPrint(const std::uint8_t* data, int size) {
    std::uint64_t h = 1469598103934665603ull ^ static_cast<std::uint64_t>(size);
    auto mix = [&](int i) { h = (h ^ data[i]) * 1099511628211ull; };
    for (int i = 0; i < std::min(size, 8); ++i) mix(i);
    for (int i = std::max(8, size - 8); i < size; ++i) mix(i);
    return h;
}

OggTally tallyOgg(int fd, const AVCodecParameters* par, int headers, std::size_t head,
                  std::size_t tail) {
    OggTally t;
    FrameCounter counter;
    if (!counter.open(par)) return t;
    Sync sync;
    Stream stream;
    bool ended = false;  // the end-of-stream page has come
    bool broken = false;
    int seen = 0;  // packets of the stream so far, headers included
    auto onPacket = [&](const ogg_packet& op) {
        if (seen++ < headers) {
            // Header packets are what the demuxer keeps for itself.
            if (op.bytes < 1 || !(op.packet[0] & 1)) broken = true;
            return;
        }
        if (op.bytes > INT32_MAX) {
            broken = true;
            return;
        }
        AVPacket pkt{};
        pkt.data = op.packet;
        pkt.size = static_cast<int>(op.bytes);
        OggMark m;
        m.size = pkt.size;
        m.print = packetPrint(pkt.data, pkt.size);
        m.count = counter.count(&pkt);
        if (m.count.samples < 0 || m.count.linkStart || (t.rate && m.count.rate != t.rate)) {
            broken = true;
            return;
        }
        t.rate = m.count.rate;
        t.largest = std::max(t.largest, m.count.samples);
        if (t.first.size() < head) {
            t.first.push_back(m);
        } else {
            t.samples += m.count.samples;
        }
        t.last.push_back(m);
        if (t.last.size() > tail) t.last.pop_front();
        ++t.packets;
    };
    for (off_t at = 0; !broken;) {
        char* buffer = ogg_sync_buffer(&sync.state, kReadSize);
        if (!buffer) return t;
        const ssize_t n = ::pread(fd, buffer, kReadSize, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        at += n;
        ogg_sync_wrote(&sync.state, n);
        ogg_page page;
        for (int got; !broken && (got = ogg_sync_pageseek(&sync.state, &page)) != 0;) {
            // Bytes skipped: garbage, or a page whose checksum is wrong. A second stream,
            // a chained link, or pages after the stream's end are for the demuxer to sort out.
            if (got < 0 || ended) {
                broken = true;
                break;
            }
            if (!stream.open) {
                if (!ogg_page_bos(&page) ||
                    ogg_stream_init(&stream.state, ogg_page_serialno(&page)) != 0) {
                    broken = true;
                    break;
                }
                stream.open = true;
            } else if (ogg_page_bos(&page) || ogg_page_serialno(&page) != stream.state.serialno) {
                broken = true;
                break;
            }
            if (ogg_stream_pagein(&stream.state, &page) != 0) {
                broken = true;
                break;
            }
            ended = ogg_page_eos(&page);
            ogg_packet op;
            for (int out; !broken && (out = ogg_stream_packetout(&stream.state, &op)) != 0;) {
                if (out < 0)
                    broken = true;  // a page missing
                else
                    onPacket(op);
            }
        }
    }
    t.whole = !broken && ended && t.packets > 0;
    return t;
}

}  // namespace corvane::media
