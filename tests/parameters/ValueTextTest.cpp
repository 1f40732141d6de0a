#include "CatalogueFixture.h"

#include "base/BinaryArchive.h"
#include "base/StringTable.h"
#include "parameters/ParameterValue.h"
#include "parameters/ParameterValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

const char* kCatalogue =
    "[Rootfolder]\nNrOfParameters=12\nFolderName_en=R\nParameter1=1\nParameter2=2\nParameter3=3\n"
    "Parameter4=4\nParameter5=5\nParameter6=240\nParameter7=6\nParameter8=11\nParameter9=12\n"
    "Parameter10=13\nParameter11=7\nParameter12=9\n"
    "[1]\nParameterName_en=Float0\nDataType=8\nPrecision=0\n"
    "[2]\nParameterName_en=Float2\nDataType=8\nPrecision=2\n"
    "[3]\nParameterName_en=Float25\nDataType=8\nPrecision=25\n"
    "[4]\nParameterName_en=Signed16\nDataType=2\n"
    "[5]\nParameterName_en=Unsigned16\nDataType=5\n"
    "[6]\nParameterName_en=Switch\nDataType=6\nNrOfValues=2\nText_en1=Off\nText_en2=On\n"
    "[7]\nParameterName_en=Counter\nDataType=7\n"
    "[9]\nParameterName_en=Long\nDataType=4\n"
    "[11]\nParameterName_en=Clock\nDataType=11\n"
    "[12]\nParameterName_en=TimeOfDay\nDataType=12\n"
    "[13]\nParameterName_en=Uptime\nDataType=13\n"
    "[240]\nParameterName_en=IP address\nDataType=7\n";

class Values : public ::testing::Test {
protected:
    void SetUp() override { LoadCatalogue(catalogue, file, quirel::kLanguageEnglish); }
    std::string Text(uint32_t id, uint32_t raw) {
        return CParameterValue(id, static_cast<uint32_t>(catalogue.GetDataType(static_cast<int32_t>(id))),
                               raw)
            .GetText(catalogue);
    }
    CParameterValue Typed(uint32_t id) {
        return CParameterValue(id, static_cast<uint32_t>(catalogue.GetDataType(static_cast<int32_t>(id))), 0);
    }

    TempCatalogue file{kCatalogue};
    CParameterManager catalogue;
};

uint32_t FloatBits(float f) {
    PARAMVALUE v(8);
    v.SetFloat(f);
    return v.raw;
}

} // namespace

TEST_F(Values, FloatsByPrecisionWithDecimalComma) {
    EXPECT_EQ(Text(1, FloatBits(1.5f)), "2");
    EXPECT_EQ(Text(2, FloatBits(1.5f)), "1,50");
    EXPECT_EQ(Text(3, FloatBits(1.5f)), "1,50000000000000000000");
    auto v = Typed(2);
    EXPECT_TRUE(v.SetFromText(catalogue, "3,5"));
    EXPECT_FLOAT_EQ(v.GetValue().GetFloat(), 3.5f);
}

