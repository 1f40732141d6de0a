#include "modbus/MbusRtuMasterProtocol.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>

using quirel::SerialPort;

namespace {

// Bytes thrown away by one wait, told to the traffic observer as one event rather than byte by byte.
template <class Tell> class DiscardedBytes {
public:
    explicit DiscardedBytes(Tell tell) : tell_(tell) {}
    ~DiscardedBytes() { flush(); }
    DiscardedBytes(const DiscardedBytes&) = delete;
    DiscardedBytes& operator=(const DiscardedBytes&) = delete;
    void add(const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (length_ == sizeof bytes_)
                flush();
            bytes_[length_++] = bytes[i];
        }
    }
    void flush() {
        if (length_ > 0)
            tell_(bytes_, length_);
        length_ = 0;
    }

private:
    Tell tell_;
    std::uint8_t bytes_[256]; // only the first length_ are ever read
    std::size_t length_ = 0;
};

} // namespace

namespace quirel {

namespace {

// The two halves of the table-driven CRC: for an index byte, what the next low and the next high byte of
// the register become.
struct CrcTables {
    std::array<std::uint8_t, 256> nextLow{};
    std::array<std::uint8_t, 256> nextHigh{};
};

constexpr CrcTables makeCrcTables() {
    CrcTables t;
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
        t.nextLow[i] = static_cast<std::uint8_t>(crc & 0xFFu);
        t.nextHigh[i] = static_cast<std::uint8_t>(crc >> 8);
    }
    return t;
}

constexpr CrcTables kCrc = makeCrcTables();

} // namespace

std::uint16_t modbusCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint8_t low = 0xFF;
    std::uint8_t high = 0xFF;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t index = low ^ data[i];
        low = high ^ kCrc.nextLow[index];
        high = kCrc.nextHigh[index];
    }
    return static_cast<std::uint16_t>((high << 8) | low);
}

} // namespace quirel

int MbusRtuMasterProtocol::silentIntervalFor(long baudRate) {
    if (baudRate <= 0)
        return 1;
    int ms = static_cast<int>(11000.0 / static_cast<double>(baudRate) * 4.0 + 0.5);
    return ms < 1 ? 1 : ms;
}

int MbusRtuMasterProtocol::openProtocol(const std::string& portName, long baudRate, int dataBits,
                                        int stopBits, int parity) {
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    if (baudRate <= 0)
        return MBUS_ILLEGAL_ARGUMENT;
    silentInterval_ = silentIntervalFor(baudRate);
    quietSpan_ = silentInterval_;
    if (dataBits != 8)
        return MBUS_ILLEGAL_ARGUMENT;
    return MbusSerialMasterProtocol::openProtocol(portName, baudRate, dataBits, stopBits, parity);
}

void MbusRtuMasterProtocol::waitForSilence(int quietMs, int boundMs) {
    // Bytes still on the line (a late reply to an earlier request) must not be taken for the next reply.
    // One byte at a time, so that the quiet span counts from the last byte. A line that never falls silent
    // is given up on after boundMs, so a babbling device cannot hold the caller for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    DiscardedBytes dropped([this](const std::uint8_t* b, std::size_t n) { tellStrayBytes(b, n); });
    std::uint8_t discard = 0;
    std::size_t got = 0;
    while (port_->read(&discard, 1, quietMs, &got) == SerialPort::Result::Ok) {
        if (getTrafficObserver())
            dropped.add(&discard, 1);
        if (std::chrono::steady_clock::now() >= deadline)
            break;
    }
}

void MbusRtuMasterProtocol::discardUntil(std::chrono::steady_clock::time_point until) {
    DiscardedBytes dropped([this](const std::uint8_t* b, std::size_t n) { tellStrayBytes(b, n); });
    std::uint8_t discard[64];
    for (auto now = std::chrono::steady_clock::now(); now < until; now = std::chrono::steady_clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        std::size_t got = 0;
        const SerialPort::Result r = port_->read(discard, sizeof discard, static_cast<int>(left) + 1, &got);
        if (got > 0 && getTrafficObserver())
            dropped.add(discard, got);
        if (r == SerialPort::Result::Failure)
            break;
    }
}

