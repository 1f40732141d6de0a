// Interoperation with libmodbus as an independent slave, over loopback TCP and a pty pair.
#include "LibmodbusServer.h"
#include "TestPeers.h"

#include "modbus/MbusRtuMasterProtocol.h"
#include "modbus/MbusTcpMasterProtocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace quirel::test;

namespace {

// Functions 3, 4, 5 and 16, checked on the slave's own register map.
void exerciseFunctions(MbusMasterFunctions& master, LibmodbusServer& server) {
    server.withMapping([](modbus_mapping_t& m) {
        for (int i = 0; i < 10; ++i)
            m.tab_registers[i] = static_cast<std::uint16_t>(0x0100 * i + 3);
        m.tab_registers[20] = 0x0002; // 65538, low word first
        m.tab_registers[21] = 0x0001;
        m.tab_registers[22] = 0xFFFE; // -2
        m.tab_registers[23] = 0xFFFF;
        m.tab_registers[30] = 0x0000; // -12.25f, 0xC1440000
        m.tab_registers[31] = 0xC144;
        m.tab_input_registers[100] = 0x5678;
        m.tab_input_registers[101] = 0x1234;
    });

    std::uint16_t regs[10];
    ASSERT_EQ(master.readHoldingRegisters(1, 1, regs, 10), 0);
    EXPECT_EQ(regs[0], 3);
    EXPECT_EQ(regs[9], 0x0903);
    std::int32_t longs[2];
    ASSERT_EQ(master.readHoldingLongInts(1, 21, longs, 2), 0);
    EXPECT_EQ(longs[0], 65538);
    EXPECT_EQ(longs[1], -2);
    float f = 0;
    ASSERT_EQ(master.readHoldingFloats(1, 31, &f, 1), 0);
    EXPECT_EQ(f, -12.25f);
    std::int32_t input = 0;
    ASSERT_EQ(master.readInputLongInts(1, 101, &input, 1), 0);
    EXPECT_EQ(input, 0x12345678);

    const std::uint16_t written[3] = {0xBEEF, 1, 0x8000};
    ASSERT_EQ(master.writeMultipleRegisters(1, 51, written, 3), 0);
    const std::int32_t writtenLongs[2] = {65538, -3};
    ASSERT_EQ(master.writeMultipleLongInts(1, 61, writtenLongs, 2), 0);
    const float writtenFloat = 1.5f;
    ASSERT_EQ(master.writeMultipleFloats(1, 71, &writtenFloat, 1), 0);
    ASSERT_EQ(master.writeSingleCoil(1, 5, 1), 0);
    ASSERT_EQ(master.writeSingleCoil(1, 6, 1), 0);
    ASSERT_EQ(master.writeSingleCoil(1, 6, 0), 0);
    server.withMapping([](modbus_mapping_t& m) {
        using Words = std::vector<std::uint16_t>;
        EXPECT_EQ(Words(m.tab_registers + 50, m.tab_registers + 53), (Words{0xBEEF, 1, 0x8000}));
        EXPECT_EQ(Words(m.tab_registers + 60, m.tab_registers + 64), (Words{2, 1, 0xFFFD, 0xFFFF}));
        EXPECT_EQ(Words(m.tab_registers + 70, m.tab_registers + 72), (Words{0, 0x3FC0})); // 1.5f
        EXPECT_EQ(m.tab_bits[4], 1);
        EXPECT_EQ(m.tab_bits[5], 0);
    });

    // Beyond the slave's map: its exception comes back as 160 + 2, with the output zeroed.
    regs[0] = 77;
    EXPECT_EQ(master.readHoldingRegisters(1, 199, regs, 5), 162);
    EXPECT_EQ(regs[0], 0);
    EXPECT_EQ(master.readHoldingRegisters(1, 1, regs, 1), 0); // the line is still in step
}

} // namespace

TEST(ModbusLibmodbusPeer, TcpFunctionsAndWordOrder) {
    LibmodbusTcpServer server;
    ASSERT_TRUE(server.ok());
    MbusTcpMasterProtocol master;
    ASSERT_EQ(master.openProtocol("127.0.0.1:" + std::to_string(server.port())), 0);
    exerciseFunctions(master, server);
}

TEST(ModbusLibmodbusPeer, RtuOverPtyFunctionsAndWordOrder) {
    SocatPair pty;
    ASSERT_TRUE(pty.ok());
    LibmodbusRtuServer server(pty.peerSide(), 38400);
    ASSERT_TRUE(server.ok());
    MbusRtuMasterProtocol master;
    ASSERT_EQ(master.setRetryCount(2), 0);
    ASSERT_EQ(master.openProtocol(pty.masterSide(), 38400, 8, 1, 0), 0);
    exerciseFunctions(master, server);
    // A broadcast write reaches the slave, which does not answer it.
    const std::uint16_t value = 0x4242;
    ASSERT_EQ(master.writeMultipleRegisters(0, 100, &value, 1), 0);
    // Slaves act on a broadcast without answering; a master leaves them a turnaround delay.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::uint16_t readBack = 0;
    ASSERT_EQ(master.readHoldingRegisters(1, 100, &readBack, 1), 0);
    EXPECT_EQ(readBack, 0x4242);
}
