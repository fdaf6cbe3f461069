// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/Fault.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace corvane::media {

namespace {

struct Rule {
    HRESULT hr = S_OK;
    int remaining = 0;  // uses before it fires; 0 once fired
    bool always = false;
};

struct State {
    std::mutex mutex;
    std::map<std::string, Rule, std::less<>> rules;
    std::map<std::string, int, std::less<>> counts;
};

std::atomic<bool> gArmed{false};

State& state() {
    static State s;
    return s;
}

}  // namespace

void Fault::failOn(std::string_view call, HRESULT hr, int nth) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.rules[std::string(call)] = Rule{hr, nth < 1 ? 1 : nth, false};
    gArmed.store(true, std::memory_order_relaxed);
}

void Fault::failAlways(std::string_view call, HRESULT hr) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.rules[std::string(call)] = Rule{hr, 0, true};
    gArmed.store(true, std::memory_order_relaxed);
}

void Fault::clear() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.rules.clear();
    s.counts.clear();
    gArmed.store(false, std::memory_order_relaxed);
}

int Fault::count(std::string_view call) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.counts.find(call);
    return it == s.counts.end() ? 0 : it->second;
}

HRESULT Fault::check(std::string_view call) {
    if (!gArmed.load(std::memory_order_relaxed)) return S_OK;
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto c = s.counts.find(call);
    if (c == s.counts.end())
        s.counts.emplace(std::string(call), 1);
    else
        ++c->second;
    auto it = s.rules.find(call);
    if (it == s.rules.end()) return S_OK;
    Rule& r = it->second;
    if (r.always) return r.hr;
    if (r.remaining == 0) return S_OK;
    if (--r.remaining == 0) return r.hr;
    return S_OK;
}

}  // namespace corvane::media
