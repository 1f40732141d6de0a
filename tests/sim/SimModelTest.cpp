// The device model in-process, with a stepped clock: what the wire tests cannot pin down without waiting.

#include "DeviceModel.h"
#include "EventLog.h"
#include "Faults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using quirel::sim::DeviceModel;
using quirel::sim::EventLog;
using quirel::sim::Exception;
using quirel::sim::Faults;

namespace {

quirel::sim::SimCatalogue demoCatalogue() {
    quirel::sim::SimCatalogue catalogue;
    std::string error;
    EXPECT_TRUE(quirel::sim::loadSimCatalogue(std::string(QUIREL_RESOURCES_DIR) + "/Parameters.ini",
                                              catalogue, error))
        << error;
    return catalogue;
}

class SimModel : public ::testing::Test {
protected:
    SimModel() : model(demoCatalogue(), {"Vendor", "Product", "V2.14"}, 9) {
        model.setClock([this] { return t; });
    }
    Exception write(int ref, std::uint16_t value) {
        return model.writeHolding(static_cast<std::uint16_t>(ref - 1), {value});
    }
    int read(int ref) {
        std::vector<std::uint16_t> out;
        EXPECT_EQ(model.readHolding(static_cast<std::uint16_t>(ref - 1), 1, out), Exception::None);
        return out.empty() ? -1 : out[0];
    }
    double t = 100.0;
    DeviceModel model;
};

TEST_F(SimModel, SameSeedSameValuesOtherSeedOtherLoad) {
    DeviceModel twin(demoCatalogue(), {"Vendor", "Product", "V2.14"}, 9);
    DeviceModel other(demoCatalogue(), {"Vendor", "Product", "V2.14"}, 10);
    for (double at : {1.0, 17.5, 300.25}) {
        EXPECT_EQ(model.liveValue(130, at), twin.liveValue(130, at));
        EXPECT_EQ(model.traceValue(120, at), twin.traceValue(120, at));
    }
    EXPECT_NE(model.liveValue(130, 30.0), other.liveValue(130, 30.0));
    EXPECT_EQ(model.eventLog().lines(), twin.eventLog().lines());
    EXPECT_NE(model.eventLog().lines(), other.eventLog().lines());
}

TEST_F(SimModel, LoadStepsMoveCurrentsAndTheFilterFollows) {
    // Over a few minutes the load takes several levels; mains current stays below load current throughout.
    double low = 1e9, high = 0;
    for (double at = 0; at < 240; at += 6) {
        const double load = model.liveValue(130, at);
        low = std::min(low, load);
        high = std::max(high, load);
        EXPECT_LT(model.liveValue(120, at), load);
        EXPECT_GT(model.liveValue(140, at), 0.0);
    }
    EXPECT_GT(high - low, 10.0);
}

TEST_F(SimModel, CaptureCompletesWithoutPollingAndTimesItsSamples) {
    // Divider 320: 10 ms per sample; trigger on setting 205 rising above 50, delay 4.
    ASSERT_EQ(write(60000, 205), Exception::None);
    ASSERT_EQ(write(60001, 50), Exception::None);
    ASSERT_EQ(write(60004, 4), Exception::None);
    ASSERT_EQ(write(60005, 320), Exception::None);
    ASSERT_EQ(write(60006, 1), Exception::None);
    ASSERT_EQ(write(60010, 205), Exception::None);
    ASSERT_EQ(write(60030, 1), Exception::None);
    t += 1.0;
    model.advance();
    EXPECT_EQ(model.captureState(), 1);
    ASSERT_EQ(write(2051, 60), Exception::None);
    t += 0.011;
    model.advance();
    EXPECT_EQ(model.captureState(), 2);
    t += 5.0; // 508 more samples take 5.08 s
    model.advance();
    EXPECT_EQ(model.captureState(), 2);
    t += 0.1;
    model.advance();
    EXPECT_EQ(model.captureState(), 3);
    // The reported state still steps through 1, 2, 3.
    EXPECT_EQ(read(60030), 1);
    EXPECT_EQ(read(60030), 2);
    EXPECT_EQ(read(60030), 3);
    EXPECT_EQ(read(60030), 3);
    EXPECT_EQ(read(10000), 512);
    EXPECT_EQ(read(10002 + 2 * 3), 10);
    EXPECT_EQ(read(10002 + 2 * 4), 60);
}

TEST_F(SimModel, DeviceClockWritesShiftTheClock) {
    const auto clockAt = [this] {
        std::vector<std::uint16_t> out;
        EXPECT_EQ(model.readHolding(400, 2, out), Exception::None);
        return static_cast<std::uint32_t>(out[0]) | (static_cast<std::uint32_t>(out[1]) << 16);
    };
    const std::uint32_t before = clockAt();
    t += 10;
    EXPECT_EQ(clockAt(), before + 10);
    const std::uint32_t set = 1800000000U;
    ASSERT_EQ(model.writeHolding(
                  400, {static_cast<std::uint16_t>(set & 0xFFFF), static_cast<std::uint16_t>(set >> 16)}),
              Exception::None);
    t += 3;
    EXPECT_EQ(clockAt(), set + 3);
}

TEST(SimEventLog, FilesEndWithTwoZeroBytesInsideOneBlock) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        EventLog log(seed, 420);
        for (int file : {1, 20, 25, 31}) {
            const std::string bytes = log.fileBytes(file);
            ASSERT_FALSE(bytes.empty());
            ASSERT_EQ(bytes.size() % 166, 0U);
            ASSERT_LE(bytes.size(), EventLog::kFileCapacity);
            const auto end = bytes.find('\0');
            ASSERT_NE(end, std::string::npos);
            EXPECT_EQ(bytes[end + 1], '\0');
            EXPECT_EQ(end / 166, (end + 1) / 166) << "seed " << seed << " file " << file;
            EXPECT_EQ(bytes[end - 1], '\n');
        }
        EXPECT_TRUE(log.fileBytes(2).empty());
    }
}

