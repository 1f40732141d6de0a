#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quirel::sim {

// The device's event log as the text files it serves: file 1 holds the latest records, files 20 to 31 all
// records, oldest first. Lines read "date time description;operating hours;Kind".
class EventLog {
public:
    enum class Kind { Error, Status, Info };

    static constexpr int kLatestFile = 1;
    static constexpr int kFirstAllFile = 20;
    static constexpr int kLastAllFile = 31;
    static constexpr int kLatestCount = 40;
    // A file is read as at most 100 blocks of 166 bytes; its text and the two closing zero bytes must fit.
    static constexpr std::size_t kFileCapacity = 100 * 166;
    // The device keeps this many records; the oldest go first. Twelve files of 200 lines stay in capacity.
    static constexpr std::size_t kMaxRecords = 12 * 200;
    // The device's text field for a description, in bytes. It keeps every line short enough that 200 fit
    // one file and that a saved log shows its first kind marker within its first 80 characters.
    static constexpr std::size_t kMaxDescription = 40;

    // A seeded history of count events ending shortly before the device clock's start.
    EventLog(std::uint32_t seed, int count);

    // Appends an event stamped at the device clock (startEpoch + clockSeconds) after runSeconds of operation.
    // The description is cut to kMaxDescription bytes; ";" and control characters become blanks, so that the
    // line keeps its fields and no zero byte ends the text early.
    void append(double clockSeconds, double runSeconds, const std::string& description, Kind kind);

    void clear() { m_lines.clear(); }
    const std::vector<std::string>& lines() const { return m_lines; }
    double startHours() const { return m_startHours; }
    // The bytes of a log file: text, then zero bytes to the end of the last block it touches (so the text
    // always ends with two zero bytes inside one block). Empty for files that are not part of the log.
    std::string fileBytes(int fileNumber) const;
    static bool isLogFile(int fileNumber);

    // Seconds since 1970 of the device clock at simulated time 0.
    std::int64_t startEpoch() const { return m_startEpoch; }

    static std::string formatLine(std::int64_t epochSeconds, const std::string& description, double hours,
                                  Kind kind);

private:
    std::vector<std::string> m_lines;
    std::int64_t m_startEpoch;
    double m_startHours;
};

} // namespace quirel::sim
