#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace quirel::analysis {

constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();

// The sample rate of a single measurement: 32 kHz divided by the trigger's divider; 0 for divider 0.
double SampleRateHz(uint32_t divider);

// One order of a fitted harmonic table.
struct HarmonicRow {
    int order = 0;
    double frequencyHz = 0.0;
    double amplitude = 0.0; // peak value, in the channel's unit
    double percent = 0.0;   // of the fundamental's amplitude
    double phaseDeg = 0.0;  // of A cos(h w t + phase), t from the first sample used
};

// The figures of one channel over the whole mains periods it holds. A figure that cannot be had is
// kNotAvailable (NaN), never a guess.
struct TraceFigures {
    double rms = kNotAvailable;
    double peak = kNotAvailable; // the largest absolute value of all samples, whole periods or not
    double mean = kNotAvailable;
    double frequencyHz = kNotAvailable;
    double thdPercent = kNotAvailable; // orders 2 .. harmonics.size(), relative to the fundamental
    int periods = 0;                   // whole periods the figures are taken over
    size_t samplesUsed = 0;            // the first samplesUsed samples
    // Orders 1 .. H (H: the highest order <= 40 below half the sample rate); empty without a fundamental.
    std::vector<HarmonicRow> harmonics;

    bool HasFundamental() const { return !harmonics.empty(); }
};

// The figures of `x` (the channel's values as stored; a chart's factor and offset are a drawing aid).
// The fundamental frequency is estimated from the samples (Fundamental.h); the harmonic fit then takes
// the first round(P fs / f) samples, P the whole periods that fit. Mean and RMS come from the fit (its
// constant, its harmonics and the power it leaves unexplained), which makes them those of exactly P
// periods where the samples end a fraction of a sample short of or past them. A channel without a
// fundamental (a constant, a DC quantity with ripple, noise) has no frequency, THD or harmonics; its RMS
// and mean are those of the samples of the whole periods of `nominalHz`.
TraceFigures AnalyseTrace(std::span<const double> x, double sampleRateHz, double nominalHz);

// The same at a frequency found elsewhere (the voltage of a pair), so that two channels are taken over
// the same samples; without one, over whole periods of `nominalHz` and without harmonics. The harmonics
// are fitted only where the fundamental carries a sound share of the channel's alternating part.
TraceFigures AnalyseTraceAt(std::span<const double> x, double sampleRateHz,
                            std::optional<double> fundamentalHz, double nominalHz);

// The periodic part at the samples used: the fit, or the mean where there is none.
std::vector<double> PeriodicPart(const TraceFigures& t, double sampleRateHz);

} // namespace quirel::analysis
