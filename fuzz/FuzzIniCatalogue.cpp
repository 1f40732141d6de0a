// The INI reader and the catalogue built from it: any bytes as a Parameters.ini (or a downloaded
// dlParameters.ini), read in the language the input's length picks, then looked up, listed and shown the way
// the windows do, and written back.
#include "FuzzSupport.h"

#include "base/IniFile.h"
#include "base/StringTable.h"
#include "parameters/ParameterManager.h"
#include "parameters/ParameterValue.h"

namespace {

// Queries every section and key the file names, as a reader of its own format would.
void ReadBack(const quirel::IniFile& ini) {
    std::string section;
    for (std::string_view line : ini.lines()) {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos)
            continue;
        line.remove_prefix(start);
        if (line.front() == '[') {
            section = std::string(line.substr(1, line.find(']') - 1));
            (void)ini.hasSection(section);
            continue;
        }
        const std::string key(line.substr(0, line.find('=')));
        (void)ini.getString(section, key, "-");
        (void)ini.getInt(section, key, -1);
    }
}

void ShowCatalogue(const CParameterManager& catalogue) {
    (void)catalogue.GetFolderTree();
    std::vector<int32_t> ids;
    catalogue.GetAllIds(ids);
    std::vector<std::string> names;
    catalogue.GetAllNames(names);
    try {
        catalogue.GetMeasuredValueNames(names);
    } catch (const CParameterException&) {
    }
    std::vector<CParameterDescription> list;
    catalogue.GetFolderDescriptions("Rootfolder", list);
    catalogue.GetFolderParameters("Rootfolder", list);
    // Each parameter's value as a window shows it, from a cell of its own data type.
    for (size_t i = 0; i < ids.size() && i < 512; ++i) {
        const CParameterDescription* d = catalogue.FindDescription(ids[i]);
        if (!d || catalogue.FindDescription(d->GetName()) == nullptr)
            FuzzFail("a listed parameter is not found again");
        const auto raw = static_cast<uint32_t>(ids[i]) * 2654435761u;
        (void)CParameterValue::FormatText(*d, PARAMVALUE(static_cast<uint32_t>(d->GetDataType()), raw));
        (void)catalogue.IsSettingId(ids[i]);
    }
}

// Equal but for carriage returns at line ends, which no reader sees (a last line "x\r" without a line feed
// is saved as "x\r\n"), and a second byte-order mark, which the first one's removal brings to the front.
bool SameLines(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        std::string_view x = a[i], y = b[i];
        if (i == 0 && x.starts_with("\xEF\xBB\xBF"))
            x.remove_prefix(3);
        while (x.ends_with('\r'))
            x.remove_suffix(1);
        while (y.ends_with('\r'))
            y.remove_suffix(1);
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    quirel::IniFile ini;
    ini.parse(bytes);
    ReadBack(ini);

    // What a save writes reads back as the same lines.
    quirel::IniFile again;
    again.parse(ini.serialize(quirel::IniFile::Encoding::Utf8));
    if (!SameLines(ini.lines(), again.lines()))
        FuzzFail("a saved INI file reads back as other lines");

    CParameterManager catalogue;
    catalogue.SetLanguage(size % 2 ? quirel::kLanguageGerman : quirel::kLanguageEnglish);
    catalogue.Load(ini);
    ShowCatalogue(catalogue);

    // A write into the file as the program makes them (a setting, a downloaded catalogue's revision).
    const std::string_view first = ini.lines().empty() ? std::string_view() : ini.lines().front();
    ini.setString("DeviceId", "Revision", first);
    ini.setString(first, "Fuzz", "1");
    (void)ini.serialize(quirel::IniFile::Encoding::Windows1252);
    return 0;
}
