#include "modbus/MbusSerialMasterProtocol.h"

using quirel::SerialPort;

MbusSerialMasterProtocol::MbusSerialMasterProtocol(std::unique_ptr<SerialPort> port)
    : port_(std::move(port)) {
    port_->setCancelSignal(&cancelSignal());
}

MbusSerialMasterProtocol::~MbusSerialMasterProtocol() {
    MbusSerialMasterProtocol::closeProtocol();
}

void MbusSerialMasterProtocol::closeProtocol() {
    port_->close();
}

int MbusSerialMasterProtocol::openProtocol(const std::string& portName, long baudRate) {
    return openProtocol(portName, baudRate, 8, 1, 0);
}

int MbusSerialMasterProtocol::openProtocol(const std::string& portName, long baudRate, int dataBits,
                                           int stopBits, int parity) {
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    if (dataBits != 7 && dataBits != 8)
        return MBUS_ILLEGAL_ARGUMENT;
    if (baudRate <= 0 || baudRate > 4000000)
        return MBUS_ILLEGAL_ARGUMENT;
    noteSystemError(0);
    const SerialPort::Result opened = port_->open(portName);
    if (opened != SerialPort::Result::Ok) {
        noteSystemError(port_->lastError());
        return opened == SerialPort::Result::AccessDenied ? MBUS_PORT_ALREADY_OPEN : MBUS_OPEN_ERROR;
    }
    if (port_->configure(static_cast<std::uint32_t>(baudRate), dataBits, stopBits, parity, 0) !=
        SerialPort::Result::Ok) {
        noteSystemError(port_->lastError());
        port_->close();
        return MBUS_ILLEGAL_ARGUMENT;
    }
    if (rs485Mode_)
        port_->dropRts();
    return MBUS_SUCCESS;
}

int MbusSerialMasterProtocol::enableRs485Mode(int rtsDelay) {
    if (rtsDelay < 0 || rtsDelay > 100000)
        return MBUS_ILLEGAL_ARGUMENT;
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    rtsDelay_ = rtsDelay;
    rs485Mode_ = rtsDelay != 0 ? 1 : 0;
    return MBUS_SUCCESS;
}

int MbusSerialMasterProtocol::deliverRequest(int slaveAddress, int functionCode,
                                             const std::uint8_t* requestData, int requestLength,
                                             std::uint8_t* replyData, int replyLength) {
    if (!isOpen())
        return MBUS_ILLEGAL_STATE;
    int retries = getRetryCount();
    int rc = transceive(slaveAddress, functionCode, requestData, requestLength, replyData, replyLength);
    // Only line faults are worth another try; exception responses and I/O failures would repeat.
    while ((rc == MBUS_CHECKSUM_ERROR || rc == MBUS_INVALID_FRAME || rc == MBUS_REPLY_TIMEOUT) &&
           retries > 0) {
        --retries;
        rc = transceive(slaveAddress, functionCode, requestData, requestLength, replyData, replyLength);
    }
    return rc;
}
