// RTU frames byte by byte and the master's handling of what a serial line delivers: garbled, short, late,
// long or missing replies, hang-ups, and the arguments and port settings it refuses.
#include "ScriptedRigs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

using namespace quirel::test;

namespace {

// The reply to a read of one register holding value.
Bytes one(const Bytes& request, int value) {
    return rtu(request[0], registersPdu(3, 1, value));
}

Bytes garbled(Bytes frame) {
    frame.back() ^= 0x55;
    return frame;
}

} // namespace

TEST(ModbusRtu, RefusedArgumentsSendNothingAndRequestsGoOutByteForByte) {
    RtuRig rig([](const Bytes& req, int) {
        switch (req[1]) {
        case 3:
            return Steps{{rtu(req[0], registersPdu(3, req[5], 0x1234))}};
        case 20:
            return Steps{{rtu(req[0], {20, 2 * 2 + 2, 2 * 2 + 1, 6, 0x11, 0x22, 0x33, 0x44})}};
        case 43: {
            Bytes pdu{43, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x03};
            pdu.resize(1 + 108, 'x');
            return Steps{{rtu(req[0], pdu)}};
        }
        default: // writes echo, except to the broadcast address
            return req[0] == 0 ? Steps{} : Steps{{rtu(req[0], Bytes(req.begin() + 1, req.begin() + 6))}};
        }
    });
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

    // The first request the peer sees is the first of these.
    std::uint16_t values[125];
    const std::int32_t wide = 65538;
    const float f = 1.0f; // 0x3F800000
    const std::uint16_t reg = 0xABCD;
    std::uint8_t record[4];
    std::uint8_t ident[8 + 4];
    std::memset(ident, 0x5A, sizeof ident);
    const std::pair<std::function<int()>, Bytes> cases[] = {
        {[&] { return rig.master.readHoldingRegisters(1, 1, values, 10); },
         {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}},
        // The largest read asks for 0x7D registers at the highest address.
        {[&] { return rig.master.readHoldingRegisters(7, 65536, values, 125); },
         withCrc({0x07, 0x03, 0xFF, 0xFF, 0x00, 0x7D})},
        {[&] { return rig.master.writeMultipleLongInts(1, 1, &wide, 1); },
         withCrc({0x01, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x02, 0x00, 0x01})},
        {[&] { return rig.master.writeMultipleFloats(1, 10, &f, 1); },
         withCrc({0x01, 0x10, 0x00, 0x09, 0x00, 0x02, 0x04, 0x00, 0x00, 0x3F, 0x80})},
        {[&] { return rig.master.writeSingleCoil(1, 3, 1); }, withCrc({0x01, 0x05, 0x00, 0x02, 0xFF, 0x00})},
        // No slave answers a broadcast: success straight after sending.
        {[&] { return rig.master.writeMultipleRegisters(0, 1, &reg, 1); },
         withCrc({0x00, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0xAB, 0xCD})},
        {[&] { return rig.master.readFileRecord(1, 7, 3, 9999, 2, record); },
         withCrc({0x01, 0x14, 0x07, 0x06, 0x00, 0x03, 0x27, 0x0F, 0x00, 0x02})},
        // Whatever read code is asked for, the basic stream is requested; a small buffer is not overrun.
        {[&] { return rig.master.readDeviceIdentification(1, 8, 4, 0, ident); },
         withCrc({0x01, 0x2B, 0x0E, 0x01, 0x00})},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].first(), 0) << i;
        ASSERT_TRUE(rig.peer->waitPlayed(static_cast<int>(i) + 1));
        EXPECT_EQ(rig.peer->requests().at(i), cases[i].second) << i;
    }
    EXPECT_EQ(values[0], 0x1234);
    EXPECT_EQ(values[124], 0x1234 + 124);
    EXPECT_EQ(Bytes(record, record + 4), (Bytes{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(Bytes(ident, ident + 12),
              (Bytes{'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 0x5A, 0x5A, 0x5A, 0x5A}));
}

TEST(ModbusRtu, FaultyLateAndStrayRepliesEndAsTheyShould) {
    // A reply that missed its turn may still be on its way when the next request could go out, and RTU
    // cannot tell it from that request's reply: the line must have fallen quiet first. The late replies
    // here miss their time-out by 200 ms and arrive 200 ms before the wait for them ends, margins that hold
    // on a loaded machine.
    runExchanges<RtuRig>({
        Exchange("an exception reply ends after its five bytes and is not retried", {{1, 162}}, 1, 2000, 3,
                 [](const Bytes& req, int) {
                     return Steps{{rtu(req[0], {0x83, 0x02})}};
                 }),
        Exchange("a CRC error is retried up to the retry count, the output zeroed before anything was sent",
                 {{1, 129, 0}}, 4, 2000, 3,
                 [](const Bytes& req, int) { return Steps{{garbled(one(req, 7))}}; })
            .monitored(0, {MbusDiscardReason::CrcError}),
        Exchange(
            "a reply from another slave is retried", {{1, 0, 5}}, 2, 2000, 1,
            [](const Bytes& req, int i) { return Steps{{rtu(i == 0 ? 2 : req[0], registersPdu(3, 1, 5))}}; }),
        Exchange("half a reply times out; the repeat is answered", {{1, 132}, {1, 0, 1}}, 2, 150, 0,
                 [](const Bytes& req, int i) {
                     Bytes reply = one(req, i);
                     reply.resize(i == 0 ? 4 : reply.size());
                     return Steps{{reply}};
                 })
            .monitored(1, {MbusDiscardReason::IncompleteReply}),
        Exchange("a longer reply is cut and its tail purged", {{1, 0, 1}, {1, 0, 2}}, 2, 500, 0,
                 [](const Bytes& req, int i) {
                     Bytes reply = one(req, i + 1);
                     reply.insert(reply.end(), {0xDE, 0xAD, 0xBE, 0xEF});
                     return Steps{{reply}};
                 }),
        Exchange("a reply later than its time-out never answers the next request", {{1, 132}, {2, 0, 2}}, 2,
                 400, 0,
                 [](const Bytes& req, int i) {
                     return Steps{{one(req, i == 0 ? 999 : 2), i == 0 ? 600 : 0}};
                 }),
        // After garbage the line must stay quiet for a longest frame's time: at 9600 baud about 300 ms.
        Exchange(
            "the good copy of a garbled reply never answers the next request", {{1, 129}, {2, 0, 2}}, 2, 400,
            0,
            [](const Bytes& req, int i) {
                return i == 0 ? Steps{{garbled(one(req, 999))}, {one(req, 999), 30}} : Steps{{one(req, 2)}};
            },
            0, 9600),
        // The repeat of the same request takes the first attempt's late answer without waiting the line
        // out; the second attempt's answer, right behind it, must not answer the next request.
        Exchange("the answer to a repeat never answers the next request", {{1, 0, 7}, {2, 0, 2}}, 3, 400, 1,
                 [](const Bytes& req, int i) {
                     return Steps{{one(req, i < 2 ? 7 : 2), i == 0 ? 600 : 0}};
                 })
            .monitored(1, {MbusDiscardReason::StrayBytes}),
    });
}

TEST(ModbusRtu, LineHungUpWhileWaitingForTheReplyIsAnIoError) {
    // A pulled adapter reads as end of file, which poll reports as ready again and again: that is the end
    // of the line, not a late reply (132 after spinning through the whole time-out).
    RtuRig rig([](const Bytes&, int) { return Steps{}; }, 3000, 0);
    ASSERT_EQ(rig.openResult, 0);
    EXPECT_EQ(readWhile(rig.master, *rig.peer, [&] { rig.pty.kill(); }), 65);
    EXPECT_EQ(rig.peer->requests().size(), 1u);
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
}
