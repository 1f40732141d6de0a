// The spectrum: the transform length for every rule, amplitudes of known signals, the harmonic table and
// THD; the texts the windows write beside their charts.
#include "measurement/Spectrum.h"
#include "TestSupport.h"
#include "base/StringTable.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementTexts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

// A mains signal sampled as the device samples it: every divider / 32 000 s.
std::vector<double> Sampled(size_t n, uint32_t divider, auto signal) {
    std::vector<double> y(n);
    for (size_t k = 0; k < n; ++k)
        y[k] = signal(static_cast<double>(k) * divider / 32000.0);
    return y;
}

} // namespace

TEST(Spectrum, TransformLengthFollowsTheMainsAndTheDividerAndSpansWholePeriodsWhereRecommended) {
    struct Case {
        int mains;
        uint32_t divider;
        int n;
        int periods; // whole mains periods in the N samples, 0 for none
    };
    for (const Case& c :
         {Case{50, 5, 512, 4},  Case{50, 10, 512, 8}, Case{50, 15, 512, 12}, Case{50, 20, 512, 16},
          Case{50, 4, 480, 3},  Case{50, 8, 480, 6},  Case{50, 12, 480, 9},  Case{50, 26, 480, 0},
          Case{50, 2, 320, 1},  Case{50, 14, 320, 7}, Case{50, 22, 320, 11}, Case{50, 3, 512, 0},
          Case{50, 1, 512, 0},  Case{60, 5, 320, 3},  Case{60, 15, 320, 9},  Case{60, 20, 320, 12},
          Case{60, 4, 400, 3},  Case{60, 8, 400, 6},  Case{60, 12, 400, 9},  Case{60, 3, 512, 0},
          Case{60, 26, 512, 0}, Case{60, 14, 512, 0}}) {
        EXPECT_EQ(Spectrum::TransformLength(c.mains, c.divider), c.n) << c.mains << " Hz, d = " << c.divider;
        EXPECT_EQ(Spectrum::WholeMainsPeriods(static_cast<size_t>(c.n), c.divider, c.mains), c.periods)
            << c.mains << " Hz, d = " << c.divider;
    }
}

TEST(Spectrum, AMainsSineIsOnePeakAndAConstantShowsTwiceAtZero) {
    const auto sine = Sampled(600, 5, [](double t) { return std::sin(2 * kPi * 50 * t); });
    const Spectrum::Result r = Spectrum::Compute(sine.data(), sine.size(), 50, 5);
    ASSERT_EQ(r.amplitude.size(), 256u);
    EXPECT_EQ(r.resolutionHz, 12.5);
    EXPECT_EQ(r.frequencyHz[4], 50.0);
    for (size_t k = 0; k < r.amplitude.size(); ++k)
        EXPECT_NEAR(r.amplitude[k], k == 4 ? 1.0 : 0.0, 1e-12) << "bin " << k;

    const std::vector<double> constant(320, 2.5);
    const Spectrum::Result c = Spectrum::Compute(constant.data(), constant.size(), 60, 5);
    EXPECT_EQ(c.resolutionHz, 20.0);
    EXPECT_NEAR(c.amplitude[0], 5.0, 1e-12);
    for (size_t k = 1; k < c.amplitude.size(); ++k)
        EXPECT_NEAR(c.amplitude[k], 0.0, 1e-12);

    // Too few values are refused, not padded; values beyond N are ignored.
    const Spectrum::Result few = Spectrum::Compute(constant.data(), 319, 60, 5);
    EXPECT_EQ(few.status, Spectrum::Result::kTooFewValues);
    EXPECT_TRUE(few.amplitude.empty());
    EXPECT_EQ(MeasurementTexts::SpectrumRefusal(few),
              "The spectrum needs 320 values of the channel; it holds 319.");
    std::vector<double> longer = constant;
    longer.resize(1000, -100.0);
    EXPECT_EQ(Spectrum::Compute(longer.data(), longer.size(), 60, 5).amplitude, c.amplitude);
    EXPECT_EQ(Spectrum::Compute(constant.data(), 320, 60, 0).status, Spectrum::Result::kNoSamplePeriod);
}

