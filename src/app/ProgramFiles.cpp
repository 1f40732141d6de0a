#include "app/ProgramFiles.h"

#include "base/StringTable.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quirel::app {
namespace {

constexpr const char* kCompanyName = "Tolvane International Ltd";
constexpr const char* kApplicationName = "Quirel Viewer Velorin";
constexpr unsigned kIdsCatalogueNotFound = 1011;
constexpr unsigned kIdsCatalogueLookedIn = 1012;

bool IsWritableFolder(const std::string& folder) {
    return !folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace

std::string ProgramFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.parent_path().string();
}

bool RunsFromBuildTree(const std::string& programFolder) {
#ifdef QUIREL_BINARY_DIR
    if (programFolder.empty())
        return false;
    std::error_code ec;
    const fs::path build = fs::weakly_canonical(QUIREL_BINARY_DIR, ec);
    const fs::path program = fs::weakly_canonical(programFolder, ec);
    if (build.empty() || program.empty())
        return false;
    const auto [b, p] = std::mismatch(build.begin(), build.end(), program.begin(), program.end());
    return b == build.end();
#else
    (void)programFolder;
    return false;
#endif
}

std::string UserDataFolder() {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".local/share";
    else
        base = fs::temp_directory_path();
    return (base / kCompanyName / kApplicationName).string();
}

std::string ProgramFilePath(const std::string& name) {
    return ProgramFilePathIn(ProgramFolder(), name);
}

std::string ProgramFilePathIn(const std::string& program, const std::string& name) {
    if (IsWritableFolder(program))
        return (fs::path(program) / name).string();
    const std::string data = UserDataFolder();
    std::error_code ec;
    fs::create_directories(data, ec);
    return (fs::path(data) / name).string();
}

std::vector<std::string> ExistingFolders(const std::vector<std::string>& candidates) {
    std::vector<std::string> folders;
    std::error_code ec;
    for (const std::string& c : candidates)
        if (!c.empty() && fs::is_directory(c, ec) &&
            std::find(folders.begin(), folders.end(), c) == folders.end())
            folders.push_back(c);
    return folders;
}

std::vector<std::string> CatalogueFolders() {
    std::vector<std::string> candidates{ProgramFolder(), UserDataFolder()};
    if (!candidates[0].empty())
        candidates.push_back(
            (fs::path(candidates[0]) / ".." / "share" / "quirel").lexically_normal().string());
#ifdef QUIREL_SHARE_DIR
    candidates.push_back(QUIREL_SHARE_DIR);
#endif
#ifdef QUIREL_RESOURCES_DIR
    if (RunsFromBuildTree(candidates[0]))
        candidates.push_back(QUIREL_RESOURCES_DIR);
#endif
    return ExistingFolders(candidates);
}

std::string FindCatalogue(const std::string& name, const std::string& firstFolder) {
    std::error_code ec;
    if (name.empty())
        return std::string();
    if (fs::is_regular_file(name, ec))
        return name;
    if (fs::path(name).has_parent_path())
        return std::string();
    std::vector<std::string> folders = CatalogueFolders();
    if (!firstFolder.empty())
        folders.insert(folders.begin(), firstFolder);
    for (const std::string& folder : folders) {
        const fs::path candidate = fs::path(folder) / name;
        if (fs::is_regular_file(candidate, ec))
            return candidate.string();
    }
    return std::string();
}

std::string CatalogueNotFoundText(const std::string& name) {
    std::string text = quirel::loadString(kIdsCatalogueNotFound) + "\"" + name + "\"";
    text += quirel::loadString(kIdsCatalogueLookedIn);
    std::error_code ec;
    text += fs::current_path(ec).string();
    if (!fs::path(name).has_parent_path())
        for (const std::string& folder : CatalogueFolders())
            text += ", " + folder;
    return text;
}

} // namespace quirel::app
