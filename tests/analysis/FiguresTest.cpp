// Figures of traces, pairs and the filter's effectiveness against signals whose answers are known from
// how they were made.
#include "TestSupport.h"
#include "analysis/Effectiveness.h"
#include "analysis/PairFigures.h"

#include <gtest/gtest.h>

using namespace quirel::analysis;

namespace {

constexpr double kPi = std::numbers::pi;

// An expected figure: a value within a tolerance, or "not available".
struct Expect {
    double value, tolerance;
};
constexpr Expect kNone{kNotAvailable, 0.0};

void Check(double actual, Expect e, const char* what, const char* figure) {
    if (std::isnan(e.value))
        EXPECT_TRUE(std::isnan(actual)) << what << ": " << figure << " = " << actual;
    else
        EXPECT_NEAR(actual, e.value, e.tolerance) << what << ": " << figure;
}

} // namespace

TEST(Figures, TracesGiveTheirKnownFiguresOverWholePeriods) {
    struct Case {
        const char* what;
        double fs;
        std::vector<Tone> tones;
        std::vector<double> x;
        Expect rms, mean, frequency, thd;
        int periods;
        double peak; // 0: not checked
    };
    std::vector<double> ramp(512);
    for (size_t k = 0; k < ramp.size(); ++k)
        ramp[k] = static_cast<double>(k) / 8; // 1000 t at 8 kHz
    const std::vector<Tone> distorted = {{1, 100, 30}, {5, 20, -70}, {7, 14, 110}};
    // clang-format off
    const Case cases[] = {
        // rms sqrt(2^2 + (100^2 + 20^2 + 14^2) / 2 + 0.5^2), THD sqrt(20^2 + 14^2) / 100; 512 x 50.03 / 6400 = 4.0
        {"50.03 Hz, 5th 20 %, 7th 14 %, noise, four periods", 6400, distorted,
         Sampled(512, 6400, 50.03, 2.0, distorted, 0.5),
         {72.8166, 0.3}, {2.0, 0.1}, {50.03, 0.05}, {24.4131, 0.2}, 4, 0},
        {"49.96 Hz sine, 3.2 periods", 8000, {{1, 325, 0}}, Sampled(512, 8000, 49.96, 0, {{1, 325, 0}}),
         {325 / std::sqrt(2), 1e-3}, {0.0, 1e-4}, {49.96, 1e-4}, {0.0, 1e-4}, 3, 325},
        {"60.02 Hz, 3rd 10 %", 8000, {{1, 10, 45}, {3, 1, 0}}, Sampled(512, 8000, 60.02, 0, {{1, 10, 45}, {3, 1, 0}}),
         {std::sqrt(101.0 / 2), 1e-4}, {0.0, 1e-4}, {60.02, 1e-4}, {10.0, 1e-4}, 3, 0},
        {"a constant", 8000, {}, std::vector<double>(512, 5.0), {5.0, 1e-12}, {5.0, 1e-12}, kNone, kNone, 3, 5},
        // rms sqrt(600^2 + 3^2 / 2): no 50 Hz content, so no fundamental
        {"DC with 300 Hz ripple", 8000, {}, Sampled(512, 8000, 50, 600, {{6, 3, 0}}),
         {600.00375, 1e-5}, {600, 1e-9}, kNone, kNone, 3, 0},
        // over the 480 samples of 3 periods: mean 479 / 16, rms sqrt(479 x 959 / 6) / 8
        {"a ramp", 8000, {}, ramp, {std::sqrt(479.0 * 959.0 / 6) / 8, 1e-9}, {479.0 / 16, 1e-9}, kNone, kNone, 3, 511.0 / 8},
        {"less than one period", 8000, {}, Sampled(100, 8000, 50, 0, {{1, 3, 0}}), kNone, kNone, kNone, kNone, 0, 3},
    };
    // clang-format on
    for (const Case& c : cases) {
        const TraceFigures t = AnalyseTrace(c.x, c.fs, 50.0);
        Check(t.rms, c.rms, c.what, "rms");
        Check(t.mean, c.mean, c.what, "mean");
        Check(t.frequencyHz, c.frequency, c.what, "frequency");
        Check(t.thdPercent, c.thd, c.what, "thd");
        EXPECT_EQ(t.periods, c.periods) << c.what;
        if (c.peak > 0) {
            EXPECT_NEAR(t.peak, c.peak, 1e-9) << c.what;
        }
        EXPECT_EQ(t.HasFundamental(), !std::isnan(c.frequency.value)) << c.what;
        // The fitted table: each tone's percent of the fundamental and its phase at the first sample.
        for (const Tone& tone : c.tones) {
            const HarmonicRow& row = t.harmonics.at(static_cast<size_t>(tone.order - 1));
            EXPECT_NEAR(row.percent, 100 * tone.amplitude / c.tones[0].amplitude, 0.3)
                << c.what << tone.order;
            EXPECT_NEAR(row.phaseDeg, tone.phaseDeg, 1.0) << c.what << " h" << tone.order;
        }
    }
}

// The current leads by 45 degrees and carries a 5th that meets none in the voltage: P and Q are the
// fundamentals' alone, S counts the 5th. (A lagging current: the analyse command's pairs.)
TEST(Figures, APairGivesItsKnownAngleAndPowers) {
    const double u1 = 325, i1 = 20, s = u1 / std::sqrt(2) * std::sqrt((i1 * i1 + 16) / 2);
    const PairFigures p = AnalysePair(Sampled(512, 6400, 50.02, 0, {{1, u1, 0}}),
                                      Sampled(512, 6400, 50.02, 0, {{1, i1, 45}, {5, 4, -10}}), 6400, 50);
    EXPECT_NEAR(p.phaseDeg, -45, 1e-6);
    EXPECT_NEAR(p.displacementPowerFactor, std::cos(kPi / 4), 1e-6);
    EXPECT_NEAR(p.activePowerW, u1 * i1 / 2 * std::cos(kPi / 4), 1e-6 * s);
    EXPECT_NEAR(p.reactivePowerVar, -u1 * i1 / 2 * std::sin(kPi / 4), 1e-6 * s);
    EXPECT_NEAR(p.apparentPowerVA, s, 1e-6 * s);
    EXPECT_NEAR(p.powerFactor, p.activePowerW / s, 1e-6);
}

TEST(Figures, EffectivenessComparesTheOrdersOfLoadAndMainsCurrent) {
    const Effectiveness e =
        CompareCurrents(Sampled(512, 6400, 49.98, 0, {{1, 10, 0}, {5, 2, 40}, {7, 1.4, 0}}),
                        Sampled(512, 6400, 49.98, 0, {{1, 10, 5}, {5, 0.2, 0}, {7, 0.7, 9}}), 6400, 50);
    EXPECT_NEAR(e.before.thdPercent, 24.4131, 1e-3);
    EXPECT_NEAR(e.after.thdPercent, std::hypot(0.2, 0.7) * 10, 1e-3);
    ASSERT_GE(e.orders.size(), 6u);
    EXPECT_EQ(e.orders[0].order, 2);
    EXPECT_NEAR(e.orders[3].reductionPercent, 90.0, 1e-3); // 5th
    EXPECT_NEAR(e.orders[5].reductionPercent, 50.0, 1e-3); // 7th
    EXPECT_TRUE(std::isnan(e.orders[1].reductionPercent)); // the load draws no 3rd
}
