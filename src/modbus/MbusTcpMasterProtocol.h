#pragma once

#include "modbus/MbusMasterFunctions.h"

#include <netinet/in.h>
#include <string>

// Modbus TCP: the PDU behind a 7-byte MBAP header on one IPv4 connection, which is replaced by a fresh one
// whenever an exchange leaves it in doubt.
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

    int connectSocket();

protected:
    int deliverRequest(int slaveAddress, int functionCode, const std::uint8_t* requestData, int requestLength,
                       std::uint8_t* replyData, int replyLength) override;
    // One exchange without retry.
    virtual int transceive(int slaveAddress, int functionCode, const std::uint8_t* requestData,
                           int requestLength, std::uint8_t* replyData, int replyLength);

private:
    void closeSocket();
    int discardPending();
    int receiveAtLeast(std::size_t wanted, std::size_t limit, std::size_t* have);

    static constexpr std::size_t kHeaderSize = 8; // MBAP and function code
    std::uint8_t frame_[kHeaderSize + kPduSize] = {};
    int socket_ = -1;
    int port_ = 502;
    sockaddr_in peer_{};
};
