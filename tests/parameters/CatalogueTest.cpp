#include "CatalogueFixture.h"

#include "base/StringTable.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Two subfolders and three parameters in the root; the second subfolder lists parameter 100 again.
const char* kCatalogue =
    "; device catalogue\r\n"
    "ParameterId=100\r\n"
    "[Rootfolder]\r\nNrOfSubfolders=2\r\nNrOfParameters=3\r\n"
    "FolderName=Wurzel\r\nFolderName_en=Root\r\n"
    "Folder1=MeasuredValues\r\nFolder2=Empty\r\n"
    "Parameter1=0150\r\nParameter2=12abc\r\nParameter3=300\r\n"
    "[MeasuredValues]\r\nNrOfParameters=2\r\nFolderName=Messwerte\r\nFolderName_en=Measured\r\n"
    "Parameter1=100\r\nParameter2=199\r\n"
    "[Empty]\r\nFolderName=Leer\r\nFolderName_en=Empty folder\r\n"
    "[100]\r\nParameterName=Netzfrequenz\r\nParameterName_en=Mains frequency\r\nUnit=Hz\r\n"
    "ModbusAddress=101\r\nDataType=8\r\nPrecision=2\r\nAccessType=ro\r\n"
    "HelpText=Frequenz\r\nHelpText_en=Frequency\r\n"
    "[199]\r\nParameterName=Temp\r\nParameterName_en=Temp\r\nUnit=degree Celsius\r\nDataType=2\r\n"
    "AccessType=RW\r\n"
    "[0150]\r\nParameterName=Winkel\r\nParameterName_en=Angle\r\nUnit=degree\r\nDataType=3\r\n"
    "AccessType=const\r\n"
    "[12abc]\r\nParameterName_en=Mode\r\nDataType=5\r\nAccessType=wo\r\nNrOfValues=3\r\n"
    "Text_en1=Off\r\nText_en3=Auto\r\nText1=Aus\r\nText2=Ein\r\nText3=Auto\r\n"
    "[300]\r\nParameterName=Einbauort\r\nParameterName_en=Location\r\nDataType=5\r\n"
    "AccessType=rw\r\n";

} // namespace

std::string Thrown(const std::function<void()>& lookup) {
    try {
        lookup();
    } catch (const CParameterException& e) {
        return e.GetMessage();
    }
    return "nothing thrown";
}

TEST(Catalogue, EnglishAndGermanKeysUnitsAndDefaults) {
    const LoadedCatalogue en(kCatalogue, quirel::kLanguageEnglish), de(kCatalogue, quirel::kLanguageGerman);
    const std::pair<std::string, std::string> shown[] = {
        {en.GetName(100), "Mains frequency"},
        {de.GetName(100), "Netzfrequenz"},
        {en.GetDescription(100).GetHelpText(), "Frequency"},
        {de.GetDescription(100).GetHelpText(), "Frequenz"},
        {en.GetDescription(199).GetUnit(), "degree Celsius"},
        {de.GetDescription(199).GetUnit(), "Grad Celsius"},
        {de.GetDescription(150).GetUnit(), "Grad"},
        {de.GetName(12), "-error-"}, // absent keys take their defaults
        {de.GetDescription(12).GetHelpText(), "No help available"},
    };
    for (const auto& [actual, expected] : shown)
        EXPECT_EQ(actual, expected);
    EXPECT_EQ(de.GetDescription(12).GetModbusAddress(), 1);
    EXPECT_EQ(de.GetDescription(12).GetPrecision(), 0);
    // Only Text_en1 and Text_en3 exist in English: the middle one reads as missing.
    EXPECT_EQ(en.GetDescription(12).GetValueTexts(), (std::vector<std::string>{"Off", "-NoValue-", "Auto"}));
    EXPECT_EQ(de.GetDescription(12).GetValueTexts(), (std::vector<std::string>{"Aus", "Ein", "Auto"}));
    // What is missing is named in the user interface's language.
    quirel::setUiLanguage(quirel::kLanguageGerman);
    EXPECT_EQ(Thrown([&] { de.GetDescription(4711); }), "Parameter nicht gefunden: 4711");
    quirel::setUiLanguage(quirel::kLanguageEnglish);
    EXPECT_EQ(Thrown([&] { de.GetDescription("nothing"); }), "Parameter not found: nothing");
}

