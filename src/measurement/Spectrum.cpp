#include "measurement/Spectrum.h"

#include <fftw3.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <mutex>

namespace Spectrum {
namespace {

// FFTW's planner is not thread-safe; executing a plan is.
std::mutex gPlannerMutex;

// "%.10g" whatever locale the process runs in.
void AppendNumber(std::string& line, double v) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 10);
    line.append(buffer, r.ptr);
}

} // namespace

int TransformLength(int mainsHz, uint32_t divider) {
    if (mainsHz == 60) {
        if (divider % 5 == 0)
            return 320;
        if (divider % 4 == 0)
            return 400;
        return 512;
    }
    if (divider % 5 == 0)
        return 512;
    if (divider % 4 == 0 || divider == 26)
        return 480;
    if (divider == 2 || divider == 14 || divider == 22)
        return 320;
    return 512;
}

int WholeMainsPeriods(size_t samples, uint32_t divider, int mainsHz) {
    // In whole numbers: periods = samples x divider x mains / 32000. No stretch of a real trace comes near
    // an overflow; a file's absurd divider gets no periods.
    uint64_t spanned = 0;
    if (__builtin_mul_overflow(uint64_t{samples}, uint64_t{divider} * (mainsHz == 60 ? 60u : 50u), &spanned))
        return 0;
    const auto base = static_cast<uint64_t>(kBaseSampleRateHz);
    const uint64_t periods = spanned / base;
    return spanned % base == 0 && periods <= INT_MAX ? static_cast<int>(periods) : 0;
}

Result Compute(const double* values, size_t count, int mainsHz, uint32_t divider) {
    Result r;
    r.length = TransformLength(mainsHz, divider);
    r.available = count;
    if (divider == 0) {
        r.status = Result::kNoSamplePeriod;
        return r;
    }
    const auto n = static_cast<size_t>(r.length);
    if (count < n) {
        r.status = Result::kTooFewValues;
        return r;
    }
    r.resolutionHz = kBaseSampleRateHz / (static_cast<double>(n) * divider);

    auto* in = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
    auto* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
    fftw_plan plan;
    {
        std::lock_guard lock(gPlannerMutex);
        plan = fftw_plan_dft_1d(r.length, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    }
    for (size_t k = 0; k < n; ++k) {
        in[k][0] = values[k];
        in[k][1] = 0.0;
    }
    fftw_execute(plan);
    r.frequencyHz.resize(n / 2);
    r.amplitude.resize(n / 2);
    for (size_t k = 0; k < n / 2; ++k) {
        r.frequencyHz[k] = static_cast<double>(k) * kBaseSampleRateHz / (static_cast<double>(n) * divider);
        r.amplitude[k] =
            std::sqrt(out[k][0] * out[k][0] + out[k][1] * out[k][1]) * 2.0 / static_cast<double>(n);
    }
    {
        std::lock_guard lock(gPlannerMutex);
        fftw_destroy_plan(plan);
    }
    fftw_free(in);
    fftw_free(out);
    return r;
}

Harmonics AnalyseHarmonics(const Result& spectrum, int mainsHz, uint32_t divider) {
    Harmonics h;
    const double mains = mainsHz == 60 ? 60.0 : 50.0;
    if (spectrum.status != Result::kOk || divider == 0)
        return h;
    h.periods = mains * spectrum.length * divider / kBaseSampleRateHz;
    const int whole = WholeMainsPeriods(static_cast<size_t>(spectrum.length), divider, mainsHz);
    h.wholePeriods = whole > 0;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!h.wholePeriods) {
        h.thdPercent = nan;
        return h;
    }
    const auto bins = static_cast<int>(spectrum.amplitude.size());
    double squares = 0.0;
    for (int order = 1; order <= kMaxHarmonicOrder; ++order) {
        const int bin = order * whole;
        if (bin <= 0 || bin >= bins)
            break;
        Harmonic entry;
        entry.order = order;
        entry.bin = bin;
        entry.frequencyHz = spectrum.frequencyHz[static_cast<size_t>(bin)];
        entry.amplitude = spectrum.amplitude[static_cast<size_t>(bin)];
        if (order > 1)
            squares += entry.amplitude * entry.amplitude;
        h.orders.push_back(entry);
    }
    const double fundamental = h.orders.empty() ? 0.0 : h.orders.front().amplitude;
    for (Harmonic& entry : h.orders)
        entry.percent = fundamental > 0.0 ? 100.0 * entry.amplitude / fundamental : nan;
    h.thdPercent = fundamental > 0.0 ? 100.0 * std::sqrt(squares) / fundamental : nan;
    return h;
}

std::string ToCsv(const Result& spectrum) {
    std::string text = "f_hz,amplitude\r\n";
    for (size_t k = 0; k < spectrum.amplitude.size(); ++k) {
        AppendNumber(text, spectrum.frequencyHz[k]);
        text += ',';
        AppendNumber(text, spectrum.amplitude[k]);
        text += "\r\n";
    }
    return text;
}

std::string HarmonicsCsv(const Harmonics& harmonics) {
    std::string text = "order,f_hz,amplitude,percent_of_fundamental\r\n";
    for (const Harmonic& h : harmonics.orders) {
        text += std::to_string(h.order) + ',';
        AppendNumber(text, h.frequencyHz);
        text += ',';
        AppendNumber(text, h.amplitude);
        text += ',';
        if (!std::isnan(h.percent))
            AppendNumber(text, h.percent);
        text += "\r\n";
    }
    return text;
}

} // namespace Spectrum
