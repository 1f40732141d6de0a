// Mean time per FC 3 request (10 registers) of our RTU master against a libmodbus slave over a socat pty
// pair at 38400 baud. A pty does not pace bytes by the baud rate, so what is left after the silent
// interval is the cost of the master, the slave and the pty.
#include "LibmodbusServer.h"
#include "TestPeers.h"

#include "modbus/MbusRtuMasterProtocol.h"

#include <chrono>
#include <cstdio>

using Clock = std::chrono::steady_clock;

int main() {
    constexpr long kBaud = 38400;
    constexpr int kRounds = 3;
    constexpr auto kRound = std::chrono::seconds(2);

    quirel::test::SocatPair pty;
    if (!pty.ok()) {
        std::fprintf(stderr, "socat did not start\n");
        return 1;
    }
    quirel::test::LibmodbusRtuServer server(pty.peerSide(), kBaud);
    if (!server.ok()) {
        std::fprintf(stderr, "libmodbus slave did not start\n");
        return 1;
    }
    MbusRtuMasterProtocol master;
    if (int rc = master.openProtocol(pty.masterSide(), kBaud, 8, 1, 0); rc != 0) {
        std::fprintf(stderr, "open: %s\n", MbusMasterFunctions::getErrorText(rc));
        return 1;
    }
    std::uint16_t regs[10];
    long total = 0;
    Clock::duration spent{};
    for (int round = 0; round < kRounds; ++round) {
        long n = 0;
        const auto start = Clock::now();
        const auto end = start + kRound;
        while (Clock::now() < end) {
            if (int rc = master.readHoldingRegisters(1, 1, regs, 10); rc != 0) {
                std::fprintf(stderr, "request failed: %s\n", MbusMasterFunctions::getErrorText(rc));
                return 1;
            }
            ++n;
        }
        const auto took = Clock::now() - start;
        std::printf("round %d: %ld requests, %.3f ms per request\n", round + 1, n,
                    std::chrono::duration<double, std::milli>(took).count() / static_cast<double>(n));
        total += n;
        spent += took;
    }
    const double mean = std::chrono::duration<double, std::milli>(spent).count() / static_cast<double>(total);
    std::printf("silent interval %d ms\n", master.getSilentInterval());
    std::printf("mean time per request %.3f ms\n", mean);
    std::printf("modbus_rtu_overhead_ms=%.3f\n", mean - master.getSilentInterval());
    return 0;
}
