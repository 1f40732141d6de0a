#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A set of harmonic limits of a standard, held as data: one file per set under resources/limits/,
// built into the program. Each file names its standard, edition, table and scope, and lists per
// harmonic order one limit per column (the columns are the table's classes: a short-circuit ratio, a bus
// voltage); an empty cell or a missing order has no limit.
namespace quirel::analysis {

struct LimitSet {
    enum class Reference {
        kFundamental, // percent of the fundamental's amplitude
        kDemand       // percent of the maximum demand current IL, harmonics taken as RMS values
    };

    std::string name; // how a user asks for it: "en50160"
    std::string standard, edition, table, scope, notes;
    Reference reference = Reference::kFundamental;
    std::string distortionName; // "THD" or "TDD"
    int maxOrder = 40;          // orders above are neither summed nor checked
    std::vector<std::string> columns;
    std::vector<double> columnUpToKv; // per column the highest bus voltage it covers; empty: not by voltage
    std::vector<std::vector<std::optional<double>>> orderLimits; // [order][column]
    std::vector<std::optional<double>> distortionLimits;         // [column]

    // The column of that name (case-insensitive), or -1.
    int ColumnByName(std::string_view column) const;
    // The first column whose voltage range holds `kv`, or -1.
    int ColumnForKv(double kv) const;
    // The limit of an order in percent, or nothing where the set has none.
    std::optional<double> LimitPercent(int order, int column) const;
};

// A set from the text of its file; nothing, with the reason in `why`, when the text is not one.
std::optional<LimitSet> ParseLimitSet(std::string_view text, std::string* why = nullptr);

// The names of the sets built into the program, and one of them by name (case-insensitive); an unknown
// name gives nothing and the reason in the user-interface language.
std::vector<std::string> LimitSetNames();
std::optional<LimitSet> FindLimitSet(std::string_view name, std::string* why = nullptr);

} // namespace quirel::analysis
