// Triggered capture over the wire: the trigger state sequence, the pre-trigger delay, trace contents, and
// the harmonics of a captured mains current.

#include "SimProcess.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>

namespace {

class SimCapture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sim.ready()) << m_sim.failure();
        m_mb = modbus_new_tcp("127.0.0.1", m_sim.tcpPort());
        ASSERT_NE(m_mb, nullptr);
        modbus_set_slave(m_mb, 1);
        ASSERT_EQ(modbus_connect(m_mb), 0) << modbus_strerror(errno);
        modbus_set_response_timeout(m_mb, 2, 0);
    }
    void TearDown() override {
        if (m_mb) {
            modbus_close(m_mb);
            modbus_free(m_mb);
        }
    }

    // Writes one register by its reference (counted from 1).
    int write(int ref, uint16_t value) { return modbus_write_registers(m_mb, ref - 1, 1, &value); }
    int writeLevel(uint32_t raw) {
        const uint16_t pair[2] = {static_cast<uint16_t>(raw & 0xFFFF), static_cast<uint16_t>(raw >> 16)};
        return modbus_write_registers(m_mb, 60000, 2, pair);
    }
    int state() {
        uint16_t value = 0xFFFF;
        EXPECT_EQ(modbus_read_registers(m_mb, 60029, 1, &value), 1) << modbus_strerror(errno);
        return value;
    }
    void setUp(int channel, uint32_t level, int mode, int delay, int divider,
               const std::vector<int>& channels) {
        ASSERT_EQ(write(60000, static_cast<uint16_t>(channel)), 1);
        ASSERT_EQ(writeLevel(level), 2);
        ASSERT_EQ(write(60003, static_cast<uint16_t>(mode)), 1);
        ASSERT_EQ(write(60004, static_cast<uint16_t>(delay)), 1);
        ASSERT_EQ(write(60005, static_cast<uint16_t>(divider)), 1);
        ASSERT_EQ(write(60006, static_cast<uint16_t>(channels.size())), 1);
        for (std::size_t i = 0; i < channels.size(); ++i)
            ASSERT_EQ(write(60010 + static_cast<int>(i), static_cast<uint16_t>(channels[i])), 1);
    }
    // Polls until the capture is complete and returns the distinct states seen in order, starting with the
    // state known before.
    std::vector<int> pollUntilComplete(int before) {
        std::vector<int> seen{before};
        for (int i = 0; i < 3000; ++i) {
            const int s = state();
            if (seen.empty() || seen.back() != s)
                seen.push_back(s);
            if (s == 3 || s == 0)
                break;
            ::usleep(2000);
        }
        return seen;
    }
    // A trace as read by the trace job: the count, then blocks of at most 62 values.
    std::vector<uint32_t> trace(int channel) {
        const int base = 10000 + 5000 * channel;
        uint16_t count[2] = {};
        EXPECT_EQ(modbus_read_registers(m_mb, base - 1, 2, count), 2);
        const uint32_t n = count[0] | (static_cast<uint32_t>(count[1]) << 16);
        std::vector<uint32_t> values;
        for (uint32_t k = 0; k < n; k += 62) {
            const int block = static_cast<int>(std::min<uint32_t>(62, n - k));
            uint16_t regs[124];
            EXPECT_EQ(modbus_read_registers(m_mb, base + 1 + 2 * static_cast<int>(k), 2 * block, regs),
                      2 * block);
            for (int i = 0; i < block; ++i)
                values.push_back(regs[2 * i] | (static_cast<uint32_t>(regs[2 * i + 1]) << 16));
        }
        return values;
    }
    static float asFloat(uint32_t bits) {
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

    SimProcess m_sim{{"--tcp", "0", "--seed", "5"}};
    modbus_t* m_mb = nullptr;
};