// Every writer of values takes a text only when it is a whole value of the parameter; what is refused
// names what is expected and leaves the value as it was.
TEST_F(Values, OnlyWholeValuesInTheTypesRangeAreTaken) {
    struct Case {
        uint32_t id;
        const char* text;
        int64_t stored;      // the value as a 64-bit integer (floats: times 1000), when taken
        const char* refusal; // part of the message, when refused
    };
    const Case cases[] = {
        {2, " 0,90 ", 900, nullptr},
        {2, "-1,5e3", -1500000, nullptr},
        {2, "0.90", 0, "a decimal comma is expected (0,90)"},
        {2, "3.5", 0, "a decimal comma is expected (3,5)"},
        {2, "1.000.000", 0, "a number is expected"},
        {2, "1e39", 0, "allowed are -3,40282e+38 to 3,40282e+38"},
        {2, "", 0, "a number is expected"},
        {4, "-32768", -32768, nullptr},
        {4, "40000", 0, "allowed are -32768 to 32767"},
        {5, "65535", 65535, nullptr},
        {5, "70000", 0, "allowed are 0 to 65535"},
        {5, "-5", 0, "allowed are 0 to 65535"},
        {5, "12x", 0, "a number is expected"},
        {7, "4294967295", 4294967295, nullptr},
        {7, "99999999999999999999", 0, "allowed are 0 to 4294967295"},
        {9, "-2147483649", 0, "allowed are -2147483648 to 2147483647"},
        {6, "ON", 1, nullptr},
        {6, "yes", 0, "one of the listed values is expected: Off, On"},
        {6, "", 0, "one of the listed values is expected"},
        {11, "2024-02-30 00:00:00", 0, "a date and time is expected as YYYY-MM-DD HH:MM:SS"},
        {12, "2024-01-01 10:00:00", 0, "a time of day is expected as HH:MM:SS"},
        {13, "25:00", 0, "a time of day is expected"},
        {240, "10.0.7", 0, "an IPv4 address is expected"},
    };
    for (const Case& c : cases) {
        auto v = Typed(c.id);
        const PARAMVALUE before = v.GetValue();
        const std::string error =
            v.TakeText(catalogue.GetDescription(static_cast<int32_t>(c.id)), c.text, ValueTextSource::Typed);
        if (c.refusal) {
            const std::string head = std::string("Invalid value \"") + c.text + "\": ";
            EXPECT_EQ(error.substr(0, head.size()), head);
            EXPECT_NE(error.find(c.refusal, head.size()), std::string::npos) << c.text << ": " << error;
            EXPECT_EQ(v.GetValue(), before) << c.text;
        } else {
            EXPECT_EQ(error, "") << c.text;
            const PARAMVALUE& cell = v.GetValue();
            const int64_t stored =
                cell.dataType == 8 ? static_cast<int64_t>(cell.GetFloat() * 1000.0f) : *cell.GetAsInt64();
            EXPECT_EQ(stored, c.stored) << c.text;
        }
    }
    quirel::setUiLanguage(quirel::kLanguageGerman);
    auto v = Typed(5);
    EXPECT_EQ(v.TakeText(catalogue.GetDescription(5), "70000", ValueTextSource::Typed),
              "Ung\xC3\xBCltiger Wert \"70000\": erlaubt sind 0 bis 65535");
    quirel::setUiLanguage(quirel::kLanguageEnglish);
}

TEST_F(Values, IntegerWidthsAndSigns) {
    EXPECT_EQ(Text(4, 0xFFFF), "-1");
    EXPECT_EQ(Text(5, 0xFFFF), "65535");
    const uint16_t regs[2] = {1, 2};
    EXPECT_EQ(PARAMVALUE::FromRegisters(4, regs).GetAsInt32(), 131073);
    EXPECT_EQ(Text(9, PARAMVALUE::FromRegisters(4, regs).raw), "131073");
    EXPECT_EQ(Text(7, 3000000000u), "3000000000"); // counters stay unsigned

    auto v = Typed(5);
    v.Value().raw = 0xABCD0000; // the upper half of a 16-bit cell keeps what it held
    EXPECT_TRUE(v.SetFromText(catalogue, "7000"));
    EXPECT_EQ(v.GetValue().raw, 0xABCD0000u | 7000u);
    auto c = Typed(7);
    EXPECT_TRUE(c.SetFromText(catalogue, "4000000000"));
    EXPECT_EQ(c.GetValue().raw, 4000000000u);

    uint16_t out[2] = {0, 0};
    EXPECT_EQ(PARAMVALUE(8, FloatBits(1.0f)).ToRegisters(out), 2);
    EXPECT_EQ(out[0], 0x0000); // low word first
    EXPECT_EQ(out[1], 0x3F80);
    EXPECT_EQ(PARAMVALUE(10).ToRegisters(out), 0);
}

TEST_F(Values, EnumerationsComeBeforeTypeRules) {
    EXPECT_EQ(Text(6, 1), "On");
    EXPECT_EQ(Text(6, 2), "-error-");
    auto v = Typed(6);
    EXPECT_TRUE(v.SetFromText(catalogue, "on"));
    EXPECT_EQ(v.GetValue().GetAsInt32(), 1);
    v.Value().raw = 0xFFFF; // -1 in a 16-bit unsigned cell
    EXPECT_EQ(v.GetText(catalogue), "-error-");
}

