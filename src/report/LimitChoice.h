#pragma once

#include "analysis/LimitCheck.h"
#include "analysis/LimitSet.h"
#include "measurement/Spectrum.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quirel::report {

// A limit set with what a site adds to it: the column of its table that applies and, for a set that
// refers to the demand current, IL. What the user gives (the spectrum command, the report, a dialog) is
// turned into one here, so every place refuses the same incomplete choices.
struct LimitChoice {
    analysis::LimitSet set;
    int column = 0;
    double demandCurrentRms = analysis::kNotAvailable; // IL in A, for a set referring to the demand

    // Currents (a set referring to the demand current), else voltages.
    bool ForCurrents() const { return set.reference == analysis::LimitSet::Reference::kDemand; }
    // "IEEE Std 519-2022, Isc/IL 20-50, IL 160 A": what a reader needs to know the verdicts by.
    std::string Title() const;
    analysis::LimitCheck Check(std::span<const analysis::HarmonicRow> table) const;
    // The harmonic table of a spectrum held against the limits. Without whole mains periods (no table) or
    // a fundamental there is nothing to judge: the overall verdict is then none.
    analysis::LimitCheck Check(const Spectrum::Harmonics& harmonics) const;
};

// What a user names: the set, and the site's data the set needs (empty / NaN when not given).
struct LimitRequest {
    std::string name;  // "en50160", "ieee519", "ieee519-voltage"
    std::string ratio; // Isc/IL column, for a set by short-circuit ratio: "LT20" .. "GT1000"
    double il = analysis::kNotAvailable; // A, for a set referring to the demand current
    double kv = analysis::kNotAvailable; // bus voltage, for a set by voltage
};

// The choice, or nothing and why (English, as usage errors are): an unknown set, a ratio or IL missing
// where the set needs them or given where it does not, a bus voltage no column covers.
std::optional<LimitChoice> MakeLimitChoice(const LimitRequest& request, std::string* why);

} // namespace quirel::report