// Reads one file as the event-log reader does: up to the first zero byte followed by another, block by block.
std::string readerText(const EventLog& log, int file) {
    const std::string bytes = log.fileBytes(file);
    for (std::size_t block = 0; block * 166 < bytes.size(); ++block) {
        const std::size_t from = block * 166;
        for (std::size_t i = from; i + 1 < from + 166; ++i)
            if (bytes[i] == '\0' && bytes[i + 1] == '\0')
                return bytes.substr(0, i);
    }
    ADD_FAILURE() << "file " << file << " has no end marker";
    return bytes;
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
    ASSERT_EQ(log.lines().size(), EventLog::kMaxRecords);

    // Every line is one event with its description and two more fields.
    const std::vector<std::string>& lines = log.lines();
    for (const std::string& line : {lines[0], lines[1], lines[2], lines.back()}) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ';'), 2) << line;
        EXPECT_EQ(line.find_first_of(std::string("\n\0", 2)), std::string::npos) << line;
        EXPECT_LE(line.size(), 80U) << "a saved log must show its kind marker within 80 characters";
    }
    EXPECT_NE(lines[1].find(" a b c  d;"), std::string::npos) << lines[1];
    const auto umlaut = lines[2].substr(20, lines[2].find(';') - 20);
    EXPECT_LE(umlaut.size(), 40U);
    EXPECT_NE(static_cast<unsigned char>(umlaut.back()), 0xC3) << "no character cut in half";

    // Reading all records gives back every line, oldest first, none lost.
    std::string all;
    for (int file = EventLog::kFirstAllFile; file <= EventLog::kLastAllFile; ++file)
        all += readerText(log, file);
    std::string expected;
    for (const std::string& line : lines)
        expected += line + '\n';
    EXPECT_EQ(all.size(), expected.size());
    EXPECT_TRUE(all == expected) << "records lost or out of order";
    std::string latest;
    for (std::size_t i = lines.size() - EventLog::kLatestCount; i < lines.size(); ++i)
        latest += lines[i] + '\n';
    EXPECT_TRUE(readerText(log, EventLog::kLatestFile) == latest);
}

TEST(SimFaultCommands, ParseAndCount) {
    Faults faults;
    std::string reply;
    EXPECT_FALSE(faults.apply("drop", reply));
    EXPECT_FALSE(faults.apply("drop -1", reply));
    EXPECT_FALSE(faults.apply("exception 4 10 5", reply)) << "last before first";
    EXPECT_FALSE(faults.apply("stray 2", reply));
    EXPECT_FALSE(faults.apply("refuse maybe", reply));
    EXPECT_EQ(reply.rfind("error", 0), 0U);
    ASSERT_TRUE(faults.apply("drop 2", reply));
    EXPECT_EQ(reply, "ok drop 2 crc 0 delay 0 stray 0 0 close-after 0 refuse off");
    EXPECT_FALSE(faults.takeDrop());
    EXPECT_TRUE(faults.takeDrop());
    EXPECT_FALSE(faults.takeDrop());
    ASSERT_TRUE(faults.apply("exception 3 100 110", reply));
    EXPECT_EQ(faults.exceptionFor(90, 10), 0);
    EXPECT_EQ(faults.exceptionFor(90, 11), 3);
    EXPECT_EQ(faults.exceptionFor(110, 1), 3);
    EXPECT_EQ(faults.exceptionFor(111, 5), 0);
    ASSERT_TRUE(faults.apply("clear", reply));
    EXPECT_EQ(faults.exceptionFor(100, 1), 0);
    EXPECT_FALSE(faults.takeDrop());
    EXPECT_FALSE(faults.takeDrop());
}

} // namespace