TEST(Spectrum, HarmonicsAndTheirDistortion) {
    // 100 A fundamental with 24 % fifth and 13 % seventh harmonic, 60 Hz, d = 4: three periods in 400.
    const auto current = Sampled(400, 4, [](double t) {
        const double w = 2 * kPi * 60 * t;
        return 100 * std::sin(w) + 24 * std::sin(5 * w + 0.3) + 13 * std::sin(7 * w);
    });
    const Spectrum::Result r = Spectrum::Compute(current.data(), current.size(), 60, 4);
    const Spectrum::Harmonics h = Spectrum::AnalyseHarmonics(r, 60, 4);
    EXPECT_TRUE(h.wholePeriods);
    EXPECT_EQ(h.periods, 3.0);
    ASSERT_EQ(h.orders.size(), 40u);
    EXPECT_EQ(h.orders[0].bin, 3);
    EXPECT_EQ(h.orders[4].frequencyHz, 300.0);
    EXPECT_NEAR(h.orders[4].percent, 24.0, 1e-9);
    EXPECT_NEAR(h.orders[6].amplitude, 13.0, 1e-9);
    EXPECT_NEAR(h.orders[2].percent, 0.0, 1e-9);
    EXPECT_NEAR(h.thdPercent, std::hypot(24.0, 13.0), 1e-9);

    // d = 1 at 50 Hz: 512 samples are 0,8 periods. Harmonics would fall between the bins (order 1 read at
    // 62,5 Hz, orders 2 and 3 both at 125 Hz): no table, no THD.
    const auto sine = Sampled(512, 1, [](double t) { return std::sin(2 * kPi * 50 * t); });
    const Spectrum::Harmonics off =
        Spectrum::AnalyseHarmonics(Spectrum::Compute(sine.data(), sine.size(), 50, 1), 50, 1);
    EXPECT_FALSE(off.wholePeriods);
    EXPECT_EQ(off.periods, 0.8);
    EXPECT_TRUE(off.orders.empty());
    EXPECT_TRUE(std::isnan(off.thdPercent));
    // Only orders below half the sample rate are listed: d = 100 samples at 320 Hz, N/2 = 256 bins.
    const std::vector<double> flat(512, 0.0);
    const Spectrum::Harmonics few =
        Spectrum::AnalyseHarmonics(Spectrum::Compute(flat.data(), 512, 50, 100), 50, 100);
    EXPECT_EQ(few.orders.size(), 3u);
    EXPECT_TRUE(std::isnan(few.thdPercent));
}

// The texts beside the charts; the window's own tests show the panel's usual lines.
TEST(MeasurementTexts, PanelAndLegendSpeakTheDecimalComma) {
    CDocMeasurementSingle doc(&Catalogue(), nullptr);
    CTrigger trigger;
    trigger.Set(100, 1, 4, 180, 8, 0xC0600000); // -3.5 A
    doc.InitMeasurement(trigger, {180, 4711}, CMeasStart(2024, 3, 1, 8, 5, 9));
    EXPECT_EQ(MeasurementTexts::Legend(doc, 1), "4711 -- [--] x1,00 +0,00 (YLeft)");
    EXPECT_EQ(MeasurementTexts::CursorLine(doc, 0, 12.345), "180 Instantaneous mains current L1  12,3A");
    EXPECT_EQ(MeasurementTexts::CursorLine(doc, 0, -1234.56), "180 Instantaneous mains current L1-1234,6A");
    EXPECT_EQ(MeasurementTexts::CursorLine(doc, 0, std::nullopt),
              "180 Instantaneous mains current L1    --A");
    EXPECT_EQ(MeasurementTexts::CursorLine(doc, 1, 7.6), "4711 --      8 -- ");
    EXPECT_EQ(
        MeasurementTexts::TriggerLines(doc),
        (std::vector<std::string>{"Trigger:", "Channel:  180 Instantaneous mains current L1", "Level: -3,5 A",
                                  "Mode: less than", "Sample Rate: 4 x 0,03125 ms", "Delay: 12,50000 ms"}));

    quirel::setUiLanguage(quirel::kLanguageGerman);
    const std::vector<std::string> german = MeasurementTexts::TriggerLines(doc);
    const std::string start = MeasurementTexts::StartLine(CMeasStart(-1, -1, -1, -1, -1, -1));
    quirel::setUiLanguage(quirel::kLanguageEnglish);
    EXPECT_EQ(german[3], "Modus: kleiner");
    EXPECT_EQ(start, "Messbeginn: -0001--01--01 -01:-01:-01");

    trigger.Set(0, 0, 1, 4711, 8, 0);
    doc.InitMeasurement(trigger, {}, CMeasStart());
    EXPECT_EQ(MeasurementTexts::TriggerLines(doc), std::vector<std::string>{"No trigger"});
}
