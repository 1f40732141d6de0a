#include "TestPeers.h"

#include "modbus/MbusRtuMasterProtocol.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quirel::test {

using namespace std::chrono_literals;

SocatPair::SocatPair() {
    char pattern[] = "/tmp/quirel-pty-XXXXXX";
    if (!::mkdtemp(pattern))
        return;
    dir_ = pattern;
    a_ = dir_ + "/a";
    b_ = dir_ + "/b";
    const std::string left = "pty,raw,echo=0,link=" + a_;
    const std::string right = "pty,raw,echo=0,link=" + b_;
    pid_ = ::fork();
    if (pid_ == 0) {
        int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        ::execlp("socat", "socat", left.c_str(), right.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid_ < 0)
        return;
    for (int i = 0; i < 500; ++i) {
        struct stat st {};
        if (::stat(a_.c_str(), &st) == 0 && ::stat(b_.c_str(), &st) == 0) {
            ok_ = true;
            return;
        }
        std::this_thread::sleep_for(10ms);
    }
}

void SocatPair::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
}

SocatPair::~SocatPair() {
    kill();
    if (!dir_.empty()) {
        ::unlink(a_.c_str());
        ::unlink(b_.c_str());
        ::rmdir(dir_.c_str());
    }
}

Bytes withCrc(Bytes frame) {
    const std::uint16_t crc = quirel::modbusCrc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

Bytes mbap(const Bytes& request, const Bytes& pdu, MbapFields fields) {
    const int transaction =
        fields.transaction >= 0 ? fields.transaction : (request.at(0) << 8) | request.at(1);
    const int length = fields.length >= 0 ? fields.length : static_cast<int>(pdu.size()) + 1;
    Bytes frame{static_cast<std::uint8_t>(transaction >> 8),
                static_cast<std::uint8_t>(transaction),
                static_cast<std::uint8_t>(fields.protocol >> 8),
                static_cast<std::uint8_t>(fields.protocol),
                static_cast<std::uint8_t>(length >> 8),
                static_cast<std::uint8_t>(length),
                static_cast<std::uint8_t>(fields.unit >= 0 ? fields.unit : request.at(6))};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return frame;
}

ScriptedPeer::~ScriptedPeer() = default;

void ScriptedPeer::start(PeerScript script) {
    script_ = std::move(script);
    thread_ = std::thread([this] { run(); });
}

void ScriptedPeer::stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void ScriptedPeer::record(const Bytes& request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
}

void ScriptedPeer::recordSent(const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    sent_.insert(sent_.end(), bytes.begin(), bytes.end());
}

Bytes ScriptedPeer::sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

std::vector<Bytes> ScriptedPeer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

namespace {

// Waits (at most 5 s) until count reaches n.
bool waitUntil(const std::atomic<int>& count, int n) {
    for (int i = 0; i < 500 && count < n; ++i)
        std::this_thread::sleep_for(10ms);
    return count >= n;
}

// Sleeps in small slices so that a stopping peer does not linger.
void pause(int ms, const std::atomic<bool>& stop) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
}

bool readSocket(int fd, std::uint8_t* buffer, std::size_t count, const std::atomic<bool>& stop) {
    std::size_t have = 0;
    while (have < count) {
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, 20);
        if (stop)
            return false;
        if (r <= 0)
            continue;
        ssize_t n = ::recv(fd, buffer + have, count - have, 0);
        if (n <= 0)
            return false;
        have += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

ScriptedTcpPeer::ScriptedTcpPeer(PeerScript script) {
    listen_ = listenOnFreeLoopbackPort(&port_);
    start(std::move(script));
}

ScriptedTcpPeer::~ScriptedTcpPeer() {
    stop();
    if (listen_ >= 0)
        ::close(listen_);
}

bool ScriptedPeer::waitPlayed(int n) const {
    return waitUntil(played_, n);
}

bool ScriptedTcpPeer::waitConnections(int n) const {
    return waitUntil(connections_, n);
}

void ScriptedTcpPeer::run() {
    int index = 0;
    while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (listen_ < 0 || ::poll(&p, 1, 20) <= 0) {
            if (listen_ < 0)
                std::this_thread::sleep_for(20ms);
            continue;
        }
        int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0)
            continue;
        ++connections_;
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        bool open = true;
        while (open && !stop_) {
            std::uint8_t header[7];
            if (!readSocket(fd, header, 7, stop_))
                break;
            const std::size_t length = (static_cast<std::size_t>(header[4]) << 8) | header[5];
            Bytes request(header, header + 7);
            request.resize(7 + (length > 0 ? length - 1 : 0));
            if (length > 1 && !readSocket(fd, request.data() + 7, length - 1, stop_))
                break;
            record(request);
            for (const PeerStep& step : script_(request, index)) {
                pause(step.delayMs, stop_);
                if (step.stopListening && listen_ >= 0) {
                    // Connects are answered with a reset from now on.
                    ::close(listen_);
                    listen_ = -1;
                }
                if (step.close) {
                    open = false;
                    break;
                }
                if (!step.bytes.empty() && ::send(fd, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL) > 0)
                    recordSent(step.bytes);
            }
            ++index;
            ++played_;
        }
        ::close(fd);
    }
}

