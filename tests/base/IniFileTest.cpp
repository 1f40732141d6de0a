#include "base/IniFile.h"
#include "TempFolder.h"
#include "base/FileUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using quirel::IniFile;

namespace {

IniFile parsed(std::string_view text) {
    IniFile ini;
    ini.parse(text);
    return ini;
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
    EXPECT_EQ(ini.getString(ini.section("Missing"), "Key", "def"), "def");
    // Umlauts fold too: "[ÄNDERUNG]" is found as "änderung".
    auto umlauts = parsed("[\xC3\x84NDERUNG]\nSCHL\xC3\x9CSSEL=1\n");
    EXPECT_EQ(umlauts.getString("\xC3\xA4nderung", "schl\xC3\xBCssel", ""), "1");
    EXPECT_FALSE(quirel::equalsNoCase("\xC3\x97", "\xC3\xB7")); // × is not ÷
}

TEST(IniFile, ValuesAreTrimmedUnquotedCutAndReadAsIntegers) {
    auto ini = parsed("[S]\n  A  =  spaced value  \nB=\"quoted \"\nC=\nD=" + std::string(1500, 'x') +
                      "\n;E=comment\nF=42abc\nG=abc\nH= -7\nI=99999999999\n");
    // Present but empty stays empty; a comment is no key.
    for (const auto& [key, value] : {std::pair{"A", "spaced value"}, {"B", "quoted "}, {"C", ""}, {"E", "-"}})
        EXPECT_EQ(ini.getString("S", key, "-"), value) << key;
    EXPECT_EQ(ini.getString("S", "D", "").size(), IniFile::kMaxValueLength);
    // Integers read their leading digits, as far as 32 bits go.
    for (const auto& [key, value] :
         {std::pair{"F", 42}, {"G", 0}, {"H", -7}, {"C", 0}, {"I", 2147483647}, {"J", 5}})
        EXPECT_EQ(ini.getInt("S", key, 5), value) << key;
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
    const TempFolder folder;
    ASSERT_TRUE(ini.save(folder.File("s.ini"), IniFile::Encoding::Windows1252));
    EXPECT_EQ(quirel::readWholeFile(folder.File("s.ini"), 1 << 20),
              "; header comment\r\n[A]\r\nX=10\r\nY=2\r\nNew=n\r\n\r\n[B]\r\nZ=3\r\n\r\n[C]\r\nK=\xE4\r\n");
    IniFile back;
    ASSERT_TRUE(back.load(folder.File("s.ini")));
    EXPECT_EQ(back.getString("C", "K", ""), "\xC3\xA4");
    EXPECT_FALSE(back.load(folder.File("missing.ini"))); // a missing file reads as empty
    EXPECT_EQ(back.getString("C", "K", "gone"), "gone");
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
