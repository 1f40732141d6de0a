// The one text form the traffic monitor's events are written in, and what a recorder keeps. That the
// monitor is told exactly what went over the wire (garbled, late, stray, partial and missing replies) is
// checked by the RTU and TCP exchanges it watches.
#include "ScriptedRigs.h"

#include "modbus/MbusTrafficRecorder.h"
#include "modbus/MbusTrafficText.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>

using namespace quirel::test;

TEST(ModbusTrafficMonitor, WritesEachEventAsOneTraceLine) {
    using K = MbusTrafficKind;
    using R = MbusDiscardReason;
    using F = MbusFraming;
    // The event's bytes are the ones the line shows.
    struct Case {
        K kind;
        R reason;
        F framing;
        const char* line; // after the time
        bool error;
    };
    const Case cases[] = {
        {K::Sent, R::None, F::Rtu, "TX 01 03 00 00 00 0A C5 CD  ; slave 1, fc 3, address 0, count 10", false},
        {K::Received, R::None, F::Rtu,
         "RX 01 83 02 C0 F1  ; slave 1, fc 3, exception 2: Illegal Data Address", true},
        {K::Sent, R::None, F::Tcp,
         "TX 00 07 00 00 00 09 01 10 0C 1C 00 01 02 02 EE  ; slave 1, fc 16, address 3100, count 1", false},
        {K::Received, R::None, F::Tcp, "RX 00 01 00 00 00 05 07 04 02 02 EE  ; slave 7, fc 4, 1 register",
         false},
        {K::Sent, R::None, F::Rtu, "TX 02 05 00 04 FF 00 00 00  ; slave 2, fc 5, address 4, ON", false},
        {K::Sent, R::None, F::Rtu,
         "TX 01 14 07 06 00 01 00 53 00 53 00 00  ; slave 1, fc 20, file 1, record 83, length 83", false},
        {K::Sent, R::None, F::Tcp, "TX 00 02 00 00 00 05 01 2B 0E 01 00  ; slave 1, fc 43/14, object 0",
         false},
        {K::Discarded, R::CrcError, F::Rtu, "RX 01 03 02 00 07 00 00  ; CRC error", true},
        {K::Discarded, R::StrayReply, F::Tcp, "RX 42 42 00 00 00 03 01 83 02  ; stray reply discarded", true},
        {K::Discarded, R::WrongSlave, F::Tcp, "RX 00 00 00 00 00 03 09 83 02  ; wrong unit identifier", true},
        {K::TimeOut, R::None, F::Rtu, "-- reply time-out", true},
    };
    const std::regex time(R"(\d\d:\d\d:\d\d\.\d\d\d )");
    for (const Case& c : cases) {
        const std::string shown(c.line);
        Bytes bytes;
        for (std::size_t at = 3; shown[0] != '-' && shown[at] != ' '; at += 3)
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(shown.substr(at, 2), nullptr, 16)));
        const MbusTrafficEvent e{
            std::chrono::steady_clock::now(), c.kind, c.reason, c.framing, bytes.data(), bytes.size()};
        const std::string line = mbusTrafficLine(e);
        ASSERT_GE(line.size(), 13u);
        EXPECT_TRUE(std::regex_match(line.substr(0, 13), time)) << line;
        EXPECT_EQ(line.substr(13), c.line);
        EXPECT_EQ(mbusTrafficIsError(e), c.error) << c.line;
    }
    // The time is the local wall-clock time of the event.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char hhmm[8];
    std::strftime(hhmm, sizeof hhmm, "%H:%M", &local);
    EXPECT_EQ(mbusTrafficClock(std::chrono::steady_clock::now()).substr(0, 5), hhmm);

    // A recorder nobody empties keeps the newest and counts the rest.
    MbusTrafficRecorder recorder(2);
    for (int i = 0; i < 3; ++i)
        recorder.onTraffic(MbusTrafficEvent{});
    std::vector<MbusTrafficRecord> kept;
    EXPECT_EQ(recorder.take(kept), 1u);
    EXPECT_EQ(kept.size(), 2u);
}
