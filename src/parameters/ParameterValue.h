#pragma once

#include "parameters/ParamValue.h"
#include "parameters/ValueText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class CParameterManager;
class CParameterDescription;
namespace quirel {
class ArchiveReader;
class ArchiveWriter;
} // namespace quirel

// A parameter identifier with its value cell, and the value's text forms. The text forms depend on the
// parameter's catalogue entry, which the caller passes in; a missing entry throws CParameterException.
class CParameterValue {
public:
    CParameterValue() = default;
    CParameterValue(uint32_t id, uint32_t dataType, uint32_t raw) : m_id(id), m_value(dataType, raw) {}
    virtual ~CParameterValue() = default;

    // User input, read whole by ParseValueText (ValueText.h). False when the text is refused (a partial
    // number, a number out of the type's range, an unknown value text, an invalid date, time or address);
    // the value then stays as it was.
    [[nodiscard]] virtual bool SetFromText(const CParameterManager& catalogue, std::string_view text);
    virtual double GetAsDouble() const { return m_value.GetAsDouble().value_or(0.0); }
    virtual void Assign(const CParameterValue& other) {
        m_id = other.m_id;
        m_value = other.m_value;
    }
    virtual std::string GetText(const CParameterManager& catalogue) const;
    // A value text from a parameter-set file: "N;text" stores N whatever the code; otherwise as
    // SetFromText without the value texts. False when refused, leaving the value as it was.
    [[nodiscard]] virtual bool SetFromFileText(const CParameterManager& catalogue, std::string_view text);
    // Either of the two with the description at hand: empty when taken, else why the text was refused
    // (in the user-interface language).
    [[nodiscard]] std::string TakeText(const CParameterDescription& d, std::string_view text,
                                       ValueTextSource source);

    // 12 bytes: identifier, then the cell (code, value), all little-endian.
    void Serialize(quirel::ArchiveWriter& ar) const;
    void Deserialize(quirel::ArchiveReader& ar);

    uint32_t GetId() const { return m_id; }
    void SetId(uint32_t id) { m_id = id; }
    const PARAMVALUE& GetValue() const { return m_value; }
    PARAMVALUE& Value() { return m_value; }
    void SetValue(const PARAMVALUE& v) { m_value = v; }

    static std::string FormatText(const CParameterDescription& d, const PARAMVALUE& v);
    // The text form, with as many more decimals as a float needs to read back as the very value: what
    // a write sends, where the catalogue's precision would show a rounded neighbour.
    static std::string FormatExactText(const CParameterDescription& d, const PARAMVALUE& v);

private:
    uint32_t m_id = 0;
    PARAMVALUE m_value; // code 8 when default-constructed
};

// The calendar forms of the device clock. The device counts seconds of its own wall clock from
// 1970-01-01 00:00:00; no time zone or daylight saving of this PC enters.
namespace DeviceTime {
std::string FormatDateTime(uint32_t seconds); // "%Y-%m-%d %H:%M:%S"
std::optional<uint32_t> ParseDateTime(std::string_view text);
std::string FormatTimeOfDay(int64_t seconds);                 // "%H:%M:%S" of the seconds modulo one day
std::optional<int64_t> ParseTimeOfDay(std::string_view text); // "H:MM[:SS]" -> seconds since midnight
} // namespace DeviceTime

// The identifiers whose 32-bit value is an IPv4 address.
inline bool IsAddressParameter(uint32_t id) {
    return id == 240 || id == 242 || id == 243;
}
