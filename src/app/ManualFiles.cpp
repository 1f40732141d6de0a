#include "app/ManualFiles.h"

#include "app/ProgramFiles.h"
#include "base/StringTable.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace quirel::app {
namespace {

const char* LanguageFolder(int language) {
    return language == quirel::kLanguageGerman ? "de" : "en";
}

std::string IndexIn(const std::vector<std::string>& folders, int language) {
    std::error_code ec;
    for (const std::string& folder : folders) {
        const std::string index = ManualIndex(folder, language);
        if (fs::is_regular_file(index, ec))
            return index;
    }
    return std::string();
}

} // namespace

std::string ManualInstallFolder(const std::string& programFolder) {
#ifdef QUIREL_MANUAL_FROM_BIN
    if (!programFolder.empty())
        return (fs::path(programFolder) / QUIREL_MANUAL_FROM_BIN).lexically_normal().string();
#endif
    (void)programFolder;
    return std::string();
}

std::string ManualIndex(const std::string& folder, int language) {
    return (fs::path(folder) / LanguageFolder(language) / "index.html").string();
}

std::vector<std::string> ManualFolders(const std::string& programFolder) {
    std::vector<std::string> candidates{ManualInstallFolder(programFolder)};
    // A program of the build tree reads the manual of its own sources before one installed earlier.
#ifdef QUIREL_SOURCE_MANUAL_DIR
    if (RunsFromBuildTree(programFolder))
        candidates.push_back(QUIREL_SOURCE_MANUAL_DIR);
#endif
#ifdef QUIREL_MANUAL_DIR
    candidates.push_back(QUIREL_MANUAL_DIR);
#endif
    return ExistingFolders(candidates);
}

std::string FindManual(const std::vector<std::string>& folders, int language) {
    if (std::string own = IndexIn(folders, language); !own.empty())
        return own;
    return IndexIn(folders, quirel::kLanguageEnglish);
}

} // namespace quirel::app
