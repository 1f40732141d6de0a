#include "firmware/SerialPort.h"

CSerialPort::~CSerialPort() {
    m_port.close();
}

bool CSerialPort::Open(const std::string& name) {
    m_name = name;
    return m_port.open(name) == quirel::SerialPort::Result::Ok;
}

void CSerialPort::Close() {
    // The bootloader takes a dropped DTR as the end of the session, so the last answer written (the "y"
    // or "n" that lets it go) must have left first. On a pseudo-terminal there is no DTR and the failure
    // does not matter.
    m_port.drain(1000);
    m_port.dropDtr();
    m_port.close();
}

bool CSerialPort::SetBaudRate(std::uint32_t baud) {
    return m_port.configure(baud, 8, 1, 0, 0) == quirel::SerialPort::Result::Ok;
}

bool CSerialPort::Write(const std::uint8_t* data, std::size_t size) {
    // The bootloader sets no write time-out; this bound only keeps a stalled line from hanging the update
    // (a byte takes about 0.3 ms at 38400 baud).
    const int timeoutMs = 1000 + static_cast<int>(size) * 10;
    return m_port.write(data, size, timeoutMs) == quirel::SerialPort::Result::Ok;
}

std::size_t CSerialPort::Read(std::uint8_t* data, std::size_t size) {
    std::size_t got = 0;
    m_port.read(data, size, static_cast<int>(size) * kByteTimeoutMs, &got);
    return got;
}

std::string CSerialPort::ReadUntilSilence(bool filter) {
    std::string text;
    std::uint8_t byte = 0;
    for (std::size_t n = 0; n < kMaxTextBytes && ReadByte(byte); ++n) {
        if (filter &&
            (byte == 0x00 || byte == 0x01 || byte == 0x02 || byte == 0x10 || byte == 0x15 || byte == '%'))
            continue;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

std::string CSerialPort::ReadText() {
    return ReadUntilSilence(true);
}

std::string CSerialPort::ReadAll() {
    return ReadUntilSilence(false);
}

void CSerialPort::Drain() {
    ReadUntilSilence(false);
}
