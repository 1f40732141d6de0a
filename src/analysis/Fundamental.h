#pragma once

#include <cstddef>
#include <optional>

namespace quirel::analysis {

// The band a mains fundamental is looked for in.
constexpr double kMinMainsHz = 40.0;
constexpr double kMaxMainsHz = 70.0;
// Harmonic orders the figures fit and THD sums at most.
constexpr int kMaxOrder = 40;

// The highest order <= kMaxOrder whose frequency lies below half the sample rate by at least one
// resolution step of `samples` (closer, an order cannot be told from its mirror image); 0 when not even
// the fundamental does.
int HighestOrder(double fundamentalHz, double sampleRateHz, size_t samples);

// The fundamental frequency of `x`, sampled at `sampleRateHz`, estimated from the samples: a coarse
// search of the strongest sine in the mains band, refined by the four-parameter sine fit (constant,
// cosine, sine, frequency), then by a fit of the fundamental together with its harmonics, so that
// strong 5th and 7th harmonics do not pull it. At most about a second of samples is used. Nothing when
// the strongest sine is not a peak inside the band (a ramp, a channel without mains content) or the
// samples hold less than one period of it.
std::optional<double> EstimateFundamental(const double* x, size_t n, double sampleRateHz);

} // namespace quirel::analysis
