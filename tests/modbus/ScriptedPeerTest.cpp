// Byte-exact frames and reply handling against peers whose every byte the test decides.
#include "TestPeers.h"

#include "modbus/MbusRtuMasterProtocol.h"
#include "modbus/MbusTcpMasterProtocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <netdb.h>
#include <thread>

using namespace quirel::test;
using namespace std::chrono_literals;

namespace {

// A reply of count registers with values base, base+1, ...
Bytes registersPdu(std::uint8_t function, int count, int base) {
    Bytes pdu{function, static_cast<std::uint8_t>(2 * count)};
    for (int i = 0; i < count; ++i) {
        pdu.push_back(static_cast<std::uint8_t>((base + i) >> 8));
        pdu.push_back(static_cast<std::uint8_t>(base + i));
    }
    return pdu;
}

Bytes rtu(std::uint8_t slave, const Bytes& pdu) {
    Bytes frame{slave};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return withCrc(frame);
}

// An RTU master on one end of a fresh pty pair and a scripted peer on the other.
struct RtuRig {
    explicit RtuRig(PeerScript script, int timeoutMs = 500, int retries = 0) {
        if (!pty.ok())
            return;
        peer = std::make_unique<ScriptedRtuPeer>(pty.peerSide(), std::move(script));
        master.setTimeout(timeoutMs);
        master.setRetryCount(retries);
        openResult = master.openProtocol(pty.masterSide(), 38400, 8, 1, 0);
    }
    SocatPair pty;
    std::unique_ptr<ScriptedRtuPeer> peer;
    MbusRtuMasterProtocol master;
    int openResult = -1;
};

struct TcpRig {
    explicit TcpRig(PeerScript script, int timeoutMs = 500, int retries = 0) : peer(std::move(script)) {
        master.setTimeout(timeoutMs);
        master.setRetryCount(retries);
        openResult = master.openProtocol("127.0.0.1:" + std::to_string(peer.port()));
    }
    ScriptedTcpPeer peer;
    MbusTcpMasterProtocol master;
    int openResult = -1;
};

PeerScript answerRegisters(int base) {
    return [base](const Bytes& req, int) {
        return std::vector<PeerStep>{{rtu(req[0], registersPdu(req[1], req[5], base))}};
    };
}

} // namespace

TEST(ModbusRtu, RequestFrameCarriesCrcAndRepliesAreDecoded) {
    RtuRig rig(answerRegisters(0x1234));
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t values[10];
    ASSERT_EQ(rig.master.readHoldingRegisters(1, 1, values, 10), 0);
    EXPECT_EQ(values[0], 0x1234);
    EXPECT_EQ(values[9], 0x123D);
    ASSERT_EQ(rig.peer->requests().size(), 1u);
    EXPECT_EQ(rig.peer->requests()[0], (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));

    // The largest read asks for 0x7D registers at the highest address.
    ASSERT_EQ(rig.master.readHoldingRegisters(1, 65536, nullptr, 0), 1);
    std::uint16_t many[125];
    ASSERT_EQ(rig.master.readHoldingRegisters(7, 65536, many, 125), 0);
    EXPECT_EQ(rig.peer->requests()[1], withCrc({0x07, 0x03, 0xFF, 0xFF, 0x00, 0x7D}));
    EXPECT_EQ(rig.master.getTotalCounter(), 2u);
    EXPECT_EQ(rig.master.getSuccessCounter(), 2u);
}

TEST(ModbusRtu, ExceptionReplyEndsAfterFiveBytes) {
    // Nothing follows the 5 bytes: waiting for the full 21-byte reply would end in a time-out instead.
    RtuRig rig(
        [](const Bytes& req, int) {
            return std::vector<PeerStep>{{rtu(req[0], {0x83, 0x02})}};
        },
        2000, 3);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t values[10];
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 10), 162);
    EXPECT_STREQ(MbusMasterFunctions::getErrorText(162), "Illegal Data Address exception response");
    EXPECT_EQ(rig.peer->requests().size(), 1u); // exception responses are not retried
}

