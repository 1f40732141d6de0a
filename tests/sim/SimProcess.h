#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

// The simulator program as a child process: started with arguments, its connection lines parsed, command
// lines sent on its stdin, and always killed and reaped in the destructor.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ready() const { return m_ready; }
    const std::string& failure() const { return m_failure; }
    int tcpPort() const { return m_tcpPort; }
    // "127.0.0.1:PORT", as a master takes it.
    std::string tcpHost() const { return "127.0.0.1:" + std::to_string(m_tcpPort); }
    const std::string& ptyPath() const { return m_ptyPath; }
    const std::string& linkPath() const { return m_linkPath; }
    int controlPort() const { return m_controlPort; }
    const std::vector<std::string>& startLines() const { return m_startLines; }

    // Sends one command line on stdin and returns the answer line ("" when none came).
    std::string command(const std::string& line);
    // Stops the process with SIGTERM and returns its exit status (-1 when it had to be killed).
    int terminate();

    static std::string binary();

private:
    bool readLine(std::string& line, std::chrono::milliseconds timeout);

    int m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_buffer;
    bool m_ready = false;
    std::string m_failure;
    int m_tcpPort = 0;
    int m_controlPort = 0;
    std::string m_ptyPath;
    std::string m_linkPath;
    std::vector<std::string> m_startLines;
};

// CRC-16/MODBUS, written here independently of the simulator's.
std::uint16_t testCrc16(const std::uint8_t* data, std::size_t size);

// A connected loopback TCP socket for raw Modbus frames.
class RawTcp {
public:
    explicit RawTcp(int port);
    ~RawTcp();
    bool connected() const { return m_fd >= 0; }
    bool send(const std::vector<std::uint8_t>& bytes);
    // Receives exactly count bytes, or fewer when the time-out passes or the peer closes.
    std::vector<std::uint8_t> receive(std::size_t count, std::chrono::milliseconds timeout);
    // True when the peer has closed the connection (receive gives end of file) within the time-out.
    bool closedByPeer(std::chrono::milliseconds timeout);
    // One request/response: the MBAP header and PDU of the answer, or empty on time-out.
    std::vector<std::uint8_t> transact(std::uint8_t unit, const std::vector<std::uint8_t>& pdu,
                                       std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

private:
    int m_fd = -1;
    std::uint16_t m_transaction = 0;
};

// A raw RTU exchange on the pty: the request with its CRC, the reply read by the length expected.
class RawPty {
public:
    explicit RawPty(const std::string& path) {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (m_fd >= 0) {
            termios tio{};
            ::tcgetattr(m_fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~RawPty() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool open() const { return m_fd >= 0; }
    void send(std::vector<std::uint8_t> frame) {
        const std::uint16_t crc = testCrc16(frame.data(), frame.size());
        frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
        ASSERT_EQ(::write(m_fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    }
    void sendRaw(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::vector<std::uint8_t> receive(std::size_t count,
                                      std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
        std::vector<std::uint8_t> out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            std::uint8_t chunk[300];
            const ssize_t n = ::read(m_fd, chunk, std::min(sizeof chunk, count - out.size()));
            if (n <= 0)
                break;
            out.insert(out.end(), chunk, chunk + n);
        }
        return out;
    }
    static bool crcHolds(const std::vector<std::uint8_t>& frame) {
        if (frame.size() < 4)
            return false;
        const std::uint16_t crc = testCrc16(frame.data(), frame.size() - 2);
        return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
    }

private:
    int m_fd = -1;
};
