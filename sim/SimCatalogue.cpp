#include "SimCatalogue.h"

#include "app/ProgramFiles.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "parameters/ParameterManager.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quirel::sim {

bool loadSimCatalogue(const std::string& path, SimCatalogue& catalogue, std::string& error) {
    std::string why;
    std::optional<std::string> bytes = readWholeFile(path, kMaxTextFileBytes, &why);
    if (!bytes) {
        error = "cannot open catalogue " + path + ": " + why;
        return false;
    }
    catalogue.fileBytes = std::move(*bytes);

    CParameterManager manager;
    manager.SetLanguage(9);
    try {
        manager.Load(path);
    } catch (const std::exception& e) {
        error = "cannot load catalogue " + path + ": " + e.what();
        return false;
    }
    std::vector<int32_t> ids;
    manager.GetAllIds(ids);
    catalogue.parameters.clear();
    for (int32_t id : ids) {
        const CParameterDescription* d = manager.FindDescription(id);
        if (d == nullptr)
            continue;
        bool seen = false;
        for (const auto& p : catalogue.parameters)
            seen = seen || p.id == id;
        if (seen) // a parameter listed in two folders is one set of registers
            continue;
        SimParameter p;
        p.id = d->GetId();
        p.name = d->GetName();
        p.address = d->GetModbusAddress();
        p.dataType = d->GetDataType();
        p.access = d->GetAccessType();
        p.precision = d->GetPrecision();
        p.unit = d->GetUnit();
        p.valueTexts = d->GetValueTexts();
        catalogue.parameters.push_back(std::move(p));
    }
    quirel::IniFile ini;
    ini.parse(catalogue.fileBytes);
    catalogue.vendorName = ini.getString("DeviceId", "VendorName", "");
    catalogue.productCode = ini.getString("DeviceId", "ProductCode", "");
    catalogue.revision = ini.getString("DeviceId", "Revision", "");
    if (catalogue.revision.size() > 49) // the reader's buffer holds 49 characters
        catalogue.revision.resize(49);
    return true;
}

std::string withDeviceIdRevision(const std::string& bytes, const std::string& revision) {
    quirel::IniFile ini;
    ini.parse(bytes);
    if (ini.getString("DeviceId", "Revision", "") == revision && ini.hasKey("DeviceId", "Revision"))
        return bytes;
    ini.setString("DeviceId", "Revision", revision);
    return ini.serialize(ini.sourceEncoding());
}

std::string defaultCataloguePath() {
    std::error_code ec;
    // Installed: share/quirel beside the program's bin folder, wherever the package put it.
    const std::string program = quirel::app::ProgramFolder();
    if (!program.empty()) {
        const std::filesystem::path beside =
            std::filesystem::path(program).parent_path() / "share/quirel/Parameters.ini";
        if (std::filesystem::exists(beside, ec))
            return beside.string();
    }
#ifdef QUIREL_RESOURCES_DIR
    // Only a simulator of the build tree serves the source's catalogue; an installed one has its own.
    const std::filesystem::path source = std::filesystem::path(QUIREL_RESOURCES_DIR) / "Parameters.ini";
    if (quirel::app::RunsFromBuildTree(program) && std::filesystem::exists(source, ec))
        return source.string();
#endif
#ifdef QUIREL_SIM_SHARE_DIR
    const std::filesystem::path installed = std::filesystem::path(QUIREL_SIM_SHARE_DIR) / "Parameters.ini";
    if (std::filesystem::exists(installed, ec))
        return installed.string();
#endif
    return "Parameters.ini";
}

} // namespace quirel::sim
