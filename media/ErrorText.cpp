// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/ErrorText.h"
#include "media/Cause.h"

#include <cerrno>
#include <cstring>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace corvane::media {

namespace {

constexpr int kMaxErrorText = 160;
// Win32-style facility for errno values, so strerror can give them back.
constexpr std::uint32_t kErrnoFacility = 0x80070000u;

struct Known {
    HRESULT hr;
    const char* text;
};

const Known kKnown[] = {
    {S_OK, QT_TRANSLATE_NOOP("Cause", "The operation completed successfully.")},
    {S_FALSE, QT_TRANSLATE_NOOP("Cause", "The operation completed, but not everything was done.")},
    {E_UNEXPECTED, QT_TRANSLATE_NOOP("Cause", "Catastrophic failure.")},
    {E_NOTIMPL, QT_TRANSLATE_NOOP("Cause", "Not implemented.")},
    {E_NOINTERFACE, QT_TRANSLATE_NOOP("Cause", "No such interface supported.")},
    {E_POINTER, QT_TRANSLATE_NOOP("Cause", "Invalid pointer.")},
    {E_ABORT, QT_TRANSLATE_NOOP("Cause", "Operation aborted.")},
    {E_FAIL, QT_TRANSLATE_NOOP("Cause", "Unspecified error.")},
    {E_OUTOFMEMORY, QT_TRANSLATE_NOOP("Cause", "Not enough memory.")},
    {E_INVALIDARG, QT_TRANSLATE_NOOP("Cause", "The parameter is incorrect.")},
    {VFW_E_NOT_CONNECTED, QT_TRANSLATE_NOOP("Cause", "The operation cannot be performed because the pins are not connected.")},
    {VFW_E_ALREADY_CONNECTED, QT_TRANSLATE_NOOP("Cause", "The pin is already connected.")},
    {VFW_E_TYPE_NOT_ACCEPTED, QT_TRANSLATE_NOOP("Cause", "This media type is not accepted.")},
    {VFW_E_NOT_STOPPED, QT_TRANSLATE_NOOP("Cause", "The operation cannot be performed because the graph is running.")},
    {VFW_E_CANNOT_RENDER, QT_TRANSLATE_NOOP("Cause", "No combination of filters could be found to render the stream.")},
    {VFW_E_UNSUPPORTED_STREAM, QT_TRANSLATE_NOOP("Cause", "The file's format is not supported.")},
    {VFW_E_INVALID_FILE_FORMAT, QT_TRANSLATE_NOOP("Cause", "The file format is invalid.")},
    {VFW_E_NO_AUDIO_STREAM, QT_TRANSLATE_NOOP("Cause", "The file has no audio stream.")},
    {VFW_E_BAD_AUDIO_FORMAT, QT_TRANSLATE_NOOP("Cause", "The file's audio format is out of range (sample rate or channels).")},
    {VFW_E_DECODE_FAILED, QT_TRANSLATE_NOOP("Cause", "The audio could not be decoded.")},
};

QString clip(QString text) {
    if (text.size() > kMaxErrorText - 1) text.truncate(kMaxErrorText - 1);
    return text;
}

}  // namespace

HRESULT fromErrno(int err) {
    if (err == ENOSPC || err == EDQUOT) return E_DISK_FULL;
    if (err <= 0 || err > 0xFFFF) return E_FAIL;
    return static_cast<HRESULT>(kErrnoFacility | static_cast<std::uint32_t>(err));
}

HRESULT fromAvError(int averror) {
    if (averror >= 0) return S_OK;
    if (averror == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
    if (averror == AVERROR_INVALIDDATA) return VFW_E_INVALID_FILE_FORMAT;
    if (averror == AVERROR_DECODER_NOT_FOUND || averror == AVERROR_DEMUXER_NOT_FOUND)
        return VFW_E_UNSUPPORTED_STREAM;
    if (averror == AVERROR_STREAM_NOT_FOUND) return VFW_E_NO_AUDIO_STREAM;
    if (averror == AVERROR_PATCHWELCOME) return VFW_E_UNSUPPORTED_STREAM;
    if (averror == AVERROR_EOF) return VFW_E_INVALID_FILE_FORMAT;
    if (averror > -0x10000) return fromErrno(-averror);
    return E_FAIL;
}

namespace {

thread_local char tLastError[256];

void keepError(void* avcl, int level, const char* fmt, va_list vl) {
    if (level > AV_LOG_ERROR) return;
    (void)avcl;
    std::vsnprintf(tLastError, sizeof tLastError, fmt, vl);
    for (std::size_t n = std::strlen(tLastError); n > 0 && (tLastError[n - 1] == '\n' ||
                                                           tLastError[n - 1] == ' ');
         --n)
        tLastError[n - 1] = 0;
}

}  // namespace

void routeFfmpegLog() {
    if (!std::getenv("CORVANE_FFMPEG_LOG")) av_log_set_callback(keepError);
}

QString takeFfmpegError() {
    const QString text = QString::fromUtf8(tLastError);
    tLastError[0] = 0;
    return text;
}

QString errorText(HRESULT hr) {
    for (const Known& k : kKnown)
        if (k.hr == hr) return Cause::tr(k.text);
    if (hr == E_DISK_FULL) return Cause::tr("There is not enough space on the disk.");
    const auto u = static_cast<std::uint32_t>(hr);
    if ((u & 0xFFFF0000u) == kErrnoFacility) {
        const int err = static_cast<int>(u & 0xFFFFu);
        return clip(QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char('.'));
    }
    return Cause::tr("Unknown error 0x%1.").arg(u, 8, 16, QLatin1Char('0'));
}

}  // namespace corvane::media
