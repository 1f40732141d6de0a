#pragma once

#include "DeviceModel.h"
#include "Faults.h"

#include <cstdint>
#include <string>

namespace quirel::sim {

// Answers one Modbus PDU (function code and data) from the device model; shared by the TCP and RTU
// front ends. Functions: 1, 3, 4, 5, 6, 16, 20 (reference type 6) and 43/14.
class RequestProcessor {
public:
    // Identification object values are padded with zero bytes to this length, so that a basic
    // identification read from object 0 always answers 108 data bytes, which is what clients of this
    // device expect to read.
    static constexpr std::size_t kIdentificationObjectLength = 32;

    RequestProcessor(DeviceModel& model, Faults& faults) : m_model(model), m_faults(faults) {}

    // The reply PDU; empty when nothing is to be answered (a malformed request too short to answer).
    std::string process(const std::string& pdu);
    // Whether a request may be sent to the broadcast address (it is executed without a reply).
    static bool isBroadcastable(std::uint8_t functionCode);

    static std::string exceptionReply(std::uint8_t functionCode, std::uint8_t code);

private:
    std::string readBits(const std::uint8_t* data, std::size_t size, std::uint8_t fc);
    std::string readRegisters(const std::uint8_t* data, std::size_t size, std::uint8_t fc);
    std::string writeSingleCoil(const std::uint8_t* data, std::size_t size);
    std::string writeSingleRegister(const std::uint8_t* data, std::size_t size);
    std::string writeMultipleRegisters(const std::uint8_t* data, std::size_t size);
    std::string readFileRecord(const std::uint8_t* data, std::size_t size);
    std::string readDeviceIdentification(const std::uint8_t* data, std::size_t size);

    DeviceModel& m_model;
    Faults& m_faults;
};

} // namespace quirel::sim
