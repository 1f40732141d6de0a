#include "base/BinaryArchive.h"
#include "base/DecimalNumber.h"
#include "base/StringTable.h"
#include "base/TextEncoding.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace quirel;

TEST(DecimalNumber, FormatsWithCommaAndPrintfRounding) {
    EXPECT_EQ(formatDecimalComma(1.5, 0), "2");
    EXPECT_EQ(formatDecimalComma(2.5, 0), "2"); // round half to even, as printf does
    EXPECT_EQ(formatDecimalComma(1.5, 2), "1,50");
    EXPECT_EQ(formatDecimalComma(-0.125, 2), "-0,12");
    EXPECT_EQ(formatDecimalComma(1.5, 25), "1,50000000000000000000"); // at most 20 places
    EXPECT_EQ(formatDecimalComma(1234567.0, 1), "1234567,0");         // no thousands separator
}

TEST(DecimalNumber, IgnoresTheProcessLocale) {
    // Qt sets the environment's locale; numbers must not follow it. Only a locale whose decimal separator
    // is the comma (and whose thousands separator is the point) shows a dependence: scripts/install-deps
    // generates de_DE.UTF-8 for this, and without it the test cannot tell, so it fails.
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "locale de_DE.UTF-8 missing (scripts/install-deps)";
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
    EXPECT_EQ(formatDecimalComma(1234.25, 2), "1234,25");
    EXPECT_DOUBLE_EQ(parseDecimalComma("3,25"), 3.25);
    EXPECT_DOUBLE_EQ(parseDecimalComma("3.25"), 3.0);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(formatDecimalComma(1234.25, 2), "1234,25");
    EXPECT_DOUBLE_EQ(parseDecimalComma("3,25"), 3.25);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(DecimalNumber, ParsesLikeAtofWithDecimalComma) {
    EXPECT_DOUBLE_EQ(parseDecimalComma("3,5"), 3.5);
    EXPECT_DOUBLE_EQ(parseDecimalComma("3.5"), 3.0); // a point ends the number
    EXPECT_DOUBLE_EQ(parseDecimalComma("  -12,25 V"), -12.25);
    EXPECT_DOUBLE_EQ(parseDecimalComma("1,5e3"), 1500.0);
    EXPECT_DOUBLE_EQ(parseDecimalComma("2e"), 2.0);
    EXPECT_DOUBLE_EQ(parseDecimalComma(",5"), 0.5);
    EXPECT_DOUBLE_EQ(parseDecimalComma("abc"), 0.0);
    EXPECT_DOUBLE_EQ(parseDecimalComma(""), 0.0);
    EXPECT_DOUBLE_EQ(parseDecimalComma("-"), 0.0);
}

TEST(DecimalNumber, IntegersLikeAtolOn32Bits) {
    EXPECT_EQ(parseLong("  +42x"), 42);
    EXPECT_EQ(parseLong("-17"), -17);
    EXPECT_EQ(parseLong("x1"), 0);
    EXPECT_EQ(parseLong("99999999999999999999999"), 2147483647);
    EXPECT_EQ(parseLong("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(parseULong("4294967295"), 4294967295u);
    EXPECT_EQ(parseULong("5000000000"), 4294967295u);
    EXPECT_EQ(parseULong("-1"), 4294967295u);
}

TEST(TextEncoding, RoundTripsWindows1252) {
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
}

TEST(TextEncoding, RejectsMalformedUtf8) {
    EXPECT_TRUE(isValidUtf8("plain \xC3\xA4"));
    EXPECT_FALSE(isValidUtf8("\xC3"));         // truncated
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));     // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80")); // surrogate
    EXPECT_FALSE(isValidUtf8("\xC4\xD6"));     // "ÄÖ" in Windows-1252: a lead byte without continuation
    EXPECT_FALSE(isValidUtf8("Gr\xF6\xDF"
                             "e")); // Windows-1252
    EXPECT_EQ(decodeText("Gr\xF6\xDF"
                         "e"),
              "Gr\xC3\xB6\xC3\x9F"
              "e");
}

TEST(StringTable, ChoosesByLanguage) {
    EXPECT_EQ(loadString(155, kLanguageEnglish), "Parameter not found: ");
    EXPECT_EQ(loadString(155, kLanguageGerman), "Parameter nicht gefunden: ");
    EXPECT_EQ(loadString(142, kLanguageGerman), "Kein Schreibzugriff f\xC3\xBCr aktuellen Parameter.");
    EXPECT_EQ(loadString(99999, kLanguageEnglish), "");
}

TEST(BinaryArchive, CountFieldWidensAt0xFFFF) {
    ArchiveWriter w;
    w.writeCount(0xFFFE);
    w.writeCount(0xFFFF);
    w.writeCount(70000);
    EXPECT_EQ(w.bytes(), std::string("\xFE\xFF\xFF\xFF\xFF\xFF\x00\x00\xFF\xFF\x70\x11\x01\x00", 14));
    ArchiveReader r(w.bytes());
    EXPECT_EQ(r.readCount(), 0xFFFEu);
    EXPECT_EQ(r.readCount(), 0xFFFFu);
    EXPECT_EQ(r.readCount(), 70000u);
    EXPECT_TRUE(r.atEnd());
    EXPECT_THROW(r.readU8(), ArchiveError);
}
