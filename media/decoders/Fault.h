// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

#include "media/HResult.h"

namespace corvane::media {

// Failure injection for tests: every media-layer call that can fail asks here first, by
// its name ("RenderEngine::ConnectFrontEnd", "FileWriter::write", ...). Disarmed, it costs
// one relaxed atomic load.
class Fault {
public:
    // The call named fails with hr on its n-th use from now (1 = the next use), once.
    static void failOn(std::string_view call, HRESULT hr, int nth = 1);
    // The call named fails with hr on every use until clear().
    static void failAlways(std::string_view call, HRESULT hr);
    static void clear();
    // How many times the call named was checked since the last clear().
    static int count(std::string_view call);

    // S_OK, or the injected failure for this use of the call.
    static HRESULT check(std::string_view call);
};

}  // namespace corvane::media
