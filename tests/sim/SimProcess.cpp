#include "SimProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

std::string SimProcess::binary() {
    return std::string(QUIREL_BINARY_DIR) + "/sim/quirel-sim";
}

SimProcess::SimProcess(std::vector<std::string> args) {
    int in[2];
    int out[2];
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
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
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
    std::string line;
    while (readLine(line, 20s)) {
        m_startLines.push_back(line);
        if (line == "ready") {
            m_ready = true;
            break;
        }
        auto port = [](const std::string& endpoint) {
            return std::stoi(endpoint.substr(endpoint.rfind(':') + 1));
        };
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
    if (m_stdin >= 0)
        ::close(m_stdin);
    if (m_stdout >= 0)
        ::close(m_stdout);
}

int SimProcess::terminate() {
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 1000; ++i) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        ::usleep(10000);
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    return -1;
}

bool SimProcess::readLine(std::string& line, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            line = m_buffer.substr(0, nl);
            m_buffer.erase(0, nl + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{m_stdout, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char chunk[1024];
        const ssize_t n = ::read(m_stdout, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string SimProcess::command(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(m_stdin, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return {};
    std::string answer;
    readLine(answer, 10s);
    return answer;
}

RawTcp::RawTcp(int port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
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

RawTcp::~RawTcp() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawTcp::send(const std::vector<std::uint8_t>& bytes) {
    return m_fd >= 0 &&
           ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::vector<std::uint8_t> RawTcp::receive(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count && m_fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        std::uint8_t chunk[512];
        const ssize_t n = ::recv(m_fd, chunk, std::min(sizeof chunk, count - out.size()), 0);
        if (n <= 0)
            break;
        out.insert(out.end(), chunk, chunk + n);
    }
    return out;
}

bool RawTcp::closedByPeer(std::chrono::milliseconds timeout) {
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return false;
    std::uint8_t byte;
    return ::recv(m_fd, &byte, 1, 0) == 0;
}

std::vector<std::uint8_t> RawTcp::transact(std::uint8_t unit, const std::vector<std::uint8_t>& pdu,
                                           std::chrono::milliseconds timeout) {
    ++m_transaction;
    std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(m_transaction >> 8),
                                       static_cast<std::uint8_t>(m_transaction & 0xFF),
                                       0,
                                       0,
                                       static_cast<std::uint8_t>((pdu.size() + 1) >> 8),
                                       static_cast<std::uint8_t>((pdu.size() + 1) & 0xFF),
                                       unit};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    if (!send(frame))
        return {};
    std::vector<std::uint8_t> header = receive(7, timeout);
    if (header.size() < 7)
        return {};
    const std::size_t length = (static_cast<std::size_t>(header[4]) << 8) | header[5];
    std::vector<std::uint8_t> rest = receive(length - 1, timeout);
    header.insert(header.end(), rest.begin(), rest.end());
    return header;
}

std::uint16_t testCrc16(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}
