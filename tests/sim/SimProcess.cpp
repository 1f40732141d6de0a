#include "SimProcess.h"

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Waits for input on fd until the deadline; false when none came.
bool waitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    return left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0;
}

} // namespace

std::string SimProcess::binary() {
    return std::string(QUIREL_BINARY_DIR) + "/sim/quirel-sim";
}

SimProcess::SimProcess(std::vector<std::string> args) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) {
        m_failure = "pipe failed";
        return;
    }
    const std::string program = binary();
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::close(in[1]);
        ::close(out[0]);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    m_stdout = out[0];
    auto port = [](const std::string& endpoint) {
        return std::stoi(endpoint.substr(endpoint.rfind(':') + 1));
    };
    for (std::string line; !m_ready && readLine(line, 20s);) {
        m_startLines.push_back(line);
        m_ready = line == "ready";
        if (line.rfind("tcp ", 0) == 0)
            m_tcpPort = port(line);
        else if (line.rfind("control ", 0) == 0)
            m_controlPort = port(line);
        else if (line.rfind("pty ", 0) == 0)
            m_ptyPath = line.substr(4);
        else if (line.rfind("link ", 0) == 0)
            m_linkPath = line.substr(5);
    }
    if (!m_ready)
        m_failure = "no ready line from " + program;
}

SimProcess::~SimProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    for (int fd : {m_stdin, m_stdout})
        if (fd >= 0)
            ::close(fd);
}

int SimProcess::terminate() {
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    bool exited = false;
    for (int i = 0; i < 1000 && !(exited = ::waitpid(m_pid, &status, WNOHANG) == m_pid); ++i)
        ::usleep(10000);
    if (!exited) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
    return exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SimProcess::readLine(std::string& line, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const auto nl = m_buffer.find('\n'); nl != std::string::npos) {
            line = m_buffer.substr(0, nl);
            m_buffer.erase(0, nl + 1);
            return true;
        }
        char chunk[1024];
        const ssize_t n = waitReadable(m_stdout, deadline) ? ::read(m_stdout, chunk, sizeof chunk) : 0;
        if (n <= 0)
            return false;
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string SimProcess::command(const std::string& line) {
    const std::string text = line + "\n";
    std::string answer;
    if (::write(m_stdin, text.data(), text.size()) == static_cast<ssize_t>(text.size()))
        readLine(answer, 10s);
    return answer;
}

RawLine::~RawLine() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawLine::sendRaw(const std::vector<std::uint8_t>& bytes) {
    // A peer that closed fails the send instead of ending the test with SIGPIPE.
    const ssize_t n = m_socket ? ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                               : ::write(m_fd, bytes.data(), bytes.size());
    return m_fd >= 0 && n == static_cast<ssize_t>(bytes.size());
}

std::vector<std::uint8_t> RawLine::receive(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count && m_fd >= 0 && waitReadable(m_fd, deadline)) {
        std::uint8_t chunk[512];
        const ssize_t n = ::read(m_fd, chunk, std::min(sizeof chunk, count - out.size()));
        if (n <= 0)
            break;
        out.insert(out.end(), chunk, chunk + n);
    }
    return out;
}

RawTcp::RawTcp(int port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    m_socket = true;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool RawTcp::closedByPeer(std::chrono::milliseconds timeout) {
    std::uint8_t byte;
    return waitReadable(m_fd, std::chrono::steady_clock::now() + timeout) && ::recv(m_fd, &byte, 1, 0) == 0;
}

std::vector<std::uint8_t> RawTcp::transact(std::uint8_t unit, const std::vector<std::uint8_t>& pdu,
                                           std::chrono::milliseconds timeout) {
    ++m_transaction;
    const auto length = static_cast<std::uint16_t>(pdu.size() + 1);
    std::vector<std::uint8_t> frame = {
        static_cast<std::uint8_t>(m_transaction >> 8), static_cast<std::uint8_t>(m_transaction), 0,   0,
        static_cast<std::uint8_t>(length >> 8),        static_cast<std::uint8_t>(length),        unit};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    std::vector<std::uint8_t> header = send(frame) ? receive(7, timeout) : std::vector<std::uint8_t>{};
    if (header.size() < 7)
        return {};
    const std::vector<std::uint8_t> rest = receive(((header[4] << 8) | header[5]) - 1U, timeout);
    header.insert(header.end(), rest.begin(), rest.end());
    return header;
}

RawPty::RawPty(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
}

bool RawPty::send(std::vector<std::uint8_t> frame) {
    const std::uint16_t crc = testCrc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return sendRaw(frame);
}

bool RawPty::crcHolds(const std::vector<std::uint8_t>& frame) {
    if (frame.size() < 4)
        return false;
    const std::uint16_t crc = testCrc16(frame.data(), frame.size() - 2);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

std::uint16_t testCrc16(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc >> 1) ^ (crc & 1 ? 0xA001 : 0));
    }
    return crc;
}
