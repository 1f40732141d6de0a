#include "parameters/ParameterDescription.h"

#include "base/IniFile.h"

int CParameterDescription::FindValueText(const std::string& text) const {
    for (size_t i = 0; i < m_valueTexts.size(); ++i)
        if (quirel::equalsNoCase(m_valueTexts[i], text))
            return static_cast<int>(i);
    return -1;
}

std::string CParameterDescription::GetValueText(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_valueTexts.size())
        return "-error-";
    return m_valueTexts[static_cast<size_t>(index)];
}

void CParameterDescription::Assign(const CParameterDescription& other) {
    if (this == &other)
        return;
    m_accessType = other.m_accessType;
    m_dataType = other.m_dataType;
    m_helpText = other.m_helpText;
    m_modbusAddress = other.m_modbusAddress;
    m_name = other.m_name;
    m_id = other.m_id;
    m_unit = other.m_unit;
    m_precision = other.m_precision;
    m_valueTexts = other.m_valueTexts;
    m_defaultText = other.m_defaultText;
}
