#include "modbus/MbusMasterFunctions.h"

#include "modbus/MbusBytes.h"

#include <algorithm>
#include <cstring>
#include <netdb.h>
#include <string.h>

using mbus::getWord;
using mbus::putWord;

namespace {

constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteRegisters = 100;
constexpr int kDeviceIdReplyLength = 108;
constexpr int kDeviceIdHeaderLength = 6;

bool validSlave(int slave, bool broadcastAllowed) {
    return slave >= (broadcastAllowed ? 0 : 1) && slave <= 255;
}

bool validRef(int ref) {
    return ref >= 1 && ref <= 65536;
}

// 32-bit values travel as two registers, the low-order half in the lower register, whatever the host.
void splitWords(const std::uint32_t* values, int count, std::uint16_t* words) {
    for (int k = 0; k < count; ++k) {
        words[2 * k] = static_cast<std::uint16_t>(values[k] & 0xFFFFu);
        words[2 * k + 1] = static_cast<std::uint16_t>(values[k] >> 16);
    }
}

void joinWords(const std::uint16_t* words, int count, std::uint32_t* values) {
    for (int k = 0; k < count; ++k)
        values[k] =
            static_cast<std::uint32_t>(words[2 * k]) | (static_cast<std::uint32_t>(words[2 * k + 1]) << 16);
}

// Zeroes the count values the caller's array holds, so that it reads zeros after any failure, including
// a count the request refuses.
template <typename T> void zeroOutput(T* values, int count) {
    if (values && count > 0)
        std::fill_n(values, count, T{});
}

} // namespace

