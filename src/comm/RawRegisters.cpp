#include "comm/RawRegisters.h"

#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "modbus/MbusMasterFunctions.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr unsigned kIdsInvalidValue = 1600;    // "Invalid value \"%1\": ..."
constexpr unsigned kIdsValueCount = 1601;      // "Between 1 and %1 values ..."
constexpr unsigned kIdsInvalidAddress = 1602;  // "Invalid address \"%1\": ..."
constexpr unsigned kIdsInvalidCount = 1603;    // "Invalid count \"%1\": ..."
constexpr unsigned kIdsPastEnd = 1604;         // "%1 registers from address %2 run past ..."
constexpr unsigned kIdsWriteQuestion = 1605;   // "Write to the device from address %1: %2?"
constexpr unsigned kIdsInvalidFunction = 1606; // "Invalid function \"%1\": ..."

constexpr long kAddressSpace = 65536;

// A whole decimal number with an optional sign, blanks around it allowed.
bool ParseLong(const std::string& text, long& out) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return false;
    const std::string number = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    const std::size_t digits = number[0] == '-' || number[0] == '+' ? 1 : 0;
    if (digits >= number.size() || !std::isdigit(static_cast<unsigned char>(number[digits])))
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(number.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    out = v;
    return true;
}

} // namespace

std::string ParseRawAddress(const std::string& text, int& address) {
    long v = 0;
    if (!ParseLong(text, v) || v < 0 || v >= kAddressSpace)
        return quirel::fillString(kIdsInvalidAddress, {text});
    address = static_cast<int>(v);
    return std::string();
}

std::string ParseRawCount(const std::string& text, int& count) {
    long v = 0;
    if (!ParseLong(text, v) || v < 1 || v > RawRegisterRequest::kMaxReadCount)
        return quirel::fillString(kIdsInvalidCount,
                                  {text, std::to_string(RawRegisterRequest::kMaxReadCount)});
    count = static_cast<int>(v);
    return std::string();
}

std::string ParseRawValues(const std::string& text, std::vector<std::uint16_t>& values) {
    std::vector<std::uint16_t> parsed;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        long v = 0;
        if (!ParseLong(item, v) || v < -32768 || v > 65535)
            return quirel::fillString(kIdsInvalidValue, {item});
        parsed.push_back(static_cast<std::uint16_t>(v & 0xFFFF));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (parsed.size() > static_cast<std::size_t>(RawRegisterRequest::kMaxWriteCount))
        return quirel::fillString(kIdsValueCount, {std::to_string(RawRegisterRequest::kMaxWriteCount)});
    values = std::move(parsed);
    return std::string();
}

std::string CheckRawRequest(const RawRegisterRequest& r) {
    if (r.function != RawRegisterRequest::kReadHolding && r.function != RawRegisterRequest::kReadInput &&
        r.function != RawRegisterRequest::kWrite)
        return quirel::fillString(kIdsInvalidFunction, {std::to_string(r.function)});
    if (r.address < 0 || r.address >= kAddressSpace)
        return quirel::fillString(kIdsInvalidAddress, {std::to_string(r.address)});
    const int count = r.RegisterCount();
    if (r.IsWrite() && (count < 1 || count > RawRegisterRequest::kMaxWriteCount))
        return quirel::fillString(kIdsValueCount, {std::to_string(RawRegisterRequest::kMaxWriteCount)});
    if (!r.IsWrite() && (count < 1 || count > RawRegisterRequest::kMaxReadCount))
        return quirel::fillString(kIdsInvalidCount,
                                  {std::to_string(count), std::to_string(RawRegisterRequest::kMaxReadCount)});
    // The master takes references up to 65536 and counts on: the registers must not wrap round to 0.
    if (r.address + static_cast<long>(count) > kAddressSpace)
        return quirel::fillString(kIdsPastEnd, {std::to_string(count), std::to_string(r.address)});
    return std::string();
}

std::vector<std::uint16_t> RunRawRequest(CControllerModbus& controller, const RawRegisterRequest& r,
                                         bool* written) {
    if (written)
        *written = false;
    if (!CheckRawRequest(r).empty())
        controller.CheckReply(MBUS_ILLEGAL_ARGUMENT); // the callers check first; nothing unchecked is sent
    const int ref = r.address + 1;
    const int count = r.RegisterCount();
    if (r.IsWrite()) {
        controller.CheckReply(controller.CallMaster([&](MbusMasterFunctions& m, int slave) {
            return m.writeMultipleRegisters(slave, ref, r.values.data(), count);
        }));
        if (written)
            *written = true;
    }
    std::vector<std::uint16_t> values(static_cast<std::size_t>(count));
    controller.CheckReply(controller.CallMaster([&](MbusMasterFunctions& m, int slave) {
        return r.function == RawRegisterRequest::kReadInput
                   ? m.readInputRegisters(slave, ref, values.data(), count)
                   : m.readHoldingRegisters(slave, ref, values.data(), count);
    }));
    return values;
}

std::vector<std::array<std::string, 4>> RawRegisterRows(int address,
                                                        const std::vector<std::uint16_t>& values) {
    std::vector<std::array<std::string, 4>> rows;
    for (std::size_t i = 0; i < values.size(); ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(values[i]));
        rows.push_back({std::to_string(static_cast<long>(address) + static_cast<long>(i)), hex,
                        std::to_string(values[i]), std::to_string(static_cast<std::int16_t>(values[i]))});
    }
    return rows;
}

std::string RawRegistersCsv(int address, const std::vector<std::uint16_t>& values) {
    std::string csv = "address,hex,u16,s16\r\n";
    for (const auto& row : RawRegisterRows(address, values))
        csv += row[0] + "," + row[1] + "," + row[2] + "," + row[3] + "\r\n";
    return csv;
}

std::string RawWriteQuestion(const RawRegisterRequest& r) {
    std::string list;
    char item[24];
    for (std::uint16_t v : r.values) {
        std::snprintf(item, sizeof item, "%s%u (0x%04X)", list.empty() ? "" : ", ", static_cast<unsigned>(v),
                      static_cast<unsigned>(v));
        list += item;
    }
    return quirel::fillString(kIdsWriteQuestion, {std::to_string(r.address), list});
}
