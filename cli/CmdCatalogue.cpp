// catalogue check|download: the device's own parameter catalogue.
#include "CliSession.h"

#include "app/CatalogueDownload.h"
#include "app/ProgramFiles.h"
#include "base/StringTable.h"

#include <filesystem>

namespace quirel::cli {
namespace {

using namespace quirel::app;

constexpr unsigned kIdsDownloadFailed = 218; // "Couldn't download parameters.ini. ..."

int ReadIdentification(CliSession& s, DeviceIdentification& id) {
    if (int rc = s.Connect(); rc != kOk)
        return rc;
    std::string error;
    if (!UpdateDeviceIdentification(s.Controller(), id, &error))
        return s.Fail(error);
    return kOk;
}

int Check(CliSession& s) {
    // The catalogue is only looked up: a download must work where none is found.
    DeviceIdentification id;
    if (int rc = ReadIdentification(s, id); rc != kOk)
        return rc;
    const std::string name = s.Options().catalogue.empty() ? kDefaultCatalogueName : s.Options().catalogue;
    const std::string path = FindCatalogue(name);
    if (path.empty())
        return s.Fail(CatalogueNotFoundText(name));
    const std::string catalogue = ReadCatalogueRevision(path);
    std::fprintf(s.Out(), "device revision: %s\ncatalogue revision: %s\n%s\n", id.revision.c_str(),
                 catalogue.c_str(), id.revision == catalogue ? "same" : "differs");
    return kOk;
}

// Where the viewer keeps its program files: the folder of the viewer program beside this one (an
// installation), else the one of the build tree this program belongs to.
std::string ViewerDownloadPath() {
    std::error_code ec;
    std::string folder = ProgramFolder();
#ifdef QUIREL_VIEWER_DIR
    if (!std::filesystem::exists(std::filesystem::path(folder) / "quirel-viewer", ec) &&
        std::filesystem::is_directory(QUIREL_VIEWER_DIR, ec))
        folder = QUIREL_VIEWER_DIR;
#endif
    return ProgramFilePathIn(folder, kDownloadedCatalogueName);
}

int Download(CliSession& s, const std::string& file) {
    const std::string target = file.empty() ? ViewerDownloadPath() : file;
    DeviceIdentification id;
    if (int rc = ReadIdentification(s, id); rc != kOk)
        return rc;
    // A failed block or write has been named; the outcome is said as the viewer says it.
    if (!DownloadCatalogue(s.Controller(), s.Ui(), target, id))
        return s.Fail(quirel::loadString(kIdsDownloadFailed));
    std::fprintf(s.Out(), "%s\n", target.c_str());
    return kOk;
}

int Catalogue(CliSession& s, const std::vector<std::string>& args) {
    if (args.size() == 1 && args[0] == "check")
        return Check(s);
    if ((args.size() == 1 || args.size() == 2) && args[0] == "download")
        return Download(s, args.size() == 2 ? args[1] : std::string());
    return s.Usage("wrong arguments for catalogue");
}

} // namespace

void AddCatalogueCommands(std::vector<CommandSpec>& commands) {
    commands.push_back(
        {"catalogue",
         "  catalogue check       print \"device revision: X\", \"catalogue revision: Y\" (the [DeviceId]\n"
         "                        Revision of the catalogue loaded) and \"same\" or \"differs\"\n"
         "  catalogue download [FILE]\n"
         "                        download the device's catalogue (files 2-12) into FILE, by default the\n"
         "                        dlParameters.ini the viewer would write, and print the path written\n",
         false, Catalogue});
}

} // namespace quirel::cli
