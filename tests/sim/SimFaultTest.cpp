// Each fault option has the effect it claims, given at start or switched at run time through stdin or the
// control socket.

#include "SimProcess.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>

using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kReadFrequency = {0x03, 0x03, 0xE8, 0x00, 0x02};

bool ok(const std::string& answer) {
    return answer.rfind("ok", 0) == 0;
}

TEST(SimFaults, DropEveryNthReplyThenQuit) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    EXPECT_EQ(sim.command("drop 3").rfind("ok drop 3", 0), 0U);
    RawTcp tcp(sim.tcpPort());
    // Requests at once, told apart by their transaction ids; replies come in request order, so no waiting
    // out a time-out decides which were dropped.
    auto send = [&tcp](std::uint8_t transaction) {
        Bytes frame = {0, transaction, 0, 0, 0, 6, 1};
        frame.insert(frame.end(), kReadFrequency.begin(), kReadFrequency.end());
        ASSERT_TRUE(tcp.send(frame));
    };
    for (std::uint8_t id = 1; id <= 6; ++id)
        send(id);
    auto answered = [&tcp](int n) {
        std::vector<int> ids;
        for (int i = 0; i < n; ++i)
            ids.push_back(tcp.receive(13, 5000ms).at(1));
        return ids;
    };
    EXPECT_EQ(answered(4), (std::vector<int>{1, 2, 4, 5}));
    EXPECT_TRUE(ok(sim.command("drop 0")));
    send(7);
    EXPECT_EQ(answered(1), std::vector<int>{7}) << "the sixth reply was dropped, not late";
    EXPECT_EQ(sim.command("quit"), "ok quit");
    EXPECT_EQ(sim.terminate(), 0);
}

