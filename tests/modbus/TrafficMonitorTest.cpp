// The traffic monitor: what it is told equals what went over the wire, byte for byte, with garbled, late,
// stray, partial and missing replies; and the one text form those events are written in.
#include "ScriptedRigs.h"

#include "modbus/MbusTrafficRecorder.h"
#include "modbus/MbusTrafficText.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <set>

using namespace quirel::test;

namespace {

struct Seen {
    std::vector<Bytes> sent;
    Bytes received; // every byte read, taken as a reply or thrown away
    int timeOuts = 0;
    std::set<MbusDiscardReason> reasons;
};

Seen take(MbusTrafficRecorder& recorder) {
    std::vector<MbusTrafficRecord> records;
    EXPECT_EQ(recorder.take(records), 0u);
    Seen seen;
    for (const MbusTrafficRecord& r : records) {
        if (r.kind == MbusTrafficKind::Sent)
            seen.sent.push_back(r.bytes);
        else
            seen.received.insert(seen.received.end(), r.bytes.begin(), r.bytes.end());
        seen.timeOuts += r.kind == MbusTrafficKind::TimeOut;
        seen.reasons.insert(r.reason);
    }
    return seen;
}

} // namespace

TEST(ModbusTrafficMonitor, SeesExactlyTheBytesOnTheWire) {
    // RTU: a good reply; a bad CRC, then good; a reply that comes late, taken by the repeat, whose own
    // answer is then stray on the line; half a reply, then good; a good reply to another request.
    RtuRig rtuRig(
        [](const Bytes& req, int index) {
            Bytes good = rtu(req[0], registersPdu(req[1], req[5], 10 * index));
            switch (index) {
            case 1:
                good.back() ^= 0x55;
                return std::vector<PeerStep>{{good}};
            case 3:
                return std::vector<PeerStep>{{good, 225}};
            case 5:
                return std::vector<PeerStep>{{Bytes(good.begin(), good.begin() + 4)}};
            default:
                return std::vector<PeerStep>{{good}};
            }
        },
        150, 1);
    // TCP: a stray frame of another transaction before the reply; an exception; no reply, then a reply
    // with two bytes too many; a good reply.
    TcpRig tcpRig(
        [](const Bytes& req, int index) {
            const Bytes good = mbap(req, registersPdu(req[7], req[11], 10 * index));
            switch (index) {
            case 0:
                return std::vector<PeerStep>{{mbap(req, registersPdu(3, 1, 9), {.transaction = 0x4242})},
                                             {good}};
            case 1:
                return std::vector<PeerStep>{{mbap(req, {0x83, 0x02})}};
            case 2:
                return std::vector<PeerStep>{};
            case 3: {
                Bytes longer = good;
                longer.insert(longer.end(), {0xEE, 0xEE});
                return std::vector<PeerStep>{{longer}};
            }
            default:
                return std::vector<PeerStep>{{good}};
            }
        },
        150, 1);
    struct Case {
        const char* name;
        MbusMasterFunctions& master;
        ScriptedPeer& peer;
        int openResult;
        std::vector<int> results; // of reads at references 1, 1, 1, 1, 5
        int timeOuts;
        std::set<MbusDiscardReason> reasons;
    };
    const Case cases[] = {
        {"rtu",
         rtuRig.master,
         *rtuRig.peer,
         rtuRig.openResult,
         {0, 0, 0, 0, 0},
         2,
         {MbusDiscardReason::CrcError, MbusDiscardReason::StrayBytes, MbusDiscardReason::IncompleteReply}},
        {"tcp",
         tcpRig.master,
         tcpRig.peer,
         tcpRig.openResult,
         {0, 162, 0, 0},
         1,
         {MbusDiscardReason::StrayReply, MbusDiscardReason::ExcessBytes}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.openResult, 0);
        MbusTrafficRecorder recorder(1000);
        c.master.setTrafficObserver(&recorder);
        for (std::size_t i = 0; i < c.results.size(); ++i) {
            std::uint16_t values[2];
            EXPECT_EQ(c.master.readHoldingRegisters(1, i + 1 < c.results.size() ? 1 : 5, values, 2),
                      c.results[i])
                << i;
        }
        c.master.setTrafficObserver(nullptr);
        const Seen seen = take(recorder);
        EXPECT_EQ(seen.sent, c.peer.requests());
        ASSERT_TRUE(c.peer.waitPlayed(static_cast<int>(seen.sent.size())));
        EXPECT_EQ(seen.received, c.peer.sent());
        EXPECT_EQ(seen.timeOuts, c.timeOuts);
        for (MbusDiscardReason reason : c.reasons)
            EXPECT_TRUE(seen.reasons.count(reason)) << static_cast<int>(reason);
    }
}

