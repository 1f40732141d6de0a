#pragma once

#include <cstdint>

namespace mbus {

// Modbus puts every 16-bit field on the wire high byte first.
inline void putWord(std::uint8_t* p, unsigned value) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

inline unsigned getWord(const std::uint8_t* p) {
    return (static_cast<unsigned>(p[0]) << 8) | p[1];
}

} // namespace mbus
