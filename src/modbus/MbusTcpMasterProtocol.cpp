#include "modbus/MbusTcpMasterProtocol.h"

#include "modbus/MbusBytes.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Small socket buffers keep a stale reply from piling up unseen behind the current exchange.
constexpr int kSocketBufferSize = 268;

// Resolves name to its first IPv4 address within timeoutMs: 0, or the getaddrinfo error (EAI_AGAIN when
// the resolver did not answer in time). The lookup runs on a thread of its own so that a resolver that
// does not answer cannot hold the caller beyond the time-out; a late result is dropped.
int resolveIPv4(const std::string& name, int timeoutMs, in_addr* out) {
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        int error = EAI_AGAIN;
        in_addr address{};
    };
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, name] {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* result = nullptr;
            int error = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
            in_addr address{};
            if (error == 0 && result)
                address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
            else if (error == 0)
                error = EAI_NONAME;
            if (result)
                ::freeaddrinfo(result);
            std::lock_guard lock(lookup->mutex);
            lookup->finished = true;
            lookup->error = error;
            lookup->address = address;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return EAI_SYSTEM;
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return lookup->finished; }))
        return EAI_AGAIN;
    *out = lookup->address;
    return lookup->error;
}

// Waits for events on fd until deadline, repeating interrupted waits. 1 ready, 0 time-out, -1 error or
// cancelled.
int waitSocket(int fd, short events, std::chrono::steady_clock::time_point deadline,
               const quirel::CancelSignal& cancel) {
    for (;;) {
        pollfd p[2] = {{fd, events, 0}, {cancel.fd(), POLLIN, 0}};
        auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        int r = ::poll(p, 2, left > 0 ? static_cast<int>(left) : 0);
        if (r > 0 && p[1].revents != 0)
            return -1;
        if (r >= 0)
            return r > 0 ? 1 : 0;
        if (errno != EINTR)
            return -1;
    }
}

int waitSocket(int fd, short events, int timeoutMs, const quirel::CancelSignal& cancel) {
    return waitSocket(fd, events, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs),
                      cancel);
}

// The largest MBAP length field: unit identifier and a PDU of at most 253 bytes.
constexpr unsigned kMaxLengthField = 254;

} // namespace

MbusTcpMasterProtocol::~MbusTcpMasterProtocol() {
    closeSocket();
}

void MbusTcpMasterProtocol::closeProtocol() {
    closeSocket();
}

void MbusTcpMasterProtocol::closeSocket() {
    if (socket_ < 0)
        return;
    ::shutdown(socket_, SHUT_RDWR);
    ::close(socket_);
    socket_ = -1;
}

int MbusTcpMasterProtocol::setPort(int port) {
    if (port < 1 || port > 65535)
        return MBUS_ILLEGAL_ARGUMENT;
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    port_ = port;
    return MBUS_SUCCESS;
}

int MbusTcpMasterProtocol::openProtocol(const std::string& host) {
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    std::string name = host;
    int port = port_;
    if (auto colon = host.rfind(':'); colon != std::string::npos) {
        const std::string digits = host.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return MBUS_ILLEGAL_ARGUMENT;
        port = std::stoi(digits);
        if (port < 1 || port > 65535)
            return MBUS_ILLEGAL_ARGUMENT;
        name = host.substr(0, colon);
    }
    noteSystemError(0);
    if (name.empty()) {
        noteResolverError(EAI_NONAME);
        return MBUS_CONNECT_ERROR;
    }
    peer_ = sockaddr_in{};
    peer_.sin_family = AF_INET;
    peer_.sin_port = htons(static_cast<std::uint16_t>(port));
    // Resolved once: reconnects go to this address without asking the resolver again.
    if (::inet_pton(AF_INET, name.c_str(), &peer_.sin_addr) != 1) {
        if (int error = resolveHost(name, getTimeout(), &peer_.sin_addr); error != 0) {
            noteResolverError(error);
            return MBUS_CONNECT_ERROR;
        }
    }
    return connectSocket();
}

int MbusTcpMasterProtocol::resolveHost(const std::string& name, int timeoutMs, in_addr* out) {
    return resolveIPv4(name, timeoutMs, out);
}

int MbusTcpMasterProtocol::connectSocket() {
    closeSocket();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        noteSystemError(errno);
        return MBUS_OPEN_ERROR;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_) != 0 && errno != EINPROGRESS &&
        errno != EINTR) {
        noteSystemError(errno);
        ::close(fd);
        return MBUS_CONNECT_ERROR;
    }
    int ready = waitSocket(fd, POLLOUT, getTimeout(), cancelSignal());
    if (ready <= 0) {
        noteSystemError(ready == 0 ? ETIMEDOUT : errno);
        ::close(fd);
        return ready == 0 ? MBUS_CONNECT_ERROR : MBUS_IO_ERROR;
    }
    int pending = 0;
    socklen_t length = sizeof pending;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) != 0 || pending != 0) {
        noteSystemError(pending != 0 ? pending : errno);
        ::close(fd);
        return MBUS_CONNECT_ERROR;
    }
    int on = 1;
    int size = kSocketBufferSize;
    linger noLinger{0, 0};
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
    socket_ = fd;
    return MBUS_SUCCESS;
}

