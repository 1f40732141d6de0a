// RTU frames byte by byte and the master's handling of what a serial line delivers: garbled, short, late,
// long or missing replies, hang-ups, and the arguments and port settings it refuses.
#include "ScriptedRigs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

using namespace quirel::test;
using namespace std::chrono_literals;

namespace {

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
