// The simulator against libmodbus, a client we did not write: functions 1, 3, 4, 5 and 16 over TCP, over
// the simulator's pseudo-terminal and over a serial device.

#include "SimProcess.h"
#include "TempFolder.h"
#include "TestPeers.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

namespace {

using Modbus =
    std::unique_ptr<modbus_t, decltype([](modbus_t* ctx) { modbus_close(ctx), modbus_free(ctx); })>;

// A connected client (an RTU one when `path` is given) with a reply time-out of `timeoutMs`.
Modbus connect(int port, const std::string& path = "", int slave = 1, int baud = 9600, int timeoutMs = 2000) {
    Modbus ctx(path.empty() ? modbus_new_tcp("127.0.0.1", port)
                            : modbus_new_rtu(path.c_str(), baud, 'N', 8, 1));
    // libmodbus refuses a microsecond part of a second or more.
    if (!ctx || modbus_set_slave(ctx.get(), slave) != 0 || modbus_connect(ctx.get()) != 0 ||
        modbus_set_response_timeout(ctx.get(), timeoutMs / 1000, timeoutMs % 1000 * 1000) != 0)
        return nullptr;
    return ctx;
}

// Float and 32-bit values: the lower register holds the low-order half.
float floatAt(modbus_t* mb, int address) {
    uint16_t regs[2] = {};
    EXPECT_EQ(modbus_read_registers(mb, address, 2, regs), 2) << address << ": " << modbus_strerror(errno);
    const uint32_t bits = static_cast<uint32_t>(regs[0]) | (static_cast<uint32_t>(regs[1]) << 16);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

int wordAt(modbus_t* mb, int address) {
    uint16_t reg = 0;
    return modbus_read_registers(mb, address, 1, &reg) == 1 ? reg : -1;
}

std::string textAt(modbus_t* mb, int address) {
    uint16_t regs[10] = {};
    EXPECT_EQ(modbus_read_registers(mb, address, 10, regs), 10);
    std::string text;
    for (uint16_t r : regs)
        text += {static_cast<char>(r >> 8), static_cast<char>(r & 0xFF)};
    return text.substr(0, text.find('\0'));
}

// What every transport must answer the same way; run against TCP and RTU. Addresses are catalogue
// references minus one.
void checkDeviceOverWire(modbus_t* mb) {
    uint16_t regs[2] = {};
    ASSERT_EQ(modbus_read_input_registers(mb, 9, 2, regs), 2) << modbus_strerror(errno); // connect probe
    EXPECT_EQ(regs[0], 100);
    EXPECT_NEAR(floatAt(mb, 1000), 50.0, 0.1);   // 100 mains frequency
    EXPECT_NEAR(floatAt(mb, 1100), 230.0, 10.0); // 110 mains voltage L1
    EXPECT_NEAR(wordAt(mb, 1130), 398, 12);      // 113 line voltage, 16-bit
    EXPECT_GT(floatAt(mb, 1200), 20.0f);         // 120 mains current L1
    EXPECT_GT(floatAt(mb, 1300), floatAt(mb, 1200))
        << "the filter takes the load's harmonics out of the mains";
    EXPECT_NEAR(floatAt(mb, 1700), 4.5, 3.5); // 170 THDi L1 after compensation
    EXPECT_EQ(wordAt(mb, 200), 3) << "20 device state Running";
    EXPECT_EQ(textAt(mb, 300), "AHF100-2611-04217");
    EXPECT_EQ(textAt(mb, 310), "V2.14") << "31 firmware version = identification revision";

    // Settings keep what is written: 16-bit (205 start delay), float (401, low word first), 32-bit (240).
    const uint16_t delay = 42, limit[2] = {0xB852, 0x3F5E} /* 0.87f */, ip[2] = {0x0007, 0x0A00};
    ASSERT_EQ(modbus_write_registers(mb, 2050, 1, &delay), 1) << modbus_strerror(errno);
    ASSERT_EQ(modbus_write_registers(mb, 4010, 2, limit), 2);
    ASSERT_EQ(modbus_write_registers(mb, 2400, 2, ip), 2);
    EXPECT_EQ(wordAt(mb, 2050), 42);
    EXPECT_FLOAT_EQ(floatAt(mb, 4010), 0.87f);
    EXPECT_EQ(wordAt(mb, 2400) | wordAt(mb, 2401) << 16, 0x0A000007);
    // Coils mirror the 16-bit parameters (241 DHCP: 0 ON, 1 OFF); function 1 reads read-only ones too.
    ASSERT_EQ(modbus_write_bit(mb, 2410, 0), 1) << modbus_strerror(errno);
    EXPECT_EQ(wordAt(mb, 2410), 0);
    uint8_t coils[2] = {9, 9};
    ASSERT_EQ(modbus_read_bits(mb, 200, 1, coils), 1) << modbus_strerror(errno);
    EXPECT_EQ(coils[0], 1) << "device state 3 is on";

    // Refusals: "illegal data address" for registers a request may not touch, "illegal data value" outside
    // a value list; nothing changes.
    const uint16_t one = 1, seven = 7, two[2] = {1, 1};
    const struct {
        const char* what;
        std::function<int()> request;
        int error;
    } refusals[] = {
        {"read-only 20", [&] { return modbus_write_registers(mb, 200, 1, &one); }, EMBXILADD},
        {"constant 210", [&] { return modbus_write_registers(mb, 2100, 1, &one); }, EMBXILADD},
        {"outside 200's list", [&] { return modbus_write_registers(mb, 2000, 1, &seven); }, EMBXILVAL},
        {"into an unmapped register", [&] { return modbus_write_registers(mb, 2050, 2, two); }, EMBXILADD},
        {"unmapped", [&] { return modbus_read_registers(mb, 5, 1, regs); }, EMBXILADD},
        {"write-only 600", [&] { return modbus_read_registers(mb, 6000, 1, regs); }, EMBXILADD},
        {"a float is no coil", [&] { return modbus_write_bit(mb, 1000, 1); }, EMBXILADD},
        {"read-only coil", [&] { return modbus_write_bit(mb, 200, 1); }, EMBXILADD},
        {"a float is no coil to read", [&] { return modbus_read_bits(mb, 1000, 1, coils); }, EMBXILADD},
    };
    for (const auto& r : refusals) {
        EXPECT_EQ(r.request(), -1) << r.what;
        EXPECT_EQ(errno, r.error) << r.what;
    }
    EXPECT_EQ(wordAt(mb, 2050), 42);
    EXPECT_EQ(wordAt(mb, 200), 3);
}

TEST(SimLibmodbus, TcpAndPtyServeTheCatalogueRegisterMap) {
    for (const bool tcp : {true, false}) {
        SimProcess sim(tcp ? std::vector<std::string>{"--tcp", "0", "--seed", "3"}
                           : std::vector<std::string>{"--pty", "--seed", "3"});
        ASSERT_TRUE(sim.ready()) << sim.failure();
        Modbus mb = connect(sim.tcpPort(), sim.ptyPath());
        ASSERT_TRUE(mb) << modbus_strerror(errno);
        checkDeviceOverWire(mb.get());
        mb.reset();
        EXPECT_EQ(sim.terminate(), 0);
    }
}

TEST(SimLibmodbus, TcpAndPtyShareOneDeviceAndTheLinkNamesThePty) {
    const TempFolder dir;
    const std::string link = dir.File("link");
    SimProcess sim({"--tcp", "0", "--pty", "--link", link, "--slave", "7"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    EXPECT_EQ(sim.linkPath(), link);
    Modbus tcp = connect(sim.tcpPort(), "", 7), rtu = connect(0, link, 7);
    ASSERT_TRUE(tcp && rtu);
    const uint16_t value = 77;
    ASSERT_EQ(modbus_write_registers(tcp.get(), 2050, 1, &value), 1);
    EXPECT_EQ(wordAt(rtu.get(), 2050), 77);
    EXPECT_EQ(wordAt(rtu.get(), 2300), 7) << "the Modbus address setting shows the served slave address";
    // Another slave address on the line stays unanswered; a broadcast is executed without a reply.
    Modbus other = connect(0, link, 1, 9600, 300), broadcast = connect(0, link, 0, 9600, 300);
    ASSERT_TRUE(other && broadcast);
    EXPECT_EQ(wordAt(other.get(), 2050), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    const uint16_t broadcastValue = 55;
    EXPECT_EQ(modbus_write_registers(broadcast.get(), 2050, 1, &broadcastValue), -1); // libmodbus waits too
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_EQ(wordAt(rtu.get(), 2050), 55);
    other.reset(), broadcast.reset(), rtu.reset();
    EXPECT_EQ(sim.terminate(), 0);
    EXPECT_NE(::access(link.c_str(), F_OK), 0) << "the link is removed on exit";
}

TEST(SimLibmodbus, OptionsAreCheckedBeforeServing) {
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"--tcp", "0", "--drop", "x"},
        {"--tcp", "0", "--catalogue", "/nonexistent/Parameters.ini"},
        // An identification value must fit its object with a closing zero byte.
        {"--tcp", "0", "--revision", std::string(32, 'V')},
        {"--tcp", "0", "--vendor", std::string(32, 'A')},
        // Line settings are taken as given or refused, never quietly replaced by defaults.
        {"--pty", "--parity", "mark"},
        {"--pty", "--stop-bits", "3"},
    };
    for (const auto& args : refused)
        EXPECT_FALSE(SimProcess(args).ready()) << (args.empty() ? "" : args.back());
}

// The simulator opens one end of a socat pair as a serial device (--rtu), libmodbus the other.
TEST(SimLibmodbus, RtuOnASerialDevice) {
    quirel::test::SocatPair pair;
    ASSERT_TRUE(pair.ok()) << "socat";
    SimProcess sim({"--rtu", pair.masterSide(), "--baud", "19200"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    EXPECT_EQ(sim.startLines().front(), "rtu " + pair.masterSide());
    Modbus mb = connect(0, pair.peerSide(), 1, 19200);
    ASSERT_TRUE(mb);
    EXPECT_NEAR(floatAt(mb.get(), 1000), 50.0, 0.1);
    EXPECT_EQ(modbus_write_bit(mb.get(), 4100, 1), 1) << "410 harmonic compensation OFF";
    EXPECT_GT(floatAt(mb.get(), 1700), 15.0f)
        << "without compensation the mains carries the load's distortion";
}

} // namespace