TEST(ModbusRtu, LineFaultsAreRetriedUpToTheRetryCount) {
    {
        RtuRig rig(
            [](const Bytes& req, int) {
                Bytes frame = rtu(req[0], registersPdu(3, 2, 7));
                frame.back() ^= 0x55;
                return std::vector<PeerStep>{{frame}};
            },
            300, 10);
        ASSERT_EQ(rig.openResult, 0);
        std::uint16_t values[2] = {9, 9};
        EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 2), 129);
        EXPECT_EQ(rig.peer->requests().size(), 11u);
        EXPECT_EQ(rig.master.getTotalCounter(), 11u);
        EXPECT_EQ(values[0], 0); // zeroed before anything was sent
    }
    {
        // A reply from another slave, then the right one on the retry.
        RtuRig rig(
            [](const Bytes& req, int index) {
                return std::vector<PeerStep>{{rtu(index == 0 ? 2 : req[0], registersPdu(3, 1, 5))}};
            },
            300, 1);
        ASSERT_EQ(rig.openResult, 0);
        std::uint16_t value = 0;
        EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
        EXPECT_EQ(value, 5);
        EXPECT_EQ(rig.peer->requests().size(), 2u);
    }
}

TEST(ModbusRtu, ShortReplyTimesOutAndLateBytesAreNeverTakenAsReply) {
    // Request 0: half a reply; request 1: no reply, the full one arrives late; request 2: answered.
    RtuRig rig(
        [](const Bytes& req, int index) {
            Bytes full = rtu(req[0], registersPdu(3, 2, 100 * (index + 1)));
            if (index == 0)
                return std::vector<PeerStep>{{Bytes(full.begin(), full.begin() + 6)}};
            if (index == 1)
                return std::vector<PeerStep>{{full, 300}};
            return std::vector<PeerStep>{{full}};
        },
        150, 0);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t values[2];
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 2), 132);
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 2), 132);
    ASSERT_TRUE(rig.peer->waitPlayed(2));
    std::this_thread::sleep_for(50ms); // let the late bytes reach the master's side
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 2), 0);
    EXPECT_EQ(values[0], 300);
    EXPECT_EQ(values[1], 301);
}

TEST(ModbusRtu, AReplyThatMissedItsTurnNeverAnswersTheNextRequest) {
    // The first request's reply comes half a time-out too late, or garbled with a good copy 30 ms behind;
    // either is still on its way when the next request could go out, and RTU cannot tell it from that
    // request's reply. The line must have fallen quiet first.
    for (const bool late : {true, false}) {
        RtuRig rig(
            [late](const Bytes& req, int index) {
                const Bytes stale = rtu(req[0], registersPdu(3, 1, 999));
                if (index > 0)
                    return std::vector<PeerStep>{{rtu(req[0], registersPdu(3, 1, 2))}};
                if (late)
                    return std::vector<PeerStep>{{stale, 225}};
                Bytes garbled = stale;
                garbled.back() ^= 0x55;
                return std::vector<PeerStep>{{garbled}, {stale, 30}};
            },
            150, 0);
        ASSERT_EQ(rig.openResult, 0);
        std::uint16_t value = 0;
        EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), late ? 132 : 129);
        EXPECT_EQ(rig.master.readHoldingRegisters(1, 2, &value, 1), 0) << late;
        EXPECT_EQ(value, 2) << late;
    }
    // A repeat of the same request takes the first attempt's late answer without waiting the line out;
    // the second attempt's answer, still on its way, must not answer the next request. (The peer answers
    // one request after the other: the second answer leaves 100 ms after the first, 325 ms in.)
    RtuRig rig(
        [](const Bytes& req, int index) {
            if (index < 2)
                return std::vector<PeerStep>{{rtu(req[0], registersPdu(3, 1, 7)), index == 0 ? 225 : 100}};
            return std::vector<PeerStep>{{rtu(req[0], registersPdu(3, 1, 2))}};
        },
        150, 1);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value = 0;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 2, &value, 1), 0);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(rig.peer->requests().size(), 3u);
}

