// Each fault option has the effect it claims, switched at run time through stdin or the control socket,
// or given at start.

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

const std::vector<std::uint8_t> kReadFrequency = {0x03, 0x03, 0xE8, 0x00, 0x02};

TEST(SimFaults, DropEveryNthReply) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    EXPECT_EQ(sim.command("drop 3").rfind("ok drop 3", 0), 0U);
    RawTcp tcp(sim.tcpPort());
    // Six requests at once, told apart by their transaction ids; replies come in request order, so no
    // waiting out a time-out decides which were dropped.
    auto request = [](std::uint8_t transaction) {
        std::vector<std::uint8_t> frame = {0, transaction, 0, 0, 0, 6, 1};
        frame.insert(frame.end(), kReadFrequency.begin(), kReadFrequency.end());
        return frame;
    };
    for (std::uint8_t id = 1; id <= 6; ++id)
        ASSERT_TRUE(tcp.send(request(id)));
    std::vector<int> answered;
    for (int i = 0; i < 4; ++i) {
        const auto reply = tcp.receive(13, 5000ms);
        ASSERT_EQ(reply.size(), 13U);
        answered.push_back(reply[1]);
    }
    EXPECT_EQ(answered, (std::vector<int>{1, 2, 4, 5}));
    EXPECT_EQ(sim.command("drop 0").rfind("ok drop 0", 0), 0U);
    ASSERT_TRUE(tcp.send(request(7)));
    const auto next = tcp.receive(13, 5000ms);
    ASSERT_EQ(next.size(), 13U);
    EXPECT_EQ(next[1], 7) << "the sixth reply was dropped, not late";
}

TEST(SimFaults, CorruptCrcOfEveryNthRtuReply) {
    SimProcess sim({"--pty", "--crc", "2"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawPty pty(sim.ptyPath());
    ASSERT_TRUE(pty.open());
    std::vector<bool> good;
    for (int i = 0; i < 4; ++i) {
        pty.send({1, 0x03, 0x03, 0xE8, 0x00, 0x02});
        const auto reply = pty.receive(9);
        ASSERT_EQ(reply.size(), 9U);
        good.push_back(RawPty::crcHolds(reply));
    }
    EXPECT_EQ(good, (std::vector<bool>{true, false, true, false}));
}

TEST(SimFaults, DelayRepliesAndStrayDuplicate) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    ASSERT_EQ(sim.command("delay 300").rfind("ok", 0), 0U);
    // A client that waits less than the delay gets nothing in time...
    EXPECT_TRUE(tcp.transact(1, kReadFrequency, 100ms).empty());
    // ...and the late reply is still delivered afterwards.
    EXPECT_EQ(tcp.receive(7 + 6, 3000ms).size(), 13U);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tcp.transact(1, kReadFrequency).size(), 13U);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms) << "a delay is never shorter than asked";

    ASSERT_EQ(sim.command("delay 0").rfind("ok", 0), 0U);
    ASSERT_EQ(sim.command("stray 1 100").rfind("ok", 0), 0U);
    const auto first = tcp.transact(1, kReadFrequency);
    ASSERT_EQ(first.size(), 13U);
    const auto duplicate = tcp.receive(13, 3000ms);
    EXPECT_EQ(duplicate, first) << "the same reply again, late";
}

