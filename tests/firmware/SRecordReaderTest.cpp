#include "firmware/SRecordReader.h"
#include "FirmwareTestSupport.h"
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

bool Erased(const Bytes& image) {
    return std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0xFF; });
}

std::string Lines(int n, const std::string& line) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += line;
    return text;
}

} // namespace

TEST(SRecordReader, RecognisesS1AndS2WithoutPlacingThem) {
    Bytes image;
    const auto r = Read(SRecord('0', 0, 2, {'h'}) + "\n" + SRecord('1', 0x10, 2, {1, 2}) + "\n" +
                            SRecord('2', 0x20, 3, {3}) + "\n" + SRecord('5', 2, 2, {}) + "\n" +
                            SRecord('9', 0, 2, {}) + "\n",
                        image);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.headerSeen);
    EXPECT_EQ(r.s1Records, 1);
    EXPECT_EQ(r.s2Records, 1);
    EXPECT_EQ(r.s3Records, 0);
    EXPECT_TRUE(Erased(image));
}

TEST(SRecordReader, TenForeignLinesAreToleratedEleventhRejects) {
    const std::string record = SRecord('3', 0, 4, {0xAB}) + "\n";
    for (const auto& [foreign, status] :
         {std::pair{10, SRecordReport::Status::Ok}, std::pair{11, SRecordReport::Status::NotSRecord}}) {
        Bytes image;
        // Blank lines and "\r" lines of a CRLF file count alike, spread over the whole file.
        const auto r = Read(Lines(foreign / 2, "\n") + record + Lines(foreign - foreign / 2, "\r\n"), image);
        EXPECT_EQ(r.status, status) << foreign;
    }
}

TEST(SRecordReader, PlacesS3DataAndDropsWhatLiesBeyondTheFlash) {
    Bytes data(16);
    for (int i = 0; i < 16; ++i)
        data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0x10 + i);
    Bytes image;
    const auto r = Read(SRecord('3', 0x1FFFF8, 4, data) + "\r\n", image);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.largestCount, 21);
    EXPECT_EQ(Bytes(image.end() - 8, image.end()), Bytes(data.begin(), data.begin() + 8));
    EXPECT_EQ(image.size(), kFlashImageSize);
    EXPECT_EQ(image[0x1FFFF7], 0xFF);
}

TEST(SRecordReader, TheLaterRecordWinsAndTheBaseIsSubtracted) {
    Bytes image;
    const std::string text = SRecord('3', 0x1000, 4, {1, 2, 3}) + "\n" + SRecord('3', 0x1001, 4, {9}) + "\n" +
                             SRecord('3', 0x0FFF, 4, {7}) + "\n";
    ASSERT_TRUE(Read(text, image).ok());
    EXPECT_EQ(Bytes(image.begin() + 0x0FFF, image.begin() + 0x1003), (Bytes{7, 1, 9, 3}));
    // With base 0x1000 the record below it is skipped.
    ASSERT_TRUE(Read(text, image, 0x1000).ok());
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 4), (Bytes{1, 9, 3, 0xFF}));
    EXPECT_EQ(image.back(), 0xFF);
}

TEST(SRecordReader, ADamagedRecordRejectsTheFile) {
    const std::string good = SRecord('3', 0, 4, {1, 2}) + "\n";
    std::string badSum = SRecord('3', 0x80, 4, {1, 2});
    badSum[badSum.size() - 2] = 'F'; // 0x75 with its top bit flipped
    std::string lower = SRecord('3', 0x80, 4, {0xAB});
    for (char& c : lower)
        c = static_cast<char>(std::tolower(c));
    lower[0] = 'S';
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

TEST(FirmwareUpdateRule, RevisionsUpTo2208AreOfferedWhileConnected) {
    for (const auto& [revision, enabled] :
         {std::pair{"2.2.0.8", true}, std::pair{"2.1.9.9", true}, std::pair{"", true},
          std::pair{"2.10", true}, std::pair{"2.2.0.9", false}, std::pair{"3.0", false},
          std::pair{"V2.14", false}}) {
        EXPECT_EQ(FirmwareUpdateEnabled(true, revision), enabled) << revision;
        EXPECT_FALSE(FirmwareUpdateEnabled(false, revision)) << revision;
    }
}