TEST(Catalogue, TreeShapeIdentifiersAccessAndLookups) {
    const LoadedCatalogue m(kCatalogue, quirel::kLanguageEnglish);
    const auto* root = dynamic_cast<const CTreeNode*>(m.GetRoot());
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->GetChildren().size(), 5u);      // subfolders first, then parameters
    EXPECT_FALSE(root->GetChildren()[1]->IsLeaf()); // both counts 0 with a name: an empty folder
    EXPECT_TRUE(root->GetChildren()[2]->IsLeaf());
    std::vector<int32_t> ids;
    m.GetAllIds(ids);
    EXPECT_EQ(ids, (std::vector<int32_t>{100, 199, 150, 12, 300})); // "0150" is 150, "12abc" is 12
    EXPECT_EQ((std::vector<int>{m.GetDescription(199).GetAccessType(), m.GetDescription(150).GetAccessType(),
                                m.GetDescription(12).GetAccessType()}),
              (std::vector<int>{kAccessRO, kAccessConst, kAccessWO})); // "RW" is not a known right
    EXPECT_FALSE(m.Exists(13));
    const auto tree = m.GetFolderTree();
    ASSERT_EQ(tree.size(), 1u);
    ASSERT_EQ(tree[0].children.size(), 2u);
    EXPECT_EQ(tree[0].displayName + "/" + tree[0].children[0].displayName + "/" +
                  tree[0].children[1].displayName,
              "Root/Measured/Empty folder");
    EXPECT_TRUE(tree[0].children[1].children.empty());

    EXPECT_EQ(m.GetId("MAINS FREQUENCY"), 100); // by name: any case
    EXPECT_EQ(m.GetModbusAddress("mains frequency"), 101);
    EXPECT_NE(m.FindItem("Measured"), nullptr); // FindItem: exact, by display or section name
    EXPECT_NE(m.FindItem("MeasuredValues"), nullptr);
    EXPECT_EQ(m.FindItem("measured"), nullptr);
    EXPECT_EQ(m.GetDescription(12).FindValueText("AUTO"), 2);
    EXPECT_EQ(m.GetDescription(12).GetValueText(3), "-error-");
    EXPECT_EQ(m.GetDescription(12).GetValueText(-1), "-error-");
    std::vector<CParameterDescription> own, all;
    m.GetFolderParameters("Root", own);
    m.GetFolderDescriptions("Root", all);
    EXPECT_EQ(own.size(), 3u);
    EXPECT_EQ(all.size(), 5u);
    m.GetFolderParameters("Mains frequency", own); // a parameter, not a folder: nothing
    EXPECT_EQ(own.size(), 3u);
    std::vector<std::string> names{"keep"};
    m.GetMeasuredValueNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"100 Mains frequency", "199 Temp"}));
}

TEST(Catalogue, FirstMatchWinsAndSettingIdentifiers) {
    const LoadedCatalogue m("[Rootfolder]\nNrOfSubfolders=2\nFolder1=A\nFolder2=B\nFolderName_en=R\n"
                            "[A]\nNrOfParameters=2\nFolderName_en=A\nParameter1=200\nParameter2=199\n"
                            "[B]\nNrOfParameters=2\nFolderName_en=B\nParameter1=0200\nParameter2=201\n"
                            "[200]\nParameterName_en=First\n[0200]\nParameterName_en=Second\n"
                            "[199]\nParameterName_en=Low\n[201]\nParameterName_en=First\nDataType=4\n",
                            quirel::kLanguageEnglish);
    EXPECT_EQ(m.GetName(200), "First");                // "[200]" comes first depth-first
    EXPECT_EQ(m.GetDescription("first").GetId(), 200); // by name, too
    const auto& table = m.GetSettingIds();
    EXPECT_EQ((std::vector<int32_t>(table.begin(), table.begin() + 4)),
              (std::vector<int32_t>{200, 200, 201, 0}))
        << "listed twice, entered twice";
    EXPECT_FALSE(m.IsSettingId(199));
    EXPECT_TRUE(m.IsSettingId(201));

    // The table holds 1024 identifiers.
    std::string text = "[Rootfolder]\nNrOfParameters=1100\nFolderName_en=R\n";
    for (int i = 1; i <= 1100; ++i)
        text += "Parameter" + std::to_string(i) + "=" + std::to_string(1000 + i) + "\n";
    const LoadedCatalogue big(text, quirel::kLanguageEnglish);
    EXPECT_EQ(big.GetSettingIds()[1023], 2024);
    EXPECT_TRUE(big.IsSettingId(2024));
    EXPECT_FALSE(big.IsSettingId(2025));
}

