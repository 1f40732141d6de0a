// Which values a parameter-set file sends: the file's form and language, the translation of older files
// and the values marked as not to be sent.
#include "paramset/SendList.h"

#include "base/StringTable.h"
#include "parameters/ParameterManager.h"

#include "CommTestSupport.h"

#include <gtest/gtest.h>

using namespace quirel::paramset;

namespace {

constexpr int kEn = quirel::kLanguageEnglish;
constexpr int kDe = quirel::kLanguageGerman;

const CParameterManager& GermanCatalogue() {
    static CParameterManager catalogue;
    [[maybe_unused]] static const bool loaded =
        (catalogue.SetLanguage(kDe), catalogue.Load(QUIREL_RESOURCES_DIR "/Parameters.ini"), true);
    return catalogue;
}

SendList ListOf(const std::string& commissioning, int language) {
    CParamSetFile file;
    file.Parse("[Commissioning]\r\n" + commissioning);
    return BuildSendList(file, language == kDe ? GermanCatalogue() : quirel::test::DemoCatalogue(), language);
}

// What a send list would send, item by item: "number=raw text", or "number text (not sent)" when marked.
std::string Sends(const SendList& list) {
    std::string out;
    for (const SendItem& i : list.items)
        out += (out.empty() ? "" : " | ") + std::to_string(i.number) +
               (i.marked ? " " + i.text + " (not sent)"
                         : "=" + std::to_string(i.value.GetValue().raw) + " " + i.text);
    return out;
}

} // namespace

TEST(SendList, ReadsEachFormAndLanguage) {
    const struct {
        const char* what;
        std::string file;
        int language;
        const char* sends;
    } cases[] = {
        {"an older English file sent under German", "Param0=200=english\r\nParam1=300=mainside\r\n", kDe,
         "200=0 Englisch | 300=1 Netzseite"},
        {"an older German file sent under English: a text outside its row is no value",
         "Param0=202=direkt AUS\r\nParam1=300=AUS\r\nParam2=300=Aus\r\nParam3=540=3 Wandler (L1, L2, L3)\r\n",
         kEn, "202=1 direct OFF | 300=2 OFF | 300 -error- (not sent) | 540=0 3 CT (L1, L2, L3)"},
        {"547 gets \"BW \" unless BW or BE stands anywhere, translated or not",
         "Param0=300=OFF\r\nParam1=547=1\r\nParam2=547=BE 2\r\nParam3=547=BW 3\r\nParam4=547=x BE\r\n", kEn,
         "300=2 OFF | 547=0 BW 1 | 547=4 BE 2 | 547=2 BW 3 | 547 -error- (not sent)"},
        {"the same under German", "Param0=300=OFF\r\nParam1=547=1\r\n", kDe, "300=2 AUS | 547=0 BW 1"},
        {"long forms of 540 in a file of the program's language",
         "Param0=540=2 Wandler (L1, L2)\r\nParam1=300=AUS\r\n", kDe, "540=1 2 W. (L1, L2) | 300=2 AUS"},
        {"an older file of undecided language counts as English for the long forms",
         "Param0=231=19200\r\nParam1=540=2 transformer (L1, L2)\r\n", kEn,
         "231=1 19200 | 540=1 2 CT (L1, L2)"},
        {"a current file sends the index, whatever language its text is in",
         "Param0=540=1;3 W. (L1, L2, L3)\r\nParam1=300=2;Lastseite\r\n", kEn,
         "540=1 2 CT (L1, L2) | 300=2 OFF"},
        {"the first marker parameter decides the form",
         "Param0=310=750\r\nParam1=300=1;x\r\nParam2=200=german\r\n", kEn,
         "310=750 750 | 300=1 mainside | 200 -error- (not sent)"},
        {"210 and 220 are never sent, numbers outside the settings are skipped",
         "Param0=210=2;AHF\r\nParam1=220=100\r\nParam2=20=1;Running\r\nParam3=4711=3\r\nParam4=310=750\r\n",
         kEn, "310=750 750"},
        {"texts the judge refuses are not sent; a float shows as exactly as it is written",
         "Param0=401=0.9\r\nParam1=300=-1;-error-\r\nParam2=300=7;x\r\nParam3=310=70000\r\nParam4=401=0,9\r\n"
         "Param5=401=0,934\r\n",
         kEn,
         "401 -error- (not sent) | 300 -error- (not sent) | 300 -error- (not sent) | "
         "310 -error- (not sent) | 401=1063675494 0,90 | 401=1064245920 0,934"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sends(ListOf(c.file, c.language)), c.sends) << c.what;

    const SendList older = ListOf("Param0=300=AUS\r\nParam1=300=Aus\r\n", kEn);
    EXPECT_TRUE(older.form == FileForm::Older && older.language == FileLanguage::German && older.translate);
    // Every refusal names the file's text and what would have been taken.
    const std::string aus =
        "Invalid value \"Aus\": one of the listed values is expected: loadside, mainside, "
        "OFF, Lastseite, Netzseite, AUS";
    EXPECT_EQ(older.items[1].refusal, aus);
    EXPECT_EQ(ListOf("Param0=200=english\r\nParam1=300=Aus\r\n", kDe).items[1].refusal, aus);
    EXPECT_EQ(ListOf("Param0=300=7;foo\r\n", kEn).items[0].refusal,
              "Invalid value \"7;foo\": allowed are 0 to 2 (loadside, mainside, OFF)");
    EXPECT_EQ(ListOf("Param0=401=0.9\r\n", kEn).items[0].refusal,
              "Invalid value \"0.9\": a decimal comma is expected (0,9)");
}

TEST(SendList, ConfirmsAndReportsInTheProgramLanguage) {
    SendList list = ListOf("Param0=300=2;OFF\r\nParam1=300=Aus\r\nParam2=310=750\r\n", kEn);
    EXPECT_EQ(ConfirmationText(list), "300 CT position = OFF \r\n300 CT position = -error- \r\n"
                                      "310 CT primary current = 750 \r\n");
    list.items[0].state = SendItem::State::Sent;
    list.items[2].state = SendItem::State::NotReached;
    EXPECT_EQ(NotSentReport(list, kEn), "Parameter:300 (CT position) was NOT SENT!\r\n\t Please check the "
                                        "parameter on device.\r\nParameter:310 (CT primary current) was NOT "
                                        "SENT!\r\n\t Please check the parameter on device.\r\n");
    SendList german = ListOf("Param0=300=foo\r\n", kDe);
    EXPECT_EQ(
        NotSentReport(german, kDe),
        "Parameter:300 (Wandlerposition) wird NICHT GESENDET!\r\n\t Bitte den Parameter im Ger\xC3\xA4t "
        "kontrollieren.\r\n");
    german.items[0].state = SendItem::State::Sent;
    EXPECT_EQ(NotSentReport(german, kDe), "");

    std::string many;
    for (int i = 0; i <= 600; ++i)
        many += "Param" + std::to_string(i) + "=310=750\r\n";
    EXPECT_EQ(ListOf(many, kEn).items.size(), 601u);
    EXPECT_EQ(
        TooManyValuesText(601),
        "The parameter set holds 601 values to send, more than the 600 a send transfers. Nothing was sent.");
}
