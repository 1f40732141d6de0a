#pragma once

#include "modbus/MbusTrafficObserver.h"

#include <chrono>
#include <cstdio>
#include <string>

// The one text form of the traffic a master sees, shared by quirel-cli's --trace and the viewer's
// communication log (its table and its saved text). Scripts parse it, so it does not change:
//   HH:MM:SS.mmm TX 01 03 00 00 00 0A C5 CD  ; slave 1, fc 3, address 0, count 10
//   HH:MM:SS.mmm RX 01 83 02 C0 F1  ; slave 1, fc 3, exception 2: Illegal Data Address
//   HH:MM:SS.mmm RX 01 03 04 00 01  ; incomplete reply discarded
//   HH:MM:SS.mmm -- reply time-out
// The decoding is in English whatever the language of the program.

// The local wall-clock time of a monotonic time stamp, "HH:MM:SS.mmm": the stamp plus the offset between
// the two clocks taken once per run, so that the times of one run never jump when the system clock is set.
std::string mbusTrafficClock(std::chrono::steady_clock::time_point time);
// Upper-case hexadecimal pairs separated by one blank.
std::string mbusTrafficHex(const std::uint8_t* bytes, std::size_t length);
// "TX", "RX" or "--".
const char* mbusTrafficDirection(MbusTrafficKind kind);
// What the bytes are (function, address, count, exception) or why they were thrown away; empty when the
// frame is too short to say.
std::string mbusTrafficDecoding(const MbusTrafficEvent& event);
// Time, direction, bytes and decoding (or the time-out text), without a line end.
std::string mbusTrafficLine(const MbusTrafficEvent& event);
// A discarded frame, a time-out or an exception response.
bool mbusTrafficIsError(const MbusTrafficEvent& event);

// --trace: each event as one line on a stream (one write per line, so lines of other writers stay whole).
class MbusTrafficTraceWriter : public MbusTrafficObserver {
public:
    explicit MbusTrafficTraceWriter(std::FILE* stream) : stream_(stream) {}
    void onTraffic(const MbusTrafficEvent& event) override;

private:
    std::FILE* stream_;
};
