#include "analysis/LimitSet.h"

#include "analysis/AnalysisTexts.h"
#include "analysis/LimitSetFiles.h"
#include "base/IniFile.h"
#include "base/TextTrim.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace quirel::analysis {
namespace {

std::vector<std::string_view> Cells(std::string_view s) {
    std::vector<std::string_view> cells;
    for (size_t from = 0;;) {
        const size_t comma = s.find(',', from);
        cells.push_back(trimBlanks(
            s.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from)));
        if (comma == std::string_view::npos)
            return cells;
        from = comma + 1;
    }
}

// A row of the table: one cell per column, each a number of percent or empty for "no limit".
bool ParseRow(std::string_view text, size_t columns, std::vector<std::optional<double>>& out) {
    const std::vector<std::string_view> cells = Cells(text);
    if (cells.size() != columns)
        return false;
    out.assign(columns, std::nullopt);
    for (size_t c = 0; c < columns; ++c) {
        if (cells[c].empty())
            continue;
        double v = 0.0;
        const auto r = std::from_chars(cells[c].data(), cells[c].data() + cells[c].size(), v);
        if (r.ec != std::errc() || r.ptr != cells[c].data() + cells[c].size() || !(v >= 0.0) ||
            !std::isfinite(v))
            return false;
        out[c] = v;
    }
    return true;
}

} // namespace

int LimitSet::ColumnByName(std::string_view column) const {
    for (size_t c = 0; c < columns.size(); ++c)
        if (equalsNoCase(columns[c], column))
            return static_cast<int>(c);
    return -1;
}

int LimitSet::ColumnForKv(double kv) const {
    if (!(kv > 0.0))
        return -1;
    for (size_t c = 0; c < columnUpToKv.size(); ++c)
        if (kv <= columnUpToKv[c])
            return static_cast<int>(c);
    return -1;
}

std::optional<double> LimitSet::LimitPercent(int order, int column) const {
    if (order < 0 || order > maxOrder || static_cast<size_t>(order) >= orderLimits.size() || column < 0 ||
        static_cast<size_t>(column) >= columns.size())
        return std::nullopt;
    return orderLimits[static_cast<size_t>(order)][static_cast<size_t>(column)];
}

std::optional<LimitSet> ParseLimitSet(std::string_view text, std::string* why) {
    auto refuse = [&](const std::string& reason) -> std::optional<LimitSet> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    IniFile ini;
    ini.parse(text);
    LimitSet s;
    const IniFile::SectionRef head = ini.section("Set");
    for (auto [key, field] : {std::pair{"Name", &s.name},
                              {"Standard", &s.standard},
                              {"Edition", &s.edition},
                              {"Table", &s.table},
                              {"Scope", &s.scope},
                              {"Distortion", &s.distortionName}}) {
        *field = ini.getString(head, key, "");
        if (field->empty())
            return refuse(std::string("[Set] ") + key + " is missing");
    }
    s.notes = ini.getString(head, "Notes", "");
    const std::string reference = ini.getString(head, "Reference", "");
    if (reference != "fundamental" && reference != "demand")
        return refuse("[Set] Reference is fundamental or demand");
    s.reference = reference == "demand" ? LimitSet::Reference::kDemand : LimitSet::Reference::kFundamental;
    s.maxOrder = ini.getInt(head, "MaxOrder", 40);
    if (s.maxOrder < 2 || s.maxOrder > 40)
        return refuse("[Set] MaxOrder is 2 to 40");
    const std::string columns = ini.getString(head, "Columns", "");
    for (std::string_view column : Cells(columns)) {
        if (column.empty())
            return refuse("[Set] Columns has an empty name");
        s.columns.emplace_back(column);
    }
    if (const std::string kv = ini.getString(head, "ColumnUpToKv", ""); !kv.empty()) {
        std::vector<std::optional<double>> bounds;
        if (!ParseRow(kv, s.columns.size(), bounds))
            return refuse("[Set] ColumnUpToKv needs one number per column");
        for (const std::optional<double>& b : bounds)
            s.columnUpToKv.push_back(b.value_or(std::numeric_limits<double>::infinity()));
    }

    const IniFile::SectionRef limits = ini.section("Limits");
    s.orderLimits.assign(static_cast<size_t>(s.maxOrder) + 1,
                         std::vector<std::optional<double>>(s.columns.size()));
    if (!ParseRow(ini.getString(limits, s.distortionName, ""), s.columns.size(), s.distortionLimits))
        return refuse("[Limits] " + s.distortionName + " needs one cell per column");
    for (std::string_view key : ini.keyNames(limits)) {
        if (equalsNoCase(key, s.distortionName))
            continue;
        int order = 0;
        const auto r = std::from_chars(key.data(), key.data() + key.size(), order);
        if (r.ec != std::errc() || r.ptr != key.data() + key.size() || order < 2 || order > s.maxOrder)
            return refuse("[Limits] " + std::string(key) + " is not an order from 2 to MaxOrder");
        if (!ParseRow(ini.getString(limits, key, ""), s.columns.size(),
                      s.orderLimits[static_cast<size_t>(order)]))
            return refuse("[Limits] " + std::string(key) + " needs one number (or nothing) per column");
    }
    return s;
}

std::vector<std::string> LimitSetNames() {
    std::vector<std::string> names;
    for (const EmbeddedFile& file : EmbeddedLimitFiles())
        if (std::optional<LimitSet> s = ParseLimitSet(file.text))
            names.push_back(s->name);
    return names;
}

std::optional<LimitSet> FindLimitSet(std::string_view name, std::string* why) {
    for (const EmbeddedFile& file : EmbeddedLimitFiles())
        if (std::optional<LimitSet> s = ParseLimitSet(file.text); s && equalsNoCase(s->name, name))
            return s;
    if (why)
        *why = UnknownLimitSetText(name);
    return std::nullopt;
}

} // namespace quirel::analysis
