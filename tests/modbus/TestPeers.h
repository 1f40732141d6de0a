#pragma once

#include "base/SerialPort.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace quirel::test {

using Bytes = std::vector<std::uint8_t>;

// A socat pseudo-terminal pair owned by the test: both paths exist while the object lives; the process is
// killed and reaped in the destructor.
class SocatPair {
public:
    SocatPair();
    ~SocatPair();
    SocatPair(const SocatPair&) = delete;
    SocatPair& operator=(const SocatPair&) = delete;
    bool ok() const { return ok_; }
    const std::string& masterSide() const { return a_; }
    const std::string& peerSide() const { return b_; }
    // Ends socat now, which hangs up both terminals.
    void kill();

private:
    pid_t pid_ = -1;
    bool ok_ = false;
    std::string dir_, a_, b_;
};

// What a scripted peer does in answer to one request: write bytes after a pause, or hang up. A TCP peer
// that stops listening refuses every later connection.
struct PeerStep {
    Bytes bytes{};
    int delayMs = 0;
    bool close = false;
    bool stopListening = false;
};
using PeerScript = std::function<std::vector<PeerStep>(const Bytes& request, int index)>;

// Appends the CRC to an RTU frame.
Bytes withCrc(Bytes frame);
// The MBAP header fields of a reply; -1 takes the request's transaction identifier and unit, and the
// length field that fits the PDU.
struct MbapFields {
    int transaction = -1;
    int protocol = 0;
    int length = -1;
    int unit = -1;
};
// The reply frame to an MBAP request carrying pdu.
Bytes mbap(const Bytes& request, const Bytes& pdu, MbapFields fields = {});

// Base of the two scripted peers: a thread that reads whole requests, records them and plays the script.
class ScriptedPeer {
public:
    virtual ~ScriptedPeer();
    std::vector<Bytes> requests() const;
    // Every byte the script wrote, in order.
    Bytes sent() const;
    // Waits until n script answers have been fully written (bounded by 5 s).
    bool waitPlayed(int n) const;

protected:
    void start(PeerScript script);
    void stop();
    void record(const Bytes& request);
    void recordSent(const Bytes& bytes);
    virtual void run() = 0;

    PeerScript script_;
    std::atomic<bool> stop_{false};
    std::atomic<int> played_{0};
    mutable std::mutex mutex_;
    std::vector<Bytes> requests_;
    Bytes sent_;
    std::thread thread_;
};

// Listens on a free loopback port; accepts one connection after another.
class ScriptedTcpPeer : public ScriptedPeer {
public:
    explicit ScriptedTcpPeer(PeerScript script);
    ~ScriptedTcpPeer() override;
    int port() const { return port_; }
    int connections() const { return connections_; }
    // Connections are accepted once the previous one has ended; waits (at most 5 s) until n were.
    bool waitConnections(int n) const;

private:
    void run() override;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0};
};

// Serves the peer side of a pty pair, 8N1, splitting requests by their function code.
class ScriptedRtuPeer : public ScriptedPeer {
public:
    ScriptedRtuPeer(const std::string& path, PeerScript script);
    ~ScriptedRtuPeer() override;
    bool ok() const { return port_.isOpen(); }

private:
    void run() override;
    bool readExactly(std::uint8_t* buffer, std::size_t count);
    quirel::SerialPort port_;
};

// A loopback TCP port nobody listens on.
int unusedLoopbackPort();
// A socket listening on a free loopback port, which goes to *port; -1 when that fails.
int listenOnFreeLoopbackPort(int* port);

} // namespace quirel::test
