#include "Faults.h"

#include <charconv>
#include <sstream>

namespace quirel::sim {

namespace {

bool parseInt(const std::string& text, long min, long max, long& out) {
    long value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < min || value > max)
        return false;
    out = value;
    return true;
}

} // namespace

std::string Faults::help() {
    return "commands: drop N | crc N | delay MS | stray N MS | close-after N | exception CODE FIRST [LAST] | "
           "exception clear | refuse on|off | clear | status   (N = 0 switches a fault off)";
}

std::string Faults::describe() const {
    std::ostringstream out;
    out << "drop " << m_dropEvery << " crc " << m_crcEvery << " delay " << m_delayMs << " stray "
        << m_strayEvery << ' ' << m_strayDelayMs << " close-after " << m_closeAfter << " refuse "
        << (m_refuse ? "on" : "off");
    for (const auto& r : m_ranges)
        out << " exception " << static_cast<int>(r.code) << ' ' << r.first << ' ' << r.last;
    return out.str();
}

bool Faults::apply(const std::string& line, std::string& reply) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    auto fail = [&reply](const std::string& why) {
        reply = "error " + why;
        return false;
    };
    if (words.empty())
        return fail("empty command");
    const std::string& verb = words[0];
    long a = 0;
    long b = 0;
    if (verb == "status") {
        reply = "ok " + describe();
        return true;
    }
    if (verb == "help") {
        reply = "ok " + help();
        return true;
    }
    if (verb == "clear" && words.size() == 1) {
        const auto replies = m_replies;
        *this = Faults();
        m_replies = replies;
    } else if ((verb == "drop" || verb == "crc" || verb == "delay" || verb == "close-after") &&
               words.size() == 2) {
        if (!parseInt(words[1], 0, verb == "delay" ? 600000 : 1000000, a))
            return fail("bad number: " + words[1]);
        if (verb == "drop")
            m_dropEvery = static_cast<int>(a);
        else if (verb == "crc")
            m_crcEvery = static_cast<int>(a);
        else if (verb == "delay")
            m_delayMs = static_cast<int>(a);
        else
            m_closeAfter = static_cast<int>(a);
        m_replies = m_rtuReplies = m_strayCount = 0;
    } else if (verb == "stray" && (words.size() == 3 || (words.size() == 2 && words[1] == "0"))) {
        if (!parseInt(words[1], 0, 1000000, a) || (words.size() == 3 && !parseInt(words[2], 0, 600000, b)))
            return fail("usage: stray N MS");
        m_strayEvery = static_cast<int>(a);
        m_strayDelayMs = static_cast<int>(b);
        m_strayCount = 0;
    } else if (verb == "refuse" && words.size() == 2 && (words[1] == "on" || words[1] == "off")) {
        m_refuse = words[1] == "on";
    } else if (verb == "exception" && words.size() == 2 && (words[1] == "clear" || words[1] == "off")) {
        m_ranges.clear();
    } else if (verb == "exception" && (words.size() == 3 || words.size() == 4)) {
        long code = 0;
        if (!parseInt(words[1], 1, 255, code) || !parseInt(words[2], 1, 65536, a))
            return fail("usage: exception CODE FIRST [LAST]");
        b = a;
        if (words.size() == 4 && !parseInt(words[3], a, 65536, b))
            return fail("usage: exception CODE FIRST [LAST]");
        m_ranges.push_back(
            ExceptionRange{static_cast<std::uint8_t>(code), static_cast<int>(a), static_cast<int>(b)});
    } else {
        return fail("unknown command: " + line + " (" + help() + ")");
    }
    reply = "ok " + describe();
    return true;
}

bool Faults::takeDrop() {
    ++m_replies;
    return m_dropEvery > 0 && m_replies % static_cast<std::uint64_t>(m_dropEvery) == 0;
}

bool Faults::takeCorruptCrc() {
    ++m_rtuReplies;
    return m_crcEvery > 0 && m_rtuReplies % static_cast<std::uint64_t>(m_crcEvery) == 0;
}

bool Faults::takeStray() {
    ++m_strayCount;
    return m_strayEvery > 0 && m_strayCount % static_cast<std::uint64_t>(m_strayEvery) == 0;
}

std::uint8_t Faults::exceptionFor(int first, int count) const {
    const int last = first + count - 1;
    for (const auto& r : m_ranges)
        if (first <= r.last && last >= r.first)
            return r.code;
    return 0;
}

} // namespace quirel::sim
