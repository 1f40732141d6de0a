// Functions libmodbus cannot receive (20 read file record, 43/14 read device identification), as raw frames
// over TCP and over the pseudo-terminal: event log and catalogue files reassembled, identification objects.

#include "SimProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <regex>
#include <sstream>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::vector<std::uint8_t> fileRecordRequest(int file, int record, int length) {
    return {0x14,
            7,
            6,
            static_cast<std::uint8_t>(file >> 8),
            static_cast<std::uint8_t>(file),
            static_cast<std::uint8_t>(record >> 8),
            static_cast<std::uint8_t>(record),
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length)};
}

// Reads one file as the event-log reader does: blocks of 83 registers until a zero byte followed by another.
std::string readLogFile(RawTcp& tcp, int file) {
    std::string text;
    for (int block = 0; block < 100; ++block) {
        const auto reply = tcp.transact(1, fileRecordRequest(file, block * 83, 83));
        EXPECT_EQ(reply.size(), 7U + 4 + 166) << "file " << file << " block " << block;
        if (reply.size() != 7U + 4 + 166)
            return text;
        EXPECT_EQ(reply[7], 0x14);
        EXPECT_EQ(reply[8], 168) << "response data length";
        EXPECT_EQ(reply[9], 167) << "sub-response length";
        EXPECT_EQ(reply[10], 6) << "reference type";
        const std::string data(reply.begin() + 11, reply.end());
        for (std::size_t i = 0; i + 1 < data.size(); ++i)
            if (data[i] == '\0' && data[i + 1] == '\0')
                return text + data.substr(0, i);
        text += data;
    }
    ADD_FAILURE() << "no end marker in file " << file;
    return text;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

std::string readCatalogue(RawTcp& tcp) {
    // The download procedure: a probe, then files 2..12 in blocks of 100 registers up to the first zero byte.
    const auto probe = tcp.transact(1, fileRecordRequest(2, 0, 1));
    EXPECT_EQ(probe.size(), 7U + 4 + 2);
    std::string text;
    for (int file = 2; file <= 12; ++file) {
        for (int block = 0; block < 100; ++block) {
            const auto reply = tcp.transact(1, fileRecordRequest(file, block * 100, 100));
            if (reply.size() != 7U + 4 + 200) {
                ADD_FAILURE() << "file " << file << " block " << block;
                return text;
            }
            EXPECT_EQ(reply[8], 202);
            const std::string data(reply.begin() + 11, reply.end());
            const auto zero = data.find('\0');
            text += data.substr(0, zero);
            if (zero != std::string::npos)
                return text;
        }
    }
    ADD_FAILURE() << "catalogue without end";
    return text;
}

std::string fileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

const std::string kCatalogue = std::string(QUIREL_RESOURCES_DIR) + "/Parameters.ini";

TEST(SimFrames, EventLogFilesReassembleToEventLines) {
    SimProcess sim({"--tcp", "0", "--seed", "11"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    ASSERT_TRUE(tcp.connected());

    const std::regex event(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d [^;]+;\d+;(Error|Status|Info))");
    const auto latest = splitLines(readLogFile(tcp, 1));
    EXPECT_GE(latest.size(), 24U);
    EXPECT_LE(latest.size(), 60U);
    std::vector<std::string> all;
    for (int file = 20; file <= 31; ++file) {
        const auto lines = splitLines(readLogFile(tcp, file));
        EXPECT_FALSE(lines.empty()) << "file " << file;
        all.insert(all.end(), lines.begin(), lines.end());
    }
    EXPECT_GE(all.size(), 300U);
    int errors = 0;
    for (const auto& line : all) {
        EXPECT_TRUE(std::regex_match(line, event)) << line;
        errors += line.find(";Error") != std::string::npos ? 1 : 0;
    }
    EXPECT_GT(errors, 0);
    EXPECT_LT(errors, static_cast<int>(all.size()));
    // The latest records are the newest of all records, in the same order.
    ASSERT_LE(latest.size(), all.size());
    EXPECT_TRUE(std::equal(latest.begin(), latest.end(), all.end() - static_cast<long>(latest.size())));

    // Outside the files and past the last record: illegal data address.
    auto reply = tcp.transact(1, fileRecordRequest(5000, 0, 83));
    ASSERT_EQ(reply.size(), 9U);
    EXPECT_EQ(reply[7], 0x94);
    EXPECT_EQ(reply[8], 2);
    reply = tcp.transact(1, fileRecordRequest(1, 9990, 83));
    ASSERT_EQ(reply.size(), 9U);
    EXPECT_EQ(reply[8], 2);
    // A reference type other than 6.
    auto wrongType = fileRecordRequest(1, 0, 83);
    wrongType[2] = 5;
    reply = tcp.transact(1, wrongType);
    ASSERT_EQ(reply.size(), 9U);
    EXPECT_EQ(reply[7], 0x94);
}

TEST(SimFrames, RuntimeEventsAppearInTheLog) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    // 601 "Clear event log" (write only): afterwards the log holds the one line that says so.
    const auto reply = tcp.transact(1, {0x10, 0x17, 0x7A, 0x00, 0x01, 0x02, 0x00, 0x01});
    ASSERT_EQ(reply.size(), 12U);
    EXPECT_EQ(reply[7], 0x10);
    const auto lines = splitLines(readLogFile(tcp, 1));
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_NE(lines[0].find(" Event log cleared;"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(";Info"), std::string::npos);
}

TEST(SimFrames, TripAndEventCommandsReachStateAndLog) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    const std::vector<std::uint8_t> readState = {0x03, 0x00, 0xC8, 0x00, 0x01};  // 20 device state
    const std::vector<std::uint8_t> readDetail = {0x03, 0x00, 0xD2, 0x00, 0x01}; // 21 state detail
    EXPECT_EQ(tcp.transact(1, readState).back(), 3) << "Running";
    EXPECT_EQ(sim.command("event info Service visit"), "ok event");
    EXPECT_EQ(sim.command("event warning Nonsense").rfind("error", 0), 0U);
    EXPECT_EQ(sim.command("trip 12").rfind("error", 0), 0U);
    // Texts that would break a line's fields or overflow the description field are refused.
    EXPECT_EQ(sim.command("trip 4 Heat;sink").rfind("error", 0), 0U);
    EXPECT_EQ(sim.command("event info " + std::string(41, 'x')).rfind("error", 0), 0U);
    EXPECT_EQ(sim.command("event info " + std::string(40, 'x')), "ok event");
    EXPECT_EQ(sim.command("trip 4"), "ok trip 4");
    EXPECT_EQ(tcp.transact(1, readState).back(), 4) << "Fault";
    EXPECT_EQ(tcp.transact(1, readDetail).back(), 4) << "Heat sink overtemperature";
    auto lines = splitLines(readLogFile(tcp, 1));
    ASSERT_GE(lines.size(), 4U);
    EXPECT_NE(lines[lines.size() - 4].find(" Service visit;"), std::string::npos);
    EXPECT_NE(lines[lines.size() - 3].find(" " + std::string(40, 'x') + ";"), std::string::npos);
    EXPECT_NE(lines[lines.size() - 2].find(" Heat sink overtemperature;"), std::string::npos);
    EXPECT_NE(lines[lines.size() - 2].find(";Error"), std::string::npos);
    // 600 "Acknowledge fault" = 1 clears it.
    tcp.transact(1, {0x10, 0x17, 0x70, 0x00, 0x01, 0x02, 0x00, 0x01});
    EXPECT_EQ(tcp.transact(1, readState).back(), 3);
    EXPECT_EQ(tcp.transact(1, readDetail).back(), 0);
}

TEST(SimFrames, CatalogueFilesHoldTheCatalogueText) {
    {
        SimProcess sim({"--tcp", "0"});
        ASSERT_TRUE(sim.ready()) << sim.failure();
        RawTcp tcp(sim.tcpPort());
        EXPECT_EQ(readCatalogue(tcp), fileContents(kCatalogue));
    }
    {
        SimProcess sim({"--tcp", "0", "--revision", "V3.01"});
        ASSERT_TRUE(sim.ready()) << sim.failure();
        RawTcp tcp(sim.tcpPort());
        const std::string text = readCatalogue(tcp);
        const std::string original = fileContents(kCatalogue);
        EXPECT_NE(text.find("Revision=V3.01"), std::string::npos);
        EXPECT_EQ(text.find("Revision=V2.14"), std::string::npos);
        EXPECT_EQ(splitLines(text).size(), splitLines(original).size()) << "only the revision line changes";
    }
}

TEST(SimFrames, DeviceCatalogueIsServedWithItsOwnRevision) {
    // A newer catalogue in the device than the one its registers come from: what the download offer is for.
    std::string newer = fileContents(kCatalogue);
    const auto at = newer.find("Revision=V2.14");
    ASSERT_NE(at, std::string::npos);
    newer.replace(at, 14, "Revision=V2.20");
    newer += "\n; added in V2.20\n";
    const std::string path = ::testing::TempDir() + "quirel-sim-newer-" + std::to_string(::getpid()) + ".ini";
    std::ofstream(path, std::ios::binary) << newer;
    SimProcess sim({"--tcp", "0", "--device-catalogue", path});
    ::unlink(path.c_str());
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    EXPECT_EQ(readCatalogue(tcp), newer);
    const auto reply = tcp.transact(1, {0x2B, 0x0E, 0x01, 0x00});
    ASSERT_EQ(reply.size(), 7U + 1 + 108);
    const std::string revision(reply.begin() + 7 + 7 + 34 + 34 + 2, reply.end());
    EXPECT_EQ(revision.substr(0, revision.find('\0')), "V2.20");
}

// Parses the 43/14 answer PDU into its objects.
std::vector<std::pair<int, std::string>> identificationObjects(const std::vector<std::uint8_t>& pdu) {
    std::vector<std::pair<int, std::string>> objects;
    std::size_t pos = 7;
    for (int i = 0; i < pdu[6] && pos + 2 <= pdu.size(); ++i) {
        const int id = pdu[pos];
        const std::size_t length = pdu[pos + 1];
        objects.emplace_back(id, std::string(pdu.begin() + static_cast<long>(pos) + 2,
                                             pdu.begin() + static_cast<long>(pos + 2 + length)));
        pos += 2 + length;
    }
    EXPECT_EQ(pos, pdu.size());
    return objects;
}

std::string untilZero(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

TEST(SimFrames, DeviceIdentificationOverTcp) {
    const std::string longest(31, 'R'); // the object's 32 bytes less the closing zero byte
    SimProcess sim({"--tcp", "0", "--vendor", "Acme Filters", "--product", "AHF-200", "--revision", longest});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    const auto reply = tcp.transact(1, {0x2B, 0x0E, 0x01, 0x00});
    // MBAP 7 bytes, function code, then exactly 108 data bytes.
    ASSERT_EQ(reply.size(), 7U + 1 + 108);
    const std::vector<std::uint8_t> pdu(reply.begin() + 7, reply.end());
    EXPECT_EQ(pdu[0], 0x2B);
    EXPECT_EQ(pdu[1], 0x0E);
    EXPECT_EQ(pdu[2], 0x01);
    EXPECT_EQ(pdu[4], 0x00) << "no more follows";
    const auto objects = identificationObjects(pdu);
    ASSERT_EQ(objects.size(), 3U);
    EXPECT_EQ(objects[0].first, 0);
    EXPECT_EQ(untilZero(objects[0].second), "Acme Filters");
    EXPECT_EQ(untilZero(objects[1].second), "AHF-200");
    EXPECT_EQ(untilZero(objects[2].second), longest);
    // Individual access to one object.
    const auto single = tcp.transact(1, {0x2B, 0x0E, 0x04, 0x02});
    ASSERT_GT(single.size(), 9U);
    const auto one = identificationObjects(std::vector<std::uint8_t>(single.begin() + 7, single.end()));
    ASSERT_EQ(one.size(), 1U);
    EXPECT_EQ(one[0].first, 2);
    EXPECT_EQ(untilZero(one[0].second), longest);
    // Bad MEI type.
    const auto bad = tcp.transact(1, {0x2B, 0x0D, 0x01, 0x00});
    ASSERT_EQ(bad.size(), 9U);
    EXPECT_EQ(bad[7], 0xAB);
    EXPECT_EQ(bad[8], 3);
}

TEST(SimFrames, DefaultIdentificationComesFromTheCatalogue) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    const auto reply = tcp.transact(1, {0x2B, 0x0E, 0x01, 0x00});
    ASSERT_EQ(reply.size(), 7U + 1 + 108);
    const auto objects = identificationObjects(std::vector<std::uint8_t>(reply.begin() + 7, reply.end()));
    ASSERT_EQ(objects.size(), 3U);
    EXPECT_EQ(untilZero(objects[0].second), "Tolvane International Ltd");
    EXPECT_EQ(untilZero(objects[1].second), "AHF-100");
    EXPECT_EQ(untilZero(objects[2].second), "V2.14");
    // Unit ids other than the slave, 0 and 255 are not answered.
    EXPECT_TRUE(tcp.transact(9, {0x03, 0x03, 0xE8, 0x00, 0x02}, 300ms).empty());
    EXPECT_EQ(tcp.transact(0xFF, {0x03, 0x03, 0xE8, 0x00, 0x02}).size(), 7U + 2 + 4);
}

TEST(SimFrames, FileRecordsAndIdentificationOverRtu) {
    const std::uint8_t known[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    ASSERT_EQ(testCrc16(known, sizeof known), 0xCDC5) << "the test's own CRC";

    SimProcess sim({"--pty", "--slave", "3"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawPty pty(sim.ptyPath());
    ASSERT_TRUE(pty.open());

    std::vector<std::uint8_t> request = {3};
    const auto pdu = fileRecordRequest(1, 0, 83);
    request.insert(request.end(), pdu.begin(), pdu.end());
    pty.send(request);
    auto reply = pty.receive(1 + 1 + 1 + 168 + 2);
    ASSERT_EQ(reply.size(), 173U);
    EXPECT_TRUE(RawPty::crcHolds(reply));
    EXPECT_EQ(reply[0], 3);
    EXPECT_EQ(reply[1], 0x14);
    EXPECT_EQ(reply[2], 168);
    EXPECT_EQ(reply[3], 167);
    EXPECT_EQ(reply[4], 6);

    pty.send({3, 0x2B, 0x0E, 0x01, 0x00});
    reply = pty.receive(1 + 1 + 108 + 2);
    ASSERT_EQ(reply.size(), 112U);
    EXPECT_TRUE(RawPty::crcHolds(reply));
    const auto objects = identificationObjects(std::vector<std::uint8_t>(reply.begin() + 1, reply.end() - 2));
    ASSERT_EQ(objects.size(), 3U);
    EXPECT_EQ(untilZero(objects[1].second), "AHF-100");

    // A frame with a broken CRC is ignored; the next good one, after the master's time-out, is answered.
    pty.sendRaw({3, 0x03, 0x03, 0xE8, 0x00, 0x02, 0x00, 0x00});
    EXPECT_TRUE(pty.receive(1, 500ms).empty());
    pty.send({3, 0x03, 0x03, 0xE8, 0x00, 0x02});
    reply = pty.receive(9);
    ASSERT_EQ(reply.size(), 9U);
    EXPECT_TRUE(RawPty::crcHolds(reply));
    // Unknown function: exception 1.
    pty.send({3, 0x41, 0x00});
    reply = pty.receive(5);
    ASSERT_EQ(reply.size(), 5U);
    EXPECT_EQ(reply[1], 0xC1);
    EXPECT_EQ(reply[2], 1);
}

} // namespace
