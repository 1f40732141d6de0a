// What every master shares whatever the line: the checks of a reply against its request, error texts and
// setting limits, and an abort that ends a blocked call.
#include "ScriptedRigs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace quirel::test;
using namespace std::chrono_literals;

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
    auto read1 = [&](MbusMasterFunctions& m) { return m.readHoldingRegisters(1, 1, regs, 1); };
    const std::vector<Case> cases = {
        {"16: quantity echoed wrong", {16, 0, 0, 0, 1}, write16, 131},
        {"16: address echoed wrong, not looked at", {16, 0, 9, 0, 2}, write16, 0},
        {"5: value echoed wrong", {5, 0, 0, 0, 0}, coilOn, 131},
        {"5: 0x0001 echoed", {5, 0, 0, 0, 1}, coilOn, 0},
        {"20: response data length wrong", {20, 5, 5, 6, 1, 2, 3, 4}, record, 131},
        {"43: MEI type wrong", deviceId(0x0D), ident, 131},
        {"3: byte count larger than asked", {3, 4, 0, 1}, read1, 131},
        {"20: response data length larger", {20, 7, 5, 6, 1, 2, 3, 4}, record, 131},
    };
    TcpRig rig([&](const Bytes& req,
                   int index) { return Steps{{mbap(req, cases.at(static_cast<std::size_t>(index)).reply)}}; },
               500, 3);
    ASSERT_EQ(rig.openResult, 0);
    for (const Case& c : cases)
        EXPECT_EQ(c.call(rig.master), c.expected) << c.what;
    EXPECT_EQ(rig.peer.requests().size(), cases.size()); // checked after the exchange: no retry
    EXPECT_EQ(rig.peer.connections(), 1);
}

TEST(ModbusMaster, ErrorTextsAndSettingLimits) {
    // Every exception code of the application protocol keeps its name; codes it does not define do not.
    const std::pair<int, const char*> texts[] = {
        {0, "Operation was successful"},
        {71, "TCP Port alread bound"},
        {74, "No permission to access serial or TCP port"},
        {132, "Reply time-out"},
        {164, "Slave Device Failure exception response"},
        {165, "Acknowledge exception response"},
        {166, "Slave Device Busy exception response"},
        {167, "Unknwon error"},
        {168, "Memory Parity Error exception response"},
        {170, "Gateway Path Unavailable exception response"},
        {171, "Gateway Target Device Failed To Respond exception response"},
        {172, "Unknwon error"},
        {999, "Unknwon error"},
    };
    for (const auto& [code, text] : texts)
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

TEST(ModbusAbort, EndsABlockedCallAndEveryLaterOneWithNothingMoreSent) {
    // Without the abort the read would wait 11 x 100 s for a peer that never answers.
    const PeerScript silent = [](const Bytes&, int) { return Steps{}; };
    TcpRig tcp(silent, 100000, 10);
    RtuRig rtu(silent, 100000, 10);
    ASSERT_EQ(tcp.openResult, 0);
    ASSERT_EQ(rtu.openResult, 0);
    for (auto [master, peer] : {std::pair<MbusMasterFunctions*, ScriptedPeer*>{&tcp.master, &tcp.scripted()},
                                {&rtu.master, &rtu.scripted()}}) {
        EXPECT_EQ(readWhile(*master, *peer, [&] { master->abortTransfers(); }), 65);
        std::uint16_t value = 0;
        EXPECT_EQ(master->readHoldingRegisters(1, 1, &value, 1), 65);
        // A write the caller is told has failed must not reach the device.
        EXPECT_EQ(master->writeMultipleRegisters(1, 1, &value, 1), 65);
    }
    std::this_thread::sleep_for(100ms); // room for stray bytes to reach the peers
    EXPECT_EQ(tcp.scripted().requests().size(), 1u);
    EXPECT_EQ(rtu.scripted().requests().size(), 1u);
    EXPECT_EQ(tcp.peer.connections(), 1);
}
