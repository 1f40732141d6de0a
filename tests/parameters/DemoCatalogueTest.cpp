#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/StringTable.h"
#include "base/TextEncoding.h"
#include "parameters/ParameterManager.h"
#include "parameters/ParameterValue.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

const std::string kDemo = std::string(QUIREL_RESOURCES_DIR) + "/Parameters.ini";

bool HasDefaultText(const std::string& s) {
    return s == "-error-" || s == "-NoValue-" || s == "-Error-";
}

} // namespace

TEST(DemoCatalogue, LoadsInBothLanguagesWithoutDefaultTexts) {
    CParameterManager en, de;
    for (auto [m, language] : {std::pair{&en, quirel::kLanguageEnglish}, {&de, quirel::kLanguageGerman}}) {
        m->SetLanguage(language);
        m->Load(kDemo);
        std::vector<CParameterDescription> all;
        m->GetFolderDescriptions("Rootfolder", all);
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
            EXPECT_TRUE(d.GetDataType() == 9 || !CParameterValue(static_cast<uint32_t>(d.GetId()),
                                                                 static_cast<uint32_t>(d.GetDataType()), 0)
                                                     .GetText(*m)
                                                     .empty())
                << d.GetId();
        }
        EXPECT_EQ(types.size(), 12u) << "data types 2 to 13";
        EXPECT_EQ(access.size(), 4u);
        for (int id :
             {20,  21,  100, 102, 103, 104, 109, 110, 111, 112, 120, 121, 122, 123, 124, 125, 130, 131,
              132, 140, 141, 142, 170, 171, 172, 200, 201, 202, 210, 220, 231, 232, 240, 241, 242, 243,
              300, 310, 311, 400, 401, 402, 403, 405, 407, 410, 535, 538, 540, 544, 546, 547})
            EXPECT_TRUE(m->Exists(id)) << id;
        std::vector<std::string> measured;
        m->GetMeasuredValueNames(measured);
        EXPECT_FALSE(measured.empty());
        EXPECT_NE(m->FindItem("DeviceData"), nullptr);
        EXPECT_NE(m->FindItem("Commissioning"), nullptr);
    }
    // Parameter-set files written in one language are translated by these exact texts, pairwise.
    using Texts = std::vector<std::string>;
    const std::map<int, std::pair<Texts, Texts>> table = {
        {200, {{"english", "german"}, {"Englisch", "Deutsch"}}},
        {201, {{"low active", "high active"}, {"low aktiv", "high aktiv"}}},
        {202,
         {{"Switch S1", "direct OFF", "direct ON", "terminal strip"},
          {"Schalter S1", "direkt AUS", "direkt EIN", "Klemmleiste"}}},
        {241, {{"ON", "OFF"}, {"Ein", "Aus"}}},
        {405, {{"ON", "OFF"}, {"Ein", "Aus"}}},
        {410, {{"ON", "OFF"}, {"Ein", "Aus"}}},
        {544, {{"ON", "OFF"}, {"Ein", "Aus"}}},
        {546, {{"ON", "OFF"}, {"Ein", "Aus"}}},
        {300, {{"loadside", "mainside", "OFF"}, {"Lastseite", "Netzseite", "AUS"}}},
        {540, {{"3 CT (L1, L2, L3)", "2 CT (L1, L2)"}, {"3 W. (L1, L2, L3)", "2 W. (L1, L2)"}}},
    };
    for (const auto& [id, texts] : table) {
        EXPECT_EQ(en.GetDescription(id).GetValueTexts(), texts.first) << id;
        EXPECT_EQ(de.GetDescription(id).GetValueTexts(), texts.second) << id;
    }
}

// Shipped as the device's tools write it, and laid out as the device serves it.
TEST(DemoCatalogue, FileBytesAndRegisterMap) {
    const auto bytes = quirel::readWholeFile(kDemo, quirel::kMaxMeasurementFileBytes);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_FALSE(quirel::isValidUtf8(*bytes)); // Windows-1252, umlauts included
    EXPECT_NE(bytes->find("\xE4"), std::string::npos);
    EXPECT_NE(bytes->find("\r\n"), std::string::npos);
    quirel::IniFile ini;
    ini.parse(*bytes);
    EXPECT_FALSE(ini.getString("DeviceID", "Revision", "").empty());
    // Every register a parameter occupies lies below the trace buffer (10000 onward) and the trigger
    // block (60000-60030), and no two parameters share one.
    CParameterManager m;
    m.Load(kDemo);
    std::vector<CParameterDescription> all;
    m.GetFolderDescriptions("Rootfolder", all);
    std::map<int, int> owner;
    bool textAtItsSlot = false; // a text parameter that shows the text read for it
    for (const auto& d : all) {
        for (int r = d.GetModbusAddress();
             r < d.GetModbusAddress() + PARAMVALUE::RegisterCount(d.GetDataType()); ++r) {
            EXPECT_TRUE(r >= 1 && r < 10000) << d.GetId();
            EXPECT_TRUE(owner.emplace(r, d.GetId()).second) << d.GetId() << " shares register " << r;
        }
        textAtItsSlot = textAtItsSlot || (d.GetDataType() == 9 && d.GetModbusAddress() / 10 == d.GetId());
    }
    EXPECT_TRUE(textAtItsSlot);
}
