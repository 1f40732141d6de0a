#pragma once

#include <cstddef>
#include <cstdint>

namespace quirel::sim {

// CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF). The result's low byte goes on the wire first.
// Computed apart from the master's table-driven CRC on purpose: the simulator is a peer the master is
// tested against, so a fault in one must not hide in the other.
std::uint16_t crc16Modbus(const std::uint8_t* data, std::size_t length);

} // namespace quirel::sim
