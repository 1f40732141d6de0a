#include "firmware/SRecordReader.h"
#include "FirmwareTestSupport.h"
#include "firmware/FirmwareFile.h"
#include "firmware/FirmwareUpdateRule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

using namespace quirel::firmware;
using quirel::test::SRecord;

namespace {

using Bytes = std::vector<std::uint8_t>;

SRecordReport Read(const std::string& text, Bytes& image, std::uint32_t base = 0) {
    image = MakeErasedImage();
    std::istringstream in(text);
    return ReadSRecordImage(in, image, base);
}

} // namespace

TEST(SRecordReader, TenForeignLinesAreToleratedEleventhRejects) {
    const std::string record = SRecord('3', 0, 4, {0xAB}) + "\n";
    for (const auto& [foreign, status] :
         {std::pair{10, SRecordReport::Status::Ok}, std::pair{11, SRecordReport::Status::NotSRecord}}) {
        Bytes image;
        // Blank lines and "\r" lines of a CRLF file count alike, spread over the whole file.
        std::string text = std::string(static_cast<std::size_t>(foreign / 2), '\n') + record;
        for (int i = foreign / 2; i < foreign; ++i)
            text += "\r\n";
        EXPECT_EQ(Read(text, image).status, status) << foreign;
    }
}

TEST(SRecordReader, PlacesS3DataWhereItBelongs) {
    Bytes data(16), image;
    for (int i = 0; i < 16; ++i)
        data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0x10 + i);
    // What lies beyond the flash is dropped.
    const auto r = Read(SRecord('3', 0x1FFFF8, 4, data) + "\r\n", image);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.largestCount, 21);
    ASSERT_EQ(image.size(), kFlashImageSize);
    EXPECT_EQ(Bytes(image.end() - 9, image.end()),
              (Bytes{0xFF, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}));
    // The later record wins; with a base, it is subtracted and what lies below it skipped.
    const std::string text = SRecord('3', 0x1000, 4, {1, 2, 3}) + "\n" + SRecord('3', 0x1001, 4, {9}) + "\n" +
                             SRecord('3', 0x0FFF, 4, {7}) + "\n";
    ASSERT_TRUE(Read(text, image).ok());
    EXPECT_EQ(Bytes(image.begin() + 0x0FFF, image.begin() + 0x1004), (Bytes{7, 1, 9, 3, 0xFF}));
    ASSERT_TRUE(Read(text, image, 0x1000).ok());
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 4), (Bytes{1, 9, 3, 0xFF}));
    EXPECT_EQ(image.back(), 0xFF);
}

TEST(SRecordReader, ADamagedRecordRejectsTheFile) {
    const std::string good = SRecord('3', 0, 4, {1, 2}) + "\n";
    std::string badSum = SRecord('3', 0x80, 4, {1, 2});
    badSum[badSum.size() - 2] = 'F'; // 0x75 with its top bit flipped
    std::string lower = SRecord('3', 0x80, 4, {0xAB});
    std::transform(lower.begin() + 1, lower.end(), lower.begin() + 1, [](char c) { return std::tolower(c); });
    const std::string end = SRecord('7', 0, 4, {}) + "\n";
    const struct {
        std::string line;
        bool ok;
        int damagedLine = 3;
    } cases[] = {
        {badSum, false},
        {good.substr(0, good.size() - 3), false}, // cut short
        {"Some words", false},
        {"S304000000FB", false}, // too short for its address and checksum
        {"S30G", false},
        {"S901FE", false},                // an end record without its address
        {SRecord('8', 0, 3, {1}), false}, // an end record with data
        {end + good, false, 4},           // a record after the end
        {end + "\n", true},
        {lower, true},
        {SRecord('3', 0x80, 4, {1}) + "  trailing", true},
    };
    for (const auto& c : cases) {
        Bytes image;
        const auto r = Read(good + "\n" + c.line + "\n", image);
        EXPECT_EQ(r.ok(), c.ok) << c.line;
        if (!c.ok) {
            EXPECT_EQ(r.status, SRecordReport::Status::Damaged) << c.line;
            EXPECT_EQ(r.damagedLine, c.damagedLine) << c.line;
        }
    }
}

// A file no bootloader, or not the one found, could take whole is refused before any erase, saying why.
TEST(FirmwareFile, FilesThatCannotBeSentWholeAreRefused) {
    const std::string header = SRecord('0', 0, 2, {}) + "\n", end = SRecord('7', 0, 4, {});
    std::string damaged = quirel::test::SRecordFile(quirel::test::SmallImage());
    damaged[damaged.find("S3") + 20] ^= 1; // one data digit flipped
    std::string noEnd = quirel::test::SRecordFile(quirel::test::SmallImage());
    noEnd.resize(noEnd.rfind("S7"));
    const std::string unchanged = "\nThe device was not changed.";
    const struct {
        std::string text;
        std::string read = "", blocks = "",
                    lines = ""; // refused by any bootloader, by the one of blocks, of lines
    } cases[] = {
        {damaged, "The firmware file is damaged: bad record in line 2." + unchanged},
        {std::string(11, '\n') + "S", "No srecord hex file detected !"},
        {header + end, "The firmware file holds no data for the device." + unchanged},
        {header + SRecord('3', 0xFFFFFFF0, 4, {1}) + "\n" + end, "",
         "The firmware file holds no data for the device." + unchanged},
        {header + SRecord('1', 0x100, 2, {1, 2}) + "\n" + SRecord('2', 0x20, 3, {3}) + "\n" +
             SRecord('5', 2, 2, {}) + "\n" + SRecord('9', 0, 2, {}),
         "", "The firmware file holds S1 or S2 records; this bootloader takes S3 records only." + unchanged},
        {noEnd, "", "",
         "The firmware file has no end record (S7, S8 or S9), which bootloader 1.0 waits for." + unchanged},
        // Bootloader 1.0 builds each line in 64 bytes: a record of 30 bytes overruns it, 29 fit.
        {header + SRecord('3', 0, 4, Bytes(25, 1)) + "\n" + end, "", "",
         "The records of this firmware file are too long for bootloader 1.0 (at most 29 bytes each)." +
             unchanged},
        {header + SRecord('3', 0, 4, Bytes(24, 1)) + "\n" + end},
    };
    quirel::test::TempDir dir;
    for (const auto& c : cases) {
        ASSERT_TRUE(quirel::test::WriteTextFile(dir.File("fw.srec"), c.text));
        FirmwareFile file;
        EXPECT_EQ(ReadFirmwareFile(dir.File("fw.srec"), file), c.read) << c.text;
        if (c.read.empty()) {
            EXPECT_EQ(RefusalFor(file, false), c.blocks) << c.text;
            EXPECT_EQ(RefusalFor(file, true), c.lines) << c.text;
        }
    }
}

TEST(FirmwareUpdateRule, RevisionsUpTo2208AreOfferedWhileConnected) {
    for (const auto& [revision, enabled] :
         {std::pair{"2.2.0.8", true}, std::pair{"2.1.9.9", true}, std::pair{"", true},
          std::pair{"2.10", true}, std::pair{"2.2.0.9", false}, std::pair{"3.0", false},
          std::pair{"V2.14", false}}) {
        EXPECT_EQ(FirmwareUpdateEnabled(true, revision), enabled) << revision;
        EXPECT_FALSE(FirmwareUpdateEnabled(false, revision)) << revision;
    }
}