TEST(SimFaults, StrayDuplicateOnRtu) {
    SimProcess sim({"--pty", "--stray", "1:50"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawPty pty(sim.ptyPath());
    ASSERT_TRUE(pty.open());
    pty.send({1, 0x04, 0x00, 0x09, 0x00, 0x02});
    const auto reply = pty.receive(9);
    ASSERT_EQ(reply.size(), 9U);
    EXPECT_TRUE(RawPty::crcHolds(reply));
    EXPECT_EQ(pty.receive(9), reply);
}

TEST(SimFaults, CloseAfterNRequests) {
    SimProcess sim({"--tcp", "0", "--close-after", "2"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    EXPECT_EQ(tcp.transact(1, kReadFrequency).size(), 13U);
    EXPECT_EQ(tcp.transact(1, kReadFrequency).size(), 13U) << "the Nth request is still answered";
    EXPECT_TRUE(tcp.closedByPeer(3000ms));
    RawTcp again(sim.tcpPort());
    EXPECT_EQ(again.transact(1, kReadFrequency).size(), 13U) << "a new connection starts counting afresh";
}

TEST(SimFaults, ExceptionForARegisterRange) {
    SimProcess sim({"--tcp", "0", "--exception", "4:1001-1002"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    modbus_t* mb = modbus_new_tcp("127.0.0.1", sim.tcpPort());
    ASSERT_NE(mb, nullptr);
    modbus_set_slave(mb, 1);
    ASSERT_EQ(modbus_connect(mb), 0);
    uint16_t regs[4];
    EXPECT_EQ(modbus_read_registers(mb, 1000, 2, regs), -1);
    EXPECT_EQ(errno, EMBXSFAIL);
    EXPECT_EQ(modbus_read_registers(mb, 1001, 1, regs), -1) << "any overlap";
    EXPECT_EQ(modbus_read_registers(mb, 1100, 2, regs), 2) << "outside the range";
    EXPECT_EQ(sim.command("exception 6 2051").rfind("ok", 0), 0U);
    const uint16_t v = 5;
    EXPECT_EQ(modbus_write_registers(mb, 2050, 1, &v), -1);
    EXPECT_EQ(errno, EMBXSBUSY);
    EXPECT_EQ(sim.command("exception clear").rfind("ok", 0), 0U);
    EXPECT_EQ(modbus_read_registers(mb, 1000, 2, regs), 2);
    modbus_close(mb);
    modbus_free(mb);
}

bool canConnect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

TEST(SimFaults, RefuseConnectionsThroughTheControlSocket) {
    SimProcess sim({"--tcp", "0", "--control", "0", "--no-stdin"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    ASSERT_GT(sim.controlPort(), 0);
    RawTcp control(sim.controlPort());
    ASSERT_TRUE(control.connected());
    RawTcp existing(sim.tcpPort());
    ASSERT_TRUE(existing.connected());

    auto say = [&control](const std::string& line) {
        control.send(std::vector<std::uint8_t>(line.begin(), line.end()));
        std::string answer;
        for (auto b = control.receive(1, 3000ms); !b.empty() && b[0] != '\n'; b = control.receive(1, 3000ms))
            answer.push_back(static_cast<char>(b[0]));
        return answer;
    };
    EXPECT_NE(say("refuse on\n").find("refuse on"), std::string::npos);
    EXPECT_FALSE(canConnect(sim.tcpPort()));
    EXPECT_EQ(existing.transact(1, kReadFrequency).size(), 13U) << "connections made before stay served";
    {
        // Someone else listens on the port meanwhile: switching refusal off says so, and can be retried.
        const int other = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(other, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(sim.tcpPort()));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << std::strerror(errno);
        ASSERT_EQ(::listen(other, 1), 0);
        EXPECT_EQ(say("refuse off\n").rfind("error cannot listen", 0), 0U);
        ::close(other);
    }
    EXPECT_NE(say("refuse off\n").find("refuse off"), std::string::npos);
    EXPECT_TRUE(canConnect(sim.tcpPort()));
    EXPECT_EQ(say("bogus\n").rfind("error", 0), 0U);
    EXPECT_EQ(say("status\n").rfind("ok drop 0 crc 0", 0), 0U);
}

// Started with "&" from a shell: a background job whose stdin is the terminal. Input typed for the
// foreground job must not stop the simulator (a background read from the terminal would).
TEST(SimCommands, BackgroundJobOnATerminalKeepsServing) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    char name[128] = {};
    ASSERT_EQ(::ptsname_r(terminal, name, sizeof name), 0);
    int out[2];
    int pid[2];
    int front[2];
    ASSERT_EQ(::pipe(out), 0);
    ASSERT_EQ(::pipe(pid), 0);
    ASSERT_EQ(::pipe(front), 0);
    const std::string program = SimProcess::binary();
    const pid_t leader = ::fork();
    if (leader == 0) {
        // A session on the terminal, like a login shell; the simulator in a process group of its own.
        ::setsid();
        const int tty = ::open(name, O_RDWR); // becomes the controlling terminal
        const pid_t sim = ::fork();
        if (sim == 0) {
            ::setpgid(0, 0);
            ::dup2(tty, STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::execl(program.c_str(), program.c_str(), "--tcp", "0", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        [[maybe_unused]] const auto n = ::write(pid[1], &sim, sizeof sim);
        // On a byte from the test, bring the simulator to the foreground, as "fg" does.
        char go = 0;
        if (::read(front[0], &go, 1) == 1)
            ::tcsetpgrp(tty, sim);
        ::waitpid(sim, nullptr, 0);
        ::_exit(0);
    }
    ::close(out[1]);
    ::close(pid[1]);
    ::close(front[0]);
    pid_t sim = -1;
    ASSERT_EQ(::read(pid[0], &sim, sizeof sim), static_cast<ssize_t>(sizeof sim));
    auto cleanUp = [&] {
        ::kill(sim, SIGKILL);
        ::waitpid(leader, nullptr, 0);
        for (int fd : {terminal, out[0], pid[0], front[1]})
            ::close(fd);
    };
    std::string started;
    char chunk[256];
    for (pollfd p{out[0], POLLIN, 0};
         started.find("ready\n") == std::string::npos && ::poll(&p, 1, 20000) > 0;) {
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        started.append(chunk, static_cast<std::size_t>(n));
    }
    const auto colon = started.find(':');
    if (started.find("ready\n") == std::string::npos || colon == std::string::npos) {
        cleanUp();
        FAIL() << "no ready line: " << started;
    }
    const int port = std::stoi(started.substr(colon + 1));
    // Someone types a line at the terminal.
    ASSERT_EQ(::write(terminal, "status\n", 7), 7);
    ::usleep(200000); // time for the simulator to notice the input (a slower machine only hides a fault)
    RawTcp tcp(port);
    const auto reply = tcp.transact(1, kReadFrequency);
    EXPECT_EQ(reply.size(), 13U) << "the simulator was stopped by the terminal";
    // In the foreground it takes the waiting line as a command.
    ASSERT_EQ(::write(front[1], "g", 1), 1);
    std::string answer;
    for (pollfd p{out[0], POLLIN, 0}; answer.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0;) {
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        answer.append(chunk, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(answer.rfind("ok drop 0", 0), 0U) << answer;
    cleanUp();
}

TEST(SimFaults, QuitCommandEndsTheProgram) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    EXPECT_EQ(sim.command("quit"), "ok quit");
    EXPECT_EQ(sim.terminate(), 0);
}

} // namespace
