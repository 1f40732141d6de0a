#pragma once

#include "base/CancelSignal.h"
#include "modbus/MbusTrafficObserver.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// Result codes of every master operation. Bit 6 marks input/output and connection failures, bit 7
// fieldbus protocol failures, 160 + n is Modbus exception n.
enum MbusResult : int {
    MBUS_SUCCESS = 0,
    MBUS_ILLEGAL_ARGUMENT = 1,
    MBUS_ILLEGAL_STATE = 2,
    MBUS_IO_ERROR_CLASS = 64,
    MBUS_IO_ERROR = 65,
    MBUS_OPEN_ERROR = 66,
    MBUS_PORT_ALREADY_OPEN = 67,
    MBUS_CONNECT_ERROR = 68,
    MBUS_CONNECTION_CLOSED = 69,
    MBUS_SOCKET_LIB_ERROR = 70,
    MBUS_PORT_ALREADY_BOUND = 71,
    MBUS_LISTEN_FAILED = 72,
    MBUS_FILEDES_EXCEEDED = 73,
    MBUS_PORT_NO_ACCESS = 74,
    MBUS_PORT_NOT_AVAILABLE = 75,
    MBUS_PROTOCOL_ERROR_CLASS = 128,
    MBUS_CHECKSUM_ERROR = 129,
    MBUS_INVALID_FRAME = 130,
    MBUS_INVALID_REPLY = 131,
    MBUS_REPLY_TIMEOUT = 132,
    MBUS_SEND_TIMEOUT = 133,
    MBUS_EXCEPTION = 160,
    MBUS_EXCEPTION_ILLEGAL_FUNCTION = 161,
    MBUS_EXCEPTION_ILLEGAL_ADDRESS = 162,
    MBUS_EXCEPTION_ILLEGAL_VALUE = 163,
    MBUS_EXCEPTION_SLAVE_FAILURE = 164,
    MBUS_EXCEPTION_ACKNOWLEDGE = 165,
    MBUS_EXCEPTION_SLAVE_BUSY = 166,
    MBUS_EXCEPTION_MEMORY_PARITY = 168,
    MBUS_EXCEPTION_GATEWAY_PATH = 170,
    MBUS_EXCEPTION_GATEWAY_TARGET = 171,
};

// The medium-independent half of a Modbus master: builds each request, checks its arguments before
// anything is sent, checks the reply and converts register images. Every call is synchronous and returns
// a result code. One object must not be used by two threads at once.
class MbusMasterFunctions {
public:
    static constexpr int kPduSize = 260;

    MbusMasterFunctions() = default;
    virtual ~MbusMasterFunctions() = default;
    MbusMasterFunctions(const MbusMasterFunctions&) = delete;
    MbusMasterFunctions& operator=(const MbusMasterFunctions&) = delete;

    virtual bool isOpen() const = 0;
    virtual void closeProtocol() {}

    // Function 3: count 1..125 registers from reference ref (1-based).
    int readHoldingRegisters(int slave, int ref, std::uint16_t values[], int count);
    // Function 3, two registers per value, low-order word in the lower register; count 1..62.
    int readHoldingLongInts(int slave, int ref, std::int32_t values[], int count);
    int readHoldingFloats(int slave, int ref, float values[], int count);
    // Function 4: count 1..125 input registers from reference ref (1-based).
    int readInputRegisters(int slave, int ref, std::uint16_t values[], int count);
    // Function 4, as readHoldingLongInts.
    int readInputLongInts(int slave, int ref, std::int32_t values[], int count);
    // Function 16: count 1..100 registers; slave 0 broadcasts.
    int writeMultipleRegisters(int slave, int ref, const std::uint16_t values[], int count);
    // Function 16, two registers per value in the word order above; count 1..50.
    int writeMultipleLongInts(int slave, int ref, const std::int32_t values[], int count);
    int writeMultipleFloats(int slave, int ref, const float values[], int count);
    // Function 5: ON (0xFF00) when value is non-zero, else OFF.
    int writeSingleCoil(int slave, int ref, int value);
    // Function 20, one sub-request of reference type 6; out receives 2 * recordLength bytes in wire order.
    int readFileRecord(int slave, int byteCount, int fileNumber, int recordNumber, int recordLength,
                       std::uint8_t out[]);
    // Function 43/14: out (outSize bytes) is cleared and receives up to 102 bytes of object data.
    int readDeviceIdentification(int slave, int outSize, int readCode, int objectId, std::uint8_t out[]);

