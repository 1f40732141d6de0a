#pragma once

#include <cstddef>
#include <cstdint>

namespace quirel::sim {

// CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF). The result's low byte goes on the wire first.
std::uint16_t crc16Modbus(const std::uint8_t* data, std::size_t length);

} // namespace quirel::sim
