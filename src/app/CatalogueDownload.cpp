#include "app/CatalogueDownload.h"

#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/StringTable.h"
#include "base/TextEncoding.h"
#include "base/UiPort.h"
#include "comm/ControllerModbus.h"
#include "modbus/MbusMasterFunctions.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quirel::app {
namespace {

constexpr unsigned kIdsWriteFailed = 1105; // followed by the path
constexpr unsigned kIdsReadingCatalogue = 1110;
constexpr size_t kMaxRevisionCharacters = 49;
constexpr int kIdentificationBytes = 102;

} // namespace

std::string ReadCatalogueRevision(const std::string& cataloguePath) {
    IniFile ini;
    ini.load(cataloguePath);
    return cutToCharacters(ini.getString("DeviceId", "Revision", ""), kMaxRevisionCharacters);
}

bool UpdateDeviceIdentification(CControllerModbus& controller, DeviceIdentification& identification,
                                std::string* error) {
    uint8_t objects[kIdentificationBytes] = {};
    try {
        controller.ReadDeviceIdentification(sizeof objects, objects);
    } catch (const CModbusException& e) {
        if (error)
            *error = e.GetMessage();
        return false;
    }
    DeviceIdentification id = ParseDeviceIdentification(objects, sizeof objects);
    identification.vendorName = decodeText(id.vendorName);
    identification.productCode = decodeText(id.productCode);
    identification.revision = decodeText(id.revision);
    return true;
}

int DownloadProgress(int file, int block) {
    return std::clamp(((file * 100 + block - 200) * 100) / 1300, 0, 100);
}

bool DownloadCatalogue(CControllerModbus& controller, IUiPort& ui, const std::string& target,
                       const DeviceIdentification& identification) {
    const std::string caption = loadString(kIdsReadingFirmwareInformation);
    const std::string text = loadString(kIdsReadingCatalogue);
    ui.Progress(caption, text, 0, 100);
    const auto fail = [&](const std::string& message) {
        ui.EndProgress();
        if (!message.empty())
            ui.MessageBox(message, std::string(), MbIcon::Error);
        return false;
    };
    // The target first: one that cannot be written is said before 1100 blocks are read for nothing.
    AtomicFileWriter out;
    if (!out.Open(target))
        return fail(loadString(kIdsWriteFailed) + target);

    uint8_t probe[2];
    try {
        controller.ReadFileRecord(kFirstCatalogueFile, 0, 1, probe);
    } catch (const CModbusException&) {
        return fail(std::string()); // the caller says the catalogue was not downloaded
    }

    // The text holds every byte scanned, up to and including the first zero byte.
    std::string catalogue;
    bool end = false;
    std::vector<uint8_t> file(static_cast<size_t>(kBlocksPerFile * kBlockBytes));
    for (int f = kFirstCatalogueFile; f <= kLastCatalogueFile && !end; ++f) {
        size_t length = 0; // of this file's text, up to its zero byte
        for (int block = 0; block < kBlocksPerFile && !end; ++block) {
            ui.Progress(caption, text, DownloadProgress(f, block), 100);
            if (ui.ProgressCancelled())
                return fail(std::string());
            uint8_t* bytes = file.data() + static_cast<size_t>(block * kBlockBytes);
            try {
                // A garbled reply raises: its zeros would read as the end of the text.
                controller.CheckReply(controller.ReadFileRecordNoCheck(f, block * kRegistersPerBlock,
                                                                       kRegistersPerBlock, bytes));
            } catch (const CModbusException& e) {
                return fail(e.GetMessage());
            }
            for (int i = 0; i < kBlockBytes && !end; ++i) {
                end = bytes[i] == 0;
                length += end ? 0 : 1;
            }
        }
        catalogue.append(reinterpret_cast<const char*>(file.data()), length);
    }
    if (end)
        catalogue.push_back('\0');

    // The identification goes into the text's own [DeviceId] when it has one (section names match without
    // regard to case), else into a section appended after the zero byte.
    IniFile ini;
    ini.parse(catalogue);
    ini.setString("DeviceID", "VendorName", identification.vendorName);
    ini.setString("DeviceID", "ProductCode", identification.productCode);
    ini.setString("DeviceID", "Revision", identification.revision);
    if (!out.Write(ini.serialize(ini.sourceEncoding())) || !out.Commit())
        return fail(loadString(kIdsWriteFailed) + target);
    ui.EndProgress();
    return true;
}

} // namespace quirel::app