int MbusMasterFunctions::readRegisters(int functionCode, int slave, int ref, std::uint16_t values[],
                                       int count) {
    zeroOutput(values, count);
    if (!validSlave(slave, false) || !validRef(ref) || count < 1 || count > kMaxReadRegisters || !values)
        return MBUS_ILLEGAL_ARGUMENT;
    putWord(pdu_, static_cast<unsigned>(ref - 1));
    putWord(pdu_ + 2, static_cast<unsigned>(count));
    int rc = deliverRequest(slave, functionCode, pdu_, 4, pdu_, 2 * count + 1);
    if (rc != MBUS_SUCCESS)
        return rc;
    if (pdu_[0] != 2 * count)
        return MBUS_INVALID_REPLY;
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<std::uint16_t>(getWord(pdu_ + 1 + 2 * i));
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::readHoldingRegisters(int slave, int ref, std::uint16_t values[], int count) {
    return readRegisters(3, slave, ref, values, count);
}

int MbusMasterFunctions::readInputRegisters(int slave, int ref, std::uint16_t values[], int count) {
    return readRegisters(4, slave, ref, values, count);
}

namespace {

template <typename T, typename Read> int readLongs(T* values, int count, Read read) {
    static_assert(sizeof(T) == 4);
    constexpr int kMaxValues = kMaxReadRegisters / 2;
    zeroOutput(values, count);
    if (count < 1 || count > kMaxValues || !values)
        return MBUS_ILLEGAL_ARGUMENT;
    std::uint16_t words[2 * kMaxValues];
    int rc = read(words, 2 * count);
    if (rc != MBUS_SUCCESS)
        return rc;
    std::uint32_t raw[kMaxValues];
    joinWords(words, count, raw);
    std::memcpy(values, raw, sizeof(T) * static_cast<std::size_t>(count));
    return MBUS_SUCCESS;
}

} // namespace

int MbusMasterFunctions::readHoldingLongInts(int slave, int ref, std::int32_t values[], int count) {
    return readLongs(values, count,
                     [&](std::uint16_t* w, int n) { return readRegisters(3, slave, ref, w, n); });
}

int MbusMasterFunctions::readHoldingFloats(int slave, int ref, float values[], int count) {
    return readLongs(values, count,
                     [&](std::uint16_t* w, int n) { return readRegisters(3, slave, ref, w, n); });
}

int MbusMasterFunctions::readInputLongInts(int slave, int ref, std::int32_t values[], int count) {
    return readLongs(values, count,
                     [&](std::uint16_t* w, int n) { return readRegisters(4, slave, ref, w, n); });
}

int MbusMasterFunctions::writeMultipleRegisters(int slave, int ref, const std::uint16_t values[], int count) {
    if (!validSlave(slave, true) || !validRef(ref) || count < 1 || count > kMaxWriteRegisters || !values)
        return MBUS_ILLEGAL_ARGUMENT;
    putWord(pdu_, static_cast<unsigned>(ref - 1));
    putWord(pdu_ + 2, static_cast<unsigned>(count));
    pdu_[4] = static_cast<std::uint8_t>(2 * count);
    for (int i = 0; i < count; ++i)
        putWord(pdu_ + 5 + 2 * i, values[i]);
    int rc = deliverRequest(slave, 16, pdu_, 5 + 2 * count, pdu_, 4);
    if (rc != MBUS_SUCCESS)
        return rc;
    // The echoed address is not looked at; a broadcast has no meaningful echo.
    if (slave != 0 && getWord(pdu_ + 2) != static_cast<unsigned>(count))
        return MBUS_INVALID_REPLY;
    return MBUS_SUCCESS;
}

namespace {

template <typename T, typename Write> int writeLongs(const T* values, int count, Write write) {
    static_assert(sizeof(T) == 4);
    constexpr int kMaxValues = kMaxWriteRegisters / 2;
    if (count < 1 || count > kMaxValues || !values)
        return MBUS_ILLEGAL_ARGUMENT;
    std::uint32_t raw[kMaxValues];
    std::memcpy(raw, values, sizeof(T) * static_cast<std::size_t>(count));
    std::uint16_t words[kMaxWriteRegisters];
    splitWords(raw, count, words);
    return write(words, 2 * count);
}

} // namespace

int MbusMasterFunctions::writeMultipleLongInts(int slave, int ref, const std::int32_t values[], int count) {
    return writeLongs(values, count, [&](const std::uint16_t* w, int n) {
        return writeMultipleRegisters(slave, ref, w, n);
    });
}

int MbusMasterFunctions::writeMultipleFloats(int slave, int ref, const float values[], int count) {
    return writeLongs(values, count, [&](const std::uint16_t* w, int n) {
        return writeMultipleRegisters(slave, ref, w, n);
    });
}

int MbusMasterFunctions::writeSingleCoil(int slave, int ref, int value) {
    if (!validSlave(slave, true) || !validRef(ref))
        return MBUS_ILLEGAL_ARGUMENT;
    const unsigned sent = value != 0 ? 0xFF00u : 0x0000u;
    putWord(pdu_, static_cast<unsigned>(ref - 1));
    putWord(pdu_ + 2, sent);
    int rc = deliverRequest(slave, 5, pdu_, 4, pdu_, 4);
    if (rc != MBUS_SUCCESS)
        return rc;
    const unsigned echoed = getWord(pdu_ + 2);
    if (slave != 0 && echoed != sent && echoed != 0x0001u)
        return MBUS_INVALID_REPLY;
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::readFileRecord(int slave, int byteCount, int fileNumber, int recordNumber,
                                        int recordLength, std::uint8_t out[]) {
    constexpr int kMaxRecordLength = 122;
    // As every read: the caller's record reads zeros after any failure, a refused argument included.
    if (out && recordLength > 0 && recordLength <= kMaxRecordLength)
        std::memset(out, 0, 2 * static_cast<std::size_t>(recordLength));
    if (!validSlave(slave, false) || byteCount < 7 || byteCount > 245 || fileNumber < 0 ||
        fileNumber > 65535 || recordNumber < 0 || recordNumber > 9999 || recordLength < 0 ||
        recordLength > kMaxRecordLength || (recordLength > 0 && !out))
        return MBUS_ILLEGAL_ARGUMENT;
    pdu_[0] = static_cast<std::uint8_t>(byteCount);
    pdu_[1] = 6; // the only reference type there is
    putWord(pdu_ + 2, static_cast<unsigned>(fileNumber));
    putWord(pdu_ + 4, static_cast<unsigned>(recordNumber));
    putWord(pdu_ + 6, static_cast<unsigned>(recordLength));
    int rc = deliverRequest(slave, 20, pdu_, 8, pdu_, 2 * recordLength + 3);
    if (rc != MBUS_SUCCESS)
        return rc;
    if (pdu_[0] != 2 * (recordLength + 1))
        return MBUS_INVALID_REPLY;
    if (recordLength > 0)
        std::memcpy(out, pdu_ + 3, 2 * static_cast<std::size_t>(recordLength));
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::readDeviceIdentification(int slave, int outSize, int readCode, int objectId,
                                                  std::uint8_t out[]) {
    if (out && outSize > 0)
        std::memset(out, 0, static_cast<std::size_t>(outSize));
    if (!validSlave(slave, false) || readCode < 1 || readCode > 4 || objectId < 0 || objectId > 255 ||
        outSize < 0 || (outSize > 0 && !out))
        return MBUS_ILLEGAL_ARGUMENT;
    pdu_[0] = 0x0E;
    pdu_[1] = 0x01; // the device is always asked for the basic objects in one stream
    pdu_[2] = static_cast<std::uint8_t>(objectId);
    int rc = deliverRequest(slave, 43, pdu_, 3, pdu_, kDeviceIdReplyLength);
    if (rc != MBUS_SUCCESS)
        return rc;
    if (pdu_[0] != 0x0E)
        return MBUS_INVALID_REPLY;
    // A caller with a smaller buffer gets what fits rather than an overrun.
    const int objectBytes = kDeviceIdReplyLength - kDeviceIdHeaderLength;
    if (outSize > 0)
        std::memcpy(out, pdu_ + kDeviceIdHeaderLength,
                    static_cast<std::size_t>(std::min(outSize, objectBytes)));
    return MBUS_SUCCESS;
}

void MbusMasterFunctions::noteSystemError(int err) {
    char buffer[128];
    // The GNU strerror_r: thread-safe, and it returns the text rather than filling the buffer every time.
    lastSystemError_ = err != 0 ? ::strerror_r(err, buffer, sizeof buffer) : std::string();
    lastSystemErrorCode_ = err;
}

void MbusMasterFunctions::noteResolverError(int gaiError) {
    lastSystemError_ = ::gai_strerror(gaiError);
    lastSystemErrorCode_ = gaiError;
}

void MbusMasterFunctions::noteUnusableReply(const std::uint8_t* bytes, std::size_t count) {
    unusableReply_.assign(bytes, bytes + std::min(count, kUnusableReplyBytes));
}

void MbusMasterFunctions::tellObserver(MbusTrafficObserver& observer, MbusTrafficKind kind,
                                       MbusFraming framing, const std::uint8_t* bytes, std::size_t length,
                                       MbusDiscardReason reason) {
    MbusTrafficEvent event;
    event.time = std::chrono::steady_clock::now();
    event.kind = kind;
    event.reason = reason;
    event.framing = framing;
    event.bytes = bytes;
    event.length = length;
    observer.onTraffic(event);
}

int MbusMasterFunctions::setTimeout(int timeOut) {
    if (timeOut < 1 || timeOut > 100000)
        return MBUS_ILLEGAL_ARGUMENT;
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    timeOut_ = timeOut;
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::setRetryCount(int retries) {
    if (retries < 0 || retries > 10)
        return MBUS_ILLEGAL_ARGUMENT;
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    retryCnt_ = retries;
    return MBUS_SUCCESS;
}

namespace {

struct ErrorText {
    int code;
    const char* text;
};

// These texts reach the user's message boxes verbatim, spelling included.
constexpr ErrorText kErrorTexts[] = {
    {MBUS_SUCCESS, "Operation was successful"},
    {MBUS_ILLEGAL_ARGUMENT, "Illegal argument error"},
    {MBUS_ILLEGAL_STATE, "Illegal state error"},
    {MBUS_IO_ERROR_CLASS, "I/O error class"},
    {MBUS_IO_ERROR, "I/O error"},
    {MBUS_OPEN_ERROR, "Port or socket open error"},
    {MBUS_PORT_ALREADY_OPEN, "Serial port already open"},
    {MBUS_CONNECT_ERROR, "TCP/IP connection error"},
    {MBUS_CONNECTION_CLOSED, "TCP/IP connection was closed by remote peer"},
    {MBUS_SOCKET_LIB_ERROR, "Socket library error"},
    {MBUS_PORT_ALREADY_BOUND, "TCP Port alread bound"},
    {MBUS_LISTEN_FAILED, "Listen failed"},
    {MBUS_FILEDES_EXCEEDED, "File descriptors exceeded"},
    {MBUS_PORT_NO_ACCESS, "No permission to access serial or TCP port"},
    {MBUS_PORT_NOT_AVAILABLE, "TCP Port not available"},
    {MBUS_PROTOCOL_ERROR_CLASS, "Fieldbus protocol error class"},
    {MBUS_CHECKSUM_ERROR, "Checksum error"},
    {MBUS_INVALID_FRAME, "Invalid frame error"},
    {MBUS_INVALID_REPLY, "Invalid reply error"},
    {MBUS_REPLY_TIMEOUT, "Reply time-out"},
    {MBUS_SEND_TIMEOUT, "Send time-out"},
    {MBUS_EXCEPTION, "Modbus exception response"},
    {MBUS_EXCEPTION_ILLEGAL_FUNCTION, "Illegal Function exception response"},
    {MBUS_EXCEPTION_ILLEGAL_ADDRESS, "Illegal Data Address exception response"},
    {MBUS_EXCEPTION_ILLEGAL_VALUE, "Illegal Data Value exception response"},
    {MBUS_EXCEPTION_SLAVE_FAILURE, "Slave Device Failure exception response"},
    // The other exception codes of the Modbus application protocol, so that a gateway's or a busy
    // device's answer keeps its meaning in the message.
    {MBUS_EXCEPTION_ACKNOWLEDGE, "Acknowledge exception response"},
    {MBUS_EXCEPTION_SLAVE_BUSY, "Slave Device Busy exception response"},
    {MBUS_EXCEPTION_MEMORY_PARITY, "Memory Parity Error exception response"},
    {MBUS_EXCEPTION_GATEWAY_PATH, "Gateway Path Unavailable exception response"},
    {MBUS_EXCEPTION_GATEWAY_TARGET, "Gateway Target Device Failed To Respond exception response"},
};

} // namespace

const char* MbusMasterFunctions::getErrorText(int errCode) {
    for (const ErrorText& e : kErrorTexts)
        if (e.code == errCode)
            return e.text;
    return "Unknwon error";
}
