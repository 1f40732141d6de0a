#pragma once

#include "base/SerialPort.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The serial port the firmware update talks to the bootloader through, separate from the communication
// controller's connection. Always 8 data bits, no parity, one stop bit, no handshake; every read waits
// 100 ms per byte asked for, so "nothing for 100 ms" is how the bootloader's texts end. The primitive
// operations are virtual so that tests can put a failing port in its place.
class CSerialPort {
public:
    // A text read never takes more than this many bytes, so that a line that never falls silent still
    // lets its caller look up (at a Cancel button, for one).
    static constexpr std::size_t kMaxTextBytes = 4096;
    static constexpr int kByteTimeoutMs = 100;

    CSerialPort() = default;
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens the device path for reading and writing, unshared; a port already open is closed first. (The
    // "\\.\" prefix of long port names belongs to another platform's device namespace; paths are taken as
    // they are.)
    virtual bool Open(const std::string& name);
    // Lets the output leave, drops DTR, then closes; closing a closed port succeeds.
    virtual void Close();
    virtual bool IsOpen() const { return m_port.isOpen(); }
    // The baud rate with 8 data bits, no parity, one stop bit and no handshake.
    virtual bool SetBaudRate(std::uint32_t baud);
    virtual bool Write(const std::uint8_t* data, std::size_t size);
    // Up to `size` bytes within 100 ms per byte; returns how many came.
    virtual std::size_t Read(std::uint8_t* data, std::size_t size);

    bool WriteByte(std::uint8_t byte) { return Write(&byte, 1); }
    bool Write(const std::string& bytes) {
        return Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    bool ReadByte(std::uint8_t& byte) { return Read(&byte, 1) == 1; }
    // Bytes one at a time until 100 ms pass without one, leaving out the bootloader's control bytes 0x00,
    // 0x01, 0x02, 0x10, 0x15 and "%".
    std::string ReadText();
    // The same, keeping every byte.
    std::string ReadAll();
    // Reads and discards until 100 ms pass without a byte.
    void Drain();
    // Discards at once what waits in either direction.
    void Purge() { m_port.purge(); }

    const std::string& Name() const { return m_name; }
    std::uint32_t BaudRate() const { return m_port.baudRate(); }

private:
    std::string ReadUntilSilence(bool filter);

    quirel::SerialPort m_port;
    std::string m_name = "COM3";
};