TEST(ModbusTrafficMonitor, WritesEachEventAsOneTraceLine) {
    using K = MbusTrafficKind;
    using R = MbusDiscardReason;
    const auto rtuFrame = MbusFraming::Rtu;
    const auto tcpFrame = MbusFraming::Tcp;
    struct Case {
        K kind;
        R reason;
        MbusFraming framing;
        Bytes bytes;
        const char* line; // after the time
        bool error;
    };
    const Case cases[] = {
        {K::Sent,
         R::None,
         rtuFrame,
         {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD},
         "TX 01 03 00 00 00 0A C5 CD  ; slave 1, fc 3, address 0, count 10",
         false},
        {K::Received,
         R::None,
         rtuFrame,
         {0x01, 0x83, 0x02, 0xC0, 0xF1},
         "RX 01 83 02 C0 F1  ; slave 1, fc 3, exception 2: Illegal Data Address",
         true},
        {K::Sent,
         R::None,
         tcpFrame,
         {0, 7, 0, 0, 0, 9, 1, 0x10, 0x0C, 0x1C, 0, 1, 2, 2, 0xEE},
         "TX 00 07 00 00 00 09 01 10 0C 1C 00 01 02 02 EE  ; slave 1, fc 16, address 3100, count 1",
         false},
        {K::Received,
         R::None,
         tcpFrame,
         {0, 1, 0, 0, 0, 5, 7, 4, 2, 2, 0xEE},
         "RX 00 01 00 00 00 05 07 04 02 02 EE  ; slave 7, fc 4, 1 register",
         false},
        {K::Sent,
         R::None,
         rtuFrame,
         {0x02, 0x05, 0x00, 0x04, 0xFF, 0x00, 0, 0},
         "TX 02 05 00 04 FF 00 00 00  ; slave 2, fc 5, address 4, ON",
         false},
        {K::Sent,
         R::None,
         rtuFrame,
         {1, 20, 7, 6, 0, 1, 0, 0x53, 0, 0x53, 0, 0},
         "TX 01 14 07 06 00 01 00 53 00 53 00 00  ; slave 1, fc 20, file 1, record 83, length 83",
         false},
        {K::Sent,
         R::None,
         tcpFrame,
         {0, 2, 0, 0, 0, 5, 1, 0x2B, 0x0E, 0x01, 0x00},
         "TX 00 02 00 00 00 05 01 2B 0E 01 00  ; slave 1, fc 43/14, object 0",
         false},
        {K::Discarded,
         R::CrcError,
         rtuFrame,
         {1, 3, 2, 0, 7, 0, 0},
         "RX 01 03 02 00 07 00 00  ; CRC error",
         true},
        {K::Discarded,
         R::StrayReply,
         tcpFrame,
         {0x42, 0x42, 0, 0, 0, 3, 1, 0x83, 2},
         "RX 42 42 00 00 00 03 01 83 02  ; stray reply discarded",
         true},
        {K::Discarded,
         R::WrongSlave,
         tcpFrame,
         {0, 0, 0, 0, 0, 3, 9, 0x83, 2},
         "RX 00 00 00 00 00 03 09 83 02  ; wrong unit identifier",
         true},
        {K::TimeOut, R::None, rtuFrame, {}, "-- reply time-out", true},
    };
    const std::regex time(R"(\d\d:\d\d:\d\d\.\d\d\d )");
    for (const Case& c : cases) {
        MbusTrafficEvent e;
        e.time = std::chrono::steady_clock::now();
        e.kind = c.kind;
        e.reason = c.reason;
        e.framing = c.framing;
        e.bytes = c.bytes.data();
        e.length = c.bytes.size();
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
