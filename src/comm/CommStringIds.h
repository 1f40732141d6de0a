#pragma once

// Resource strings the communication layer shows, by their identifiers in the string table.
namespace CommStringId {
constexpr unsigned kNoWriteAccess = 142;         // "No write access to this parameter."
constexpr unsigned kParameterNotFound = 155;     // "Parameter not found: "
constexpr unsigned kModbusError = 178;           // "Modbus error"
constexpr unsigned kCancelTrigger = 179;         // "Cancel trigger"
constexpr unsigned kQueryTriggerState = 180;     // "Query trigger state"
constexpr unsigned kNumberOfTraceValues = 181;   // "Number of trace values"
constexpr unsigned kReadTraceValues = 182;       // "Read trace values"
constexpr unsigned kErrorReadingValues = 183;    // "Error reading values"
constexpr unsigned kClearTrigger = 184;          // "Clear trigger"
constexpr unsigned kReadTrigger = 185;           // "Read trigger"
constexpr unsigned kReadParameter = 186;         // "Read parameter"
constexpr unsigned kWriteTrigger = 187;          // "Write trigger"
constexpr unsigned kErrorWritingParameter = 189; // "Error writing parameter: "
} // namespace CommStringId
