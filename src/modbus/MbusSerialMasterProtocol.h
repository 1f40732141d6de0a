#pragma once

#include "base/SerialPort.h"
#include "modbus/MbusMasterFunctions.h"

#include <memory>
#include <string>

// The serial master: opens and closes the port and repeats an exchange that failed on the line.
class MbusSerialMasterProtocol : public MbusMasterFunctions {
public:
    MbusSerialMasterProtocol() : MbusSerialMasterProtocol(std::make_unique<quirel::SerialPort>()) {}
    ~MbusSerialMasterProtocol() override;

    bool isOpen() const override { return port_->isOpen(); }
    // Purges the port, puts back the settings it had before open and closes it.
    void closeProtocol() override;

    // 8 data bits, 1 stop bit, no parity.
    virtual int openProtocol(const std::string& portName, long baudRate);
    // dataBits 7 or 8, stopBits 1 or 2, parity 0 none, 1 odd, 2 even. 67 when the port is in use, 66
    // when it cannot be opened otherwise, 1 when a setting is refused.
    virtual int openProtocol(const std::string& portName, long baudRate, int dataBits, int stopBits,
                             int parity);
    // RS-485 direction switching by RTS: raised while sending, dropped rtsDelay ms after the frame has left.
    virtual int enableRs485Mode(int rtsDelay);

protected:
    // Over a port of another kind: a stand-in that delivers bytes from elsewhere (a fuzzer's).
    explicit MbusSerialMasterProtocol(std::unique_ptr<quirel::SerialPort> port);

    int deliverRequest(int slaveAddress, int functionCode, const std::uint8_t* requestData, int requestLength,
                       std::uint8_t* replyData, int replyLength) override;
    // One exchange without retry.
    virtual int transceive(int slaveAddress, int functionCode, const std::uint8_t* requestData,
                           int requestLength, std::uint8_t* replyData, int replyLength) = 0;

    std::unique_ptr<quirel::SerialPort> port_;
    int rs485Mode_ = 0;
    int rtsDelay_ = 0;
};
