#include "paramset/ParamSetFile.h"

#include "base/DecimalNumber.h"
#include "base/StringTable.h"

#include <algorithm>

namespace quirel::paramset {
namespace {

constexpr unsigned kIdsFileNotRead = 1106;

} // namespace

std::string FileNotReadText(const std::string& path, const std::string& why) {
    return loadString(kIdsFileNotRead) + path + (why.empty() ? std::string() : " (" + why + ")");
}

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

bool CParamSetFile::Load(const std::string& path, std::string* why) {
    return m_ini.load(path, why);
}

void CParamSetFile::Parse(std::string_view bytes) {
    m_ini.parse(bytes);
}

std::vector<ParamSetEntry> CParamSetFile::Entries(std::string_view section) const {
    // Only the keys present are looked up: a reader asking for Param0..Param5000 in turn finds exactly the
    // names spelt "Param<k>" (any case, no leading zero), and the first of each wins, as its lookup does.
    const IniFile::SectionRef ref = m_ini.section(section);
    std::vector<int> present;
    for (std::string_view name : m_ini.keyNames(ref)) {
        if (name.size() < 6 || name.size() > 9 || !equalsNoCase(name.substr(0, 5), "Param"))
            continue;
        const std::string_view digits = name.substr(5);
        if ((digits.size() > 1 && digits.front() == '0') ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        if (const int k = static_cast<int>(parseLong(digits)); k <= kLastKey)
            present.push_back(k);
    }
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());

    std::vector<ParamSetEntry> entries;
    for (int k : present) {
        const std::string value =
            cutToCharacters(m_ini.getString(ref, "Param" + std::to_string(k), ""), kMaxValueCharacters);
        if (!value.empty())
            entries.push_back(ParseEntryValue(k, value));
    }
    return entries;
}

} // namespace quirel::paramset