void MbusRtuMasterProtocol::readPendingForObserver() {
    DiscardedBytes dropped([this](const std::uint8_t* b, std::size_t n) { tellStrayBytes(b, n); });
    std::uint8_t pending[64];
    std::size_t got = 0;
    do {
        got = 0;
        const SerialPort::Result r = port_->read(pending, sizeof pending, 0, &got);
        dropped.add(pending, got);
        if (r != SerialPort::Result::Ok && r != SerialPort::Result::TimeOut)
            break;
    } while (got == sizeof pending);
}

void MbusRtuMasterProtocol::tellStrayBytes(const std::uint8_t* bytes, std::size_t length) const {
    noteTraffic(MbusTrafficKind::Discarded, MbusFraming::Rtu, bytes, length, MbusDiscardReason::StrayBytes);
}

int MbusRtuMasterProtocol::replyTimedOut(std::size_t got) {
    if (got > 0)
        noteTraffic(MbusTrafficKind::Discarded, MbusFraming::Rtu, frame_, got,
                    MbusDiscardReason::IncompleteReply);
    noteTraffic(MbusTrafficKind::TimeOut, MbusFraming::Rtu, nullptr, 0);
    return MBUS_REPLY_TIMEOUT;
}

int MbusRtuMasterProtocol::quietSpanAfter(int rc) const {
    // A garbled or foreign frame arrived on time, but its rest may follow: one frame of the longest kind
    // (256 characters of 11 bits) at this baud rate, plus the gap between frames.
    if (rc == MBUS_CHECKSUM_ERROR || rc == MBUS_INVALID_FRAME) {
        const long baud = port_->baudRate() > 0 ? static_cast<long>(port_->baudRate()) : 9600;
        return static_cast<int>((256L * 11 * 1000 + baud - 1) / baud) + silentInterval_;
    }
    return silentInterval_;
}

int MbusRtuMasterProtocol::transceive(int slaveAddress, int functionCode, const std::uint8_t* requestData,
                                      int requestLength, std::uint8_t* replyData, int replyLength) {
    const int rc =
        transceiveOnce(slaveAddress, functionCode, requestData, requestLength, replyData, replyLength);
    quietSpan_ = quietSpanAfter(rc);
    if (rc == MBUS_REPLY_TIMEOUT)
        lateReplyPossible_ = true;
    return rc;
}

