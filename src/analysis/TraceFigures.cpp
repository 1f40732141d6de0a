#include "analysis/TraceFigures.h"

#include "analysis/Fundamental.h"
#include "analysis/HarmonicFit.h"
#include "measurement/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quirel::analysis {
namespace {

// The fundamental must carry at least this share of the power of the channel's alternating part. A
// distorted current of 300 % THD still has 10 %; the best-fitting sine of noise, a ramp or the ripple of
// a DC quantity has far less.
constexpr double kMinFundamentalShare = 0.1;
// And the fundamental with its harmonics must explain most of it: what repeats from period to period.
// A ramp or a step across the capture has a strong sine in the mains band too, but over two or more
// periods the fit leaves most of it unexplained (three quarters of a ramp over two periods).
constexpr double kMaxUnexplainedShare = 0.25;

// Whole periods of `hz` within n samples, counting a period whose last sample rounds onto the last one.
long WholePeriods(size_t n, double hz, double sampleRateHz) {
    auto samples = [&](long p) { return std::llround(static_cast<double>(p) * sampleRateHz / hz); };
    long p = static_cast<long>(std::floor(static_cast<double>(n) * hz / sampleRateHz));
    if (samples(p + 1) <= static_cast<long long>(n))
        ++p;
    return p;
}

} // namespace

double SampleRateHz(uint32_t divider) {
    return divider == 0 ? 0.0 : Spectrum::kBaseSampleRateHz / divider;
}

TraceFigures AnalyseTraceAt(std::span<const double> x, double sampleRateHz,
                            std::optional<double> fundamentalHz, double nominalHz) {
    TraceFigures t;
    if (x.empty())
        return t;
    t.peak = 0.0;
    for (double v : x)
        t.peak = std::max(t.peak, std::abs(v));
    const double hz = fundamentalHz.value_or(nominalHz);
    if (!(sampleRateHz > 0.0) || !(hz > 0.0))
        return t;
    const long periods = WholePeriods(x.size(), hz, sampleRateHz);
    if (periods < 1)
        return t;
    const size_t used = std::min<size_t>(
        x.size(), static_cast<size_t>(std::llround(static_cast<double>(periods) * sampleRateHz / hz)));
    t.periods = static_cast<int>(periods);
    t.samplesUsed = used;
    double sum = 0.0, squares = 0.0;
    for (size_t i = 0; i < used; ++i) {
        sum += x[i];
        squares += x[i] * x[i];
    }
    const auto count = static_cast<double>(used);
    t.mean = sum / count;
    t.rms = std::sqrt(squares / count);
    if (!fundamentalHz)
        return t;

    const int orders = HighestOrder(hz, sampleRateHz, used);
    if (orders < 1)
        return t;
    const HarmonicFit fit = FitHarmonics(x.data(), used, 2.0 * std::numbers::pi * hz / sampleRateHz, orders);
    double variance = 0.0;
    for (size_t i = 0; i < used; ++i)
        variance += (x[i] - t.mean) * (x[i] - t.mean);
    variance /= count;
    // A flat line's variance is rounding noise; its best-fitting sine means nothing.
    const double flat = 1e-12 * t.peak;
    if (!fit.ok || !(variance > flat * flat))
        return t;
    const double fundamental = fit.Amplitude(1);
    if (fundamental * fundamental / 2.0 < kMinFundamentalShare * variance ||
        squares - fit.energy > kMaxUnexplainedShare * variance * count)
        return t;

    t.frequencyHz = hz;
    t.mean = fit.dc;
    const double unexplained = std::max(0.0, squares - fit.energy) / count; // noise, interharmonics
    double harmonicSquares = 0.0;
    for (int h = 1; h <= orders; ++h) {
        const double amplitude = fit.Amplitude(h);
        t.harmonics.push_back({h, h * hz, amplitude, 100.0 * amplitude / fundamental, fit.PhaseDeg(h)});
        if (h > 1)
            harmonicSquares += amplitude * amplitude;
    }
    t.thdPercent = 100.0 * std::sqrt(harmonicSquares) / fundamental;
    t.rms = std::sqrt(fit.dc * fit.dc + (fundamental * fundamental + harmonicSquares) / 2.0 + unexplained);
    return t;
}

std::vector<double> PeriodicPart(const TraceFigures& t, double sampleRateHz) {
    std::vector<double> part(t.samplesUsed, t.mean);
    if (!t.HasFundamental())
        return part;
    for (const HarmonicRow& h : t.harmonics) {
        const double omega = 2.0 * std::numbers::pi * h.frequencyHz / sampleRateHz;
        const double phase = h.phaseDeg * std::numbers::pi / 180.0;
        for (size_t n = 0; n < part.size(); ++n)
            part[n] += h.amplitude * std::cos(omega * static_cast<double>(n) + phase);
    }
    return part;
}

TraceFigures AnalyseTrace(std::span<const double> x, double sampleRateHz, double nominalHz) {
    const std::optional<double> f = EstimateFundamental(x.data(), x.size(), sampleRateHz);
    TraceFigures t = AnalyseTraceAt(x, sampleRateHz, f, nominalHz);
    if (f && !t.HasFundamental())
        t = AnalyseTraceAt(x, sampleRateHz, std::nullopt, nominalHz);
    return t;
}

} // namespace quirel::analysis