TEST(ModbusRtu, LineHungUpWhileWaitingForTheReplyIsAnIoError) {
    // A pulled adapter reads as end of file, which poll reports as ready again and again: that is the end
    // of the line, not a late reply (132 after spinning through the whole time-out).
    RtuRig rig([](const Bytes&, int) { return std::vector<PeerStep>{}; }, 3000, 0);
    ASSERT_EQ(rig.openResult, 0);
    int rc = -1;
    std::uint16_t value = 0;
    std::thread reader([&] { rc = rig.master.readHoldingRegisters(1, 1, &value, 1); });
    for (int i = 0; i < 500 && rig.peer->requests().empty(); ++i)
        std::this_thread::sleep_for(10ms);
    rig.pty.kill();
    reader.join();
    EXPECT_EQ(rc, 65);
    EXPECT_EQ(rig.peer->requests().size(), 1u);
}

TEST(ModbusRtu, LongerReplyIsCutAndItsTailPurged) {
    RtuRig rig([](const Bytes& req, int index) {
        Bytes frame = rtu(req[0], registersPdu(3, 1, index + 1));
        frame.insert(frame.end(), {0xDE, 0xAD, 0xBE, 0xEF});
        return std::vector<PeerStep>{{frame}};
    });
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value = 0;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 2);
}

TEST(ModbusRtu, WritesSendWordOrderAndBroadcastReadsNothing) {
    RtuRig rig([](const Bytes& req, int) {
        if (req[0] == 0)
            return std::vector<PeerStep>{};
        Bytes echo(req.begin() + 1, req.begin() + 6);
        return std::vector<PeerStep>{{rtu(req[0], echo)}};
    });
    ASSERT_EQ(rig.openResult, 0);
    const std::int32_t value = 65538;
    ASSERT_EQ(rig.master.writeMultipleLongInts(1, 1, &value, 1), 0);
    EXPECT_EQ(rig.peer->requests()[0],
              withCrc({0x01, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x02, 0x00, 0x01}));

    const float f = 1.0f; // 0x3F800000
    ASSERT_EQ(rig.master.writeMultipleFloats(1, 10, &f, 1), 0);
    EXPECT_EQ(rig.peer->requests()[1],
              withCrc({0x01, 0x10, 0x00, 0x09, 0x00, 0x02, 0x04, 0x00, 0x00, 0x3F, 0x80}));

    ASSERT_EQ(rig.master.writeSingleCoil(1, 3, 1), 0);
    EXPECT_EQ(rig.peer->requests()[2], withCrc({0x01, 0x05, 0x00, 0x02, 0xFF, 0x00}));

    const std::uint16_t reg = 0xABCD;
    // No slave answers a broadcast: success straight after sending.
    EXPECT_EQ(rig.master.writeMultipleRegisters(0, 1, &reg, 1), 0);
    ASSERT_TRUE(rig.peer->waitPlayed(4));
    EXPECT_EQ(rig.peer->requests()[3], withCrc({0x00, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0xAB, 0xCD}));
}

TEST(ModbusRtu, FileRecordAndDeviceIdentificationFrames) {
    RtuRig rig([](const Bytes& req, int) {
        if (req[1] == 20) {
            Bytes pdu{20, 2 * 2 + 2, 2 * 2 + 1, 6, 0x11, 0x22, 0x33, 0x44};
            return std::vector<PeerStep>{{rtu(req[0], pdu)}};
        }
        Bytes pdu{43, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x03};
        pdu.resize(1 + 108, 'x');
        return std::vector<PeerStep>{{rtu(req[0], pdu)}};
    });
    ASSERT_EQ(rig.openResult, 0);
    std::uint8_t record[4];
    ASSERT_EQ(rig.master.readFileRecord(1, 7, 3, 9999, 2, record), 0);
    EXPECT_EQ(rig.peer->requests()[0], withCrc({0x01, 0x14, 0x07, 0x06, 0x00, 0x03, 0x27, 0x0F, 0x00, 0x02}));
    EXPECT_EQ(Bytes(record, record + 4), (Bytes{0x11, 0x22, 0x33, 0x44}));

    // Whatever read code is asked for, the basic stream is requested; a small buffer is not overrun.
    std::uint8_t ident[8 + 4];
    std::memset(ident, 0x5A, sizeof ident);
    ASSERT_EQ(rig.master.readDeviceIdentification(1, 8, 4, 0, ident), 0);
    EXPECT_EQ(rig.peer->requests()[1], withCrc({0x01, 0x2B, 0x0E, 0x01, 0x00}));
    EXPECT_EQ(Bytes(ident, ident + 8), Bytes(8, 'x'));
    EXPECT_EQ(Bytes(ident + 8, ident + 12), Bytes(4, 0x5A));
}

