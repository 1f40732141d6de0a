#include "analysis/Effectiveness.h"

#include "analysis/Fundamental.h"

#include <algorithm>
#include <cmath>

namespace quirel::analysis {

Effectiveness CompareCurrents(std::span<const double> before, std::span<const double> after,
                              double sampleRateHz, double nominalHz) {
    const size_t n = std::min(before.size(), after.size());
    before = before.first(n);
    after = after.first(n);
    Effectiveness e;
    std::optional<double> f = EstimateFundamental(before.data(), n, sampleRateHz);
    e.before = AnalyseTraceAt(before, sampleRateHz, f, nominalHz);
    if (!e.before.HasFundamental()) {
        f = EstimateFundamental(after.data(), n, sampleRateHz);
        e.before = AnalyseTraceAt(before, sampleRateHz, f, nominalHz);
    }
    e.after = AnalyseTraceAt(after, sampleRateHz, f, nominalHz);
    const size_t orders = std::min(e.before.harmonics.size(), e.after.harmonics.size());
    const double fundamental = orders > 1 ? e.before.harmonics.front().amplitude : 0.0;
    double before2 = 0.0, after2 = 0.0;
    for (size_t k = 1; k < orders; ++k) {
        Effectiveness::Order o;
        o.order = e.before.harmonics[k].order;
        o.before = e.before.harmonics[k].amplitude;
        o.after = e.after.harmonics[k].amplitude;
        // Below a ten-thousandth of the fundamental an order is zero as far as a capture can tell (values
        // stored as floats, a frequency estimated to a few microhertz); a reduction of it means nothing.
        if (o.before > 1e-4 * fundamental)
            o.reductionPercent = 100.0 * (1.0 - o.after / o.before);
        o.significant = o.before >= Effectiveness::kSignificantShare * fundamental;
        before2 += o.before * o.before;
        after2 += o.after * o.after;
        e.orders.push_back(o);
    }
    if (orders > 1 && before2 > 1e-8 * fundamental * fundamental)
        e.harmonicReductionPercent = 100.0 * (1.0 - std::sqrt(after2 / before2));
    return e;
}

} // namespace quirel::analysis
