#include "report/LimitChoice.h"

#include "base/DecimalNumber.h"

#include <cmath>

namespace quirel::report {

using analysis::LimitSet;

std::string LimitChoice::Title() const {
    std::string title = set.edition;
    if (ForCurrents())
        title +=
            ", Isc/IL " + set.columns[static_cast<size_t>(column)] + ", IL " +
            formatDecimalComma(demandCurrentRms, demandCurrentRms == std::floor(demandCurrentRms) ? 0 : 1) +
            " A";
    else if (set.columns.size() > 1)
        title += ", " + set.columns[static_cast<size_t>(column)];
    return title;
}

analysis::LimitCheck LimitChoice::Check(std::span<const analysis::HarmonicRow> table) const {
    return analysis::CheckLimits(set, column, table, demandCurrentRms);
}

analysis::LimitCheck LimitChoice::Check(const Spectrum::Harmonics& h) const {
    std::vector<analysis::HarmonicRow> table;
    for (const Spectrum::Harmonic& o : h.orders)
        table.push_back({o.order, o.frequencyHz, o.amplitude, o.percent, 0.0});
    analysis::LimitCheck check = Check(table);
    if (!h.wholePeriods)
        check.overall = analysis::Verdict::kNone;
    return check;
}

std::optional<LimitChoice> MakeLimitChoice(const LimitRequest& request, std::string* why) {
    auto refuse = [&](const std::string& reason) -> std::optional<LimitChoice> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    std::optional<LimitSet> set = analysis::FindLimitSet(request.name);
    if (!set) {
        std::string names;
        for (const std::string& name : analysis::LimitSetNames())
            names += (names.empty() ? "" : ", ") + name;
        return refuse("--limits is one of " + names);
    }
    LimitChoice choice{std::move(*set), 0, analysis::kNotAvailable};
    const bool byRatio = choice.ForCurrents();
    const bool byVoltage = !choice.set.columnUpToKv.empty();
    if (!byRatio && (!request.ratio.empty() || !std::isnan(request.il)))
        return refuse("--isc-il and --il belong to a current limit set (ieee519)");
    if (!byVoltage && !std::isnan(request.kv))
        return refuse("--kv belongs to a limit set by bus voltage (ieee519-voltage)");
    if (byRatio) {
        std::string columns;
        for (const std::string& c : choice.set.columns)
            columns += (columns.empty() ? "" : "|") + c;
        choice.column = choice.set.ColumnByName(request.ratio);
        if (choice.column < 0)
            return refuse(choice.set.name + " needs --isc-il " + columns);
        if (!(request.il > 0.0) || !std::isfinite(request.il))
            return refuse(choice.set.name + " needs --il AMPS, the maximum demand current (RMS)");
        choice.demandCurrentRms = request.il;
    } else if (byVoltage) {
        choice.column = choice.set.ColumnForKv(request.kv);
        if (choice.column < 0)
            return refuse(choice.set.name + " needs --kv KV, the bus voltage in kV (more than 0)");
    }
    return choice;
}

} // namespace quirel::report