TEST(ModbusRtu, ArgumentErrorsSendNothingAndZeroOutput) {
    RtuRig rig(answerRegisters(1));
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t regs[126];
    std::fill(std::begin(regs), std::end(regs), 0xFFFF);
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, regs, 126), 1);
    // The whole array the caller named is zeroed, also where the count itself is refused.
    EXPECT_EQ(std::count(std::begin(regs), std::end(regs), 0), 126);
    std::int32_t longs[63];
    std::fill(std::begin(longs), std::end(longs), 7);
    EXPECT_EQ(rig.master.readHoldingLongInts(1, 1, longs, 63), 1);
    EXPECT_EQ(std::count(std::begin(longs), std::end(longs), 0), 63);
    float floats[2] = {1.0f, 2.0f};
    EXPECT_EQ(rig.master.readHoldingFloats(0, 1, floats, 2), 1);
    EXPECT_EQ(floats[1], 0.0f);
    EXPECT_EQ(rig.master.readHoldingRegisters(0, 1, regs, 1), 1);
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 0, regs, 1), 1);
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 65537, regs, 1), 1);
    EXPECT_EQ(rig.master.writeMultipleRegisters(1, 0, regs, 1), 1);
    EXPECT_EQ(rig.master.writeMultipleRegisters(1, 1, regs, 101), 1);
    EXPECT_EQ(rig.master.writeMultipleRegisters(256, 1, regs, 1), 1);
    EXPECT_EQ(rig.master.writeMultipleLongInts(1, 1, longs, 51), 1);
    EXPECT_EQ(rig.master.writeSingleCoil(1, 0, 1), 1);
    std::uint8_t bytes[300];
    EXPECT_EQ(rig.master.readFileRecord(1, 6, 0, 0, 1, bytes), 1);
    EXPECT_EQ(rig.master.readFileRecord(1, 7, 0, 10000, 1, bytes), 1);
    EXPECT_EQ(rig.master.readFileRecord(1, 7, 0, 0, 123, bytes), 1);
    EXPECT_EQ(rig.master.readDeviceIdentification(1, 10, 5, 0, bytes), 1);
    EXPECT_EQ(rig.master.readDeviceIdentification(1, 10, 1, 256, bytes), 1);
    EXPECT_EQ(rig.master.setTimeout(2000), 2); // only while closed
    EXPECT_EQ(rig.master.setRetryCount(1), 2);
    EXPECT_EQ(rig.master.getTotalCounter(), 0u);

    ASSERT_EQ(rig.master.readHoldingRegisters(9, 2, regs, 1), 0);
    ASSERT_EQ(rig.peer->requests().size(), 1u);
    EXPECT_EQ(rig.peer->requests()[0], withCrc({0x09, 0x03, 0x00, 0x01, 0x00, 0x01}));
}

TEST(ModbusRtu, OpenRefusesWhatThePortCannotDo) {
    SocatPair pty;
    ASSERT_TRUE(pty.ok());
    MbusRtuMasterProtocol master;
    EXPECT_EQ(master.openProtocol("/dev/quirel-no-such-port", 9600), 66);
    EXPECT_EQ(master.getLastSystemError(), "No such file or directory");
    EXPECT_EQ(master.openProtocol(pty.masterSide(), 9600, 7, 1, 0), 1);
    EXPECT_EQ(master.openProtocol(pty.masterSide(), 12345), 1);
    EXPECT_EQ(master.openProtocol(pty.masterSide(), 9600, 8, 1, 2), 1); // ptys force no parity
    EXPECT_EQ(master.openProtocol(pty.masterSide(), 9600, 8, 3, 0), 1);
    EXPECT_FALSE(master.isOpen());
    std::uint16_t value;
    EXPECT_EQ(master.readHoldingRegisters(1, 1, &value, 1), 2);

    EXPECT_EQ(master.enableRs485Mode(100001), 1);
    EXPECT_EQ(master.openProtocol(pty.masterSide(), 9600), 0);
    EXPECT_EQ(master.getSilentInterval(), 5);
    EXPECT_EQ(master.openProtocol(pty.masterSide(), 9600), 2);
    EXPECT_EQ(master.enableRs485Mode(5), 2);
    MbusRtuMasterProtocol second;
    EXPECT_EQ(second.openProtocol(pty.masterSide(), 9600), 67);
    EXPECT_EQ(second.getLastSystemError(), "Device or resource busy");
    master.closeProtocol();
    EXPECT_FALSE(master.isOpen());
    EXPECT_EQ(second.openProtocol(pty.masterSide(), 19200), 0);
    EXPECT_EQ(second.getSilentInterval(), 2);
    EXPECT_EQ(MbusRtuMasterProtocol::silentIntervalFor(38400), 1);
    EXPECT_EQ(MbusRtuMasterProtocol::silentIntervalFor(115200), 1);
}

