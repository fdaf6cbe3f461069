// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace corvane::media {

// Status codes keep the platform's 32-bit shape: negative means failure.
using HRESULT = std::int32_t;
// Media times: signed counts of 100 ns.
using REFERENCE_TIME = std::int64_t;

constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
// Our own facility (0xA7) for media-layer failures that the platform named differently.
constexpr HRESULT E_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT E_DISK_FULL = static_cast<HRESULT>(0x80070070u);
constexpr HRESULT E_WRITE_FAULT = static_cast<HRESULT>(0x8007001Du);
constexpr HRESULT E_READ_FAULT = static_cast<HRESULT>(0x8007001Eu);
constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x8004022Au);
constexpr HRESULT VFW_E_NOT_STOPPED = static_cast<HRESULT>(0x80040224u);
constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218u);
constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = static_cast<HRESULT>(0x80040265u);
constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = static_cast<HRESULT>(0x8004022Fu);
constexpr HRESULT VFW_E_NO_AUDIO_STREAM = static_cast<HRESULT>(0x8004A7A1u);
constexpr HRESULT VFW_E_BAD_AUDIO_FORMAT = static_cast<HRESULT>(0x8004A7A2u);
constexpr HRESULT VFW_E_DECODE_FAILED = static_cast<HRESULT>(0x8004A7A3u);

inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

}  // namespace corvane::media
