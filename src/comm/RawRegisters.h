#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class CControllerModbus;

// Registers the catalogue need not know, read or written as plain 16-bit words: what quirel-cli's "raw"
// commands and the communication log's request line send. Both check a request here before anything is
// sent, and run it here.
struct RawRegisterRequest {
    static constexpr int kReadHolding = 3;
    static constexpr int kReadInput = 4;
    static constexpr int kWrite = 16;
    static constexpr int kMaxReadCount = 125;  // what one request of function 3 or 4 reads
    static constexpr int kMaxWriteCount = 100; // what the master writes with one function 16

    int function = kReadHolding;
    int address = 0; // as on the wire, 0-based
    int count = 1;   // registers to read; a write takes the number of its values
    std::vector<std::uint16_t> values;

    bool IsWrite() const { return function == kWrite; }
    int RegisterCount() const { return IsWrite() ? static_cast<int>(values.size()) : count; }
};

// Each returns an empty string when the text is fine, else why not, in the user's language.
// A decimal address 0 to 65535.
std::string ParseRawAddress(const std::string& text, int& address);
// A decimal count 1 to 125.
std::string ParseRawCount(const std::string& text, int& count);
// Decimal values separated by commas, each 0 to 65535 or -32768 to 32767 (sent as its two's complement).
std::string ParseRawValues(const std::string& text, std::vector<std::uint16_t>& values);
// The whole request: its function, address and count or values, and registers that stay within the
// address space.
std::string CheckRawRequest(const RawRegisterRequest& request);

// Sends a checked request through the controller's device access and returns the registers: those read,
// or for a write those read back with function 3 after it. Throws CModbusException; `written` (when given)
// tells whether a write was confirmed by the device before that.
std::vector<std::uint16_t> RunRawRequest(CControllerModbus& controller, const RawRegisterRequest& request,
                                         bool* written = nullptr);

// One row per register: the address, the value as four upper-case hex digits, unsigned and signed.
std::vector<std::array<std::string, 4>> RawRegisterRows(int address,
                                                        const std::vector<std::uint16_t>& values);
// CSV with the header "address,hex,u16,s16" and those rows, every line ending in CR LF.
std::string RawRegistersCsv(int address, const std::vector<std::uint16_t>& values);
// The question before a write: how many registers, from which address, which values.
std::string RawWriteQuestion(const RawRegisterRequest& request);
