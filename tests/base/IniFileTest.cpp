#include "base/IniFile.h"
#include "base/FileUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

using quirel::IniFile;

namespace {

IniFile parsed(std::string_view text) {
    IniFile ini;
    ini.parse(text);
    return ini;
}

std::string tempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string(name) + std::to_string(::getpid())))
        .string();
}

} // namespace

TEST(IniFile, NamesMatchWithoutCaseAndFirstMatchWins) {
    auto ini = parsed("[Sec]\r\nKey=one\r\nkey=two\r\n[SEC]\r\nKey=three\r\nOther=x\r\n");
    EXPECT_EQ(ini.getString("sec", "KEY", "d"), "one");
    // A key only in the second section of the same name is not seen: the first section wins.
    EXPECT_EQ(ini.getString("Sec", "Other", "d"), "d");
    EXPECT_EQ(ini.getString("Missing", "Key", "def"), "def");
    // A section looked up once reads the same.
    EXPECT_EQ(ini.getString(ini.section("SEC"), "KEY", "d"), "one");
    EXPECT_EQ(ini.getInt(ini.section("Missing"), "Key", 7), 7);
    EXPECT_EQ(ini.getString(ini.section("Missing"), "Key", "def"), "def");
    // Umlauts fold too: "[ÄNDERUNG]" is found as "änderung".
    auto umlauts = parsed("[\xC3\x84NDERUNG]\nSCHL\xC3\x9CSSEL=1\n");
    EXPECT_EQ(umlauts.getString("\xC3\xA4nderung", "schl\xC3\xBCssel", ""), "1");
    EXPECT_FALSE(quirel::equalsNoCase("\xC3\x97", "\xC3\xB7")); // × is not ÷
}

TEST(IniFile, ValuesAreTrimmedUnquotedAndCut) {
    std::string longValue(1500, 'x');
    auto ini = parsed("[S]\n  A  =  spaced value  \nB=\"quoted \"\nC=\nD=" + longValue + "\n;E=comment\n");
    EXPECT_EQ(ini.getString("S", "A", ""), "spaced value");
    EXPECT_EQ(ini.getString("S", "B", ""), "quoted ");
    EXPECT_EQ(ini.getString("S", "C", "default"), ""); // present but empty stays empty
    EXPECT_EQ(ini.getString("S", "D", "").size(), IniFile::kMaxValueLength);
    EXPECT_EQ(ini.getString("S", "E", "none"), "none");
}

TEST(IniFile, IntegersReadLeadingDigits) {
    auto ini = parsed("[S]\nA=42abc\nB=abc\nC= -7\nD=\nE=99999999999\n");
    EXPECT_EQ(ini.getInt("S", "A", 5), 42);
    EXPECT_EQ(ini.getInt("S", "B", 5), 0);
    EXPECT_EQ(ini.getInt("S", "C", 5), -7);
    EXPECT_EQ(ini.getInt("S", "D", 5), 0);
    EXPECT_EQ(ini.getInt("S", "E", 5), 2147483647);
    EXPECT_EQ(ini.getInt("S", "Missing", 5), 5);
}

TEST(IniFile, Windows1252AndUtf8AreBothReadAsUtf8) {
    auto cp = parsed("[S]\r\nName=Netzstr\xF6me \x80\r\n");
    EXPECT_EQ(cp.sourceEncoding(), IniFile::Encoding::Windows1252);
    EXPECT_EQ(cp.getString("S", "Name", ""), "Netzstr\xC3\xB6me \xE2\x82\xAC");
    auto utf = parsed("[S]\nName=Netzstr\xC3\xB6me\n");
    EXPECT_EQ(utf.sourceEncoding(), IniFile::Encoding::Utf8);
    EXPECT_EQ(utf.getString("S", "Name", ""), "Netzstr\xC3\xB6me");
}

TEST(IniFile, WritingUpdatesInPlaceAppendsAndKeepsOtherLines) {
    auto ini = parsed("; header comment\r\n[A]\r\nX=1\r\nY=2\r\n\r\n[B]\r\nZ=3\r\n");
    ini.setString("a", "x", "10");       // in place, keeping the key's spelling
    ini.setString("A", "New", "n");      // appended to its section, before the blank line
    ini.setString("C", "K", "\xC3\xA4"); // new section at the end
    EXPECT_EQ(ini.serialize(IniFile::Encoding::Windows1252),
              "; header comment\r\n[A]\r\nX=10\r\nY=2\r\nNew=n\r\n\r\n[B]\r\nZ=3\r\n\r\n[C]\r\nK=\xE4\r\n");
    EXPECT_EQ(ini.getString("C", "K", ""), "\xC3\xA4");
    EXPECT_EQ(ini.getString("B", "Z", ""), "3");
}

TEST(IniFile, LargeSectionsFindEveryKeyAndTheFirstOfDuplicates) {
    std::string text = "[Commissioning]\r\n";
    for (int i = 5000; i >= 0; i -= 2) // gaps, and not in numeric order
        text += "Param" + std::to_string(i) + "=" + std::to_string(i) + "=v" + std::to_string(i) + "\r\n";
    text += "PARAM10=late\r\nparam4998=also late\r\n";
    auto ini = parsed(text);
    for (int i = 0; i <= 5000; ++i) {
        const std::string want = i % 2 ? "-" : std::to_string(i) + "=v" + std::to_string(i);
        ASSERT_EQ(ini.getString("commissioning", "Param" + std::to_string(i), "-"), want) << i;
    }
    ini.setString("Commissioning", "param4998", "new"); // updates the first of the two lines
    EXPECT_EQ(ini.getString("Commissioning", "Param4998", ""), "new");
    EXPECT_NE(ini.serialize(IniFile::Encoding::Utf8).find("param4998=also late\r\n"), std::string::npos);
}

TEST(IniFile, WrittenLineBreaksCannotStartLinesOfTheirOwn) {
    auto ini = parsed("[DeviceData]\nParam0=30=A\n[Commissioning]\nParam0=300=0;loadside\n");
    ini.setString("DeviceData", "Param0", "30=x\r\n[Commissioning]\nParam0=300=2");
    ini.setString("New\nSection", "K\ney", "v");
    EXPECT_EQ(
        ini.serialize(IniFile::Encoding::Utf8),
        "[DeviceData]\nParam0=30=x  [Commissioning] Param0=300=2\n[Commissioning]\nParam0=300=0;loadside\n"
        "\n[New Section]\nK ey=v\n");
    EXPECT_EQ(ini.getString("Commissioning", "Param0", ""), "300=0;loadside");
}

TEST(IniFile, SaveReplacesTheFileWhole) {
    const std::string path = tempPath("quirel-ini-");
    auto ini = parsed("[S]\nK=v\n");
    ini.setString("S", "K", "w");
    ASSERT_TRUE(ini.save(path, IniFile::Encoding::Utf8));
    IniFile back;
    ASSERT_TRUE(back.load(path));
    EXPECT_EQ(back.getString("S", "K", ""), "w");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp~"));
    std::filesystem::remove(path);
    EXPECT_FALSE(back.load(path)); // a missing file reads as empty
    EXPECT_EQ(back.getString("S", "K", "gone"), "gone");
}
