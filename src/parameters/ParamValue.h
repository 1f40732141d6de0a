#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Data type codes whose rules go beyond their width (PARAMVALUE::Kind tells the width).
namespace DataTypeCode {
constexpr uint32_t kCoil = 1;
constexpr uint32_t kFloat = 8;
constexpr uint32_t kText = 9;      // twenty characters in ten registers, kept outside the cell
constexpr uint32_t kNothing = 10;  // no register form; shows "0"
constexpr uint32_t kDateTime = 11; // seconds since 1970 of the device clock
constexpr uint32_t kTimeOfDay = 12;
constexpr uint32_t kSeconds = 13; // signed seconds, shown as a time of day
inline bool IsClock(uint32_t code) {
    return code == kDateTime || code == kTimeOfDay || code == kSeconds;
}
} // namespace DataTypeCode

// The 8-byte typed value cell in which every value travels between device, documents and files:
// a data type code and four value bytes. 16-bit codes use the low half of `raw` (the first two bytes
// as stored), the other half keeps what it held.
struct PARAMVALUE {
    uint32_t dataType = 8;
    uint32_t raw = 0;

    PARAMVALUE() = default;
    explicit PARAMVALUE(uint32_t type, uint32_t rawValue = 0) : dataType(type), raw(rawValue) {}

    // What the code holds.
    enum class Kind { Int16, UInt16, Int32, UInt32, Float, Text, Nothing, Undefined };
    static Kind KindOf(uint32_t dataType);
    Kind GetKind() const { return KindOf(dataType); }
    // Holding registers the value occupies (0 for codes without a register form).
    static int RegisterCount(uint32_t dataType);
    // Codes the device can be written with: 16-bit, 32-bit and float.
    static bool IsWritableType(uint32_t dataType);

    void SetFromDouble(double v);
    void SetFromInt32(int32_t v);
    void SetFromInt64(int64_t v);
    // Nothing for codes without a number (9, 10, undefined): the caller's value then stays.
    std::optional<int32_t> GetAsInt32() const;
    std::optional<int64_t> GetAsInt64() const;
    std::optional<double> GetAsDouble() const;

    float GetFloat() const;
    void SetFloat(float f);

    // Register images in device order: the lower register holds bits 0-15.
    int ToRegisters(uint16_t regs[2]) const;
    static PARAMVALUE FromRegisters(uint32_t dataType, const uint16_t* regs);

    bool operator==(const PARAMVALUE&) const = default;
};

static_assert(sizeof(PARAMVALUE) == 8);

// Texts of code 9 parameters, which do not fit a cell: 1000 entries, written by the reading thread and
// shown by the user interface.
namespace TextValueTable {
constexpr int kSize = 1000;
void Set(int index, const std::string& text); // an index outside 0..999 is ignored
std::string Get(int index);                   // "" outside 0..999
// Ten registers, two characters each with the first in the high byte, cut at the first zero byte.
std::string DecodeRegisters(const uint16_t regs[10]);
void EncodeRegisters(const std::string& text, uint16_t regs[10]);
} // namespace TextValueTable
