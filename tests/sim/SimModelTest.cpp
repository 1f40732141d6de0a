// The device model in-process, with a stepped clock: the capture sample by sample, the load and the event
// log, without waiting on real time. The wire tests and the clients' own tests cover the transports.

#include "DeviceModel.h"
#include "EventLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <regex>

using quirel::sim::DeviceModel;
using quirel::sim::EventLog;
using quirel::sim::Exception;

namespace {

DeviceModel demoModel(std::uint32_t seed) {
    quirel::sim::SimCatalogue catalogue;
    std::string error;
    EXPECT_TRUE(quirel::sim::loadSimCatalogue(QUIREL_RESOURCES_DIR "/Parameters.ini", catalogue, error))
        << error;
    return DeviceModel(catalogue, {"Vendor", "Product", "V2.14"}, seed);
}

float asFloat(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

class SimModel : public ::testing::Test {
protected:
    SimModel() {
        model.setClock([this] { return t; });
    }
    // By reference, counted from 1.
    Exception write(int ref, int value) {
        return model.writeHolding(static_cast<std::uint16_t>(ref - 1), {static_cast<std::uint16_t>(value)});
    }
    int read(int ref) {
        std::vector<std::uint16_t> out;
        EXPECT_EQ(model.readHolding(static_cast<std::uint16_t>(ref - 1), 1, out), Exception::None) << ref;
        return out.empty() ? -1 : out[0];
    }
    std::uint32_t read32(int ref) { return static_cast<std::uint32_t>(read(ref) | read(ref + 1) << 16); }
    void step(double seconds) {
        t += seconds;
        model.advance();
    }
    // Trigger channel, level (the low 16 bits), mode, delay, divider and channel list; then arms.
    Exception arm(int channel, int level, int mode, int delay, int divider,
                  const std::vector<int>& channels) {
        const int settings[] = {channel, level, 0, mode, delay, divider, static_cast<int>(channels.size())};
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(write(60000 + i, settings[i]), Exception::None) << 60000 + i;
        for (std::size_t i = 0; i < channels.size(); ++i)
            EXPECT_EQ(write(60010 + static_cast<int>(i), channels[i]), Exception::None);
        return write(60030, 1);
    }
    std::vector<std::uint32_t> trace(int channel) {
        const int base = 10000 + 5000 * channel;
        std::vector<std::uint32_t> values;
        for (std::uint32_t k = 0, n = read32(base); k < n; ++k)
            values.push_back(read32(base + 2 + 2 * static_cast<int>(k)));
        return values;
    }

    double t = 100.0;
    DeviceModel model = demoModel(9);
};

TEST_F(SimModel, SameSeedSameValuesAndTheLoadMoves) {
    DeviceModel twin = demoModel(9), other = demoModel(10);
    for (double at : {1.0, 17.5, 300.25}) {
        EXPECT_EQ(model.liveValue(130, at), twin.liveValue(130, at));
        EXPECT_EQ(model.traceValue(120, at), twin.traceValue(120, at));
    }
    EXPECT_NE(model.liveValue(130, 30.0), other.liveValue(130, 30.0));
    EXPECT_EQ(model.eventLog().lines(), twin.eventLog().lines());
    EXPECT_NE(model.eventLog().lines(), other.eventLog().lines());
    // Over a few minutes the load takes several levels; mains current stays below load current throughout.
    double low = 1e9, high = 0;
    for (double at = 0; at < 240; at += 6) {
        const double load = model.liveValue(130, at);
        low = std::min(low, load), high = std::max(high, load);
        EXPECT_LT(model.liveValue(120, at), load);
        EXPECT_GT(model.liveValue(140, at), 0.0);
    }
    EXPECT_GT(high - low, 10.0);
}

// Trigger on setting 205 (start delay) crossing a level, rising or falling; record it and mains current L1.
TEST_F(SimModel, CaptureStatesDelayAndTraces) {
    const struct {
        int mode, before, level, quiet, crossing, delay, divider;
    } cases[] = {{0, 10, 50, 40, 100, 100, 1}, {1, 30, 20, 25, 5, 10, 320}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const double period = c.divider / DeviceModel::kBaseSampleRate;
        ASSERT_EQ(write(2051, c.before), Exception::None);
        ASSERT_EQ(arm(205, c.level, c.mode, c.delay, c.divider, {205, 120}), Exception::None);
        step(1.0);
        ASSERT_EQ(write(2051, c.quiet), Exception::None); // on the near side of the level: nothing
        step(0.5);
        EXPECT_EQ(model.captureState(), 1);
        EXPECT_EQ(trace(0).size(), 0U) << "no trace while armed";
        ASSERT_EQ(write(2051, c.crossing), Exception::None);
        // Fired at the next sample; complete once the samples after the trigger are recorded.
        for (const auto& [samples, state] : {std::pair{1.1, 2}, {508.0 - c.delay, 2}, {4.0, 3}}) {
            step(samples * period);
            EXPECT_EQ(model.captureState(), state) << samples;
        }
        // The reported state still steps through 1, 2, 3.
        EXPECT_EQ((std::vector<int>{read(60030), read(60030), read(60030), read(60030)}),
                  (std::vector<int>{1, 2, 3, 3}));
        std::vector<std::uint32_t> setting(512, static_cast<std::uint32_t>(c.crossing));
        std::fill_n(setting.begin(), c.delay, static_cast<std::uint32_t>(c.quiet));
        EXPECT_EQ(trace(0), setting) << "the delay puts the trigger at sample " << c.delay;
        const auto current = trace(1);
        ASSERT_EQ(current.size(), 512U);
        const auto [low, high] = std::minmax_element(current.begin(), current.end(),
                                                     [](auto a, auto b) { return asFloat(a) < asFloat(b); });
        EXPECT_LT(asFloat(*low), asFloat(*high)) << "a live waveform";
        EXPECT_LT(asFloat(*high), 600.0f);
        EXPECT_EQ(trace(2).size(), 0U) << "only two channels recorded";
        // The settings read back as written; reset clears state and traces.
        EXPECT_EQ((std::vector<int>{read(60000), read(60001), read(60004), read(60006)}),
                  (std::vector<int>{205, c.level, c.delay, 2}));
        ASSERT_EQ(write(60030, 0), Exception::None);
        EXPECT_EQ(read(60030), 0);
        EXPECT_EQ(trace(0).size(), 0U);
    }
}

TEST_F(SimModel, InvalidCaptureSettingsAreRefused) {
    const struct {
        int ref, value;
        Exception refusal;
    } cases[] = {{60004, 513, Exception::IllegalDataValue}, {60005, 0, Exception::IllegalDataValue},
                 {60006, 11, Exception::IllegalDataValue},  {60003, 2, Exception::IllegalDataValue},
                 {60030, 2, Exception::IllegalDataValue},   {60008, 1, Exception::IllegalDataAddress},
                 {10003, 1, Exception::IllegalDataAddress}}; // traces are read-only
    for (const auto& c : cases)
        EXPECT_EQ(write(c.ref, c.value), c.refusal) << c.ref;
    EXPECT_EQ(arm(9999, 0, 0, 0, 1, {120}), Exception::IllegalDataValue) << "a channel the catalogue lacks";
    EXPECT_EQ(read(60030), 0);
}

TEST_F(SimModel, MainsCurrentShowsItsHarmonics) {
    // Divider 5: 6400 samples per second, 512 samples are 80 ms, four mains periods, so harmonic h of 50 Hz
    // falls into DFT bin 4h. Where the trace starts at the trigger, the CLI's capture test checks.
    ASSERT_EQ(arm(120, 0, 0, 0, 5, {120, 110}), Exception::None);
    for (int i = 0; i < 20 && model.captureState() != 3; ++i)
        step(0.05);
    std::vector<double> x;
    for (std::uint32_t bits : trace(0))
        x.push_back(asFloat(bits));
    ASSERT_EQ(x.size(), 512U);
    auto magnitude = [&x](int bin) {
        std::complex<double> sum = 0;
        for (std::size_t k = 0; k < x.size(); ++k)
            sum += x[k] * std::polar(1.0, -2.0 * std::numbers::pi * bin * static_cast<double>(k) / 512.0);
        return 2.0 * std::abs(sum) / 512.0;
    };
    const double fundamental = magnitude(4);
    EXPECT_GT(fundamental, 30.0);
    // Orders the load does not draw, away from the fundamental's leakage.
    double floor = 0;
    for (int h : {6, 8, 9, 10, 12, 15})
        floor = std::max(floor, magnitude(4 * h));
    for (int h : {5, 7, 11, 13}) {
        EXPECT_LT(magnitude(4 * h), 0.2 * fundamental) << "harmonic " << h;
        EXPECT_GT(magnitude(4 * h), 4.0 * floor) << "harmonic " << h << " stands out of the other orders";
    }
    double vPeak = 0; // the voltage channel is a 230 V wave
    for (std::uint32_t bits : trace(1))
        vPeak = std::max(vPeak, static_cast<double>(std::abs(asFloat(bits))));
    EXPECT_NEAR(vPeak, 230.0 * std::numbers::sqrt2, 15.0);
}

TEST_F(SimModel, DeviceClockWritesShiftTheClock) {
    const std::uint32_t before = read32(401);
    t += 10;
    EXPECT_EQ(read32(401), before + 10);
    const std::uint32_t set = 1800000000U;
    ASSERT_EQ(model.writeHolding(
                  400, {static_cast<std::uint16_t>(set & 0xFFFF), static_cast<std::uint16_t>(set >> 16)}),
              Exception::None);
    t += 3;
    EXPECT_EQ(read32(401), set + 3);
}

// Reads one file as the event-log reader does: up to the first zero byte followed by another, block by block.
std::string readerText(const EventLog& log, int file) {
    const std::string bytes = log.fileBytes(file);
    for (std::size_t from = 0; from < bytes.size(); from += 166)
        if (const auto end = bytes.substr(from, 166).find(std::string(2, '\0')); end != std::string::npos)
            return bytes.substr(0, from + end);
    ADD_FAILURE() << "file " << file << " has no end marker";
    return bytes;
}

// Whatever the seed, every file's text ends with two zero bytes inside one block, as the reader looks for it.
TEST(SimEventLog, FilesEndInsideOneBlockAndHoldEventLines) {
    const std::regex event(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d [^;]+;\d+;(Error|Status|Info))");
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        EventLog log(seed, 420);
        for (int file : {1, 20, 25, 31}) {
            const std::string bytes = log.fileBytes(file);
            ASSERT_EQ(bytes.size() % 166, 0U);
            ASSERT_LE(bytes.size(), EventLog::kFileCapacity);
            const std::string text = readerText(log, file);
            EXPECT_EQ(text, bytes.substr(0, bytes.find('\0'))) << "seed " << seed << " file " << file;
            EXPECT_TRUE(text.ends_with('\n'));
        }
        EXPECT_TRUE(log.fileBytes(2).empty());
        for (const std::string& line : log.lines())
            ASSERT_TRUE(std::regex_match(line, event)) << line;
    }
}

TEST(SimEventLog, FullLogOfLongAndOddDescriptionsKeepsEveryRecordAndItsFields) {
    EventLog log(3, 0);
    // Texts from commands and catalogues: too long, with field separators, line breaks and zero bytes.
    log.append(0, 0, std::string(300, 'x'), EventLog::Kind::Error);
    log.append(1, 1, std::string("a;b\nc") + '\0' + '\0' + "d", EventLog::Kind::Status);
    log.append(2, 2, "Stromwandler \xC3\xBC" + std::string(40, 'y'), EventLog::Kind::Info);
    for (int i = 0; log.lines().size() < EventLog::kMaxRecords; ++i)
        log.append(3 + i, 3 + i, "Event " + std::to_string(i) + " " + std::string(40, 'z'),
                   EventLog::Kind::Info);
    const std::vector<std::string>& lines = log.lines();
    ASSERT_EQ(lines.size(), EventLog::kMaxRecords);
    // Every line is one event with its description and two more fields.
    for (const std::string& line : {lines[0], lines[1], lines[2], lines.back()}) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ';'), 2) << line;
        EXPECT_EQ(line.find_first_of(std::string("\n\0", 2)), std::string::npos) << line;
        EXPECT_LE(line.size(), 80U) << "a saved log must show its kind marker within 80 characters";
    }
    EXPECT_NE(lines[1].find(" a b c  d;"), std::string::npos) << lines[1];
    const auto umlaut = lines[2].substr(20, lines[2].find(';') - 20);
    EXPECT_LE(umlaut.size(), 40U);
    EXPECT_NE(static_cast<unsigned char>(umlaut.back()), 0xC3) << "no character cut in half";
    // Reading all records gives back every line, oldest first, none lost; the latest file the newest.
    std::string all, expected, latest;
    for (int file = EventLog::kFirstAllFile; file <= EventLog::kLastAllFile; ++file)
        all += readerText(log, file);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        expected += lines[i] + '\n';
        latest += i >= lines.size() - EventLog::kLatestCount ? lines[i] + '\n' : "";
    }
    EXPECT_TRUE(all == expected) << "records lost or out of order";
    EXPECT_TRUE(readerText(log, EventLog::kLatestFile) == latest);
}

} // namespace