TEST(ModbusTcp, FrameLayoutAndUnitIdentifierRules) {
    TcpRig rig([](const Bytes& req, int index) {
        const int unit = index == 1 ? 0 : index == 2 ? 2 : -1;
        return std::vector<PeerStep>{{mbap(req, registersPdu(3, req[11], 0x10), {.unit = unit})}};
    });
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t values[3];
    ASSERT_EQ(rig.master.readHoldingRegisters(1, 1, values, 3), 0);
    EXPECT_EQ(values[2], 0x12);
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 3), 0); // unit 0 answers for anyone
    // Unit 2 answers for unit 1: 130, reconnect, and the same result again without retries left.
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 3), 130);
    EXPECT_TRUE(rig.peer.waitConnections(2));
    EXPECT_TRUE(rig.master.isOpen());
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 3), 0);
    // The transaction identifier counts up from 0, one per request sent, across the reconnect.
    const auto requests = rig.peer.requests();
    ASSERT_EQ(requests.size(), 4u);
    for (std::uint8_t i = 0; i < 4; ++i)
        EXPECT_EQ(requests[i], (Bytes{0, i, 0, 0, 0, 6, 1, 3, 0, 0, 0, 3}));
}

TEST(ModbusTcp, RepliesThatDoNotBelongToTheRequestAreSkipped) {
    // Before each request's reply comes a frame that is not its reply; each must be read past.
    struct Case {
        const char* what;
        MbapFields fields;
        Bytes pdu; // the foreign frame's PDU
    };
    const std::vector<Case> cases = {
        {"an earlier request's reply", {.transaction = 0x7FFF}, registersPdu(3, 1, 999)},
        {"an earlier request's exception", {.transaction = 0x7FFF}, {0x83, 0x02}},
        {"another protocol", {.protocol = 1}, registersPdu(3, 1, 999)},
        {"a length that does not fit", {}, registersPdu(3, 2, 999)},
        {"an exception of the wrong length", {.length = 4}, {0x83, 0x02, 0x00}},
    };
    TcpRig rig([&](const Bytes& req, int index) {
        const Case& c = cases.at(static_cast<std::size_t>(index));
        return std::vector<PeerStep>{{mbap(req, c.pdu, c.fields)},
                                     {mbap(req, registersPdu(3, 1, index)), 10}};
    });
    ASSERT_EQ(rig.openResult, 0);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::uint16_t value = 0xFFFF;
        EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0) << cases[i].what;
        EXPECT_EQ(value, i) << cases[i].what;
    }
    EXPECT_EQ(rig.peer.connections(), 1);
}

TEST(ModbusTcp, AFrameWithoutAUsableLengthIsInvalidAndTheNextRequestGoesOnAFreshConnection) {
    // A foreign frame whose length field (1) leaves no room even for a function code: nothing after it
    // can be framed.
    TcpRig rig([](const Bytes& req, int index) {
        const MbapFields fields{.transaction = index == 0 ? 9 : -1, .length = index == 0 ? 1 : -1};
        return std::vector<PeerStep>{{mbap(req, registersPdu(3, 1, 42), fields)}};
    });
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value = 0;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 130);
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(rig.peer.connections(), 2);
}

