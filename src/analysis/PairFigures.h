#pragma once

#include "analysis/TraceFigures.h"

#include <span>

namespace quirel::analysis {

// The figures of a phase from its voltage and current, both taken over the same whole mains periods.
struct PairFigures {
    // The current's fundamental against the voltage's, in (-180, 180], positive when the current lags.
    double phaseDeg = kNotAvailable;
    double displacementPowerFactor = kNotAvailable; // cos(phase)
    double powerFactor = kNotAvailable;             // P / S
    double activePowerW = kNotAvailable;            // the mean of u x i over the whole periods
    double reactivePowerVar = kNotAvailable;        // U1 I1 sin(phase), RMS values; positive when lagging
    double apparentPowerVA = kNotAvailable;         // Urms x Irms
    TraceFigures voltage, current;
};

// The pair over the first min(u, i) samples. The periods are those of the voltage's fundamental (the
// current's when the voltage has none); without either, P, S and the power factor are taken over
// whole periods of `nominalHz` and the phase, its cosine and Q are not available.
PairFigures AnalysePair(std::span<const double> u, std::span<const double> i, double sampleRateHz,
                        double nominalHz);

} // namespace quirel::analysis
