#pragma once

#include <string>

// A communication failure: a Modbus result code (or a code chosen by the thrower) and its message.
// Thrown by value.
class CModbusException {
public:
    CModbusException(int code, std::string message) : m_code(code), m_message(std::move(message)) {}
    virtual ~CModbusException() = default;

    int GetCode() const { return m_code; }
    const std::string& GetMessage() const { return m_message; }

private:
    int m_code;
    std::string m_message;
};