int MbusTcpMasterProtocol::deliverRequest(int slaveAddress, int functionCode, const std::uint8_t* requestData,
                                          int requestLength, std::uint8_t* replyData, int replyLength) {
    if (!isOpen())
        return MBUS_ILLEGAL_STATE;
    int retries = getRetryCount();
    for (;;) {
        int rc = transceive(slaveAddress, functionCode, requestData, requestLength, replyData, replyLength);
        if (rc != MBUS_INVALID_FRAME && rc != MBUS_INVALID_REPLY && rc != MBUS_REPLY_TIMEOUT)
            return rc;
        // The stream may now be out of step with the requests; only a fresh connection is sure not to be.
        connectSocket();
        if (retries-- <= 0)
            return rc;
    }
}

int MbusTcpMasterProtocol::discardPending() {
    std::uint8_t discard[kSocketBufferSize];
    for (;;) {
        pollfd p{socket_, POLLIN, 0};
        int r = ::poll(&p, 1, 0);
        if (r == 0)
            return MBUS_SUCCESS;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return MBUS_IO_ERROR;
        }
        ssize_t n = ::recv(socket_, discard, sizeof discard, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        if (n <= 0)
            return MBUS_CONNECTION_CLOSED;
        noteTraffic(MbusTrafficKind::Discarded, MbusFraming::Tcp, discard, static_cast<std::size_t>(n),
                    MbusDiscardReason::StrayBytes);
    }
}

int MbusTcpMasterProtocol::receiveUntil(std::size_t wanted, std::chrono::steady_clock::time_point deadline,
                                        std::size_t* have) {
    while (*have < wanted) {
        // Whatever is there, up to the buffer's end: what follows the reply is dropped with it.
        std::size_t got = 0;
        if (int rc = receiveSome(reply_ + *have, sizeof reply_ - *have, deadline, &got); rc != MBUS_SUCCESS)
            return rc;
        receivedAny_ = receivedAny_ || got > 0;
        *have += got;
    }
    return MBUS_SUCCESS;
}

