// Derived channels: their text form, their values beside a measurement, and the side file that keeps them.
#include "TestSupport.h"
#include "analysis/DerivedFile.h"
#include "analysis/MeasurementChannels.h"
#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "measurement/DocMeasurementSingle.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace quirel::analysis;

TEST(DerivedChannels, TheTextFormRoundTripsAndRefusesWhatItCannotRead) {
    for (auto [text, canonical] :
         {std::pair{"9001=diff(180,186);A;Load current L1", "9001=diff(180,186);A;Load current L1"},
          {" 9002 = sum( 180 , 186 ) ; A ; I (mains + filter), L1 ",
           "9002=sum(180,186);A;I (mains + filter), L1"},
          {"9003=product(183,180);;p L1", "9003=product(183,180);;p L1"},
          {"9004=scale(183,0.001);kV;U L1", "9004=scale(183,0.001);kV;U L1"},
          {"9005=scale(180,-2.5,1e-3);A;I", "9005=scale(180,-2.5,0.001);A;I"}}) {
        std::string why;
        const std::optional<DerivedChannel> d = DerivedChannel::Parse(text, &why);
        ASSERT_TRUE(d) << text << ": " << why;
        EXPECT_EQ(d->ToText(), canonical);
        EXPECT_EQ(DerivedChannel::Parse(d->ToText())->ToText(), canonical);
    }
    for (const char* text :
         {"9006=quotient(1,2);A;x", "9006=sum(1,2,3);A;x", "9006=scale(1,x);A;x", "9006=sum(1,2);A;",
          "x=sum(1,2);A;y", "9006=sum(1,2),A;y", "9006=scale(1,1,0.5 V);A;y"}) {
        std::string why;
        EXPECT_FALSE(DerivedChannel::Parse(text, &why)) << text;
        EXPECT_EQ(why, quirel::loadString(1503, quirel::kLanguageEnglish) + text);
    }
}

TEST(DerivedChannels, AreComputedFromTheMeasurementAndKeptBesideIt) {
    CDocMeasurementSingle doc(nullptr, nullptr);
    CTrigger trigger;
    trigger.Set(0, 0, 4, 180, 8, 0);
    doc.InitMeasurement(trigger, {180, 186}, CMeasStart());
    for (int j = 0; j < 9; ++j) { // 180 holds 0 to 4, 186 10 to 13
        PARAMVALUE cell(8, 0);
        cell.SetFloat(static_cast<float>(j < 5 ? j : j + 5));
        doc.AddValue(j < 5 ? 0 : 1, cell);
    }
    auto parse = [](std::vector<const char*> texts) {
        std::vector<DerivedChannel> list;
        for (const char* t : texts)
            list.push_back(*DerivedChannel::Parse(t));
        return list;
    };
    // 186 holds one value fewer: the sum has the shorter length and says so; a chain uses the sum.
    const std::vector<DerivedChannel> defined =
        parse({"9001=sum(180,186);A;Load", "9002=scale(9001,2,1);A;Twice", "9003=product(180,180);;Square"});
    MeasurementChannels m = CollectChannels(doc, defined);
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.sampleRateHz, 8000.0);
    ASSERT_EQ(m.channels.size(), 5u);
    EXPECT_EQ(m.channels[2].values, (std::vector<double>{10, 12, 14, 16}));
    EXPECT_EQ(m.channels[3].values, (std::vector<double>{21, 25, 29, 33}));
    EXPECT_EQ(m.channels[4].values, (std::vector<double>{0, 1, 4, 9, 16}));
    EXPECT_EQ(m.notes,
              std::vector<std::string>{"Derived channel 9001: its sources hold 5 and 4 values; it has the "
                                       "first 4."});
    EXPECT_EQ(CollectChannels(doc, parse({"9001=diff(180,187);A;x"})).error,
              "Derived channel 9001: the channel 187 is not in the measurement.");
    m = CollectChannels(doc, parse({"186=diff(180,180);A;x"}));
    EXPECT_EQ(m.error, "Derived channel 186: the identifier is already used by another channel.");
    EXPECT_EQ(m.channels.size(), 2u);

    const TempFolder folder;
    const std::string measurement = folder / "a.nbts";
    EXPECT_FALSE(ReadDerivedFile(measurement).present);
    ASSERT_TRUE(WriteDerivedFile(measurement, defined));
    DerivedFileContent read = ReadDerivedFile(measurement);
    EXPECT_TRUE(read.present && read.error.empty());
    ASSERT_EQ(read.channels.size(), defined.size());
    for (size_t k = 0; k < defined.size(); ++k)
        EXPECT_EQ(read.channels[k].ToText(), defined[k].ToText());
    ASSERT_TRUE(quirel::writeFileAtomically(DerivedFilePath(measurement),
                                            "\xEF\xBB\xBF# mine\r\n\r\n9001=sum(1,2);A;x\r\nbad\r\n"));
    read = ReadDerivedFile(measurement);
    EXPECT_TRUE(read.channels.empty());
    EXPECT_TRUE(
        read.error.starts_with("Line 4 of " + DerivedFilePath(measurement) + ": A derived channel is"))
        << read.error;
    ASSERT_TRUE(WriteDerivedFile(measurement, {}));
    EXPECT_FALSE(std::filesystem::exists(DerivedFilePath(measurement)));
}