TEST_F(Values, AddressesShowAndParseAsDottedQuads) {
    EXPECT_EQ(Text(240, (10u << 24) | (1u << 16) | (2u << 8) | 3u), "10.1.2.3");
    auto v = Typed(240);
    EXPECT_TRUE(v.SetFromText(catalogue, "10.0.0.7"));
    EXPECT_EQ(v.GetValue().raw, (10u << 24) + 7u);
    for (const char* bad : {"10.0.7", "10.0.0.256", "a.b.c.d", "10.0.0.7.1", ""}) {
        EXPECT_FALSE(v.SetFromText(catalogue, bad)) << bad;
        EXPECT_EQ(v.GetValue().raw, (10u << 24) + 7u) << bad;
    }
}

TEST_F(Values, FileTextTakesTheNumberBeforeTheSemicolon) {
    auto f = Typed(2);
    EXPECT_TRUE(f.SetFromFileText(catalogue, "1;On"));
    EXPECT_FLOAT_EQ(f.GetValue().GetFloat(), 1.0f);
    EXPECT_TRUE(f.SetFromFileText(catalogue, "3,5"));
    EXPECT_FLOAT_EQ(f.GetValue().GetFloat(), 3.5f);
    auto e = Typed(6);
    EXPECT_TRUE(e.SetFromFileText(catalogue, "1;whatever"));
    EXPECT_EQ(e.GetValue().GetAsInt32(), 1);
    // Value texts are not consulted for file text, and the number must name one of them.
    for (const char* bad : {"On", "3.5;x", "2;x", "-1;x"})
        EXPECT_FALSE(e.SetFromFileText(catalogue, bad)) << bad;
    EXPECT_FALSE(f.SetFromFileText(catalogue, "3.5")); // never read as 3
    EXPECT_EQ(e.GetValue().GetAsInt32(), 1);
    EXPECT_FLOAT_EQ(f.GetValue().GetFloat(), 3.5f);
}

TEST_F(Values, DeviceClockIgnoresThePcTimeZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "NZST-12NZDT,M9.5.0,M4.1.0/3", "HST10"}) {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(Text(11, 86400), "1970-01-02 00:00:00") << zone;
        EXPECT_EQ(Text(11, 0), "1970-01-01 00:00:00") << zone;
        auto v = Typed(11);
        EXPECT_TRUE(v.SetFromText(catalogue, "1970-01-02 00:00:00"));
        EXPECT_EQ(v.GetValue().raw, 86400u) << zone;
        EXPECT_TRUE(v.SetFromText(catalogue, "2024-07-01 12:34:56")); // in summer time
        EXPECT_EQ(v.GetText(catalogue), "2024-07-01 12:34:56") << zone;
        EXPECT_EQ(Text(12, 3600), "01:00:00") << zone;
    }
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(Values, DatesAndTimesAreValidatedAndRoundTrip) {
    auto v = Typed(11);
    EXPECT_TRUE(v.SetFromText(catalogue, "29.02.2024 08:15"));
    EXPECT_EQ(v.GetText(catalogue), "2024-02-29 08:15:00");
    const uint32_t before = v.GetValue().raw;
    for (const char* bad : {"2023-02-29 00:00:00", "2024-13-01", "1969-12-31 23:59:59", "2106-12-31 00:00:00",
                            "2024-01-01 24:00:00", "yesterday", "2024-01-01 10:00:00 junk"}) {
        EXPECT_FALSE(v.SetFromText(catalogue, bad)) << bad;
        EXPECT_EQ(v.GetValue().raw, before) << bad;
    }
    EXPECT_EQ(Text(11, 0xFFFFFFFF), "2106-02-07 06:28:15");

    auto t = Typed(12);
    EXPECT_TRUE(t.SetFromText(catalogue, "23:59:58"));
    EXPECT_EQ(t.GetValue().raw, 86398u);
    EXPECT_EQ(t.GetText(catalogue), "23:59:58");
    EXPECT_FALSE(t.SetFromText(catalogue, "25:00"));
    EXPECT_EQ(t.GetValue().raw, 86398u);

    auto u = Typed(13);
    EXPECT_EQ(Text(13, static_cast<uint32_t>(-60)), "23:59:00");
    EXPECT_TRUE(u.SetFromText(catalogue, "120")); // a plain number counts seconds
    EXPECT_EQ(u.GetValue().raw, 120u);
    EXPECT_TRUE(u.SetFromText(catalogue, u.GetText(catalogue))); // the shown form reads back
    EXPECT_EQ(u.GetValue().raw, 120u);
}