int MbusTcpMasterProtocol::receiveSome(std::uint8_t* into, std::size_t room,
                                       std::chrono::steady_clock::time_point deadline, std::size_t* got) {
    for (;;) {
        int ready = waitSocket(socket_, POLLIN, deadline, cancelSignal());
        if (ready == 0)
            return MBUS_REPLY_TIMEOUT;
        if (ready < 0)
            return MBUS_IO_ERROR;
        ssize_t n = ::recv(socket_, into, room, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        if (n <= 0)
            return MBUS_CONNECTION_CLOSED;
        *got = static_cast<std::size_t>(n);
        return MBUS_SUCCESS;
    }
}

int MbusTcpMasterProtocol::sendFrame(const std::uint8_t* frame, std::size_t length) {
    if (waitSocket(socket_, POLLOUT, getTimeout(), cancelSignal()) != 1)
        return MBUS_IO_ERROR;
    ssize_t sent = ::send(socket_, frame, length, MSG_NOSIGNAL);
    if (sent < 0)
        return MBUS_CONNECTION_CLOSED;
    if (static_cast<std::size_t>(sent) != length)
        return MBUS_IO_ERROR;
    return MBUS_SUCCESS;
}

int MbusTcpMasterProtocol::receiveReply(std::uint16_t transaction, bool* exception, int replyLength) {
    std::size_t have = 0;
    const int rc = receiveFrame(transaction, exception, replyLength, &have);
    if (rc == MBUS_REPLY_TIMEOUT) {
        if (have > 0)
            noteTraffic(MbusTrafficKind::Discarded, MbusFraming::Tcp, reply_, have,
                        MbusDiscardReason::IncompleteReply);
        noteTraffic(MbusTrafficKind::TimeOut, MbusFraming::Tcp, nullptr, 0);
    }
    return rc;
}

int MbusTcpMasterProtocol::receiveFrame(std::uint16_t transaction, bool* exception, int replyLength,
                                        std::size_t* received) {
    // One time-out for the whole wait: a stream of frames that are skipped must not keep the caller.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(getTimeout());
    std::size_t& have = *received;
    for (;;) {
        int rc = receiveUntil(kHeaderSize, deadline, &have);
        if (rc != MBUS_SUCCESS)
            return rc;
        const unsigned length = mbus::getWord(reply_ + 4);
        *exception = (reply_[7] & 0x80) != 0;
        const unsigned predicted = *exception ? 3u : static_cast<unsigned>(replyLength) + 2;
        if (mbus::getWord(reply_) == transaction && mbus::getWord(reply_ + 2) == 0 && length == predicted)
            break;
        // A late or repeated reply to an earlier request, or one that does not fit this request: skipped
        // by its own length. A length no frame can have leaves nothing to find the next frame by.
        if (length < 2 || length > kMaxLengthField) {
            noteUnusableReply(reply_, have);
            noteTraffic(MbusTrafficKind::Discarded, MbusFraming::Tcp, reply_, have,
                        MbusDiscardReason::BadLength);
            return MBUS_INVALID_FRAME;
        }
        const std::size_t skipped = 6 + length;
        rc = receiveUntil(skipped, deadline, &have);
        if (rc != MBUS_SUCCESS)
            return rc;
        noteTraffic(MbusTrafficKind::Discarded, MbusFraming::Tcp, reply_, skipped,
                    MbusDiscardReason::StrayReply);
        have -= skipped;
        std::memmove(reply_, reply_ + skipped, have);
    }
    // Read by the length the request predicts, which the length field has just been found to agree with.
    const std::size_t expected = kHeaderSize + (*exception ? 1 : static_cast<std::size_t>(replyLength));
    const int rc = receiveUntil(expected, deadline, &have);
    excess_ = rc == MBUS_SUCCESS && have > expected ? have - expected : 0;
    return rc;
}

int MbusTcpMasterProtocol::sendRequest(std::uint8_t slave, std::uint8_t function,
                                       const std::uint8_t* requestData, int requestLength, bool* exception,
                                       int replyLength) {
    // Each request carries an identifier of its own, which its reply must echo: a late or repeated reply
    // to an earlier request is told apart by it even when it arrives after this request was sent.
    const std::uint16_t transaction = transaction_++;
    mbus::putWord(frame_, transaction);
    mbus::putWord(frame_ + 2, 0);
    mbus::putWord(frame_ + 4, static_cast<unsigned>(requestLength + 2));
    frame_[6] = slave;
    frame_[7] = function;
    if (requestLength > 0)
        std::memmove(frame_ + kHeaderSize, requestData, static_cast<std::size_t>(requestLength));
    const std::size_t total = kHeaderSize + static_cast<std::size_t>(requestLength);

    receivedAny_ = false;
    if (int rc = sendFrame(frame_, total); rc != MBUS_SUCCESS)
        return rc;
    noteTraffic(MbusTrafficKind::Sent, MbusFraming::Tcp, frame_, total);
    return receiveReply(transaction, exception, replyLength);
}

int MbusTcpMasterProtocol::transceive(int slaveAddress, int functionCode, const std::uint8_t* requestData,
                                      int requestLength, std::uint8_t* replyData, int replyLength) {
    countTransaction();
    if (!isOpen()) // a reconnect after the previous attempt failed
        return MBUS_CONNECT_ERROR;
    const auto slave = static_cast<std::uint8_t>(slaveAddress);
    const auto function = static_cast<std::uint8_t>(functionCode);

    // Nothing still waiting in the socket may pass for this request's reply.
    int rc = discardPending();
    bool reconnected = false;
    if (rc == MBUS_CONNECTION_CLOSED) {
        // The peer closed the connection while it was idle (gateways do so after a minute or so). Nothing
        // has been sent yet, so one fresh connection to the same address may carry the request.
        if (connectSocket() != MBUS_SUCCESS)
            return MBUS_CONNECTION_CLOSED;
        reconnected = true;
    } else if (rc != MBUS_SUCCESS) {
        return rc;
    }

    bool exception = false;
    for (;;) {
        rc = sendRequest(slave, function, requestData, requestLength, &exception, replyLength);
        // The peer's close may also cross the request on the wire (it closed before the request reached it),
        // and then not a byte comes back: one fresh connection carries the request once more. A device that
        // took the request and closed without answering gets it twice, which register writes bear.
        if (rc != MBUS_CONNECTION_CLOSED || receivedAny_ || reconnected)
            break;
        if (connectSocket() != MBUS_SUCCESS)
            return MBUS_CONNECTION_CLOSED;
        reconnected = true;
    }
    if (rc != MBUS_SUCCESS)
        return rc;
    const std::size_t frameLength = kHeaderSize + (exception ? 1 : static_cast<std::size_t>(replyLength));
    const bool otherUnit = reply_[6] != slave && reply_[6] != 0;
    const bool usable = !otherUnit && (reply_[7] & 0x7F) == function;
    if (usable)
        noteTraffic(MbusTrafficKind::Received, MbusFraming::Tcp, reply_, frameLength);
    else
        noteTraffic(MbusTrafficKind::Discarded, MbusFraming::Tcp, reply_, frameLength,
                    otherUnit ? MbusDiscardReason::WrongSlave : MbusDiscardReason::WrongFunction);
    // What came with the reply beyond its length is dropped with it.
    if (excess_ > 0) [[unlikely]]
        noteTraffic(MbusTrafficKind::Discarded, MbusFraming::Tcp, reply_ + frameLength, excess_,
                    MbusDiscardReason::ExcessBytes);
    if (!usable) {
        noteUnusableReply(reply_, frameLength);
        return MBUS_INVALID_FRAME;
    }
    if (exception)
        return MBUS_EXCEPTION | reply_[8];
    std::memcpy(replyData, reply_ + kHeaderSize, static_cast<std::size_t>(replyLength));
    countSuccess();
    return MBUS_SUCCESS;
}