ScriptedRtuPeer::ScriptedRtuPeer(const std::string& path, PeerScript script) {
    if (port_.open(path) != quirel::SerialPort::Result::Ok)
        return;
    port_.configure(38400, 8, 1, 0, 0);
    start(std::move(script));
}

ScriptedRtuPeer::~ScriptedRtuPeer() {
    stop();
}

bool ScriptedRtuPeer::readExactly(std::uint8_t* buffer, std::size_t count) {
    std::size_t have = 0;
    while (have < count && !stop_) {
        std::size_t got = 0;
        auto r = port_.read(buffer + have, count - have, 20, &got);
        have += got;
        if (r == quirel::SerialPort::Result::Failure || r == quirel::SerialPort::Result::NotOpen) {
            std::this_thread::sleep_for(5ms); // a hung-up line fails at once; do not spin on it
            return false;
        }
    }
    return have == count;
}

void ScriptedRtuPeer::run() {
    int index = 0;
    while (!stop_) {
        std::uint8_t head[2];
        if (!readExactly(head, 2))
            continue;
        // The rest of a request follows from its function code (for 16: up to its byte count).
        const std::uint8_t f = head[1];
        const std::size_t rest = f >= 3 && f <= 6 ? 6 : f == 20 ? 10 : f == 43 ? 5 : f == 16 ? 5 : 0;
        Bytes request(head, head + 2);
        request.resize(2 + rest);
        if (rest > 0 && !readExactly(request.data() + 2, rest))
            continue;
        if (head[1] == 16) {
            const std::size_t more = static_cast<std::size_t>(request[6]) + 2;
            request.resize(request.size() + more);
            if (!readExactly(request.data() + 7, more))
                continue;
        }
        record(request);
        for (const PeerStep& step : script_(request, index)) {
            pause(step.delayMs, stop_);
            if (!step.bytes.empty() &&
                port_.write(step.bytes.data(), step.bytes.size(), 1000) == quirel::SerialPort::Result::Ok)
                recordSent(step.bytes);
        }
        ++index;
        ++played_;
    }
}

namespace {

// A socket bound to a free loopback port, which goes to *port.
int boundLoopbackSocket(int* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

} // namespace

int listenOnFreeLoopbackPort(int* port) {
    int fd = boundLoopbackSocket(port);
    if (fd >= 0 && ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int unusedLoopbackPort() {
    int port = 0;
    ::close(boundLoopbackSocket(&port)); // bound but never listening, then released: connects are refused
    return port;
}

} // namespace quirel::test
