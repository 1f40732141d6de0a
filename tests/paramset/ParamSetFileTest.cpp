// Reading and writing parameter-set files, and the report of "Open parameter set".
#include "paramset/ParamSetFile.h"
#include "parameters/ParameterManager.h"
#include "paramset/ParamSetReport.h"
#include "paramset/ParamSetWriter.h"

#include "CommTestSupport.h"

#include <gtest/gtest.h>

using namespace quirel::paramset;

namespace {

// The entries of one section as "number=stored", in the order a send takes them.
std::string Read(const std::string& text, const char* section) {
    CParamSetFile file;
    file.Parse(text);
    std::string out;
    for (const ParamSetEntry& e : file.Entries(section))
        out += std::to_string(e.number) + "=" + e.stored + " ";
    return out;
}

} // namespace

// Gaps do not end the scan, keys past Param5000, spellings a lookup of "Param<k>" never finds and empty
// values are not read, the first of two equal keys wins, a value without "=" is parameter 0 with the whole
// value, and a value is cut at 255 characters.
TEST(ParamSetFile, ReadsKeysAsTheProfileFunctionsDo) {
    const std::string longText(300, 'x');
    const std::string text = "[Commissioning]\r\nParam0=300=2;OFF\r\nParam2=310=750\r\nParam7=foo\r\n"
                             "Param9=401=0,90\r\nparam10=205=12=3\r\nParam11=\r\nParam5000=230=7\r\n"
                             "Param5001=231=1;19200\r\nParam12=311=" +
                             longText +
                             "\r\nParam2=310=1\r\nParam03=232=1\r\nParam 4=233=1\r\nPARAM6=234=9\r\n";
    EXPECT_EQ(Read(text, kCommissioning),
              "300=2;OFF 310=750 234=9 0=foo 401=0,90 205=12=3 311=" + std::string(251, 'x') + " 230=7 ");
    EXPECT_TRUE(Read(text, kDeviceData).empty());
}

// What "Read parameter set from device" writes: indexed values for value texts, plain ones otherwise,
// "-error-" where no value was read, Windows-1252 and CRLF, numbering from 0 in each section.
TEST(ParamSetFile, WritesPlainAndIndexedFormsInTheCatalogueLanguage) {
    CParameterManager german;
    german.SetLanguage(7);
    german.Load(QUIREL_RESOURCES_DIR "/Parameters.ini");
    CParamSetWriter writer;
    writer.BeginSection(kDeviceData);
    writer.AddEntry(german.GetDescription(30), std::nullopt);
    writer.AddEntry(german.GetDescription(540), PARAMVALUE(6, 1));
    writer.BeginSection(kCommissioning);
    writer.AddEntry(german.GetDescription(300), PARAMVALUE(6, 7));
    writer.AddEntry(german.GetDescription(300), std::nullopt);
    writer.AddEntry(german.GetDescription(401), PARAMVALUE(8, 0x3F666666)); // 0.9f
    writer.AddEntry(german.GetDescription(241), PARAMVALUE(6, 1));
    writer.AddEntry(german.GetDescription(20), PARAMVALUE(6, 4));
    EXPECT_EQ(writer.Bytes(), "[DeviceData]\r\nParam0=30=-error-\r\nParam1=540=1;2 W. (L1, L2)\r\n\r\n"
                              "[Commissioning]\r\nParam0=300=-1;-error-\r\nParam1=300=-1;-error-\r\n"
                              "Param2=401=0,90\r\nParam3=241=1;Aus\r\nParam4=20=4;St\xF6rung\r\n");

    const auto& english = quirel::test::DemoCatalogue();
    // Its own parameters only; sub-folders included; a parameter is no folder.
    for (const auto& [folder, size] :
         {std::pair{kMeasuredValues, 3u}, {kCommissioning, 38u}, {"CT position", 0u}})
        EXPECT_EQ(SectionParameters(english, folder).size(), size) << folder;
}

TEST(ParamSetFile, ReportsEverySectionWithNamesAndUnits) {
    CParamSetFile file;
    file.Parse("[Commissioning]\r\nParam0=310=750\r\nParam1=540=1;2 W. (L1, L2)\r\nParam2=4711=5\r\n"
               "[DeviceData]\r\nParam0=210=2;AHF 100A\r\n");
    EXPECT_EQ(
        BuildReport(file, quirel::test::DemoCatalogue()),
        "[DeviceData]\r\n210 Device type = 2;AHF 100A \r\n\r\n[MeasuredValues]\r\n\r\n[Commissioning]\r\n"
        "310 CT primary current = 750 A\r\n540 Number of CTs = 1;2 W. (L1, L2) \r\n4711 unknown = 5 \r\n");
}
