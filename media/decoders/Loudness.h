// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "media/HResult.h"

namespace corvane::media {

// The gating blocks of a measurement (ITU-R BS.1770-4: 400 ms, stepped by 100 ms) that pass
// the absolute gate, binned by loudness. Each bin keeps its count and the exact sum of its
// blocks' energies, so measurements of several files combine into the integrated loudness of
// all of them: only the one bin the relative gate cuts through is decided as a whole.
struct GatingHistogram {
    static constexpr double kAbsoluteGate = -70.0;  // LUFS
    static constexpr double kBinWidth = 0.01;       // LU
    static constexpr std::uint32_t kBins = 10000;   // -70 .. +30 LUFS; louder blocks go in the top bin

    struct Bin {
        std::uint32_t index = 0;
        std::uint32_t count = 0;
        double energy = 0.0;  // sum of the blocks' mean-square energies
    };
    std::vector<Bin> bins;  // ascending index, each index once

    // A block's energy as the meter gives it (mean square, channel weights applied).
    void add(double energy);
    void merge(const GatingHistogram& other);
    std::uint64_t blocks() const;
    bool operator==(const GatingHistogram&) const = default;
};

// The integrated loudness (LUFS) of the blocks of all the histograms together, gated as the
// standard says; -infinity when no block passes the absolute gate.
double integratedLoudness(const std::vector<const GatingHistogram*>& parts);

double loudnessOfEnergy(double energy);
double energyOfLoudness(double lufs);

// One file's measurement.
struct LoudnessResult {
    HRESULT hr = E_FAIL;
    QString detail;             // why it failed
    bool fromDecoder = false;   // a decoder saw the file (the failure is about its content)
    double integrated = 0.0;    // LUFS; -infinity when nothing passed the absolute gate
    double truePeak = 0.0;      // dBTP; -infinity for digital silence; NaN when not measured
    double samplePeak = 0.0;    // dBFS; never above the true peak
    // dBTP the true peak cannot pass: the true peak itself, or what the meter's oversampling
    // filter could make of the sample peak at most.
    double truePeakBound = 0.0;
    GatingHistogram gating;
    // Whether the integrated loudness means anything: at least one gating block above -70 LUFS.
    bool measurable() const { return SUCCEEDED(hr) && gating.blocks() > 0; }
    bool truePeakMeasured() const { return truePeak == truePeak; }
};

// Each file matched on its own while it is joined: measured, then given its gain.
struct LoudnessMatch {
    bool on = false;
    double target = 0.0;   // LUFS
    double ceiling = 0.0;  // dBTP
};

// One file's gain to the target, lowered until its peak (the true peak, or its bound where
// that was not measured) stays under the ceiling. A file that cannot be measured keeps its level.
struct FileGain {
    double gainDb = 0.0;
    double wantedDb = 0.0;  // before the ceiling
    bool limited = false;
};
FileGain eachFileGain(const LoudnessResult& r, double target, double ceiling);
// Whether only the true peak itself can tell the gain: its bound would pass the ceiling.
bool truePeakDecides(const LoudnessResult& r, double wantedDb, double ceiling);

}  // namespace corvane::media
