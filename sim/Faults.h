#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quirel::sim {

// Misbehaviour on demand, so that a client's error paths can be reached over a real wire. The settings are
// changed by options at start and by command lines at run time (see apply()).
class Faults {
public:
    struct ExceptionRange {
        std::uint8_t code;
        int first; // register references, counted from 1, inclusive
        int last;
    };

    // One command line: "drop N", "crc N", "delay MS", "stray N MS", "close-after N",
    // "exception CODE FIRST [LAST]", "exception clear", "refuse on|off", "clear", "status".
    // Returns false with a message for a line it does not understand; reply is the answer line.
    bool apply(const std::string& line, std::string& reply);
    static std::string help();
    std::string describe() const;

    // Decisions for one reply; each call counts one reply of its kind.
    bool takeDrop();
    bool takeCorruptCrc(); // RTU replies only
    bool takeStray();

    int delayMs() const { return m_delayMs; }
    int strayDelayMs() const { return m_strayDelayMs; }
    int closeAfter() const { return m_closeAfter; }
    bool refuse() const { return m_refuse; }
    // The exception code to answer for a request touching references first..first+count-1, or 0.
    std::uint8_t exceptionFor(int first, int count) const;

private:
    int m_dropEvery = 0;
    int m_crcEvery = 0;
    int m_delayMs = 0;
    int m_strayEvery = 0;
    int m_strayDelayMs = 0;
    int m_closeAfter = 0;
    bool m_refuse = false;
    std::vector<ExceptionRange> m_ranges;
    std::uint64_t m_replies = 0;
    std::uint64_t m_rtuReplies = 0;
    std::uint64_t m_strayCount = 0;
};

} // namespace quirel::sim