TEST(ModbusTcp, TheTimeOutBoundsTheWholeWaitNotEachSkippedFrame) {
    // Foreign frames every 40 ms, the reply only after 600 ms: a wait that started over with each skipped
    // frame would take it; one time-out of 300 ms for the whole wait does not.
    TcpRig rig(
        [](const Bytes& req, int) {
            std::vector<PeerStep> steps;
            for (int i = 0; i < 15; ++i)
                steps.push_back({mbap(req, registersPdu(3, 1, 999), {.transaction = 0x7FFF}), 40});
            steps.push_back({mbap(req, registersPdu(3, 1, 1))});
            return steps;
        },
        300, 0);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value = 0;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 132);
    EXPECT_EQ(value, 0);
}

TEST(ModbusTcp, InvalidFrameIsRetriedOnAFreshConnection) {
    TcpRig rig(
        [](const Bytes& req, int index) {
            return std::vector<PeerStep>{{mbap(req, registersPdu(3, 1, 42), {.unit = index == 0 ? 9 : -1})}};
        },
        500, 10);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value = 0;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(rig.peer.requests().size(), 2u);
    EXPECT_TRUE(rig.peer.waitConnections(2));
}

TEST(ModbusTcp, LateSecondReplyIsDrainedBeforeTheNextRequest) {
    TcpRig rig([](const Bytes& req, int index) {
        Bytes first = mbap(req, registersPdu(3, 1, 10 * (index + 1)));
        Bytes stale = mbap(req, registersPdu(3, 1, 999));
        return std::vector<PeerStep>{{first}, {stale, 20}};
    });
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value = 0;
    ASSERT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 10);
    ASSERT_TRUE(rig.peer.waitPlayed(1));
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 20);
}

TEST(ModbusTcp, ShortReplyTimesOutAndExceptionsAreNotRetried) {
    TcpRig rig(
        [](const Bytes& req, int index) {
            if (index == 0) {
                Bytes full = mbap(req, registersPdu(3, 4, 1));
                return std::vector<PeerStep>{{Bytes(full.begin(), full.begin() + 10)}};
            }
            return std::vector<PeerStep>{{mbap(req, {0x83, 0x04})}};
        },
        150, 0);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t values[4];
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 4), 132);
    EXPECT_TRUE(rig.peer.waitConnections(2)); // reconnected even without retries left
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 4), 164);
    EXPECT_EQ(rig.peer.requests().size(), 2u);
    EXPECT_EQ(rig.peer.connections(), 2);
}

TEST(ModbusTcp, PeerClosingWhileIdleIsReconnectedOnceBeforeSending) {
    // The peer hangs up after each answer, as gateways do with idle connections; nothing has been sent
    // when the drain finds out, so one fresh connection carries the request. A peer that refuses it
    // fails the request as closed, without anything sent.
    for (const bool refuse : {false, true}) {
        TcpRig rig([refuse](const Bytes& req, int) {
            return std::vector<PeerStep>{{mbap(req, {0x05, 0x00, 0x00, 0xFF, 0x00})},
                                         {.close = true, .stopListening = refuse}};
        });
        ASSERT_EQ(rig.openResult, 0);
        ASSERT_EQ(rig.master.writeSingleCoil(1, 1, 1), 0);
        ASSERT_TRUE(rig.peer.waitPlayed(1));
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(rig.master.writeSingleCoil(1, 1, 1), refuse ? 69 : 0) << refuse;
        EXPECT_EQ(rig.peer.requests().size(), refuse ? 1u : 2u) << refuse;
        EXPECT_EQ(rig.master.isOpen(), !refuse);
    }
}

TEST(ModbusTcp, SilentPeerNeverHangsACall) {
    TcpRig rig([](const Bytes&, int) { return std::vector<PeerStep>{}; }, 50, 2);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 132);
    EXPECT_EQ(rig.peer.requests().size(), 3u);
    EXPECT_TRUE(rig.peer.waitConnections(4));
    rig.master.closeProtocol();
    EXPECT_FALSE(rig.master.isOpen());
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 2);
}

