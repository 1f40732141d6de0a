#include "base/FileUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
    EXPECT_EQ(quirel::readWholeFile(path, quirel::kMaxMeasurementFileBytes), "old");
    EXPECT_EQ(f.Entries(), 1u);
    quirel::AtomicFileWriter w;
    ASSERT_TRUE(w.Open(path));
    ASSERT_TRUE(w.Write("new"));
    ASSERT_TRUE(w.Write(std::string(100000, 'x')));
    ASSERT_TRUE(w.Commit());
    EXPECT_EQ(quirel::readWholeFile(path, quirel::kMaxMeasurementFileBytes)->size(), 100003u);
    EXPECT_EQ(f.Entries(), 1u);
    EXPECT_FALSE(quirel::writeFileAtomically((f.dir / "no/such/folder").string(), "x"));
}

// A folder, a FIFO without a writer and an oversized file are refused at once, each with its reason; a
// file of exactly the cap is read, and a head read stops at its cap.
TEST(ReadWholeFile, RefusesWhatIsNoRegularFileOrTooLarge) {
    Folder f;
    const std::string fifo = (f.dir / "fifo").string(), big = (f.dir / "big").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(quirel::writeFileAtomically(big, std::string(4096, 'x')));
    struct Case {
        std::string path;
        size_t cap;
        const char* why;
    } cases[] = {{f.dir.string(), 1 << 20, "regular"},
                 {fifo, 1 << 20, "regular"},
                 {big, 4095, "larger than 1 MiB"},
                 {(f.dir / "none").string(), 1 << 20, "No such file"}};
    for (const Case& c : cases) {
        std::string why;
        EXPECT_FALSE(quirel::readWholeFile(c.path, c.cap, &why)) << c.path;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.path << ": " << why;
    }
    EXPECT_EQ(quirel::readWholeFile(big, 4096)->size(), 4096u);
    EXPECT_EQ(*quirel::readFileHead(big, 10), "xxxxxxxxxx");
}

} // namespace
