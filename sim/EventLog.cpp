#include "EventLog.h"

#include <chrono>
#include <cstdio>
#include <random>

namespace quirel::sim {

namespace {

struct Template {
    const char* text;
    EventLog::Kind kind;
    int weight;
};

// What a filter in the field logs, roughly in proportion to how often it happens.
constexpr Template kTemplates[] = {
    {"Filter started", EventLog::Kind::Status, 14},
    {"Filter stopped", EventLog::Kind::Status, 12},
    {"Mains voltage restored", EventLog::Kind::Status, 5},
    {"Standby: load below threshold", EventLog::Kind::Status, 8},
    {"Compensation resumed", EventLog::Kind::Status, 8},
    {"Parameter set changed by service", EventLog::Kind::Info, 4},
    {"Date and time set", EventLog::Kind::Info, 2},
    {"Firmware started V2.14", EventLog::Kind::Info, 2},
    {"Fan test passed", EventLog::Kind::Info, 3},
    {"Self test passed", EventLog::Kind::Info, 4},
    {"Overcurrent L1", EventLog::Kind::Error, 2},
    {"Overcurrent L2", EventLog::Kind::Error, 2},
    {"Overcurrent L3", EventLog::Kind::Error, 2},
    {"Mains undervoltage", EventLog::Kind::Error, 3},
    {"Mains overvoltage", EventLog::Kind::Error, 1},
    {"DC link overvoltage", EventLog::Kind::Error, 2},
    {"DC link precharge time-out", EventLog::Kind::Error, 1},
    {"Heatsink overtemperature", EventLog::Kind::Error, 2},
    {"Mains frequency out of range", EventLog::Kind::Error, 1},
    {"Wrong rotating field", EventLog::Kind::Error, 1},
    {"Current transformer polarity L2 reversed", EventLog::Kind::Error, 1},
    {"Communication time-out CAN", EventLog::Kind::Error, 1},
    {"Fan failure", EventLog::Kind::Error, 1},
};

const char* kindText(EventLog::Kind kind) {
    switch (kind) {
    case EventLog::Kind::Error:
        return "Error";
    case EventLog::Kind::Status:
        return "Status";
    case EventLog::Kind::Info:
        break;
    }
    return "Info";
}

// The device clock's start: 2026-11-30 08:00:00.
constexpr std::int64_t kClockStart = 1795996800 + 8 * 3600;

} // namespace

std::string EventLog::formatLine(std::int64_t epochSeconds, const std::string& description, double hours,
                                 Kind kind) {
    using namespace std::chrono;
    const sys_seconds when{seconds{epochSeconds}};
    const auto day = floor<days>(when);
    const year_month_day ymd{day};
    const hh_mm_ss hms{when - day};
    char head[64];
    std::snprintf(head, sizeof head, "%02u.%02u.%04d %02d:%02d:%02d ", static_cast<unsigned>(ymd.day()),
                  static_cast<unsigned>(ymd.month()), static_cast<int>(ymd.year()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()));
    char tail[64];
    std::snprintf(tail, sizeof tail, ";%.0f;%s", hours, kindText(kind));
    return head + description + tail;
}

EventLog::EventLog(std::uint32_t seed, int count) : m_startEpoch(kClockStart) {
    std::mt19937 random(seed);
    int totalWeight = 0;
    for (const auto& t : kTemplates)
        totalWeight += t.weight;
    // Walk backwards from the clock start, then emit oldest first.
    std::vector<std::pair<std::int64_t, const Template*>> events;
    std::int64_t when = kClockStart - 3600;
    std::uniform_int_distribution<int> gap(600, 5 * 24 * 3600);
    std::uniform_int_distribution<int> pick(0, totalWeight - 1);
    for (int i = 0; i < count; ++i) {
        int r = pick(random);
        const Template* chosen = &kTemplates[0];
        for (const auto& t : kTemplates) {
            if (r < t.weight) {
                chosen = &t;
                break;
            }
            r -= t.weight;
        }
        events.emplace_back(when, chosen);
        when -= gap(random);
    }
    // The filter runs most of the time, so operating hours grow at about 80 % of wall time.
    const double hoursAtStart = 23817.0;
    m_startHours = hoursAtStart;
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
        const double hours = hoursAtStart - static_cast<double>(kClockStart - it->first) / 3600.0 * 0.8;
        m_lines.push_back(formatLine(it->first, it->second->text, hours, it->second->kind));
    }
}

void EventLog::append(double clockSeconds, double runSeconds, const std::string& description, Kind kind) {
    std::string text;
    for (const char c : description)
        text.push_back(static_cast<unsigned char>(c) < 0x20 || c == ';' ? ' ' : c);
    if (text.size() > kMaxDescription) {
        // Cut before the character that would not fit whole (UTF-8 continuation bytes are 10xxxxxx).
        std::size_t cut = kMaxDescription;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
    }
    const auto epoch = m_startEpoch + static_cast<std::int64_t>(clockSeconds);
    m_lines.push_back(formatLine(epoch, text, m_startHours + runSeconds / 3600.0, kind));
    if (m_lines.size() > kMaxRecords)
        m_lines.erase(m_lines.begin(), m_lines.begin() + static_cast<long>(m_lines.size() - kMaxRecords));
}

bool EventLog::isLogFile(int fileNumber) {
    return fileNumber == kLatestFile || (fileNumber >= kFirstAllFile && fileNumber <= kLastAllFile);
}

std::string EventLog::fileBytes(int fileNumber) const {
    if (!isLogFile(fileNumber))
        return {};
    std::size_t first = 0;
    std::size_t last = m_lines.size();
    if (fileNumber == kLatestFile) {
        first = m_lines.size() > kLatestCount ? m_lines.size() - kLatestCount : 0;
    } else {
        // All records spread evenly over the twelve files, oldest first.
        const std::size_t files = kLastAllFile - kFirstAllFile + 1;
        const std::size_t index = static_cast<std::size_t>(fileNumber - kFirstAllFile);
        const std::size_t per = (m_lines.size() + files - 1) / files;
        first = std::min(m_lines.size(), index * per);
        last = std::min(m_lines.size(), first + per);
    }
    std::string text;
    for (std::size_t i = first; i < last; ++i) {
        const std::string& line = m_lines[i];
        if (text.size() + line.size() + 1 + 3 > kFileCapacity) {
            // Keep the newest lines when a file would overflow.
            if (fileNumber != kLatestFile)
                break;
            text.erase(0, text.find('\n') + 1);
        }
        text += line;
        text += '\n';
    }
    // The reader ends a block at a zero byte followed by another zero byte; never split that pair.
    if (text.size() % 166 == 165)
        text += '\n';
    std::string bytes = text;
    bytes.append(2, '\0');
    const std::size_t blocks = (bytes.size() + 165) / 166;
    bytes.resize(blocks * 166, '\0');
    return bytes;
}

} // namespace quirel::sim
