#pragma once

// Resource strings the communication layer shows, by their identifiers in the string table.
namespace CommStringId {
constexpr unsigned kNoWriteAccess = 142;         // "No write access to this parameter."
constexpr unsigned kParameterNotFound = 155;     // "Parameter not found: "
constexpr unsigned kModbusError = 178;           // "Modbus error"
constexpr unsigned kReadParameter = 186;         // "Read parameter"
constexpr unsigned kErrorWritingParameter = 189; // "Error writing parameter: "
} // namespace CommStringId
