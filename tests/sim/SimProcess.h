#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
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

    int m_pid = -1, m_stdin = -1, m_stdout = -1;
    std::string m_buffer;
    bool m_ready = false;
    std::string m_failure;
    int m_tcpPort = 0, m_controlPort = 0;
    std::string m_ptyPath, m_linkPath;
    std::vector<std::string> m_startLines;
};

// CRC-16/MODBUS, written here independently of the simulator's.
std::uint16_t testCrc16(const std::uint8_t* data, std::size_t size);

// A raw byte line to the simulator, closed in the destructor.
class RawLine {
public:
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;
    // Receives exactly count bytes, or fewer when the time-out passes or the peer closes.
    std::vector<std::uint8_t> receive(std::size_t count,
                                      std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
    [[nodiscard]] bool sendRaw(const std::vector<std::uint8_t>& bytes);

protected:
    RawLine() = default;
    ~RawLine();
    int m_fd = -1;
    bool m_socket = false;
};

// A connected loopback TCP socket for raw Modbus frames.
class RawTcp : public RawLine {
public:
    explicit RawTcp(int port);
    bool connected() const { return m_fd >= 0; }
    [[nodiscard]] bool send(const std::vector<std::uint8_t>& bytes) { return sendRaw(bytes); }
    // True when the peer has closed the connection (receive gives end of file) within the time-out.
    bool closedByPeer(std::chrono::milliseconds timeout);
    // One request/response: the MBAP header and PDU of the answer, or empty on time-out.
    std::vector<std::uint8_t> transact(std::uint8_t unit, const std::vector<std::uint8_t>& pdu,
                                       std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

private:
    std::uint16_t m_transaction = 0;
};

// A raw RTU line on the pty, in raw mode: requests sent with their CRC, replies read by the length expected.
class RawPty : public RawLine {
public:
    explicit RawPty(const std::string& path);
    bool open() const { return m_fd >= 0; }
    [[nodiscard]] bool send(std::vector<std::uint8_t> frame);
    static bool crcHolds(const std::vector<std::uint8_t>& frame);
};
