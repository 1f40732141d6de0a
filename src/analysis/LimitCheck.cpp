#include "analysis/LimitCheck.h"

#include <cmath>
#include <numbers>

namespace quirel::analysis {
namespace {

Verdict Judge(double percent, const std::optional<double>& limit) {
    if (!limit || std::isnan(percent))
        return Verdict::kNone;
    // A figure equal to its limit meets it, also when the division left it a rounding step above.
    return percent <= *limit * (1.0 + 1e-12) ? Verdict::kPass : Verdict::kFail;
}

} // namespace

const char* VerdictText(Verdict v) {
    return v == Verdict::kPass ? "pass" : v == Verdict::kFail ? "fail" : "-";
}

LimitCheck CheckLimits(const LimitSet& set, int column, std::span<const HarmonicRow> table,
                       double demandCurrentRms) {
    LimitCheck check;
    check.distortionName = set.distortionName;
    const bool demand = set.reference == LimitSet::Reference::kDemand;
    double fundamental = kNotAvailable;
    for (const HarmonicRow& row : table)
        if (row.order == 1)
            fundamental = row.amplitude;
    // Percent of the fundamental's amplitude, or of IL (RMS) with the peak amplitude made RMS.
    const double base = demand ? demandCurrentRms * std::numbers::sqrt2 : fundamental;
    const bool haveBase = base > 0.0;
    if (haveBase)
        check.referenceAmplitude = base;
    double squares = 0.0;
    for (const HarmonicRow& row : table) {
        if (row.order > set.maxOrder)
            continue;
        LimitCheck::Order o;
        o.order = row.order;
        o.frequencyHz = row.frequencyHz;
        o.amplitude = row.amplitude;
        if (haveBase)
            o.percent = 100.0 * row.amplitude / base;
        if (row.order >= 2) {
            o.limitPercent = set.LimitPercent(row.order, column);
            o.verdict = Judge(o.percent, o.limitPercent);
            squares += row.amplitude * row.amplitude;
        }
        check.orders.push_back(o);
    }
    if (haveBase)
        check.distortionPercent = 100.0 * std::sqrt(squares) / base;
    if (column >= 0 && static_cast<size_t>(column) < set.distortionLimits.size())
        check.distortionLimitPercent = set.distortionLimits[static_cast<size_t>(column)];
    check.distortionVerdict = Judge(check.distortionPercent, check.distortionLimitPercent);

    auto fold = [&](Verdict v) {
        if (v == Verdict::kFail || (v == Verdict::kPass && check.overall == Verdict::kNone))
            check.overall = v;
    };
    for (const LimitCheck::Order& o : check.orders)
        fold(o.verdict);
    fold(check.distortionVerdict);
    return check;
}

} // namespace quirel::analysis
