#pragma once

#include <cstddef>
#include <vector>

namespace quirel::analysis {

// A linear least-squares fit of a constant and the harmonics 1..H of one frequency to equally spaced
// samples: x[n] ~ dc + sum over h of (a_h cos(h w n) + b_h sin(h w n)), w = 2 pi f / fs. Unlike a DFT bin
// it is exact for a stationary signal whatever the number of samples per period, so neither the
// alignment of the capture nor a mains frequency off its nominal value leaks one order into the next.
struct HarmonicFit {
    bool ok = false; // false when the orders cannot be told apart in these samples
    double dc = 0.0;
    std::vector<double> cosine; // a_h at [h - 1]
    std::vector<double> sine;   // b_h at [h - 1]
    // The energy the fitted model explains (sum over the samples of the model squared): the quantity a
    // frequency search maximises, since the residual is the signal's energy minus this.
    double energy = 0.0;

    double Amplitude(int order) const;
    // Degrees, for the harmonic written as A cos(h w n + phase), n counted from the first sample.
    double PhaseDeg(int order) const;
};

// `omega` in radians per sample; `orders` >= 1.
HarmonicFit FitHarmonics(const double* x, size_t n, double omega, int orders);

} // namespace quirel::analysis
