#include "app/ProgramFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A private data folder and a private current folder for the duration of a test.
class Folders : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("quirel-files-" + std::to_string(::getpid()));
        fs::create_directories(root / "cwd");
        saved = fs::current_path();
        fs::current_path(root / "cwd");
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    }
    void TearDown() override {
        fs::current_path(saved);
        ::unsetenv("XDG_DATA_HOME");
        fs::remove_all(root);
    }
    static void Touch(const fs::path& p) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "[Rootfolder]\n";
    }
    fs::path root, saved;
};

TEST_F(Folders, CatalogueIsLookedUpAsGivenThenInTheProgramsFolders) {
    const fs::path data = quirel::app::UserDataFolder();
    EXPECT_EQ(data, root / "data" / "Tolvane International Ltd" / "Quirel Viewer Velorin");
    EXPECT_EQ(quirel::app::FindCatalogue("Missing.ini"), "");

    Touch(data / "Only-in-data.ini");
    EXPECT_EQ(quirel::app::FindCatalogue("Only-in-data.ini"), (data / "Only-in-data.ini").string());
    Touch(root / "cwd" / "Only-in-data.ini"); // the name as given comes first
    EXPECT_EQ(quirel::app::FindCatalogue("Only-in-data.ini"), "Only-in-data.ini");
    // A name with a folder of its own is not looked for elsewhere.
    EXPECT_EQ(quirel::app::FindCatalogue((root / "elsewhere" / "Only-in-data.ini").string()), "");
    // The source's demo catalogue is found in a build tree.
    EXPECT_NE(quirel::app::FindCatalogue("Parameters.ini"), "");
}

} // namespace
