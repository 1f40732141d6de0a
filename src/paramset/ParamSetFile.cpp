#include "paramset/ParamSetFile.h"

#include "base/DecimalNumber.h"

namespace quirel::paramset {

ParamSetEntry ParseEntryValue(int key, std::string_view value) {
    ParamSetEntry entry;
    entry.key = key;
    const size_t eq = value.find('=');
    if (eq == std::string_view::npos) {
        entry.stored = std::string(value);
        return entry;
    }
    entry.number = parseLong(value.substr(0, eq));
    entry.stored = std::string(value.substr(eq + 1));
    return entry;
}

bool CParamSetFile::Load(const std::string& path) {
    return m_ini.load(path);
}

void CParamSetFile::Parse(std::string_view bytes) {
    m_ini.parse(bytes);
}

std::vector<ParamSetEntry> CParamSetFile::Entries(std::string_view section) const {
    std::vector<ParamSetEntry> entries;
    const IniFile::SectionRef ref = m_ini.section(section);
    std::string key = "Param";
    for (int k = 0; k <= kLastKey; ++k) {
        key.resize(5);
        key += std::to_string(k);
        const std::string value = cutToCharacters(m_ini.getString(ref, key, ""), kMaxValueCharacters);
        if (!value.empty())
            entries.push_back(ParseEntryValue(k, value));
    }
    return entries;
}

} // namespace quirel::paramset
