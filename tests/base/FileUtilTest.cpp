#include "base/FileUtil.h"
#include "TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(AtomicFileWriter, OnlyACommitReplacesTheOldFile) {
    TempFolder f;
    const std::string path = f.File("data.bin");
    // What a save leaves in the folder: the target's bytes, and no temporary beside it.
    auto entries = [&f] { return std::distance(std::filesystem::directory_iterator(f.path()), {}); };
    ASSERT_TRUE(quirel::writeFileAtomically(path, "old"));
    {
        quirel::AtomicFileWriter w;
        ASSERT_TRUE(w.Open(path));
        ASSERT_TRUE(w.Write("new, half"));
        // gone without Commit: an error or an exception in the middle of a save
    }
    EXPECT_EQ(quirel::readWholeFile(path, quirel::kMaxMeasurementFileBytes), "old");
    EXPECT_EQ(entries(), 1);
    quirel::AtomicFileWriter w;
    ASSERT_TRUE(w.Open(path));
    ASSERT_TRUE(w.Write("new"));
    ASSERT_TRUE(w.Write(std::string(100000, 'x')));
    ASSERT_TRUE(w.Commit());
    EXPECT_EQ(quirel::readWholeFile(path, quirel::kMaxMeasurementFileBytes)->size(), 100003u);
    EXPECT_EQ(entries(), 1);
    EXPECT_FALSE(quirel::writeFileAtomically(f.File("no/such/folder"), "x"));
}

// A folder, a FIFO without a writer and an oversized file are refused at once, each with its reason; a
// file of exactly the cap is read, and a head read stops at its cap.
TEST(ReadWholeFile, RefusesWhatIsNoRegularFileOrTooLarge) {
    TempFolder f;
    const std::string fifo = f.File("fifo"), big = f.File("big");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(quirel::writeFileAtomically(big, std::string(4096, 'x')));
    struct Case {
        std::string path;
        size_t cap;
        const char* why;
    } cases[] = {{f.path(), 1 << 20, "regular"},
                 {fifo, 1 << 20, "regular"},
                 {big, 4095, "larger than 1 MiB"},
                 {f.File("none"), 1 << 20, "No such file"}};
    for (const Case& c : cases) {
        std::string why;
        EXPECT_FALSE(quirel::readWholeFile(c.path, c.cap, &why)) << c.path;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.path << ": " << why;
    }
    EXPECT_EQ(quirel::readWholeFile(big, 4096)->size(), 4096u);
    EXPECT_EQ(*quirel::readFileHead(big, 10), "xxxxxxxxxx");
}
