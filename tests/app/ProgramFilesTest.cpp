// Where the program finds its files: the catalogue and the manual, in a private data folder, current
// folder and installation of the test's own.
#include "app/ProgramFiles.h"
#include "TempFolder.h"
#include "app/ManualFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

constexpr int kGerman = 7;
constexpr int kEnglish = 9;

void Touch(const fs::path& p) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "[Rootfolder]\n";
}

TEST(Folders, CatalogueIsLookedUpAsGivenThenInTheProgramsFolders) {
    const TempFolder root;
    const fs::path saved = fs::current_path();
    fs::create_directories(root.File("cwd"));
    fs::current_path(root.File("cwd"));
    ::setenv("XDG_DATA_HOME", root.File("data").c_str(), 1);
    const fs::path data = quirel::app::UserDataFolder();
    EXPECT_EQ(data, fs::path(root.File("data")) / "Tolvane International Ltd" / "Quirel Viewer Velorin");
    EXPECT_EQ(quirel::app::FindCatalogue("Missing.ini"), "");
    Touch(data / "Only-in-data.ini");
    EXPECT_EQ(quirel::app::FindCatalogue("Only-in-data.ini"), (data / "Only-in-data.ini").string());
    Touch(root.File("cwd/Only-in-data.ini")); // the name as given comes first
    EXPECT_EQ(quirel::app::FindCatalogue("Only-in-data.ini"), "Only-in-data.ini");
    // A name with a folder of its own is not looked for elsewhere.
    EXPECT_EQ(quirel::app::FindCatalogue(root.File("elsewhere/Only-in-data.ini")), "");
    // The source's demo catalogue is found in a build tree.
    EXPECT_NE(quirel::app::FindCatalogue("Parameters.ini"), "");
    fs::current_path(saved);
    ::unsetenv("XDG_DATA_HOME");
}

// An installation under a prefix of its own: the program in usr/bin, the manual where the package puts it.
TEST(Manual, IsFoundBesideTheProgramInTheLanguageOfTheRun) {
    const TempFolder root;
    const fs::path bin = root.File("usr/bin"), manual = root.File("usr/share/doc/quirel/manual");
    fs::create_directories(bin);
    EXPECT_EQ(quirel::app::ManualInstallFolder(bin.string()), manual.string());
    Touch(manual / "en/index.html");
    const std::vector<std::string> folders = quirel::app::ManualFolders(bin.string());
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders[0], manual.string());
    // An installed program never reads the source tree's manual.
    const fs::path source = fs::path(QUIREL_RESOURCES_DIR).parent_path() / "docs/manual";
    EXPECT_EQ(std::count(folders.begin(), folders.end(), source.string()), 0);
    // A language the installation lacks falls back to English.
    EXPECT_EQ(quirel::app::FindManual(folders, kGerman), (manual / "en/index.html").string());
    Touch(manual / "de/index.html");
    EXPECT_EQ(quirel::app::FindManual(folders, kGerman), (manual / "de/index.html").string());
    EXPECT_EQ(quirel::app::FindManual(folders, kEnglish), (manual / "en/index.html").string());
    EXPECT_EQ(quirel::app::FindManual({root.File("nothing")}, kEnglish), "");

    // Only programs of this build tree take files from the source tree.
    const std::string build = QUIREL_BINARY_DIR;
    EXPECT_TRUE(quirel::app::RunsFromBuildTree(build + "/cli"));
    EXPECT_TRUE(quirel::app::RunsFromBuildTree(build));
    for (const std::string& other : {build + "-other/cli", std::string("/usr/bin"), std::string()})
        EXPECT_FALSE(quirel::app::RunsFromBuildTree(other)) << other;
    const std::string index =
        quirel::app::FindManual(quirel::app::ManualFolders(build + "/tests/app"), kGerman);
    EXPECT_EQ(fs::weakly_canonical(index),
              fs::weakly_canonical(fs::path(QUIREL_RESOURCES_DIR) / "../docs/manual/de/index.html"));
}

} // namespace
