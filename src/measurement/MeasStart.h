#pragma once

#include <cstdint>
#include <ctime>

namespace quirel {
class ArchiveReader;
class ArchiveWriter;
} // namespace quirel

// The local date and time at which a measurement was started; all -1 when the time given was not a valid
// date, all 0 when none was given.
class CMeasStart {
public:
    static constexpr uint16_t kSchema = 1;
    static constexpr const char* kClassName = "CMeasStart";

    CMeasStart() = default;
    CMeasStart(int year, int month, int day, int hour, int minute, int second)
        : m_year(year), m_month(month), m_day(day), m_hour(hour), m_minute(minute), m_second(second) {}
    virtual ~CMeasStart() = default;

    void Clear() { *this = CMeasStart(); }
    // From a date-time value of the desktop's kind: days since 1899-12-30 with the time of day as
    // fraction, to the nearest second. Invalid or outside the years 100 to 9999: all -1.
    void SetFromDateTime(double days, bool valid = true);
    // From a calendar time as this computer's local time.
    void SetFromLocalTime(std::time_t t);
    // Now, as local time.
    static CMeasStart Now();

    // The class record (new-class tag 0xFFFF, schema 1, the name's length and "CMeasStart"), then year,
    // month, day, hour, minute and second.
    void Serialize(quirel::ArchiveWriter& ar) const;
    // Throws quirel::ArchiveError when the tag or the class name is wrong or the data end early. With
    // another schema nothing more is read and the fields stay as they were.
    void Deserialize(quirel::ArchiveReader& ar);

    int GetYear() const { return m_year; }
    int GetMonth() const { return m_month; }
    int GetDay() const { return m_day; }
    int GetHour() const { return m_hour; }
    int GetMinute() const { return m_minute; }
    int GetSecond() const { return m_second; }

    bool operator==(const CMeasStart&) const = default;

private:
    void SetInvalid() { *this = CMeasStart(-1, -1, -1, -1, -1, -1); }

    int32_t m_year = 0;
    int32_t m_month = 0;
    int32_t m_day = 0;
    int32_t m_hour = 0;
    int32_t m_minute = 0;
    int32_t m_second = 0;
};
