#include "analysis/Fundamental.h"

#include "analysis/HarmonicFit.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace quirel::analysis {
namespace {

// A second of samples pins the frequency far closer than any figure needs, and bounds the work on a
// long recording.
constexpr double kEstimateSeconds = 1.0;

double Omega(double hz, double sampleRateHz) {
    return 2.0 * std::numbers::pi * hz / sampleRateHz;
}

// The maximum of `f` in [lo, hi] by golden-section search, to well below a thousandth of a hertz.
double GoldenMaximum(const std::function<double(double)>& f, double lo, double hi) {
    const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
    double a = hi - ratio * (hi - lo), b = lo + ratio * (hi - lo);
    double fa = f(a), fb = f(b);
    while (hi - lo > 1e-5) {
        if (fa < fb) {
            lo = a;
            a = b;
            fa = fb;
            b = lo + ratio * (hi - lo);
            fb = f(b);
        } else {
            hi = b;
            b = a;
            fb = fa;
            a = hi - ratio * (hi - lo);
            fa = f(a);
        }
    }
    return (lo + hi) / 2.0;
}

} // namespace

int HighestOrder(double fundamentalHz, double sampleRateHz, size_t samples) {
    if (!(fundamentalHz > 0.0) || samples == 0)
        return 0;
    const double top = sampleRateHz / 2.0 - sampleRateHz / static_cast<double>(samples);
    return static_cast<int>(std::min<double>(kMaxOrder, std::floor(top / fundamentalHz)));
}

std::optional<double> EstimateFundamental(const double* x, size_t n, double sampleRateHz) {
    if (!(sampleRateHz > 0.0))
        return std::nullopt;
    const size_t m = std::min(n, static_cast<size_t>(std::llround(sampleRateHz * kEstimateSeconds)));
    // Less than one period of the highest mains frequency, or a rate that cannot show the band.
    if (static_cast<double>(m) < sampleRateHz / kMaxMainsHz || HighestOrder(kMaxMainsHz, sampleRateHz, m) < 1)
        return std::nullopt;
    auto sine = [&](double hz) { return FitHarmonics(x, m, Omega(hz, sampleRateHz), 1).energy; };

    // A step of an eighth of the resolution cannot step over the main lobe of the fundamental.
    const double step = std::min(0.25, sampleRateHz / static_cast<double>(m) / 8.0);
    const int points = static_cast<int>(std::ceil((kMaxMainsHz - kMinMainsHz) / step));
    int best = 0;
    double bestEnergy = -1.0;
    for (int i = 0; i <= points; ++i) {
        const double energy = sine(std::min(kMinMainsHz + i * step, kMaxMainsHz));
        if (energy > bestEnergy) {
            bestEnergy = energy;
            best = i;
        }
    }
    if (best == 0 || best == points)
        return std::nullopt; // still rising at the edge of the band: no mains fundamental
    const double coarse = kMinMainsHz + best * step;
    const double sineFit = GoldenMaximum(sine, coarse - step, coarse + step);

    // Harmonics bias the single-sine fit where the samples are not whole periods; fitting them along
    // removes that.
    const int orders = HighestOrder(sineFit, sampleRateHz, m);
    auto harmonics = [&](double hz) { return FitHarmonics(x, m, Omega(hz, sampleRateHz), orders).energy; };
    const double f = orders > 1 ? GoldenMaximum(harmonics, sineFit - step, sineFit + step) : sineFit;
    if (f < kMinMainsHz || f > kMaxMainsHz || static_cast<double>(m) * f / sampleRateHz < 1.0)
        return std::nullopt;
    return f;
}

} // namespace quirel::analysis
