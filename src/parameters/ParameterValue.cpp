#include "parameters/ParameterValue.h"

#include "base/BinaryArchive.h"
#include "base/DecimalNumber.h"
#include "parameters/ParameterManager.h"
#include "parameters/ValueText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace DeviceTime {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

unsigned DaysInMonth(int64_t y, unsigned m) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// A small cursor over the text: unsigned numbers and single separators.
struct Scanner {
    std::string_view s;
    size_t i = 0;
    void SkipBlanks() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
    }
    bool Number(int64_t& out, size_t maxDigits) {
        size_t n = 0;
        out = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && n < maxDigits) {
            out = out * 10 + (s[i++] - '0');
            ++n;
        }
        return n > 0;
    }
    bool Accept(char c) {
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    bool AtEnd() {
        SkipBlanks();
        return i == s.size();
    }
};

// "H:MM[:SS]" at the scanner; false when malformed or out of range.
bool ScanClock(Scanner& sc, int64_t& seconds) {
    int64_t h, mi, se = 0;
    if (!sc.Number(h, 2) || !sc.Accept(':') || !sc.Number(mi, 2))
        return false;
    if (sc.Accept(':') && !sc.Number(se, 2))
        return false;
    if (h > 23 || mi > 59 || se > 59)
        return false;
    seconds = h * 3600 + mi * 60 + se;
    return true;
}

} // namespace

std::string FormatDateTime(uint32_t seconds) {
    const int64_t days = seconds / kSecondsPerDay;
    const int64_t rest = seconds % kSecondsPerDay;
    int64_t y;
    unsigned m, d;
    CivilFromDays(days, y, m, d);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02lld:%02lld:%02lld", static_cast<long long>(y), m, d,
                  static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60));
    return buf;
}

// Accepts the form FormatDateTime writes and the German "DD.MM.YYYY", each with an optional time
// "H:MM[:SS]"; a date alone means midnight.
std::optional<uint32_t> ParseDateTime(std::string_view text) {
    Scanner sc{text};
    sc.SkipBlanks();
    int64_t a, b, c;
    int64_t y;
    int64_t mo, d;
    if (!sc.Number(a, 4))
        return std::nullopt;
    if (sc.Accept('-')) {
        if (!sc.Number(b, 2) || !sc.Accept('-') || !sc.Number(c, 2))
            return std::nullopt;
        y = a, mo = b, d = c;
    } else if (sc.Accept('.')) {
        if (!sc.Number(b, 2) || !sc.Accept('.') || !sc.Number(c, 4))
            return std::nullopt;
        d = a, mo = b, y = c;
    } else {
        return std::nullopt;
    }
    if (mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, static_cast<unsigned>(mo)))
        return std::nullopt;
    int64_t clock = 0;
    if (!sc.AtEnd()) {
        if (sc.i < text.size() && text[sc.i] == 'T')
            ++sc.i;
        sc.SkipBlanks();
        if (!ScanClock(sc, clock) || !sc.AtEnd())
            return std::nullopt;
    }
    const int64_t total =
        DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * kSecondsPerDay + clock;
    if (total < 0 || total > UINT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(total);
}

std::string FormatTimeOfDay(int64_t seconds) {
    int64_t s = seconds % kSecondsPerDay;
    if (s < 0)
        s += kSecondsPerDay;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return buf;
}

std::optional<int64_t> ParseTimeOfDay(std::string_view text) {
    Scanner sc{text};
    sc.SkipBlanks();
    int64_t seconds;
    if (!ScanClock(sc, seconds) || !sc.AtEnd())
        return std::nullopt;
    return seconds;
}

} // namespace DeviceTime

namespace {

std::string FormatAddress(uint32_t v) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    return buf;
}

} // namespace

std::string CParameterValue::FormatText(const CParameterDescription& d, const PARAMVALUE& v) {
    if (d.HasValueTexts())
        return d.GetValueText(v.GetAsInt32().value_or(0));
    using namespace DataTypeCode;
    switch (v.dataType) {
    case kFloat:
        return quirel::formatDecimalComma(static_cast<double>(v.GetFloat()), d.GetPrecision());
    case kDateTime:
        return DeviceTime::FormatDateTime(v.raw);
    case kTimeOfDay:
        return DeviceTime::FormatTimeOfDay(v.raw);
    case kSeconds:
        return DeviceTime::FormatTimeOfDay(static_cast<int32_t>(v.raw));
    case kText:
        return TextValueTable::Get(d.GetId());
    default:
        break;
    }
    const int32_t n = v.GetAsInt32().value_or(0);
    if (IsAddressParameter(static_cast<uint32_t>(d.GetId())))
        return FormatAddress(static_cast<uint32_t>(n));
    // Counters of code 7 go beyond 2^31; show them unsigned rather than negative.
    if (v.GetKind() == PARAMVALUE::Kind::UInt32)
        return std::to_string(static_cast<uint32_t>(n));
    return std::to_string(n);
}

std::string CParameterValue::FormatExactText(const CParameterDescription& d, const PARAMVALUE& v) {
    std::string text = FormatText(d, v);
    if (d.HasValueTexts() || v.dataType != DataTypeCode::kFloat || !std::isfinite(v.GetFloat()))
        return text;
    for (int decimals = std::max(d.GetPrecision(), 0) + 1;
         decimals <= 20 && static_cast<float>(quirel::parseDecimalComma(text)) != v.GetFloat(); ++decimals)
        text = quirel::formatDecimalComma(static_cast<double>(v.GetFloat()), decimals);
    return text;
}

std::string CParameterValue::GetText(const CParameterManager& catalogue) const {
    return FormatText(catalogue.GetDescription(static_cast<int32_t>(m_id)), m_value);
}

bool CParameterValue::SetFromText(const CParameterManager& catalogue, std::string_view text) {
    return TakeText(catalogue.GetDescription(static_cast<int32_t>(m_id)), text, ValueTextSource::Typed)
        .empty();
}

bool CParameterValue::SetFromFileText(const CParameterManager& catalogue, std::string_view text) {
    return TakeText(catalogue.GetDescription(static_cast<int32_t>(m_id)), text, ValueTextSource::File)
        .empty();
}

std::string CParameterValue::TakeText(const CParameterDescription& d, std::string_view text,
                                      ValueTextSource source) {
    ParsedValueText parsed = ParseValueText(d, m_value, text, source);
    if (parsed.value)
        m_value = *parsed.value;
    return parsed.error;
}

void CParameterValue::Serialize(quirel::ArchiveWriter& ar) const {
    ar.writeU32(m_id);
    ar.writeU32(m_value.dataType);
    ar.writeU32(m_value.raw);
}

void CParameterValue::Deserialize(quirel::ArchiveReader& ar) {
    const uint32_t id = ar.readU32();
    const uint32_t type = ar.readU32();
    const uint32_t raw = ar.readU32();
    m_id = id;
    m_value = PARAMVALUE(type, raw);
}
