#include "parameters/ValueText.h"

#include "base/DecimalNumber.h"
#include "base/StringTable.h"
#include "parameters/ParameterDescription.h"
#include "parameters/ParameterValue.h"

#include <cfloat>
#include <cinttypes>
#include <cstdio>
#include <limits>

namespace {

// Resource strings of the refusals.
constexpr unsigned kIdsInvalidValue = 1001;
constexpr unsigned kIdsNumberExpected = 1002;
constexpr unsigned kIdsCommaExpected = 1003;
constexpr unsigned kIdsAllowedRange = 1004;
constexpr unsigned kIdsAllowedRangeTo = 1005;
constexpr unsigned kIdsListedValueExpected = 1006;
constexpr unsigned kIdsDateTimeExpected = 1007;
constexpr unsigned kIdsTimeExpected = 1008;
constexpr unsigned kIdsAddressExpected = 1009;
constexpr unsigned kIdsNotWritable = 1010;

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A sign and digits, nothing else; false for anything more or less, or beyond 18 digits (which no
// 32-bit type takes anyway, and the caller reports as out of range).
enum class IntScan { Ok, NotANumber, TooLong };
IntScan ScanInteger(std::string_view s, int64_t& out) {
    size_t i = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '+' || s[0] == '-'))
        ++i;
    if (i == s.size())
        return IntScan::NotANumber;
    int64_t v = 0;
    size_t digits = 0;
    for (; i < s.size(); ++i) {
        if (!IsDigit(s[i]))
            return IntScan::NotANumber;
        if (++digits > 18)
            return IntScan::TooLong;
        v = v * 10 + (s[i] - '0');
    }
    out = negative ? -v : v;
    return IntScan::Ok;
}

// Digits with an optional decimal comma and exponent, as parseDecimalComma reads them, but whole.
bool IsWholeDecimalComma(std::string_view s) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    size_t digits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i)
        ++digits;
    if (i < s.size() && s[i] == ',')
        for (++i; i < s.size() && IsDigit(s[i]); ++i)
            ++digits;
    if (digits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        size_t expDigits = 0;
        for (; i < s.size() && IsDigit(s[i]); ++i)
            ++expDigits;
        if (expDigits == 0)
            return false;
    }
    return i == s.size();
}

struct Range {
    int64_t min, max;
};
std::optional<Range> IntegerRange(uint32_t dataType) {
    switch (PARAMVALUE::KindOf(dataType)) {
    case PARAMVALUE::Kind::Int16:
        return Range{INT16_MIN, INT16_MAX};
    case PARAMVALUE::Kind::UInt16:
        return Range{0, UINT16_MAX};
    case PARAMVALUE::Kind::Int32:
        return Range{INT32_MIN, INT32_MAX};
    case PARAMVALUE::Kind::UInt32:
        return Range{0, UINT32_MAX};
    case PARAMVALUE::Kind::Float:
        return Range{INT32_MIN, INT32_MAX}; // the file form "N;text" carries a 32-bit number
    default:
        return std::nullopt;
    }
}

class Judge {
public:
    Judge(std::string_view text) : m_text(text) {}

    ParsedValueText Refuse(const std::string& reason) const {
        return {std::nullopt,
                quirel::loadString(kIdsInvalidValue) + "\"" + std::string(m_text) + "\": " + reason};
    }
    ParsedValueText RefuseRange(const std::string& min, const std::string& max) const {
        return Refuse(quirel::loadString(kIdsAllowedRange) + min + quirel::loadString(kIdsAllowedRangeTo) +
                      max);
    }
    static ParsedValueText Take(const PARAMVALUE& v) { return {v, std::string()}; }

    // A whole integer in the range of `dataType`, stored by the 32-bit conversion.
    ParsedValueText Integer(std::string_view s, PARAMVALUE cell) const {
        const std::optional<Range> range = IntegerRange(cell.dataType);
        if (!range)
            return Refuse(quirel::loadString(kIdsNotWritable));
        int64_t v = 0;
        const IntScan scan = ScanInteger(s, v);
        if (scan == IntScan::NotANumber)
            return Refuse(quirel::loadString(kIdsNumberExpected));
        if (scan == IntScan::TooLong || v < range->min || v > range->max)
            return RefuseRange(std::to_string(range->min), std::to_string(range->max));
        cell.SetFromInt64(v);
        return Take(cell);
    }

    ParsedValueText Float(std::string_view s, PARAMVALUE cell) const {
        if (!IsWholeDecimalComma(s)) {
            // The same digits with a comma in place of one point would be a number: say so, rather than
            // reading "0.90" as 0 the way the runtime's parser would.
            std::string comma(s);
            const size_t point = comma.find('.');
            if (point != std::string::npos && comma.find(',') == std::string::npos &&
                comma.find('.', point + 1) == std::string::npos) {
                comma[point] = ',';
                if (IsWholeDecimalComma(comma))
                    return Refuse(quirel::loadString(kIdsCommaExpected) + comma + ")");
            }
            return Refuse(quirel::loadString(kIdsNumberExpected));
        }
        const double v = quirel::parseDecimalComma(s);
        if (!(v >= -FLT_MAX && v <= FLT_MAX)) {
            char max[32];
            std::snprintf(max, sizeof max, "%g", static_cast<double>(FLT_MAX));
            std::string text(max);
            for (char& c : text)
                if (c == '.')
                    c = ',';
            return RefuseRange("-" + text, text);
        }
        cell.SetFromDouble(v);
        return Take(cell);
    }

private:
    std::string_view m_text;
};

