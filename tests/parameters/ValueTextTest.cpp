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

const char* kTypesCatalogue =
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
    CParameterValue Typed(uint32_t id, uint32_t raw = 0) {
        return CParameterValue(id, static_cast<uint32_t>(catalogue.GetDataType(static_cast<int32_t>(id))),
                               raw);
    }
    std::string Text(uint32_t id, uint32_t raw) { return Typed(id, raw).GetText(catalogue); }

    const LoadedCatalogue catalogue{kTypesCatalogue, quirel::kLanguageEnglish};
};

} // namespace

// What the lists and the overview show for a value of each type.
TEST_F(Values, EachTypeShowsItsTextForm) {
    const uint16_t regs[2] = {1, 2}; // 32-bit values: the low-order half in the lower register
    const struct {
        uint32_t id, raw;
        const char* text;
    } cases[] = {
        {1, 0x3FC00000, "2"}, // 1.5f, by precision, with the decimal comma
        {2, 0x3FC00000, "1,50"},
        {3, 0x3FC00000, "1,50000000000000000000"},
        {4, 0xFFFF, "-1"},
        {5, 0xFFFF, "65535"},
        {9, PARAMVALUE::FromRegisters(4, regs).raw, "131073"},
        {7, 3000000000u, "3000000000"}, // counters stay unsigned
        {6, 1, "On"},                   // value texts come before the type's rules
        {6, 2, "-error-"},
        {6, 0xFFFF, "-error-"},
        {240, 0x0A010203, "10.1.2.3"},
        {11, 0xFFFFFFFF, "2106-02-07 06:28:15"},
        {13, static_cast<uint32_t>(-60), "23:59:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text(c.id, c.raw), c.text) << c.id;
}

// Every writer of values takes a text only when it is a whole value of the parameter; what is refused
// names what is expected and leaves the value as it was. What is taken shows as the form given.
TEST_F(Values, OnlyWholeValuesInTheTypesRangeAreTaken) {
    struct Case {
        uint32_t id;
        const char* text;
        int64_t stored;      // the value as a 64-bit integer (floats: times 1000), when taken
        const char* refusal; // part of the message, when refused
        const char* shown = nullptr;
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
        {6, "ON", 1, nullptr, "On"},
        {6, "yes", 0, "one of the listed values is expected: Off, On"},
        {6, "", 0, "one of the listed values is expected"},
        {240, "10.0.0.7", (10 << 24) + 7, nullptr, "10.0.0.7"},
        {240, "10.0.7", 0, "an IPv4 address is expected"},
        {240, "10.0.0.256", 0, "an IPv4 address is expected"},
        {240, "a.b.c.d", 0, "an IPv4 address is expected"},
        {240, "10.0.0.7.1", 0, "an IPv4 address is expected"},
        {11, "29.02.2024 08:15", 1709194500, nullptr, "2024-02-29 08:15:00"},
        {11, "2024-02-30 00:00:00", 0, "a date and time is expected as YYYY-MM-DD HH:MM:SS"},
        {11, "2023-02-29 00:00:00", 0, "a date and time is expected"},
        {11, "2024-13-01", 0, "a date and time is expected"},
        {11, "1969-12-31 23:59:59", 0, "a date and time is expected"},
        {11, "2106-12-31 00:00:00", 0, "a date and time is expected"},
        {11, "2024-01-01 24:00:00", 0, "a date and time is expected"},
        {11, "2024-01-01 10:00:00 junk", 0, "a date and time is expected"},
        {12, "23:59:58", 86398, nullptr, "23:59:58"},
        {12, "2024-01-01 10:00:00", 0, "a time of day is expected as HH:MM:SS"},
        {13, "25:00", 0, "a time of day is expected"},
        {13, "120", 120, nullptr, "00:02:00"}, // a plain number counts seconds
        {13, "00:02:00", 120, nullptr},
    };
    for (const Case& c : cases) {
        auto v = Typed(c.id, 0xABCD0055);
        const std::string error =
            v.TakeText(catalogue.GetDescription(static_cast<int32_t>(c.id)), c.text, ValueTextSource::Typed);
        if (c.refusal) {
            const std::string head = std::string("Invalid value \"") + c.text + "\": ";
            EXPECT_EQ(error.substr(0, head.size()), head);
            EXPECT_NE(error.find(c.refusal, head.size()), std::string::npos) << c.text << ": " << error;
            EXPECT_EQ(v.GetValue().raw, 0xABCD0055u) << c.text;
            continue;
        }
        EXPECT_EQ(error, "") << c.text;
        const PARAMVALUE& cell = v.GetValue();
        EXPECT_EQ(cell.dataType == 8 ? static_cast<int64_t>(cell.GetFloat() * 1000.0f) : *cell.GetAsInt64(),
                  c.stored)
            << c.text;
        EXPECT_TRUE(!c.shown || v.GetText(catalogue) == c.shown) << c.text << ": " << v.GetText(catalogue);
        // The upper half of a 16-bit cell keeps what it held.
        EXPECT_TRUE(PARAMVALUE::RegisterCount(cell.dataType) != 1 || cell.raw >> 16 == 0xABCDu) << c.text;
    }
    quirel::setUiLanguage(quirel::kLanguageGerman);
    auto v = Typed(5);
    EXPECT_EQ(v.TakeText(catalogue.GetDescription(5), "70000", ValueTextSource::Typed),
              "Ung\xC3\xBCltiger Wert \"70000\": erlaubt sind 0 bis 65535");
    quirel::setUiLanguage(quirel::kLanguageEnglish);
}

TEST_F(Values, FileTextTakesTheNumberBeforeTheSemicolon) {
    auto f = Typed(2);
    EXPECT_TRUE(f.SetFromFileText(catalogue, "1;On"));
    EXPECT_FLOAT_EQ(f.GetValue().GetFloat(), 1.0f);
    EXPECT_TRUE(f.SetFromFileText(catalogue, "3,5"));
    EXPECT_FALSE(f.SetFromFileText(catalogue, "3.5")); // never read as 3
    EXPECT_FLOAT_EQ(f.GetValue().GetFloat(), 3.5f);
    auto e = Typed(6);
    EXPECT_TRUE(e.SetFromFileText(catalogue, "1;whatever"));
    // Value texts are not consulted for file text, and the number must name one of them.
    for (const char* bad : {"On", "3.5;x", "2;x", "-1;x"})
        EXPECT_FALSE(e.SetFromFileText(catalogue, bad)) << bad;
    EXPECT_EQ(e.GetValue().GetAsInt32(), 1);
}

TEST_F(Values, DeviceClockIgnoresThePcTimeZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "NZST-12NZDT,M9.5.0,M4.1.0/3", "HST10"}) {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(Text(11, 86400), "1970-01-02 00:00:00") << zone;
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

TEST(TextValues, RegistersCarryTwoCharactersHighByteFirst) {
    uint16_t regs[10];
    TextValueTable::EncodeRegisters("ABCD", regs);
    EXPECT_EQ(std::vector<uint16_t>(regs, regs + 10),
              (std::vector<uint16_t>{0x4142, 0x4344, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(TextValueTable::DecodeRegisters(regs), "ABCD");
    TextValueTable::EncodeRegisters("ABCDEFGHIJKLMNOPQRSTUVWXYZ", regs); // only twenty fit
    EXPECT_EQ(TextValueTable::DecodeRegisters(regs), "ABCDEFGHIJKLMNOPQRST");
    const uint16_t odd[10] = {0x4100, 0x4242}, umlaut[10] = {0xE400};
    EXPECT_EQ(TextValueTable::DecodeRegisters(odd), "A");
    EXPECT_EQ(TextValueTable::DecodeRegisters(umlaut), "\xC3\xA4");
    TextValueTable::Set(999, "last");
    TextValueTable::Set(1000, "outside");
    TextValueTable::Set(-1, "outside");
    EXPECT_EQ(TextValueTable::Get(999), "last");
    EXPECT_EQ(TextValueTable::Get(1000), "");
    EXPECT_EQ(TextValueTable::Get(-5), "");
}

TEST(ValueCells, RegistersAndConversionsThatSaturateInsteadOfOverflowing) {
    uint16_t out[2] = {0, 0};
    EXPECT_EQ(PARAMVALUE(8, 0x3F800000).ToRegisters(out), 2); // 1.0f
    EXPECT_EQ(out[0], 0x0000);                                // low word first
    EXPECT_EQ(out[1], 0x3F80);
    EXPECT_EQ(PARAMVALUE(10).ToRegisters(out), 0);
    PARAMVALUE f(8), u(7), s(2), none(10);
    f.SetFromDouble(-2.75);
    EXPECT_EQ(f.GetAsInt32(), -2);       // toward zero
    u.SetFromDouble(4294967296.0 + 5.0); // low 32 bits of the 64-bit integer
    EXPECT_EQ(u.raw, 5u);
    u.SetFromDouble(1e300);
    EXPECT_EQ(u.raw, 0xFFFFFFFFu);
    u.SetFromDouble(std::nan(""));
    EXPECT_EQ(u.raw, 0u);
    s.SetFromInt64(0x12345);
    EXPECT_EQ(s.GetAsInt64(), 0x2345);
    EXPECT_FALSE(none.GetAsInt32().has_value());
    none.SetFromInt32(5);
    EXPECT_EQ(none.raw, 0u);
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
