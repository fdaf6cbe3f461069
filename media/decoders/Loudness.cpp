// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/Loudness.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvane::media {

namespace {

// BS.1770's offset between mean-square energy and loudness.
constexpr double kOffset = -0.691;
constexpr double kRelativeGate = -10.0;  // LU below the absolutely gated loudness

}  // namespace

double loudnessOfEnergy(double energy) {
    return energy > 0.0 ? 10.0 * std::log10(energy) + kOffset : -std::numeric_limits<double>::infinity();
}

double energyOfLoudness(double lufs) { return std::pow(10.0, (lufs - kOffset) / 10.0); }

void GatingHistogram::add(double energy) {
    const double lufs = loudnessOfEnergy(energy);
    if (!(lufs >= kAbsoluteGate)) return;
    const double at = std::floor((lufs - kAbsoluteGate) / kBinWidth);
    const auto index = static_cast<std::uint32_t>(std::min<double>(at, kBins - 1));
    auto it = std::lower_bound(bins.begin(), bins.end(), index,
                               [](const Bin& b, std::uint32_t i) { return b.index < i; });
    if (it == bins.end() || it->index != index) it = bins.insert(it, Bin{index, 0, 0.0});
    ++it->count;
    it->energy += energy;
}

void GatingHistogram::merge(const GatingHistogram& other) {
    std::vector<Bin> out;
    out.reserve(bins.size() + other.bins.size());
    auto a = bins.cbegin();
    auto b = other.bins.cbegin();
    while (a != bins.cend() || b != other.bins.cend()) {
        if (b == other.bins.end() || (a != bins.end() && a->index < b->index)) {
            out.push_back(*a++);
        } else if (a == bins.end() || b->index < a->index) {
            out.push_back(*b++);
        } else {
            out.push_back(Bin{a->index, a->count + b->count, a->energy + b->energy});
            ++a;
            ++b;
        }
    }
    bins = std::move(out);
}

std::uint64_t GatingHistogram::blocks() const {
    std::uint64_t n = 0;
    for (const Bin& b : bins) n += b.count;
    return n;
}

double integratedLoudness(const std::vector<const GatingHistogram*>& parts) {
    GatingHistogram all;
    for (const GatingHistogram* h : parts)
        if (h) all.merge(*h);
    double sum = 0.0;
    std::uint64_t count = 0;
    for (const auto& b : all.bins) {
        sum += b.energy;
        count += b.count;
    }
    if (count == 0) return -std::numeric_limits<double>::infinity();
    // The relative gate sits 10 LU below the loudness of the blocks above the absolute gate.
    const double threshold = sum / static_cast<double>(count) * std::pow(10.0, kRelativeGate / 10.0);
    double gatedSum = 0.0;
    std::uint64_t gatedCount = 0;
    for (const auto& b : all.bins) {
        // A bin spans 0.01 LU: the blocks of the bin the gate cuts go in or out together.
        if (b.energy / b.count < threshold) continue;
        gatedSum += b.energy;
        gatedCount += b.count;
    }
    if (gatedCount == 0) return -std::numeric_limits<double>::infinity();
    return loudnessOfEnergy(gatedSum / static_cast<double>(gatedCount));
}

FileGain eachFileGain(const LoudnessResult& r, double target, double ceiling) {
    FileGain g;
    if (!r.measurable()) return g;
    g.gainDb = g.wantedDb = target - r.integrated;
    if (const double peak = r.truePeakMeasured() ? r.truePeak : r.truePeakBound;
        std::isfinite(peak) && peak + g.gainDb > ceiling) {
        g.gainDb = ceiling - peak;
        g.limited = true;
    }
    return g;
}

bool truePeakDecides(const LoudnessResult& r, double wantedDb, double ceiling) {
    return SUCCEEDED(r.hr) && !r.truePeakMeasured() && std::isfinite(r.truePeakBound) &&
           r.truePeakBound + wantedDb > ceiling;
}

}  // namespace corvane::media
