#pragma once

#include "analysis/LimitSet.h"
#include "analysis/TraceFigures.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quirel::analysis {

enum class Verdict { kNone, kPass, kFail }; // none: no limit, or nothing to hold against it

const char* VerdictText(Verdict v); // "-", "pass", "fail"

// A harmonic table held against one column of a limit set. Indicative only (IndicativeNoteText): a
// capture of a few periods is not the aggregation over minutes that the standards measure with.
struct LimitCheck {
    struct Order {
        int order = 0;
        double frequencyHz = 0.0;
        double amplitude = 0.0;
        double percent = kNotAvailable; // of the fundamental, or of IL with the amplitude taken as RMS
        std::optional<double> limitPercent;
        Verdict verdict = Verdict::kNone;
    };
    std::vector<Order> orders; // as in the table, up to the set's highest order
    // The amplitude (peak, in the table's unit) that 100 % stands for: the fundamental's, or IL x sqrt 2;
    // a limit drawn over the table's amplitudes is this x limitPercent / 100. NaN without one.
    double referenceAmplitude = kNotAvailable;
    std::string distortionName; // "THD" or "TDD"
    double distortionPercent = kNotAvailable;
    std::optional<double> distortionLimitPercent;
    Verdict distortionVerdict = Verdict::kNone;
    // fail when any figure fails, pass when at least one was held against a limit and none failed.
    Verdict overall = Verdict::kNone;
};

// `table` holds the fundamental (order 1) and its harmonics, amplitudes as peak values (a fit's or a
// spectrum's). `demandCurrentRms` is IL for a set whose reference is the demand current; a limit is met
// when the figure does not exceed it.
LimitCheck CheckLimits(const LimitSet& set, int column, std::span<const HarmonicRow> table,
                       double demandCurrentRms = kNotAvailable);

} // namespace quirel::analysis