TEST(ModbusTcp, OpenParsesHostAndReportsConnectErrors) {
    ScriptedTcpPeer peer([](const Bytes& req, int) {
        return std::vector<PeerStep>{{mbap(req, {3, 2, 0, 7})}};
    });
    MbusTcpMasterProtocol master;
    EXPECT_EQ(master.getPort(), 502);
    EXPECT_EQ(master.openProtocol("127.0.0.1:" + std::to_string(unusedLoopbackPort())), 68);
    EXPECT_EQ(master.getLastSystemError(), "Connection refused");
    EXPECT_EQ(master.openProtocol("name.invalid"), 68);
    EXPECT_EQ(master.openProtocol("127.0.0.1:70000"), 1);
    EXPECT_EQ(master.openProtocol("127.0.0.1:x"), 1);
    EXPECT_FALSE(master.isOpen());
    ASSERT_EQ(master.setPort(peer.port()), 0);
    ASSERT_EQ(master.openProtocol("localhost"), 0); // resolved by name, default port
    EXPECT_EQ(master.openProtocol("localhost"), 2);
    EXPECT_EQ(master.setPort(503), 2);
    std::uint16_t value = 0;
    EXPECT_EQ(master.readHoldingRegisters(4, 1, &value, 1), 0);
    EXPECT_EQ(value, 7);
}

namespace {

// Resolves one made-up name to the loopback address, while its name server is up.
class OneNameMaster : public MbusTcpMasterProtocol {
public:
    int lookups = 0;
    bool nameServerUp = true;

protected:
    int resolveHost(const std::string& name, int, in_addr* out) override {
        ++lookups;
        if (!nameServerUp || name != "filter.test")
            return EAI_NONAME;
        out->s_addr = htonl(INADDR_LOOPBACK);
        return 0;
    }
};

} // namespace

TEST(ModbusTcp, AHostNameIsResolvedOnceAndReconnectsReuseTheAddress) {
    ScriptedTcpPeer peer([](const Bytes& req, int index) {
        return std::vector<PeerStep>{{mbap(req, registersPdu(3, 1, 7), {.unit = index == 0 ? 9 : -1})}};
    });
    OneNameMaster master;
    master.setRetryCount(1);
    EXPECT_EQ(master.openProtocol("other.test"), 68);
    EXPECT_EQ(master.getLastSystemError(), gai_strerror(EAI_NONAME));
    master.lookups = 0;
    ASSERT_EQ(master.openProtocol("filter.test:" + std::to_string(peer.port())), 0);
    master.nameServerUp = false;
    std::uint16_t value = 0;
    EXPECT_EQ(master.readHoldingRegisters(1, 1, &value, 1), 0); // 130, reconnect, retry
    EXPECT_EQ(value, 7);
    EXPECT_EQ(peer.connections(), 2);
    EXPECT_EQ(master.lookups, 1);
}

TEST(ModbusMaster, MismatchedEchoesAndLengthsAreInvalidRepliesAndNotRetried) {
    auto deviceId = [](std::uint8_t meiType) {
        Bytes pdu{43, meiType, 0x01, 0x01, 0x00, 0x00, 0x03};
        pdu.resize(1 + 108, 'x');
        return pdu;
    };
    std::uint16_t regs[2] = {1, 2};
    std::uint8_t out[108];
    struct Case {
        const char* what;
        Bytes reply;
        std::function<int(MbusMasterFunctions&)> call;
        int expected;
    };
    auto write16 = [&](MbusMasterFunctions& m) { return m.writeMultipleRegisters(1, 1, regs, 2); };
    auto coilOn = [](MbusMasterFunctions& m) { return m.writeSingleCoil(1, 1, 1); };
    auto record = [&](MbusMasterFunctions& m) { return m.readFileRecord(1, 7, 1, 0, 2, out); };
    auto ident = [&](MbusMasterFunctions& m) { return m.readDeviceIdentification(1, sizeof out, 1, 0, out); };
    const std::vector<Case> cases = {
        {"16: quantity echoed wrong", {16, 0, 0, 0, 1}, write16, 131},
        {"16: address echoed wrong, not looked at", {16, 0, 9, 0, 2}, write16, 0},
        {"5: value echoed wrong", {5, 0, 0, 0, 0}, coilOn, 131},
        {"5: 0x0001 echoed", {5, 0, 0, 0, 1}, coilOn, 0},
        {"20: response data length wrong", {20, 5, 5, 6, 1, 2, 3, 4}, record, 131},
        {"43: MEI type wrong", deviceId(0x0D), ident, 131},
    };
    TcpRig rig(
        [&](const Bytes& req, int index) {
            return std::vector<PeerStep>{{mbap(req, cases.at(static_cast<std::size_t>(index)).reply)}};
        },
        500, 3);
    ASSERT_EQ(rig.openResult, 0);
    for (const Case& c : cases)
        EXPECT_EQ(c.call(rig.master), c.expected) << c.what;
    EXPECT_EQ(rig.peer.requests().size(), cases.size()); // checked after the exchange: no retry
    EXPECT_EQ(rig.peer.connections(), 1);
}

