// The simulator against libmodbus, a client we did not write: functions 3, 4, 5 and 16 over TCP and over
// the simulator's pseudo-terminal.

#include "SimProcess.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <poll.h>
#include <sys/wait.h>

namespace {

struct ModbusDeleter {
    void operator()(modbus_t* ctx) const {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using Modbus = std::unique_ptr<modbus_t, ModbusDeleter>;

Modbus connectTcp(int port, int slave = 1) {
    Modbus ctx(modbus_new_tcp("127.0.0.1", port));
    if (!ctx || modbus_set_slave(ctx.get(), slave) != 0 || modbus_connect(ctx.get()) != 0)
        return nullptr;
    modbus_set_response_timeout(ctx.get(), 2, 0);
    return ctx;
}

Modbus connectRtu(const std::string& path, int slave = 1) {
    Modbus ctx(modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1));
    if (!ctx || modbus_set_slave(ctx.get(), slave) != 0 || modbus_connect(ctx.get()) != 0)
        return nullptr;
    modbus_set_response_timeout(ctx.get(), 2, 0);
    return ctx;
}

// Float and 32-bit values: the lower register holds the low-order half.
float floatAt(const uint16_t* regs) {
    const uint32_t bits = static_cast<uint32_t>(regs[0]) | (static_cast<uint32_t>(regs[1]) << 16);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::string textOf(const uint16_t* regs) {
    std::string text;
    for (int i = 0; i < 10; ++i) {
        text.push_back(static_cast<char>(regs[i] >> 8));
        text.push_back(static_cast<char>(regs[i] & 0xFF));
    }
    return text.substr(0, text.find('\0'));
}

// What every transport must answer the same way; run against TCP and RTU.
void checkDeviceOverWire(modbus_t* mb) {
    uint16_t regs[16] = {};
    // Connect probe: input register reference 10, two registers.
    ASSERT_EQ(modbus_read_input_registers(mb, 9, 2, regs), 2) << modbus_strerror(errno);
    EXPECT_EQ(regs[0], 100);
    EXPECT_EQ(regs[1], 0);

    // Measured values (catalogue references minus one).
    ASSERT_EQ(modbus_read_registers(mb, 1000, 2, regs), 2) << modbus_strerror(errno); // 100 mains frequency
    EXPECT_NEAR(floatAt(regs), 50.0, 0.1);
    ASSERT_EQ(modbus_read_registers(mb, 1100, 2, regs), 2); // 110 mains voltage L1
    EXPECT_NEAR(floatAt(regs), 230.0, 10.0);
    ASSERT_EQ(modbus_read_registers(mb, 1130, 1, regs), 1); // 113 line voltage, 16-bit
    EXPECT_NEAR(regs[0], 398, 12);
    ASSERT_EQ(modbus_read_registers(mb, 1200, 2, regs), 2); // 120 mains current L1
    const float mains = floatAt(regs);
    ASSERT_EQ(modbus_read_registers(mb, 1300, 2, regs), 2); // 130 load current L1
    const float load = floatAt(regs);
    EXPECT_GT(mains, 20.0f);
    EXPECT_GT(load, mains) << "the filter removes the load's harmonics from the mains current";
    ASSERT_EQ(modbus_read_registers(mb, 1700, 2, regs), 2); // 170 THDi L1 after compensation
    EXPECT_GT(floatAt(regs), 1.0f);
    EXPECT_LT(floatAt(regs), 8.0f);
    ASSERT_EQ(modbus_read_registers(mb, 200, 1, regs), 1); // 20 device state
    EXPECT_EQ(regs[0], 3) << "Running";
    ASSERT_EQ(modbus_read_registers(mb, 300, 10, regs), 10); // 30 serial number, text
    EXPECT_EQ(textOf(regs), "AHF100-2611-04217");
    ASSERT_EQ(modbus_read_registers(mb, 310, 10, regs), 10); // 31 firmware version = identification revision
    EXPECT_EQ(textOf(regs), "V2.14");

    // A writable 16-bit setting keeps what is written (205 start delay).
    const uint16_t delay = 42;
    ASSERT_EQ(modbus_write_registers(mb, 2050, 1, &delay), 1) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_registers(mb, 2050, 1, regs), 1);
    EXPECT_EQ(regs[0], 42);
    // A float setting written as two registers, low word first (401 DPF lower limit).
    const float limit = 0.87f;
    uint32_t bits;
    std::memcpy(&bits, &limit, sizeof bits);
    const uint16_t pair[2] = {static_cast<uint16_t>(bits & 0xFFFF), static_cast<uint16_t>(bits >> 16)};
    ASSERT_EQ(modbus_write_registers(mb, 4010, 2, pair), 2);
    ASSERT_EQ(modbus_read_registers(mb, 4010, 2, regs), 2);
    EXPECT_FLOAT_EQ(floatAt(regs), 0.87f);
    // A 32-bit setting (240 IP address).
    const uint16_t ip[2] = {0x0007, 0x0A00};
    ASSERT_EQ(modbus_write_registers(mb, 2400, 2, ip), 2);
    ASSERT_EQ(modbus_read_registers(mb, 2400, 2, regs), 2);
    EXPECT_EQ(regs[0], 0x0007);
    EXPECT_EQ(regs[1], 0x0A00);

    // Read-only and constant parameters refuse writes with "illegal data address", and keep their value.
    const uint16_t one = 1;
    EXPECT_EQ(modbus_write_registers(mb, 200, 1, &one), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_registers(mb, 2100, 1, &one), -1); // 210 device type, const
    EXPECT_EQ(errno, EMBXILADD);
    ASSERT_EQ(modbus_read_registers(mb, 200, 1, regs), 1);
    EXPECT_EQ(regs[0], 3);
    // Outside a parameter's value list: "illegal data value"; the old value stays.
    const uint16_t badLanguage = 7;
    EXPECT_EQ(modbus_write_registers(mb, 2000, 1, &badLanguage), -1);
    EXPECT_EQ(errno, EMBXILVAL);
    // A request that runs from a writable parameter into an unmapped register changes nothing.
    const uint16_t two[2] = {1, 1};
    EXPECT_EQ(modbus_write_registers(mb, 2050, 2, two), -1);
    ASSERT_EQ(modbus_read_registers(mb, 2050, 1, regs), 1);
    EXPECT_EQ(regs[0], 42);
    // Unmapped registers.
    EXPECT_EQ(modbus_read_registers(mb, 5, 1, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);
    // Write-only command parameters cannot be read.
    EXPECT_EQ(modbus_read_registers(mb, 6000, 1, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);

    // Coils mirror writable 16-bit parameters (241 DHCP: 0 ON, 1 OFF).
    ASSERT_EQ(modbus_write_bit(mb, 2410, 0), 1) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_registers(mb, 2410, 1, regs), 1);
    EXPECT_EQ(regs[0], 0);
    ASSERT_EQ(modbus_write_bit(mb, 2410, 1), 1);
    ASSERT_EQ(modbus_read_registers(mb, 2410, 1, regs), 1);
    EXPECT_EQ(regs[0], 1);
    EXPECT_EQ(modbus_write_bit(mb, 1000, 1), -1); // a float measured value is no coil
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_bit(mb, 200, 1), -1); // read-only
    EXPECT_EQ(errno, EMBXILADD);
    // Function 1 reads them, the read-only ones too: on for any non-zero value.
    uint8_t coils[2] = {9, 9};
    ASSERT_EQ(modbus_read_bits(mb, 2410, 1, coils), 1) << modbus_strerror(errno);
    EXPECT_EQ(coils[0], 1);
    ASSERT_EQ(modbus_read_bits(mb, 200, 1, coils), 1);
    EXPECT_EQ(coils[0], 1) << "device state 3";
    EXPECT_EQ(modbus_read_bits(mb, 1000, 1, coils), -1) << "a float is no coil";
    EXPECT_EQ(errno, EMBXILADD);
}

TEST(SimLibmodbus, TcpServesCatalogueRegisterMap) {
    SimProcess sim({"--tcp", "0", "--seed", "3"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    ASSERT_GT(sim.tcpPort(), 0);
    Modbus mb = connectTcp(sim.tcpPort());
    ASSERT_TRUE(mb) << modbus_strerror(errno);
    checkDeviceOverWire(mb.get());
    EXPECT_EQ(sim.terminate(), 0);
}

TEST(SimLibmodbus, PtyServesTheSameDevice) {
    SimProcess sim({"--pty", "--seed", "3"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    ASSERT_FALSE(sim.ptyPath().empty());
    Modbus mb = connectRtu(sim.ptyPath());
    ASSERT_TRUE(mb) << modbus_strerror(errno);
    checkDeviceOverWire(mb.get());
}

TEST(SimLibmodbus, TcpAndPtyShareOneDeviceAndTheLinkNamesThePty) {
    const std::string link = ::testing::TempDir() + "quirel-sim-link-" + std::to_string(::getpid());
    SimProcess sim({"--tcp", "0", "--pty", "--link", link, "--slave", "7"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    EXPECT_EQ(sim.linkPath(), link);
    Modbus tcp = connectTcp(sim.tcpPort(), 7);
    Modbus rtu = connectRtu(link, 7);
    ASSERT_TRUE(tcp);
    ASSERT_TRUE(rtu);
    const uint16_t value = 77;
    ASSERT_EQ(modbus_write_registers(tcp.get(), 2050, 1, &value), 1);
    uint16_t reg = 0;
    ASSERT_EQ(modbus_read_registers(rtu.get(), 2050, 1, &reg), 1);
    EXPECT_EQ(reg, 77);
    // The Modbus address setting shows the served slave address.
    ASSERT_EQ(modbus_read_registers(rtu.get(), 2300, 1, &reg), 1);
    EXPECT_EQ(reg, 7);
    // Another slave address on the line stays unanswered.
    Modbus other = connectRtu(link, 1);
    ASSERT_TRUE(other);
    modbus_set_response_timeout(other.get(), 0, 300000);
    EXPECT_EQ(modbus_read_registers(other.get(), 2050, 1, &reg), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    other.reset();
    rtu.reset();
    EXPECT_EQ(sim.terminate(), 0);
    EXPECT_NE(::access(link.c_str(), F_OK), 0) << "the link is removed on exit";
}

TEST(SimLibmodbus, RtuBroadcastWriteIsExecutedWithoutReply) {
    SimProcess sim({"--pty"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    Modbus broadcast = connectRtu(sim.ptyPath(), 0);
    ASSERT_TRUE(broadcast);
    // libmodbus 3.1.6 waits for a reply to a broadcast too; none comes.
    modbus_set_response_timeout(broadcast.get(), 0, 300000);
    const uint16_t value = 55;
    EXPECT_EQ(modbus_write_registers(broadcast.get(), 2050, 1, &value), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    broadcast.reset();
    Modbus mb = connectRtu(sim.ptyPath(), 1);
    ASSERT_TRUE(mb);
    uint16_t reg = 0;
    ASSERT_EQ(modbus_read_registers(mb.get(), 2050, 1, &reg), 1);
    EXPECT_EQ(reg, 55);
}

TEST(SimLibmodbus, OptionsAreCheckedBeforeServing) {
    SimProcess noEndpoint({});
    EXPECT_FALSE(noEndpoint.ready());
    SimProcess badFault({"--tcp", "0", "--drop", "x"});
    EXPECT_FALSE(badFault.ready());
    SimProcess missingCatalogue({"--tcp", "0", "--catalogue", "/nonexistent/Parameters.ini"});
    EXPECT_FALSE(missingCatalogue.ready());
    // An identification value must fit its object with a closing zero byte.
    SimProcess longRevision({"--tcp", "0", "--revision", std::string(32, 'V')});
    EXPECT_FALSE(longRevision.ready());
    SimProcess longVendor({"--tcp", "0", "--vendor", std::string(32, 'A')});
    EXPECT_FALSE(longVendor.ready());
    // Line settings are taken as given or refused, never quietly replaced by defaults.
    SimProcess badParity({"--pty", "--parity", "mark"});
    EXPECT_FALSE(badParity.ready());
    SimProcess badStopBits({"--pty", "--stop-bits", "3"});
    EXPECT_FALSE(badStopBits.ready());
}

} // namespace

namespace {

// A socat pty pair: the simulator opens one end as a serial device (--rtu), libmodbus the other.
class SocatPair {
public:
    SocatPair() {
        int err[2];
        if (::pipe(err) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(err[1], STDERR_FILENO);
            ::close(err[0]);
            ::execlp("socat", "socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(err[1]);
        std::string text;
        char chunk[512];
        while (m_paths.size() < 2) {
            pollfd p{err[0], POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0)
                break;
            const ssize_t n = ::read(err[0], chunk, sizeof chunk);
            if (n <= 0)
                break;
            text.append(chunk, static_cast<std::size_t>(n));
            m_paths.clear();
            for (std::size_t pos = 0; (pos = text.find("PTY is ", pos)) != std::string::npos;) {
                pos += 7;
                m_paths.push_back(text.substr(pos, text.find('\n', pos) - pos));
            }
            if (m_paths.size() == 2 && text.find("starting data transfer loop") == std::string::npos)
                m_paths.resize(1); // wait until socat is ready to move bytes
        }
        m_err = err[0];
    }
    ~SocatPair() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_err >= 0)
            ::close(m_err);
    }
    bool ready() const { return m_paths.size() == 2; }
    const std::string& end(int i) const { return m_paths[static_cast<std::size_t>(i)]; }

private:
    pid_t m_pid = -1;
    int m_err = -1;
    std::vector<std::string> m_paths;
};

TEST(SimLibmodbus, RtuOnASerialDevice) {
    SocatPair pair;
    ASSERT_TRUE(pair.ready()) << "socat did not report two ptys";
    SimProcess sim({"--rtu", pair.end(0), "--baud", "19200"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    EXPECT_EQ(sim.startLines().front(), "rtu " + pair.end(0));
    Modbus mb(modbus_new_rtu(pair.end(1).c_str(), 19200, 'N', 8, 1));
    ASSERT_TRUE(mb);
    modbus_set_slave(mb.get(), 1);
    ASSERT_EQ(modbus_connect(mb.get()), 0);
    modbus_set_response_timeout(mb.get(), 2, 0);
    uint16_t regs[2];
    ASSERT_EQ(modbus_read_registers(mb.get(), 1000, 2, regs), 2) << modbus_strerror(errno);
    EXPECT_NEAR(floatAt(regs), 50.0, 0.1);
    EXPECT_EQ(modbus_write_bit(mb.get(), 4100, 1), 1) << "410 harmonic compensation OFF";
    ASSERT_EQ(modbus_read_registers(mb.get(), 1700, 2, regs), 2);
    EXPECT_GT(floatAt(regs), 15.0f) << "without compensation the mains current carries the load's distortion";
}

} // namespace
