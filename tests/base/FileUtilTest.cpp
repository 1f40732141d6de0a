#include "base/FileUtil.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

// What a save leaves in the folder: the target's bytes, and no temporary beside it.
struct Folder {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quirel-atomic-" + std::to_string(::getpid()));
    Folder() { std::filesystem::create_directories(dir); }
    ~Folder() { std::filesystem::remove_all(dir); }
    size_t Entries() const {
        size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir))
            ++n;
        return n;
    }
};

TEST(AtomicFileWriter, OnlyACommitReplacesTheOldFile) {
    Folder f;
    const std::string path = (f.dir / "data.bin").string();
    ASSERT_TRUE(quirel::writeFileAtomically(path, "old"));
    {
        quirel::AtomicFileWriter w;
        ASSERT_TRUE(w.Open(path));
        ASSERT_TRUE(w.Write("new, half"));
        // gone without Commit: an error or an exception in the middle of a save
    }
    EXPECT_EQ(quirel::readWholeFile(path), "old");
    EXPECT_EQ(f.Entries(), 1u);
    quirel::AtomicFileWriter w;
    ASSERT_TRUE(w.Open(path));
    ASSERT_TRUE(w.Write("new"));
    ASSERT_TRUE(w.Write(std::string(100000, 'x')));
    ASSERT_TRUE(w.Commit());
    EXPECT_EQ(quirel::readWholeFile(path)->size(), 100003u);
    EXPECT_EQ(f.Entries(), 1u);
    EXPECT_FALSE(quirel::writeFileAtomically((f.dir / "no/such/folder").string(), "x"));
}

} // namespace
