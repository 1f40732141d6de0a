#include "base/BinaryArchive.h"
#include "base/DecimalNumber.h"
#include "base/StringTable.h"
#include "base/TextEncoding.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace quirel;

// Numbers as the runtime of the German locale formats and reads them, whatever the process locale is.
TEST(DecimalNumber, FormatsAndParsesWithTheDecimalCommaInAnyLocale) {
    // de_DE.UTF-8 (from scripts/install-deps) has the comma as its decimal separator, "C" the point.
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    for (const char* locale : {"de_DE.UTF-8", "C"}) {
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr)
            << "locale " << locale << " missing (scripts/install-deps)";
        EXPECT_EQ(formatDecimalComma(1.5, 0), "2") << locale;
        EXPECT_EQ(formatDecimalComma(2.5, 0), "2") << locale; // round half to even, as printf does
        EXPECT_EQ(formatDecimalComma(-0.125, 2), "-0,12") << locale;
        EXPECT_EQ(formatDecimalComma(1234567.0, 1), "1234567,0") << locale;         // no thousands separator
        EXPECT_EQ(formatDecimalComma(1.5, 25), "1,50000000000000000000") << locale; // at most 20 places
        const std::pair<const char*, double> parses[] = {
            {"3,5", 3.5},           {"3.5", 3.0}, // a point ends the number
            {"  -12,25 V", -12.25}, {"1,5e3", 1500.0}, {"2e", 2.0}, {",5", 0.5},
            {"abc", 0.0},           {"", 0.0},         {"-", 0.0}};
        for (const auto& [text, value] : parses)
            EXPECT_DOUBLE_EQ(parseDecimalComma(text), value) << locale << " " << text;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(DecimalNumber, IntegersLikeAtolOn32Bits) {
    const std::pair<const char*, long> longs[] = {{"  +42x", 42},
                                                  {"-17", -17},
                                                  {"x1", 0},
                                                  {"99999999999999999999999", 2147483647},
                                                  {"-99999999999", -2147483648L}};
    for (const auto& [text, value] : longs)
        EXPECT_EQ(parseLong(text), value) << text;
    for (const char* text : {"4294967295", "5000000000", "-1"})
        EXPECT_EQ(parseULong(text), 4294967295u) << text;
}

TEST(TextEncoding, Windows1252RoundTripsAndMalformedUtf8IsNoUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::string utf8 = cp1252ToUtf8(all);
    EXPECT_TRUE(isValidUtf8(utf8));
    bool lossless = false;
    EXPECT_EQ(utf8ToCp1252(utf8, &lossless), all);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(utf8ToCp1252("\xE2\x88\x9E", &lossless), "?"); // infinity has no 8-bit form
    EXPECT_FALSE(lossless);

    EXPECT_TRUE(isValidUtf8("plain \xC3\xA4"));
    // Truncated, overlong, a surrogate, "ÄÖ" and "Größe" in Windows-1252.
    for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xC4\xD6",
                            "Gr\xF6\xDF"
                            "e"})
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
    EXPECT_EQ(decodeText("Gr\xF6\xDF"
                         "e"),
              "Gr\xC3\xB6\xC3\x9F"
              "e");
}

// A user's text that holds a placeholder is put in as typed, not filled in turn.
TEST(StringTable, FillsThePlaceholdersInOnePass) {
    EXPECT_EQ(fillString(1603, {"%2x", "125"}), "Invalid count \"%2x\": allowed are 1 to 125");
    EXPECT_EQ(fillString(1604, {"3"}), "3 registers from address %2 run past the last address, 65535.");
}

TEST(BinaryArchive, CountFieldWidensAt0xFFFF) {
    ArchiveWriter w;
    for (uint32_t count : {0xFFFEu, 0xFFFFu, 70000u})
        w.writeCount(count);
    EXPECT_EQ(w.bytes(), std::string("\xFE\xFF\xFF\xFF\xFF\xFF\x00\x00\xFF\xFF\x70\x11\x01\x00", 14));
    ArchiveReader r(w.bytes());
    EXPECT_EQ((std::vector<uint32_t>{r.readCount(), r.readCount(), r.readCount()}),
              (std::vector<uint32_t>{0xFFFE, 0xFFFF, 70000}));
    EXPECT_TRUE(r.atEnd());
    EXPECT_THROW(r.readU8(), ArchiveError);
}
