#pragma once

#include "modbus/MbusMasterFunctions.h"

#include <chrono>
#include <netinet/in.h>
#include <string>

// Modbus TCP: the PDU behind a 7-byte MBAP header on one IPv4 connection, which is replaced by a fresh one
// whenever an exchange leaves it in doubt. Each request carries a transaction identifier of its own, and
// a frame that does not echo it (a late or repeated reply to an earlier request) is read past.
class MbusTcpMasterProtocol : public MbusMasterFunctions {
public:
    MbusTcpMasterProtocol() = default;
    ~MbusTcpMasterProtocol() override;

    bool isOpen() const override { return socket_ >= 0; }
    void closeProtocol() override;

    // host is a dotted IPv4 address or a name, optionally followed by ":port"; the name is resolved here
    // once and reconnects reuse the address. 68 when it cannot be resolved or reached in time.
    int openProtocol(const std::string& host);
    // The port used when the host carries none (default 502). Only while closed.
    int setPort(int port);
    int getPort() const { return port_; }

    virtual int connectSocket();

protected:
    int deliverRequest(int slaveAddress, int functionCode, const std::uint8_t* requestData, int requestLength,
                       std::uint8_t* replyData, int replyLength) override;
    // One exchange without retry.
    virtual int transceive(int slaveAddress, int functionCode, const std::uint8_t* requestData,
                           int requestLength, std::uint8_t* replyData, int replyLength);

    // Name resolution for openProtocol; a seam for tests. 0 with *out set, else a getaddrinfo error code
    // (EAI_AGAIN when the resolver did not answer within timeoutMs).
    virtual int resolveHost(const std::string& name, int timeoutMs, in_addr* out);

    // The connection's byte stream, with MBUS results. Virtual so that a stand-in can deliver bytes that
    // come from elsewhere (a fuzzer's) at memory speed; connectSocket and isOpen go with them.
    // Reads and drops whatever waits on the connection.
    virtual int discardPending();
    // Puts a whole frame on the connection.
    virtual int sendFrame(const std::uint8_t* frame, std::size_t length);
    // What has arrived, at most `room` bytes and at least one, waiting for it until `deadline`.
    virtual int receiveSome(std::uint8_t* into, std::size_t room,
                            std::chrono::steady_clock::time_point deadline, std::size_t* got);

private:
    void closeSocket();
    // Into reply_: the frame that answers this request, within one time-out; frames of other exchanges are
    // skipped.
    int receiveReply(std::uint16_t transaction, bool* exception, int replyLength);
    // receiveReply without telling a time-out; *received says how much of the frame had come.
    int receiveFrame(std::uint16_t transaction, bool* exception, int replyLength, std::size_t* received);
    // Sends one request under a new transaction identifier and receives its reply into reply_.
    int sendRequest(std::uint8_t slave, std::uint8_t function, const std::uint8_t* requestData,
                    int requestLength, bool* exception, int replyLength);
    int receiveUntil(std::size_t wanted, std::chrono::steady_clock::time_point deadline, std::size_t* have);

    static constexpr std::size_t kHeaderSize = 8; // MBAP and function code
    std::uint8_t frame_[kHeaderSize + kPduSize] = {};
    // Replies are received here, with room for the next frame behind a skipped one.
    std::uint8_t reply_[2 * (kHeaderSize + kPduSize)] = {};
    int socket_ = -1;
    int port_ = 502;
    sockaddr_in peer_{};
    std::uint16_t transaction_ = 0; // of the next request; wraps
    bool receivedAny_ = false;      // a byte came back since the last request went out
    std::size_t excess_ = 0;        // bytes received behind the last reply, dropped with it
};