TEST(ModbusMaster, ErrorTextsAndSettingLimits) {
    EXPECT_STREQ(MbusMasterFunctions::getErrorText(0), "Operation was successful");
    EXPECT_STREQ(MbusMasterFunctions::getErrorText(71), "TCP Port alread bound");
    EXPECT_STREQ(MbusMasterFunctions::getErrorText(74), "No permission to access serial or TCP port");
    EXPECT_STREQ(MbusMasterFunctions::getErrorText(132), "Reply time-out");
    EXPECT_STREQ(MbusMasterFunctions::getErrorText(164), "Slave Device Failure exception response");
    // Every exception code of the application protocol keeps its name; codes it does not define do not.
    const std::pair<int, const char*> exceptions[] = {
        {165, "Acknowledge exception response"},
        {166, "Slave Device Busy exception response"},
        {167, "Unknwon error"},
        {168, "Memory Parity Error exception response"},
        {169, "Unknwon error"},
        {170, "Gateway Path Unavailable exception response"},
        {171, "Gateway Target Device Failed To Respond exception response"},
        {172, "Unknwon error"},
        {999, "Unknwon error"},
    };
    for (const auto& [code, text] : exceptions)
        EXPECT_STREQ(MbusMasterFunctions::getErrorText(code), text) << code;
    MbusTcpMasterProtocol master;
    EXPECT_EQ(master.getTimeout(), 1000);
    EXPECT_EQ(master.getRetryCount(), 0);
    EXPECT_EQ(master.setTimeout(0), 1);
    EXPECT_EQ(master.setTimeout(100001), 1);
    EXPECT_EQ(master.setTimeout(100000), 0);
    EXPECT_EQ(master.setRetryCount(11), 1);
    EXPECT_EQ(master.setRetryCount(10), 0);
}

namespace {

// Runs a read on another thread against a peer that never answers, aborts it once the request has
// arrived, and returns the read's result. Without the abort the read would wait 11 x 100 s.
template <typename Rig> int readAbortedAfterFirstRequest(Rig& rig, const ScriptedPeer& peer) {
    int rc = -1;
    std::uint16_t value = 0;
    std::thread reader([&] { rc = rig.master.readHoldingRegisters(1, 1, &value, 1); });
    for (int i = 0; i < 500 && peer.requests().empty(); ++i)
        std::this_thread::sleep_for(10ms);
    rig.master.abortTransfers();
    reader.join();
    return rc;
}

} // namespace

TEST(ModbusAbort, EndsABlockedTcpCallAndEveryLaterOneWithoutRetrying) {
    TcpRig rig([](const Bytes&, int) { return std::vector<PeerStep>{}; }, 100000, 10);
    ASSERT_EQ(rig.openResult, 0);
    EXPECT_EQ(readAbortedAfterFirstRequest(rig, rig.peer), 65);
    std::uint16_t value = 0;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 65);
    EXPECT_EQ(rig.peer.requests().size(), 1u);
    EXPECT_EQ(rig.peer.connections(), 1);
}

TEST(ModbusAbort, EndsABlockedRtuCallAndEveryLaterOneWithoutRetrying) {
    RtuRig rig([](const Bytes&, int) { return std::vector<PeerStep>{}; }, 100000, 10);
    ASSERT_EQ(rig.openResult, 0);
    EXPECT_EQ(readAbortedAfterFirstRequest(rig, *rig.peer), 65);
    std::uint16_t value = 0;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 65);
    // Nothing more goes on the line: a write the caller is told has failed must not reach the device.
    const std::uint16_t reg = 1;
    EXPECT_EQ(rig.master.writeMultipleRegisters(1, 1, &reg, 1), 65);
    std::this_thread::sleep_for(100ms); // room for stray bytes to reach the peer
    EXPECT_EQ(rig.peer->requests().size(), 1u);
}