std::string ListOfValueTexts(const CParameterDescription& d) {
    constexpr size_t kShown = 12;
    std::string list;
    const auto& texts = d.GetValueTexts();
    for (size_t i = 0; i < texts.size() && i < kShown; ++i)
        list += (i ? ", " : "") + texts[i];
    if (texts.size() > kShown)
        list += ", ...";
    return list;
}

} // namespace

std::optional<uint32_t> ParseAddressText(std::string_view text) {
    text = Trimmed(text);
    uint32_t v = 0;
    size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (i >= text.size() || text[i++] != '.'))
            return std::nullopt;
        int n = 0, digits = 0;
        for (; i < text.size() && IsDigit(text[i]) && digits < 3; ++i, ++digits)
            n = n * 10 + (text[i] - '0');
        if (digits == 0 || n > 255)
            return std::nullopt;
        v = (v << 8) | static_cast<uint32_t>(n);
    }
    if (i != text.size())
        return std::nullopt;
    return v;
}

ParsedValueText ParseValueText(const CParameterDescription& d, const PARAMVALUE& current,
                               std::string_view text, ValueTextSource source) {
    const Judge judge(text);
    const std::string_view s = Trimmed(text);
    PARAMVALUE cell = current;
    const auto kind = cell.GetKind();
    // Codes without a register form are never written (the device would refuse them anyway).
    if (kind == PARAMVALUE::Kind::Text || kind == PARAMVALUE::Kind::Nothing ||
        kind == PARAMVALUE::Kind::Undefined)
        return judge.Refuse(quirel::loadString(kIdsNotWritable));

    if (source == ValueTextSource::File) {
        const size_t semi = s.find(';');
        if (semi != std::string_view::npos && d.HasValueTexts()) {
            // "N;text": N is the position in the value texts; one outside them names no value.
            const int64_t last = static_cast<int64_t>(d.GetValueTexts().size()) - 1;
            int64_t index = -1;
            if (ScanInteger(Trimmed(s.substr(0, semi)), index) != IntScan::Ok || index < 0 || index > last)
                return judge.RefuseRange("0", std::to_string(last) + " (" + ListOfValueTexts(d) + ")");
            cell.SetFromInt64(index);
            return Judge::Take(cell);
        }
        if (semi != std::string_view::npos)
            return judge.Integer(Trimmed(s.substr(0, semi)), cell); // "N;text": N whatever the code
    } else if (d.HasValueTexts()) {
        const int index = d.FindValueText(std::string(s));
        if (index < 0)
            return judge.Refuse(quirel::loadString(kIdsListedValueExpected) + ListOfValueTexts(d));
        cell.SetFromInt32(index);
        return Judge::Take(cell);
    }

    using namespace DataTypeCode;
    switch (cell.dataType) {
    case kFloat:
        return judge.Float(s, cell);
    case kDateTime:
        if (auto t = DeviceTime::ParseDateTime(s)) {
            cell.raw = *t;
            return Judge::Take(cell);
        }
        return judge.Refuse(quirel::loadString(kIdsDateTimeExpected));
    case kTimeOfDay:
        if (auto t = DeviceTime::ParseTimeOfDay(s)) {
            cell.SetFromInt64(*t);
            return Judge::Take(cell);
        }
        return judge.Refuse(quirel::loadString(kIdsTimeExpected));
    case kSeconds:
        // Shown as a time of day, so the shown form reads back; a plain number still counts seconds.
        if (s.find(':') != std::string_view::npos) {
            if (auto t = DeviceTime::ParseTimeOfDay(s)) {
                cell.SetFromInt64(*t);
                return Judge::Take(cell);
            }
            return judge.Refuse(quirel::loadString(kIdsTimeExpected));
        }
        break;
    default:
        break;
    }
    if (IsAddressParameter(static_cast<uint32_t>(d.GetId()))) {
        if (auto a = ParseAddressText(s)) {
            cell.SetFromInt64(*a);
            return Judge::Take(cell);
        }
        return judge.Refuse(quirel::loadString(kIdsAddressExpected));
    }
    return judge.Integer(s, cell);
}

std::string ClockTextForType(uint32_t dataType, int year, int month, int day, int hour, int minute,
                             int second) {
    char buf[40];
    if (dataType == DataTypeCode::kDateTime)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                      second);
    else if (DataTypeCode::IsClock(dataType))
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
    else
        return std::string();
    return buf;
}