TEST(TextValues, RegistersCarryTwoCharactersHighByteFirst) {
    uint16_t regs[10];
    TextValueTable::EncodeRegisters("ABCD", regs);
    EXPECT_EQ(regs[0], 0x4142);
    EXPECT_EQ(regs[1], 0x4344);
    for (int i = 2; i < 10; ++i)
        EXPECT_EQ(regs[i], 0);
    EXPECT_EQ(TextValueTable::DecodeRegisters(regs), "ABCD");
    TextValueTable::EncodeRegisters("ABCDEFGHIJKLMNOPQRSTUVWXYZ", regs); // only twenty fit
    EXPECT_EQ(TextValueTable::DecodeRegisters(regs), "ABCDEFGHIJKLMNOPQRST");
    const uint16_t odd[10] = {0x4100, 0x4242};
    EXPECT_EQ(TextValueTable::DecodeRegisters(odd), "A");
    const uint16_t umlaut[10] = {0xE400};
    EXPECT_EQ(TextValueTable::DecodeRegisters(umlaut), "\xC3\xA4");

    TextValueTable::Set(999, "last");
    TextValueTable::Set(1000, "outside");
    TextValueTable::Set(-1, "outside");
    EXPECT_EQ(TextValueTable::Get(999), "last");
    EXPECT_EQ(TextValueTable::Get(1000), "");
    EXPECT_EQ(TextValueTable::Get(-5), "");
}

TEST(ValueCells, ConversionsFollowTheCode) {
    PARAMVALUE f(8);
    f.SetFromDouble(-2.75);
    EXPECT_EQ(f.GetAsInt32(), -2); // toward zero
    PARAMVALUE u(7);
    u.SetFromDouble(4294967296.0 + 5.0); // low 32 bits of the 64-bit integer
    EXPECT_EQ(u.raw, 5u);
    u.SetFromDouble(1e300); // saturates instead of undefined behaviour
    EXPECT_EQ(u.raw, 0xFFFFFFFFu);
    u.SetFromDouble(std::nan(""));
    EXPECT_EQ(u.raw, 0u);
    PARAMVALUE s(2);
    s.SetFromInt64(0x12345);
    EXPECT_EQ(s.GetAsInt64(), 0x2345);
    PARAMVALUE none(10);
    EXPECT_FALSE(none.GetAsInt32().has_value());
    none.SetFromInt32(5);
    EXPECT_EQ(none.raw, 0u);
    EXPECT_EQ(PARAMVALUE().dataType, 8u);
}

TEST(ValueCells, SerialisedBytesAreExact) {
    quirel::ArchiveWriter w;
    CParameterValue(0x01020304, 8, 0x3F800000).Serialize(w);
    EXPECT_EQ(w.bytes(), std::string("\x04\x03\x02\x01\x08\x00\x00\x00\x00\x00\x80\x3F", 12));

    CParameterValues series(100);
    series.Add(PARAMVALUE(5, 7));
    series.Add(PARAMVALUE(5, 8));
    quirel::ArchiveWriter ws;
    series.Serialize(ws);
    EXPECT_EQ(ws.bytes(), std::string("\x02\x00"
                                      "\x05\x00\x00\x00\x07\x00\x00\x00"
                                      "\x05\x00\x00\x00\x08\x00\x00\x00"
                                      "\x64\x00\x00\x00",
                                      22));
    CParameterValues back;
    quirel::ArchiveReader r(ws.bytes());
    back.Deserialize(r);
    EXPECT_EQ(back.GetId(), 100);
    EXPECT_EQ(back.GetValues(), series.GetValues());
    EXPECT_THROW(back.GetAt(2), std::invalid_argument);

    // A count that promises more than the file holds is refused and changes nothing.
    const std::string truncated = ws.bytes().substr(0, 12);
    quirel::ArchiveReader rt(truncated);
    EXPECT_THROW(back.Deserialize(rt), quirel::ArchiveError);
    EXPECT_EQ(back.GetSize(), 2u);
}