int MbusRtuMasterProtocol::transceiveOnce(int slaveAddress, int functionCode, const std::uint8_t* requestData,
                                          int requestLength, std::uint8_t* replyData, int replyLength) {
    countTransaction();
    const auto slave = static_cast<std::uint8_t>(slaveAddress);
    const auto function = static_cast<std::uint8_t>(functionCode);
    frame_[0] = slave;
    frame_[1] = function;
    if (requestLength > 0)
        std::memcpy(frame_ + 2, requestData, static_cast<std::size_t>(requestLength));
    const std::size_t length = 2 + static_cast<std::size_t>(requestLength);
    const std::uint16_t crc = quirel::modbusCrc16(frame_, length);
    frame_[length] = static_cast<std::uint8_t>(crc & 0xFF);
    frame_[length + 1] = static_cast<std::uint8_t>(crc >> 8);

    // A reply that missed its time-out may still be on its way, and RTU has nothing to tell it from the
    // answer to the next request. Before a different request, everything that arrives until two time-outs
    // after the last request went out is thrown away: a reply up to one time-out late is swallowed; a later
    // one, from a device that slow, cannot be caught. A repeat of the very same request does not wait: a
    // late answer to it is as good as its own, and a device that does not answer at all is reported after
    // its retries, not after twice as long.
    const bool repeat =
        length + 2 == lastRequestLength_ && std::memcmp(frame_, lastRequest_, length + 2) == 0;
    // A monitor is shown what waits to be received instead of its being flushed unseen; what comes later
    // the silence wait reads and shows.
    if (getTrafficObserver()) {
        readPendingForObserver();
        port_->purgeOutput();
    } else {
        port_->purge();
    }
    if (lateReplyPossible_ && !repeat) {
        discardUntil(lastSent_ + std::chrono::milliseconds(2 * getTimeout()));
        lateReplyPossible_ = false;
    }
    // Bounded at the time-out, or at twice a longer quiet span.
    waitForSilence(quietSpan_, std::max(2 * quietSpan_, getTimeout()));
    std::memcpy(lastRequest_, frame_, length + 2);
    lastRequestLength_ = length + 2;
    lastSent_ = std::chrono::steady_clock::now();

    // A write to a pty or a UART rarely has to wait, so the cancel signal would not stop it there: an
    // aborted master must not put a request on the line whose result it reports as failed.
    if (cancelSignal().raised())
        return MBUS_IO_ERROR;
    if (rs485Mode_)
        port_->raiseRts();
    SerialPort::Result sent = port_->write(frame_, length + 2, getTimeout());
    if (sent == SerialPort::Result::Ok) {
        noteTraffic(MbusTrafficKind::Sent, MbusFraming::Rtu, frame_, length + 2);
        SerialPort::Result drained = port_->drain(getTimeout());
        if (drained == SerialPort::Result::TimeOut || drained == SerialPort::Result::Failure)
            sent = drained;
    }
    if (rs485Mode_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(rtsDelay_));
        port_->dropRts();
    }
    if (sent == SerialPort::Result::TimeOut)
        return MBUS_SEND_TIMEOUT;
    if (sent != SerialPort::Result::Ok)
        return MBUS_IO_ERROR;

    if (slave == 0 || replyLength == 0) {
        countSuccess();
        return MBUS_SUCCESS;
    }

    // Header first: an exception response is complete after 5 bytes.
    std::size_t arrived = 0;
    SerialPort::Result got = port_->read(frame_, 5, getTimeout(), &arrived);
    if (got == SerialPort::Result::TimeOut)
        return replyTimedOut(arrived);
    if (got != SerialPort::Result::Ok)
        return MBUS_IO_ERROR;
    std::size_t frameLength = 5;
    const bool exception = (frame_[1] & 0x80) != 0;
    if (!exception && replyLength > 1) {
        got = port_->read(frame_ + 5, static_cast<std::size_t>(replyLength - 1), getTimeout(), &arrived);
        if (got == SerialPort::Result::TimeOut)
            return replyTimedOut(5 + arrived);
        if (got != SerialPort::Result::Ok)
            return MBUS_IO_ERROR;
        frameLength = static_cast<std::size_t>(replyLength) + 4;
    }
    const std::uint16_t expected = quirel::modbusCrc16(frame_, frameLength - 2);
    const bool crcOk =
        frame_[frameLength - 2] == (expected & 0xFF) && frame_[frameLength - 1] == (expected >> 8);
    if (!crcOk || (frame_[1] & 0x7F) != function || frame_[0] != slave) {
        noteUnusableReply(frame_, frameLength);
        noteTraffic(MbusTrafficKind::Discarded, MbusFraming::Rtu, frame_, frameLength,
                    !crcOk               ? MbusDiscardReason::CrcError
                    : frame_[0] != slave ? MbusDiscardReason::WrongSlave
                                         : MbusDiscardReason::WrongFunction);
        return crcOk ? MBUS_INVALID_FRAME : MBUS_CHECKSUM_ERROR;
    }
    noteTraffic(MbusTrafficKind::Received, MbusFraming::Rtu, frame_, frameLength);
    if (exception)
        return MBUS_EXCEPTION | frame_[2];
    std::memcpy(replyData, frame_ + 2, static_cast<std::size_t>(replyLength));
    countSuccess();
    return MBUS_SUCCESS;
}
