// From the settings to a trigger and a channel list; the start checks.
#include "measurement/MeasurementSetup.h"
#include "TestSupport.h"
#include "parameters/ParameterException.h"

#include <gtest/gtest.h>

using namespace MeasurementSetup;

TEST(MeasurementSetup, ChannelTextsGiveIdentifiers) {
    EXPECT_EQ(ChannelId(" 20 Device state"), 20); // as the list writes identifiers below 100
    EXPECT_EQ(ChannelId("--"), 0);
    const std::vector<std::string> choices = ChannelChoices(Catalogue());
    EXPECT_EQ(choices[0], "--");
    EXPECT_EQ(FindChoice(choices, "100 Mains frequency"), 1);
    EXPECT_EQ(FindChoice(choices, "4711 Gone"), -1); // a parameter no longer offered
}

TEST(MeasurementSetup, TheLevelTakesTheTriggerChannelsEncoding) {
    struct Case {
        uint32_t type;
        double level;
        uint32_t raw;
    };
    for (const Case& c : {Case{2, -3.7, 0x0000FFFD}, Case{6, 3.9, 3}, Case{5, 70000.0, 70000 & 0xFFFF},
                          Case{4, -3.7, 0xFFFFFFFD}, Case{7, 3e9, 3000000000u}, Case{13, 1e12, 0xD4A51000},
                          Case{8, 1.5, 0x3FC00000}, Case{9, 5.0, 0}, Case{10, 5.0, 0}}) {
        EXPECT_EQ(LevelCell(c.type, c.level), PARAMVALUE(c.type, c.raw)) << c.type << " " << c.level;
    }

    SingleSettings s;
    s.triggerText = "150 Heat sink temperature";
    s.level = -3.7;
    s.mode = 1;
    s.divider = 8;
    s.delay = 10;
    CTrigger expected;
    expected.Set(10, 1, 8, 150, 2, 0xFFFD);
    EXPECT_EQ(BuildTrigger(Catalogue(), s), expected);
    EXPECT_EQ(FormatDelayTime(s.delay, s.divider), "2,50000 ms"); // the dialog's read-only field
    s.triggerText = "4711 Gone";
    EXPECT_THROW(BuildTrigger(Catalogue(), s), CParameterException);
}

TEST(MeasurementSetup, StartChecksComeInTheirOrder) {
    EXPECT_EQ(CheckSingleStart(0, false, 0), 133u);
    EXPECT_EQ(CheckSingleStart(1, false, 0), 135u);
    EXPECT_EQ(CheckSingleStart(1, true, 0), 138u);
    EXPECT_EQ(CheckSingleStart(10, true, 1), 0u);
    EXPECT_EQ(CheckContinuousStart(0, 0, false), 133u);
    EXPECT_EQ(CheckContinuousStart(1, 0, false), 136u); // before any traffic, connected or not
    EXPECT_EQ(CheckContinuousStart(1, 1, false), 135u);
    EXPECT_EQ(CheckContinuousStart(1, 2147484, true), 1205u); // beyond what the window's timer counts
    EXPECT_EQ(CheckContinuousStart(1, 2147483, true), 0u);
}
