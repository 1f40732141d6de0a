#include "app/ManualFiles.h"
#include "app/ProgramFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kGerman = 7;
constexpr int kEnglish = 9;

void Touch(const fs::path& p) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "<html></html>\n";
}

// An installation under a prefix of its own: the program in usr/bin, the manual where the package puts it.
TEST(Manual, IsFoundBesideTheInstalledProgramInTheLanguageOfTheRun) {
    const fs::path root = fs::temp_directory_path() / ("quirel-manual-" + std::to_string(::getpid()));
    const fs::path bin = root / "usr/bin";
    const fs::path manual = root / "usr/share/doc/quirel/manual";
    fs::create_directories(bin);
    EXPECT_EQ(quirel::app::ManualInstallFolder(bin.string()), manual.string());

    Touch(manual / "en/index.html");
    std::vector<std::string> folders = quirel::app::ManualFolders(bin.string());
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
    EXPECT_EQ(quirel::app::FindManual({(root / "nothing").string()}, kEnglish), "");
    fs::remove_all(root);
}

// Only programs of this build tree take files from the source tree.
TEST(Manual, SourceTreeServesOnlyProgramsOfTheBuildTree) {
    const std::string build = QUIREL_BINARY_DIR;
    EXPECT_TRUE(quirel::app::RunsFromBuildTree(build + "/cli"));
    EXPECT_TRUE(quirel::app::RunsFromBuildTree(build));
    EXPECT_FALSE(quirel::app::RunsFromBuildTree(build + "-other/cli"));
    EXPECT_FALSE(quirel::app::RunsFromBuildTree("/usr/bin"));
    EXPECT_FALSE(quirel::app::RunsFromBuildTree(""));
    const std::string index =
        quirel::app::FindManual(quirel::app::ManualFolders(build + "/tests/app"), kGerman);
    EXPECT_EQ(fs::weakly_canonical(index),
              fs::weakly_canonical(fs::path(QUIREL_RESOURCES_DIR) / "../docs/manual/de/index.html"));
}

} // namespace