TEST_F(SimCapture, StateSequenceAndDelayOnASettingChannel) {
    // Trigger on setting 205 (start delay, default 10) rising above 50; record it and mains current L1.
    setUp(205, 50, 0, 100, 1, {205, 120});
    EXPECT_EQ(state(), 0);
    ASSERT_EQ(write(60030, 1), 1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(state(), 1) << "armed, and the channel stays below the level";
    // The trigger only looks for its edge once the pre-trigger samples (3 ms here) are recorded.
    ::usleep(100000);
    uint16_t count = 0xFFFF;
    ASSERT_EQ(modbus_read_registers(m_mb, 9999, 1, &count), 1);
    EXPECT_EQ(count, 0) << "no trace while armed";

    ASSERT_EQ(write(2051, 100), 1); // the channel crosses the level
    EXPECT_EQ(pollUntilComplete(1), (std::vector<int>{1, 2, 3}));

    const auto setting = trace(0);
    ASSERT_EQ(setting.size(), 512U);
    for (std::size_t k = 0; k < setting.size(); ++k)
        ASSERT_EQ(setting[k], k < 100 ? 10U : 100U)
            << "sample " << k << ": the delay puts the trigger at 100";
    const auto current = trace(1);
    ASSERT_EQ(current.size(), 512U);
    float low = 1e9f, high = -1e9f;
    for (uint32_t bits : current) {
        low = std::min(low, asFloat(bits));
        high = std::max(high, asFloat(bits));
    }
    EXPECT_LT(low, high) << "a live waveform";
    EXPECT_LT(high, 600.0f);
    EXPECT_EQ(trace(2).size(), 0U) << "only two channels recorded";

    // The settings read back as written; reset clears state and traces.
    uint16_t settings[7] = {};
    ASSERT_EQ(modbus_read_registers(m_mb, 59999, 7, settings), 7);
    EXPECT_EQ(settings[0], 205);
    EXPECT_EQ(settings[1], 50);
    EXPECT_EQ(settings[4], 100);
    EXPECT_EQ(settings[6], 2);
    ASSERT_EQ(write(60030, 0), 1);
    EXPECT_EQ(state(), 0);
    EXPECT_EQ(trace(0).size(), 0U);
}

TEST_F(SimCapture, FallingModeAndSixteenBitLevel) {
    // 205 set to 30; trigger when it falls below 20 (level in the low 16 bits).
    ASSERT_EQ(write(2051, 30), 1);
    setUp(205, 20, 1, 10, 1, {205});
    ASSERT_EQ(write(60030, 1), 1);
    EXPECT_EQ(state(), 1);
    ::usleep(100000);              // pre-trigger samples recorded
    ASSERT_EQ(write(2051, 25), 1); // still above: nothing
    EXPECT_EQ(state(), 1);
    ASSERT_EQ(write(2051, 5), 1);
    EXPECT_EQ(pollUntilComplete(1), (std::vector<int>{1, 2, 3}));
    const auto values = trace(0);
    ASSERT_EQ(values.size(), 512U);
    EXPECT_TRUE(values[9] == 25U || values[9] == 30U) << values[9];
    EXPECT_EQ(values[10], 5U) << "the delay puts the trigger at 10";
    EXPECT_EQ(values[511], 5U);
}

TEST_F(SimCapture, InvalidSettingsAreRefused) {
    EXPECT_EQ(write(60004, 513), -1);
    EXPECT_EQ(errno, EMBXILVAL);
    EXPECT_EQ(write(60005, 0), -1);
    EXPECT_EQ(write(60006, 11), -1);
    EXPECT_EQ(write(60003, 2), -1);
    EXPECT_EQ(write(60030, 2), -1);
    EXPECT_EQ(write(60008, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
    // Arming with a channel the catalogue does not know.
    setUp(9999, 0, 0, 0, 1, {120});
    EXPECT_EQ(write(60030, 1), -1);
    EXPECT_EQ(errno, EMBXILVAL);
    EXPECT_EQ(state(), 0);
    // Trace registers are read-only.
    EXPECT_EQ(write(10003, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
}

TEST_F(SimCapture, MainsCurrentShowsItsHarmonics) {
    // Divider 5: 6400 samples per second, 512 samples are 80 ms, four mains periods, so harmonic h of 50 Hz
    // falls into DFT bin 4h. Trigger on the rising zero crossing of mains current L1.
    setUp(120, 0, 0, 0, 5, {120, 110});
    ASSERT_EQ(write(60030, 1), 1);
    EXPECT_EQ(pollUntilComplete(0), (std::vector<int>{0, 1, 2, 3})) << "each state is reported in turn";
    const auto raw = trace(0);
    ASSERT_EQ(raw.size(), 512U);
    std::vector<double> x;
    double peak = 0;
    for (uint32_t bits : raw) {
        x.push_back(asFloat(bits));
        peak = std::max(peak, std::abs(x.back()));
    }
    EXPECT_GT(x[0], 0.0) << "the first sample follows the rising crossing";
    EXPECT_LT(x[0], 0.2 * peak);

    auto magnitude = [&x](int bin) {
        std::complex<double> sum = 0;
        const double n = static_cast<double>(x.size());
        for (std::size_t k = 0; k < x.size(); ++k)
            sum += x[k] * std::polar(1.0, -2.0 * std::numbers::pi * bin * static_cast<double>(k) / n);
        return 2.0 * std::abs(sum) / n;
    };
    const double fundamental = magnitude(4);
    EXPECT_GT(fundamental, 30.0);
    double floor = 0;
    // Orders the load does not draw, away from the fundamental's leakage (the load moves a little during
    // the capture, so the lowest bins carry some of it).
    for (int h : {6, 8, 9, 10, 12, 15})
        floor = std::max(floor, magnitude(4 * h));
    for (int h : {5, 7, 11, 13}) {
        const double m = magnitude(4 * h);
        EXPECT_LT(m, 0.2 * fundamental) << "harmonic " << h;
        EXPECT_GT(m, 4.0 * floor) << "harmonic " << h << " stands out of the non-characteristic orders";
    }

    // The voltage channel is a 230 V wave.
    const auto voltage = trace(1);
    ASSERT_EQ(voltage.size(), 512U);
    double vPeak = 0;
    for (uint32_t bits : voltage)
        vPeak = std::max(vPeak, static_cast<double>(std::abs(asFloat(bits))));
    EXPECT_NEAR(vPeak, 230.0 * std::numbers::sqrt2, 15.0);
}

} // namespace
