#pragma once

#include "analysis/TraceFigures.h"

#include <span>
#include <vector>

namespace quirel::analysis {

// How much of a load's harmonic current the filter keeps from the mains: the load current (before the
// filter) beside the mains current (after it) of the same phase, captured together.
struct Effectiveness {
    TraceFigures before, after;
    struct Order {
        int order = 0;
        double before = 0.0, after = 0.0;        // amplitudes
        double reductionPercent = kNotAvailable; // 100 (1 - after / before); none where before is 0
                                                 // (below a ten-thousandth of the fundamental)
        // The load draws at least kSignificantShare of its fundamental of this order: worth showing.
        bool significant = false;
    };
    static constexpr double kSignificantShare = 0.005;
    std::vector<Order> orders; // 2 .. the highest order both tables hold
    // The harmonic current (orders 2 and up, summed as squares) the filter keeps from the mains:
    // 100 (1 - after / before); none without harmonics before it.
    double harmonicReductionPercent = kNotAvailable;
};

// Both currents over the first min(before, after) samples and at one frequency (the load current's
// fundamental, else the mains current's), so that their orders sit on the same frequencies.
Effectiveness CompareCurrents(std::span<const double> before, std::span<const double> after,
                              double sampleRateHz, double nominalHz);

} // namespace quirel::analysis
