#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quirel::analysis {

// A channel computed sample by sample from others (the load current of a phase as the mains current
// minus the filter current, an instantaneous power as u x i). Its text form, one line:
//
//     ID=OP(A,B);UNIT;NAME      OP: sum (a + b), diff (a - b), product (a x b)
//     ID=scale(A,K[,OFFSET]);UNIT;NAME      k x a + offset
//
// ID, A and B are channel identifiers (A and B may name derived channels defined before); K and OFFSET
// numbers with a decimal point; blanks around the parts are ignored, UNIT may be empty, NAME (the rest
// of the line) may not. Example: "9001=diff(180,186);A;Load current L1".
struct DerivedChannel {
    enum class Op { kSum, kDifference, kProduct, kScale };

    uint32_t id = 0;
    Op op = Op::kSum;
    uint32_t a = 0, b = 0; // b unused by kScale
    double factor = 1.0, offset = 0.0;
    std::string unit, name;

    // The canonical text form; Parse(ToText()) gives the same definition back.
    std::string ToText() const;
    // Nothing, with `why` (the reason in the user-interface language), when `text` is not a definition.
    static std::optional<DerivedChannel> Parse(std::string_view text, std::string* why = nullptr);

    // The values from the sources' values: as many as the shorter source holds.
    std::vector<double> Compute(std::span<const double> a, std::span<const double> b) const;
    // One value from one value of each source.
    double Value(double a, double b) const;
    bool UsesB() const { return op != Op::kScale; }
};

} // namespace quirel::analysis
