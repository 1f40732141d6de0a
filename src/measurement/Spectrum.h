#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The amplitude spectrum of one captured channel, as a service engineer reads the harmonics of a mains
// current or voltage: an unnormalised discrete Fourier transform of the first N samples, no window and
// no mean removed, every bin scaled by 2/N (so a constant c shows as 2c at 0 Hz).
namespace Spectrum {

// The device samples at 32 kHz divided by the sample divider.
constexpr double kBaseSampleRateHz = 32000.0;
// Harmonic orders a power-quality report lists (and the THD sums) at most.
constexpr int kMaxHarmonicOrder = 40;

// The transform length for the mains frequency (50 or 60; any other counts as 50) and divider, chosen so
// that with the recommended dividers 4, 5, 8, 10, 12 and 15 the samples hold whole mains periods.
int TransformLength(int mainsHz, uint32_t divider);

// The whole mains periods (50 or 60 Hz; any other counts as 50) that `samples` values taken at `divider`
// span, or 0 when they span no whole number of them. Harmonics fall on bins of a stretch only then; in
// any other stretch they lie between the bins, and figures read at harmonic frequencies (the harmonic
// table, THD) are not the signal's.
int WholeMainsPeriods(size_t samples, uint32_t divider, int mainsHz);

struct Result {
    enum Status {
        kOk,
        kTooFewValues,  // the channel holds fewer than `length` values
        kNoSamplePeriod // divider 0: the samples have no time step
    };
    Status status = kOk;
    int length = 0;       // N
    size_t available = 0; // values the channel holds
    double resolutionHz = 0.0;
    // Bins 0 .. N/2-1: frequency k x 32000 / (N x divider) and amplitude |X[k]| x 2 / N.
    std::vector<double> frequencyHz;
    std::vector<double> amplitude;
};

// The spectrum of `values` (the plotted values of a channel, in time order); values beyond the first N
// are not used.
Result Compute(const double* values, size_t count, int mainsHz, uint32_t divider);

struct Harmonic {
    int order = 0;
    int bin = 0; // the bin read for this order
    double frequencyHz = 0.0;
    double amplitude = 0.0;
    double percent = 0.0; // of the fundamental; NaN when the fundamental is 0
};

// Only when the N samples span whole mains periods (WholeMainsPeriods); otherwise no orders and no THD.
struct Harmonics {
    // Orders 1 (the fundamental) up to kMaxHarmonicOrder, as far as they lie below half the sample rate.
    std::vector<Harmonic> orders;
    // sqrt(sum of the squared amplitudes of orders 2 and up) / fundamental, in percent; NaN when the
    // fundamental is 0 or there are no orders.
    double thdPercent = 0.0;
    // Mains periods within the N samples.
    double periods = 0.0;
    bool wholePeriods = false;
};

Harmonics AnalyseHarmonics(const Result& spectrum, int mainsHz, uint32_t divider);

// The spectrum as CSV (RFC 4180, decimal point, CR LF): "f_hz,amplitude", then one row per bin, both
// numbers as "%.10g".
std::string ToCsv(const Result& spectrum);
// The harmonic table as CSV in the same form: "order,f_hz,amplitude,percent_of_fundamental" (an empty
// percent where the fundamental is 0).
std::string HarmonicsCsv(const Harmonics& harmonics);

} // namespace Spectrum