TEST(SimFaults, CorruptCrcAndStrayDuplicateOnRtu) {
    SimProcess sim({"--pty", "--crc", "2"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawPty pty(sim.ptyPath());
    ASSERT_TRUE(pty.open());
    auto ask = [&pty] {
        EXPECT_TRUE(pty.send({1, 0x04, 0x00, 0x09, 0x00, 0x02}));
        return pty.receive(9);
    };
    std::vector<bool> good;
    for (int i = 0; i < 4; ++i)
        good.push_back(RawPty::crcHolds(ask()));
    EXPECT_EQ(good, (std::vector<bool>{true, false, true, false}));
    ASSERT_TRUE(ok(sim.command("crc 0")));
    ASSERT_TRUE(ok(sim.command("stray 1 50")));
    const auto reply = ask();
    EXPECT_TRUE(RawPty::crcHolds(reply));
    EXPECT_EQ(pty.receive(9), reply) << "the same reply again, late";
}

TEST(SimFaults, DelayAndStrayDuplicateOnTcp) {
    SimProcess sim({"--tcp", "0", "--delay", "200"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    // A client that waits less than the delay gets nothing in time, and the late reply still comes.
    EXPECT_TRUE(tcp.transact(1, kReadFrequency, 50ms).empty());
    EXPECT_EQ(tcp.receive(7 + 6, 3000ms).size(), 13U);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tcp.transact(1, kReadFrequency).size(), 13U);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms) << "a delay is never shorter than asked";

    ASSERT_TRUE(ok(sim.command("delay 0")));
    ASSERT_TRUE(ok(sim.command("stray 1 100")));
    const auto first = tcp.transact(1, kReadFrequency);
    ASSERT_EQ(first.size(), 13U);
    EXPECT_EQ(tcp.receive(13, 3000ms), first) << "the same reply again, late";
}

TEST(SimFaults, CloseAfterNRequestsAndExceptionRanges) {
    SimProcess sim({"--tcp", "0", "--close-after", "2", "--exception", "4:1001-1002"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    {
        RawTcp tcp(sim.tcpPort());
        EXPECT_EQ(tcp.transact(1, {0x03, 0x04, 0x4C, 0x00, 0x02}).size(), 13U);
        EXPECT_EQ(tcp.transact(1, {0x03, 0x04, 0x4C, 0x00, 0x02}).size(), 13U) << "the Nth is answered";
        EXPECT_TRUE(tcp.closedByPeer(3000ms));
    }
    ASSERT_TRUE(ok(sim.command("close-after 0")));
    modbus_t* mb = modbus_new_tcp("127.0.0.1", sim.tcpPort()); // a new connection counts afresh
    ASSERT_NE(mb, nullptr);
    modbus_set_slave(mb, 1);
    ASSERT_EQ(modbus_connect(mb), 0);
    uint16_t regs[4];
    EXPECT_EQ(modbus_read_registers(mb, 1000, 2, regs), -1);
    EXPECT_EQ(errno, EMBXSFAIL);
    EXPECT_EQ(modbus_read_registers(mb, 1001, 1, regs), -1) << "any overlap";
    EXPECT_EQ(modbus_read_registers(mb, 1100, 2, regs), 2) << "outside the range";
    EXPECT_TRUE(ok(sim.command("exception 6 2051")));
    const uint16_t v = 5;
    EXPECT_EQ(modbus_write_registers(mb, 2050, 1, &v), -1);
    EXPECT_EQ(errno, EMBXSBUSY);
    EXPECT_TRUE(ok(sim.command("exception clear")));
    EXPECT_EQ(modbus_read_registers(mb, 1000, 2, regs), 2);
    modbus_close(mb);
    modbus_free(mb);
}

TEST(SimFaults, RefuseConnectionsThroughTheControlSocket) {
    SimProcess sim({"--tcp", "0", "--control", "0", "--no-stdin"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp control(sim.controlPort()), existing(sim.tcpPort());
    ASSERT_TRUE(control.connected() && existing.connected());
    auto say = [&control](const std::string& line) {
        EXPECT_TRUE(control.send(Bytes(line.begin(), line.end())));
        std::string answer;
        for (auto b = control.receive(1, 3000ms); !b.empty() && b[0] != '\n'; b = control.receive(1, 3000ms))
            answer.push_back(static_cast<char>(b[0]));
        return answer;
    };
    EXPECT_EQ(say("refuse on\n").rfind("ok", 0), 0U);
    EXPECT_FALSE(RawTcp(sim.tcpPort()).connected()) << "new connections are refused";
    EXPECT_EQ(existing.transact(1, kReadFrequency).size(), 13U) << "connections made before stay served";
    // Someone else listens on the port meanwhile: switching refusal off says so, and can be retried.
    const int other = ::socket(AF_INET, SOCK_STREAM, 0), one = 1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET, addr.sin_port = htons(static_cast<std::uint16_t>(sim.tcpPort()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::setsockopt(other, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ASSERT_EQ(::bind(other, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0)
        << std::strerror(errno);
    ASSERT_EQ(::listen(other, 1), 0);
    EXPECT_EQ(say("refuse off\n").rfind("error cannot listen", 0), 0U);
    ::close(other);
    EXPECT_NE(say("refuse off\n").find("refuse off"), std::string::npos);
    EXPECT_TRUE(RawTcp(sim.tcpPort()).connected());
    EXPECT_EQ(say("bogus\n").rfind("error", 0), 0U);
    EXPECT_EQ(say("status\n"), "ok drop 0 crc 0 delay 0 stray 0 0 close-after 0 refuse off");
}

// Started with "&" from a shell: a background job whose stdin is the terminal. Input typed for the
// foreground job must not stop the simulator (a background read from the terminal would).
TEST(SimCommands, BackgroundJobOnATerminalKeepsServing) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    char name[128] = {};
    int out[2], front[2];
    ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0 &&
                ::ptsname_r(terminal, name, sizeof name) == 0 && ::pipe(out) == 0 && ::pipe(front) == 0);
    const std::string program = SimProcess::binary();
    const pid_t leader = ::fork();
    if (leader == 0) {
        // A session on the terminal, like a login shell, with the simulator in a process group of its own.
        // Each byte from the test brings it to the foreground, as "fg" does; the pipe's end ends it.
        ::setsid();
        ::close(front[1]);
        const int tty = ::open(name, O_RDWR); // becomes the controlling terminal
        const pid_t sim = ::fork();
        if (sim == 0) {
            ::setpgid(0, 0);
            ::dup2(tty, STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::execl(program.c_str(), program.c_str(), "--tcp", "0", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (char go; ::read(front[0], &go, 1) == 1;)
            ::tcsetpgrp(tty, sim);
        ::kill(sim, SIGKILL);
        ::waitpid(sim, nullptr, 0);
        ::_exit(0);
    }
    ::close(out[1]);
    ::close(front[0]);
    auto readUntil = [&out](const char* end, std::string& text) {
        char chunk[256];
        for (pollfd p{out[0], POLLIN, 0}; text.find(end) == std::string::npos && ::poll(&p, 1, 20000) > 0;) {
            const ssize_t n = ::read(out[0], chunk, sizeof chunk);
            if (n <= 0)
                break;
            text.append(chunk, static_cast<std::size_t>(n));
        }
    };
    std::string lines, answer;
    readUntil("ready\n", lines);
    if (lines.find("ready\n") != std::string::npos) {
        // Someone types a line at the terminal.
        EXPECT_EQ(::write(terminal, "status\n", 7), 7);
        ::usleep(200000); // time for the simulator to notice the input (a slower machine only hides a fault)
        RawTcp tcp(std::stoi(lines.substr(lines.find(':') + 1)));
        EXPECT_EQ(tcp.transact(1, kReadFrequency).size(), 13U) << "the simulator was stopped by the terminal";
        // In the foreground it takes the waiting line as a command.
        EXPECT_EQ(::write(front[1], "g", 1), 1);
        readUntil("\n", answer);
    }
    EXPECT_EQ(answer.rfind("ok drop 0", 0), 0U) << lines << answer;
    ::close(front[1]);
    ::waitpid(leader, nullptr, 0);
    ::close(terminal);
    ::close(out[0]);
}

} // namespace
