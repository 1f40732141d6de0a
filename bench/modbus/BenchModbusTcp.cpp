// FC 3 round trips of 10 registers per second: our TCP master against a libmodbus client, both talking to
// one libmodbus slave on loopback, in alternating rounds so that machine load hits both alike. With
// --trace our master writes every frame to stderr as quirel-cli --trace does (run it with 2>/dev/null),
// and each round also counts it without the trace, so that the line before the last gives the cost of
// tracing under the same load.
#include "LibmodbusServer.h"

#include "modbus/MbusTcpMasterProtocol.h"
#include "modbus/MbusTrafficText.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kRound = std::chrono::seconds(2);
constexpr int kRounds = 5;

template <typename Call> long countRoundTrips(Call call) {
    long n = 0;
    const auto end = Clock::now() + kRound;
    while (Clock::now() < end) {
        if (!call())
            return -1;
        ++n;
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    const bool trace = argc > 1 && std::string(argv[1]) == "--trace";
    quirel::test::LibmodbusTcpServer server;
    if (!server.ok()) {
        std::fprintf(stderr, "libmodbus server did not start\n");
        return 1;
    }
    MbusTcpMasterProtocol ours;
    if (int rc = ours.openProtocol("127.0.0.1:" + std::to_string(server.port())); rc != 0) {
        std::fprintf(stderr, "open: %s\n", MbusMasterFunctions::getErrorText(rc));
        return 1;
    }
    MbusTrafficTraceWriter traceWriter(stderr);
    if (trace)
        ours.setTrafficObserver(&traceWriter);
    modbus_t* theirs = modbus_new_tcp("127.0.0.1", server.port());
    modbus_set_slave(theirs, 1);
    if (modbus_connect(theirs) != 0) {
        std::fprintf(stderr, "libmodbus client did not connect\n");
        return 1;
    }
    std::uint16_t regs[10];
    std::vector<double> ratios, traceCosts;
    const auto readOurs = [&] { return ours.readHoldingRegisters(1, 1, regs, 10) == 0; };
    for (int round = 0; round < kRounds; ++round) {
        long plain = 0;
        if (trace) {
            ours.setTrafficObserver(nullptr);
            plain = countRoundTrips(readOurs);
            ours.setTrafficObserver(&traceWriter);
        }
        long a = countRoundTrips(readOurs);
        long b = countRoundTrips([&] { return modbus_read_registers(theirs, 0, 10, regs) == 10; });
        if (a < 0 || b <= 0 || plain < 0) {
            std::fprintf(stderr, "a request failed\n");
            return 1;
        }
        const double ratio = static_cast<double>(a) / static_cast<double>(b);
        std::printf("round %d: ours %.0f/s libmodbus %.0f/s ratio %.3f", round + 1, a / 2.0, b / 2.0, ratio);
        if (trace) {
            traceCosts.push_back(static_cast<double>(a) / static_cast<double>(plain));
            std::printf(" (without trace %.0f/s)", plain / 2.0);
        }
        std::printf("\n");
        ratios.push_back(ratio);
    }
    modbus_close(theirs);
    modbus_free(theirs);
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    if (trace)
        std::printf("modbus_tcp_traced_over_untraced=%.3f\n", median(traceCosts));
    std::printf("modbus_tcp_ours_over_libmodbus=%.3f\n", median(ratios));
    return 0;
}
