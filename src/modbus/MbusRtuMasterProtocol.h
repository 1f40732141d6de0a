#pragma once

#include "modbus/MbusSerialMasterProtocol.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace quirel {
// CRC-16/MODBUS (reflected 0xA001, start 0xFFFF); the low byte goes on the wire first.
std::uint16_t modbusCrc16(const std::uint8_t* data, std::size_t length);
} // namespace quirel

// Modbus RTU framing: address, function code, data, CRC; the line kept silent for four characters
// between frames, and after a failed exchange long enough for a late reply to pass unused.
class MbusRtuMasterProtocol : public MbusSerialMasterProtocol {
public:
    MbusRtuMasterProtocol() = default;
    using MbusSerialMasterProtocol::openProtocol;
    // RTU needs 8 data bits; anything else gives 1.
    int openProtocol(const std::string& portName, long baudRate, int dataBits, int stopBits,
                     int parity) override;

    // Four characters of 11 bits at the baud rate of the last open, in whole milliseconds, at least 1.
    int getSilentInterval() const { return silentInterval_; }
    static int silentIntervalFor(long baudRate);

protected:
    explicit MbusRtuMasterProtocol(std::unique_ptr<quirel::SerialPort> port)
        : MbusSerialMasterProtocol(std::move(port)) {}

    int transceive(int slaveAddress, int functionCode, const std::uint8_t* requestData, int requestLength,
                   std::uint8_t* replyData, int replyLength) override;

private:
    // Reads and throws away what arrives until the line has been quiet for quietMs, for at most boundMs.
    void waitForSilence(int quietMs, int boundMs);
    // Reads and throws away what arrives until `until`.
    void discardUntil(std::chrono::steady_clock::time_point until);
    // How long the line must stay quiet before the next request after an exchange that ended with rc.
    int quietSpanAfter(int rc) const;
    // Reads what waits on the line without waiting, to show it to the traffic observer: the purge before
    // a request in place of flushing the input.
    void readPendingForObserver();
    void tellStrayBytes(const std::uint8_t* bytes, std::size_t length) const;
    // The reply did not come, or only `got` bytes of it: 132, and the observer is told.
    int replyTimedOut(std::size_t got);
    int transceiveOnce(int slaveAddress, int functionCode, const std::uint8_t* requestData, int requestLength,
                       std::uint8_t* replyData, int replyLength);

    int silentInterval_ = 1;
    int quietSpan_ = 1; // ms of quiet the next request waits for
    // An attempt timed out and a reply may still come (to it, or to a later attempt it answered).
    bool lateReplyPossible_ = false;
    std::chrono::steady_clock::time_point lastSent_;
    std::uint8_t frame_[1 + 1 + kPduSize + 2] = {};
    std::uint8_t lastRequest_[1 + 1 + kPduSize + 2] = {};
    std::size_t lastRequestLength_ = 0;
};
