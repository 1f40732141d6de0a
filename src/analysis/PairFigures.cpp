#include "analysis/PairFigures.h"

#include "analysis/Fundamental.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quirel::analysis {

PairFigures AnalysePair(std::span<const double> u, std::span<const double> i, double sampleRateHz,
                        double nominalHz) {
    const size_t n = std::min(u.size(), i.size());
    u = u.first(n);
    i = i.first(n);
    // A fundamental the fit rejects (too small a share of the channel) does not set the periods.
    auto fundamentalOf = [&](std::span<const double> x) -> std::optional<double> {
        const std::optional<double> f = EstimateFundamental(x.data(), n, sampleRateHz);
        if (f && AnalyseTraceAt(x, sampleRateHz, f, nominalHz).HasFundamental())
            return f;
        return std::nullopt;
    };
    std::optional<double> f = fundamentalOf(u);
    if (!f)
        f = fundamentalOf(i);
    PairFigures p;
    p.voltage = AnalyseTraceAt(u, sampleRateHz, f, nominalHz);
    p.current = AnalyseTraceAt(i, sampleRateHz, f, nominalHz);
    const size_t used = p.voltage.samplesUsed;
    if (used == 0)
        return p;

    // As RMS, P is that of exactly the whole periods: the product of the periodic parts over them, plus
    // what the parts leave (noise, interharmonics) over the samples.
    const std::vector<double> pu = PeriodicPart(p.voltage, sampleRateHz),
                              pi = PeriodicPart(p.current, sampleRateHz);
    double rest = 0.0;
    for (size_t k = 0; k < used; ++k)
        rest += (u[k] - pu[k]) * (i[k] - pi[k]);
    double periodic = p.voltage.mean * p.current.mean;
    for (size_t h = 0; h < std::min(p.voltage.harmonics.size(), p.current.harmonics.size()); ++h) {
        const HarmonicRow &a = p.voltage.harmonics[h], &b = p.current.harmonics[h];
        periodic +=
            a.amplitude * b.amplitude / 2.0 * std::cos((a.phaseDeg - b.phaseDeg) * std::numbers::pi / 180.0);
    }
    p.activePowerW = periodic + rest / static_cast<double>(used);
    p.apparentPowerVA = p.voltage.rms * p.current.rms;
    if (p.apparentPowerVA > 0.0)
        p.powerFactor = p.activePowerW / p.apparentPowerVA;
    if (!p.voltage.HasFundamental() || !p.current.HasFundamental())
        return p;
    const HarmonicRow& u1 = p.voltage.harmonics.front();
    const HarmonicRow& i1 = p.current.harmonics.front();
    double lag = std::remainder(u1.phaseDeg - i1.phaseDeg, 360.0);
    if (lag <= -180.0)
        lag += 360.0;
    p.phaseDeg = lag;
    const double radians = lag * std::numbers::pi / 180.0;
    p.displacementPowerFactor = std::cos(radians);
    p.reactivePowerVar = u1.amplitude * i1.amplitude / 2.0 * std::sin(radians);
    return p;
}

} // namespace quirel::analysis
