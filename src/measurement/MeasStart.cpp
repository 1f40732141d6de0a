#include "measurement/MeasStart.h"

#include "base/BinaryArchive.h"

#include <cmath>
#include <cstring>

namespace {

// The desktop's date-time values cover 100-01-01 to 9999-12-31.
constexpr double kMinDays = -657434.0;
constexpr double kMaxDays = 2958466.0;

// Days since 1970-01-01 to the civil date (proleptic Gregorian).
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

} // namespace

void CMeasStart::SetFromDateTime(double days, bool valid) {
    if (!valid || !std::isfinite(days) || days < kMinDays || days >= kMaxDays) {
        SetInvalid();
        return;
    }
    // Before the epoch the fraction still counts forward from midnight of the whole day.
    double whole = std::trunc(days);
    int64_t seconds = std::llround(std::fabs(days - whole) * 86400.0);
    int64_t day = static_cast<int64_t>(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++day;
    }
    int y, mo, d;
    CivilFromDays(day - 25569, y, mo, d); // 1899-12-30 is 25569 days before 1970-01-01
    if (y > 9999) {
        SetInvalid();
        return;
    }
    *this = CMeasStart(y, mo, d, static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                       static_cast<int>(seconds % 60));
}

void CMeasStart::SetFromLocalTime(std::time_t t) {
    std::tm tm{};
    if (!::localtime_r(&t, &tm)) {
        SetInvalid();
        return;
    }
    *this = CMeasStart(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

CMeasStart CMeasStart::Now() {
    CMeasStart start;
    start.SetFromLocalTime(std::time(nullptr));
    return start;
}

void CMeasStart::Serialize(quirel::ArchiveWriter& ar) const {
    ar.writeU16(0xFFFF);
    ar.writeU16(kSchema);
    const uint16_t length = static_cast<uint16_t>(std::strlen(kClassName));
    ar.writeU16(length);
    ar.writeBytes(std::string_view(kClassName, length));
    for (int32_t v : {m_year, m_month, m_day, m_hour, m_minute, m_second})
        ar.writeI32(v);
}

void CMeasStart::Deserialize(quirel::ArchiveReader& ar) {
    if (ar.readU16() != 0xFFFF)
        throw quirel::ArchiveError("the measurement-start record has no class tag");
    const uint16_t schema = ar.readU16();
    const uint16_t length = ar.readU16();
    if (ar.readBytes(length) != kClassName)
        throw quirel::ArchiveError("the measurement-start record names another class");
    if (schema != kSchema)
        return;
    CMeasStart read;
    for (int32_t* field :
         {&read.m_year, &read.m_month, &read.m_day, &read.m_hour, &read.m_minute, &read.m_second})
        *field = ar.readI32();
    *this = read;
}
