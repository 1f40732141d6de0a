#include "base/StringTable.h"
#include "parameters/ParameterManager.h"
#include "parameters/ParameterValue.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const std::string kDemo = std::string(QUIREL_RESOURCES_DIR) + "/Parameters.ini";

bool HasDefaultText(const std::string& s) {
    return s == "-error-" || s == "-NoValue-" || s == "-Error-";
}

} // namespace

class DemoCatalogue : public ::testing::TestWithParam<int> {};

TEST_P(DemoCatalogue, LoadsWithoutDefaultTexts) {
    CParameterManager m;
    m.SetLanguage(GetParam());
    m.Load(kDemo);
    std::vector<CParameterDescription> all;
    m.GetFolderDescriptions("Rootfolder", all);
    ASSERT_GE(all.size(), 80u);
    ASSERT_LE(all.size(), 200u);
    std::set<int32_t> types, access;
    for (const auto& d : all) {
        EXPECT_FALSE(HasDefaultText(d.GetName())) << d.GetId();
        EXPECT_NE(d.GetHelpText(), "No help available") << d.GetId();
        for (const auto& t : d.GetValueTexts())
            EXPECT_FALSE(HasDefaultText(t)) << d.GetId();
        types.insert(d.GetDataType());
        access.insert(d.GetAccessType());
        // Values of every parameter have a text form.
        EXPECT_FALSE(
            CParameterValue(static_cast<uint32_t>(d.GetId()), static_cast<uint32_t>(d.GetDataType()), 0)
                .GetText(m)
                .empty() &&
            d.GetDataType() != 9)
            << d.GetId();
    }
    for (int t = 2; t <= 13; ++t)
        EXPECT_TRUE(types.count(t)) << "data type " << t;
    EXPECT_EQ(access.size(), 4u);

    for (int id : {20,  21,  100, 102, 103, 104, 109, 110, 111, 112, 120, 121, 122, 123, 124, 125, 130, 131,
                   132, 140, 141, 142, 170, 171, 172, 200, 201, 202, 210, 220, 231, 232, 240, 241, 242, 243,
                   300, 310, 311, 400, 401, 402, 403, 405, 407, 410, 535, 538, 540, 544, 546, 547})
        EXPECT_TRUE(m.Exists(id)) << id;
    EXPECT_NE(m.FindLine("ParameterId=100", 40000), 0);
    std::vector<std::string> measured;
    m.GetMeasuredValueNames(measured);
    EXPECT_FALSE(measured.empty());
    EXPECT_NE(m.FindItem("DeviceData"), nullptr);
    EXPECT_NE(m.FindItem("Commissioning"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, DemoCatalogue,
                         ::testing::Values(quirel::kLanguageGerman, quirel::kLanguageEnglish));

TEST(DemoCatalogueTexts, GermanUnitsAndUmlauts) {
    CParameterManager de;
    de.SetLanguage(quirel::kLanguageGerman);
    de.Load(kDemo);
    EXPECT_EQ(de.GetDescription(300).GetValueTexts(),
              (std::vector<std::string>{"Lastseite", "Netzseite", "AUS"}));
    CParameterManager en;
    en.SetLanguage(quirel::kLanguageEnglish);
    en.Load(kDemo);
    EXPECT_EQ(en.GetDescription(300).GetValueTexts(),
              (std::vector<std::string>{"loadside", "mainside", "OFF"}));
}