TEST(Catalogue, BadCataloguesLoadSoundly) {
    // A folder that lists itself and its parent, negative and absurd counts, a missing reference.
    const LoadedCatalogue m("[Rootfolder]\nNrOfSubfolders=3\nFolderName_en=R\nFolder1=Loop\nFolder2=Neg\n"
                            "Folder3=Huge\n"
                            "[Loop]\nNrOfSubfolders=2\nNrOfParameters=1\nFolderName_en=Loop\nFolder1=loop\n"
                            "Folder2=Rootfolder\nParameter1=7\n"
                            "[Neg]\nNrOfSubfolders=-5\nNrOfParameters=-1\nFolderName_en=Negative\n"
                            "[Huge]\nNrOfParameters=2000000000\nFolderName_en=Huge\nParameter1=8\n"
                            "[7]\nParameterName_en=Seven\n[8]\nParameterName_en=Eight\n",
                            quirel::kLanguageEnglish);
    EXPECT_EQ(m.GetName(7), "Seven");
    EXPECT_EQ(m.GetName(8), "Eight");
    const auto tree = m.GetFolderTree();
    ASSERT_EQ(tree.size(), 1u);
    ASSERT_EQ(tree[0].children.size(), 3u);
    // The self and parent references are cut to empty folders.
    ASSERT_EQ(tree[0].children[0].children.size(), 2u);
    EXPECT_TRUE(tree[0].children[0].children[0].children.empty());
    EXPECT_TRUE(tree[0].children[0].children[1].children.empty());
    EXPECT_TRUE(tree[0].children[1].children.empty()); // negative counts read as 0
    // The absurd count is capped; its missing references read as parameter 0 "-error-".
    std::vector<CParameterDescription> huge;
    m.GetFolderParameters("Huge", huge);
    EXPECT_EQ(huge.size(), static_cast<size_t>(CParameterManager::kMaxChildrenPerFolder));
    EXPECT_EQ(huge[1].GetId(), 0);
    EXPECT_EQ(huge[1].GetName(), "-error-");
}

TEST(Catalogue, CataloguesThatMultiplyStayBounded) {
    // A small file whose references multiply into 10000 x 10000 value texts: loading stops following
    // references once the item budget is spent instead of exhausting memory.
    std::string text = "[Rootfolder]\nNrOfParameters=10000\nFolderName_en=R\n";
    for (int i = 1; i <= 10000; ++i)
        text += "Parameter" + std::to_string(i) + "=" + std::to_string(200 + i % 2) + "\n";
    text += "[200]\nParameterName_en=Wide\nNrOfValues=10000\nText_en1=first\n[201]\nParameterName_en=Other\n";
    const LoadedCatalogue m(text, quirel::kLanguageEnglish);
    std::vector<CParameterDescription> all;
    m.GetFolderDescriptions("R", all);
    size_t texts = 0;
    for (const auto& d : all)
        texts += d.GetValueTexts().size();
    EXPECT_LE(texts + all.size(), CParameterManager::kMaxItems + CParameterManager::kMaxChildrenPerFolder);
    ASSERT_FALSE(all.empty());
    EXPECT_LT(all.size(), 10000u);
    EXPECT_EQ(m.GetDescription(200).GetValueText(0), "first");
    EXPECT_EQ(m.GetDescription(200).GetValueText(9999), "-NoValue-");
    EXPECT_EQ(m.GetName(201), "Other");
    EXPECT_TRUE(m.IsSettingId(201));
}

TEST(Catalogue, MissingFileReadsAsOneErrorParameter) {
    // The loader falls back to Parameters.ini in the current folder: make that folder one of our own.
    const std::filesystem::path saved = std::filesystem::current_path();
    const TempFolder dir;
    std::filesystem::current_path(dir.path());
    std::ofstream("Parameters.ini") << "[Rootfolder]\nParameterName_en=From the current folder\n";
    CParameterManager fallback, m;
    fallback.SetLanguage(quirel::kLanguageEnglish);
    fallback.Load("/nonexistent/quirel/Parameters.ini");
    std::filesystem::remove("Parameters.ini");
    m.SetLanguage(quirel::kLanguageEnglish);
    m.Load("/nonexistent/quirel/Parameters.ini");
    std::filesystem::current_path(saved);
    EXPECT_EQ(fallback.GetName(0), "From the current folder");
    EXPECT_EQ(fallback.GetCataloguePath(), dir.File("Parameters.ini"));
    ASSERT_NE(m.GetRoot(), nullptr);
    EXPECT_TRUE(m.GetRoot()->IsLeaf());
    EXPECT_EQ(m.GetName(0), "-error-");
    EXPECT_TRUE(m.GetFolderTree().empty());
    EXPECT_EQ(m.FindLine("ParameterId=100", 40000), 0);
    std::vector<std::string> names{"kept"};
    EXPECT_EQ(Thrown([&] { m.GetMeasuredValueNames(names); }), "Section not found: MeasuredValues");
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

TEST(Catalogue, FindLineCountsTwoPerLine) {
    const LoadedCatalogue m("ParameterId=1\r\n[Rootfolder]\r\nParameterId=100\r\n", quirel::kLanguageEnglish);
    EXPECT_EQ(m.FindLine("ParameterId=100", 40000), 4);
    EXPECT_EQ(m.FindLine("ParameterId=1", 40000), 0); // first line reads as not found
    EXPECT_EQ(m.FindLine("ParameterId=100", 4), 0);   // limit reached before the line
    EXPECT_EQ(m.FindLine("parameterid=100", 40000), 0);
}
