#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Access rights of a parameter as the catalogue names them.
enum AccessType : int32_t { kAccessRO = 0, kAccessRW = 1, kAccessConst = 2, kAccessWO = 3 };

inline bool IsReadable(int32_t access) {
    return access == kAccessRO || access == kAccessRW || access == kAccessConst;
}
inline bool IsWritable(int32_t access) {
    return access == kAccessRW || access == kAccessWO;
}

// One catalogue entry. Handed out by value; nothing refers back into the catalogue.
class CParameterDescription {
public:
    CParameterDescription() = default;
    CParameterDescription(const CParameterDescription& other) { Assign(other); }
    CParameterDescription& operator=(const CParameterDescription& other) {
        Assign(other);
        return *this;
    }
    virtual ~CParameterDescription() = default;

    virtual int GetNrOfValues() const { return static_cast<int>(m_valueTexts.size()); }
    // Index of the first value text equal to `text` without regard to case, or -1.
    virtual int FindValueText(const std::string& text) const;
    // The text of value `index`, or "-error-" outside the list.
    virtual std::string GetValueText(int index) const;
    virtual bool HasValueTexts() const { return !m_valueTexts.empty(); }
    virtual void Assign(const CParameterDescription& other);

    int32_t GetAccessType() const { return m_accessType; }
    int32_t GetDataType() const { return m_dataType; }
    const std::string& GetHelpText() const { return m_helpText; }
    int32_t GetModbusAddress() const { return m_modbusAddress; }
    const std::string& GetName() const { return m_name; }
    int32_t GetId() const { return m_id; }
    const std::string& GetUnit() const { return m_unit; }
    int32_t GetPrecision() const { return m_precision; }
    const std::vector<std::string>& GetValueTexts() const { return m_valueTexts; }
    // The factory value as the catalogue's optional "Default" key gives it, in a parameter-set file's text
    // form ("500,0", "0;ON"); empty where the catalogue names none.
    const std::string& GetDefaultText() const { return m_defaultText; }

    // Filled by the catalogue loader (and by tests that need a description of their own).
    int32_t m_accessType = kAccessRO;
    int32_t m_dataType = 8;
    std::string m_helpText;
    int32_t m_modbusAddress = 0;
    std::string m_name;
    int32_t m_id = 0;
    std::string m_unit;
    int32_t m_precision = 0;
    std::vector<std::string> m_valueTexts;
    std::string m_defaultText;
};