    // Milliseconds for sending and for each wait for reply bytes, 1..100000. Only while closed.
    int setTimeout(int timeOut);
    int getTimeout() const { return timeOut_; }
    // How often a failed exchange is repeated, 0..10. Only while closed.
    int setRetryCount(int retries);
    int getRetryCount() const { return retryCnt_; }

    std::uint32_t getTotalCounter() const { return totalCounter_; }
    std::uint32_t getSuccessCounter() const { return successCounter_; }

    static const char* getErrorText(int errCode);
    // The operating system's or the resolver's reason for the last failed open or connect ("No such file
    // or directory", "Connection refused"); empty when there was none. The result codes stay as they are.
    const std::string& getLastSystemError() const { return lastSystemError_; }
    // The number behind that reason: an errno value (positive), a getaddrinfo error (negative, as the
    // resolver numbers them), or 0 when there is none.
    int getLastSystemErrorCode() const { return lastSystemErrorCode_; }

    // The first bytes of the reply that the last attempt could not use (a checksum error, or a frame of
    // another shape, unit or function: 129 or 130), so that a user can be told what answered; empty
    // after an attempt that ended otherwise.
    static constexpr std::size_t kUnusableReplyBytes = 64;
    const std::vector<std::uint8_t>& getLastUnusableReply() const { return unusableReply_; }

    // Ends the transfer under way and every later one with an I/O error, from any thread; used to keep
    // the program's exit within its bound when a device stops answering. The master is not usable again.
    void abortTransfers() { cancel_.raise(); }

    // The monitor that sees this master's traffic (null: none, which costs one branch per event). Any
    // thread; an observer may still be called once by an exchange under way when it is replaced, so it
    // must outlive the master.
    void setTrafficObserver(MbusTrafficObserver* observer) {
        observer_.store(observer, std::memory_order_release);
    }
    MbusTrafficObserver* getTrafficObserver() const { return observer_.load(std::memory_order_acquire); }

protected:
    // One complete exchange with the transport's retries. The request is slave, function code and
    // requestLength data bytes; a normal reply carries exactly replyLength data bytes, which are copied to
    // replyData on success. Request and reply buffers may be the same.
    virtual int deliverRequest(int slaveAddress, int functionCode, const std::uint8_t* requestData,
                               int requestLength, std::uint8_t* replyData, int replyLength) = 0;

    // Also forgets the reply of the attempt before.
    void countTransaction() {
        ++totalCounter_;
        unusableReply_.clear();
    }
    // Polled beside the transport's descriptor by every wait.
    const quirel::CancelSignal& cancelSignal() const { return cancel_; }
    void countSuccess() { ++successCounter_; }
    // errno as its system text; 0 clears the reason.
    void noteSystemError(int err);
    // A resolver's reason: its getaddrinfo error.
    void noteResolverError(int gaiError);
    // Keeps up to kUnusableReplyBytes of a reply the attempt could not use.
    void noteUnusableReply(const std::uint8_t* bytes, std::size_t count);
    // Tells the observer (when there is one) what went over the line.
    void noteTraffic(MbusTrafficKind kind, MbusFraming framing, const std::uint8_t* bytes, std::size_t length,
                     MbusDiscardReason reason = MbusDiscardReason::None) const {
        if (MbusTrafficObserver* observer = getTrafficObserver(); observer != nullptr) [[unlikely]]
            tellObserver(*observer, kind, framing, bytes, length, reason);
    }

private:
    int readRegisters(int functionCode, int slave, int ref, std::uint16_t values[], int count);
    static void tellObserver(MbusTrafficObserver& observer, MbusTrafficKind kind, MbusFraming framing,
                             const std::uint8_t* bytes, std::size_t length, MbusDiscardReason reason);

    std::uint32_t totalCounter_ = 0;
    std::uint32_t successCounter_ = 0;
    int retryCnt_ = 0;
    int timeOut_ = 1000;
    std::uint8_t pdu_[kPduSize] = {};
    quirel::CancelSignal cancel_;
    std::string lastSystemError_;
    int lastSystemErrorCode_ = 0;
    std::vector<std::uint8_t> unusableReply_;
    std::atomic<MbusTrafficObserver*> observer_{nullptr};
};
