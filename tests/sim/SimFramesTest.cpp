// Functions libmodbus cannot receive (20 read file record, 43/14 read device identification), as raw frames
// over TCP: event log and catalogue files reassembled, identification objects; broken frames over the pty.

#include "SimProcess.h"
#include "TempFolder.h"
#include "base/FileUtil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fileRecordRequest(int file, int record, int length) {
    auto at = [](int value, int shift) { return static_cast<std::uint8_t>(value >> shift); };
    return {0x14, 7, 6, at(file, 8), at(file, 0), at(record, 8), at(record, 0), at(length, 8), at(length, 0)};
}

// Reads files as the readers do: blocks of `registers` from each file in turn until `end` (the event log
// ends with two zero bytes inside one block, the catalogue with one).
std::string readFiles(RawTcp& tcp, int first, int last, int registers, const std::string& end) {
    std::string text;
    for (int file = first; file <= last; ++file) {
        for (int block = 0; block < 100; ++block) {
            const auto reply = tcp.transact(1, fileRecordRequest(file, block * registers, registers));
            // Response data length, sub-response length and reference type.
            const auto n = static_cast<std::size_t>(2 * registers);
            if (reply.size() != 11 + n || reply[8] != n + 2 || reply[9] != n + 1 || reply[10] != 6) {
                ADD_FAILURE() << "file " << file << " block " << block;
                return text;
            }
            const std::string data(reply.begin() + 11, reply.end());
            if (const auto at = data.find(end); at != std::string::npos)
                return text + data.substr(0, at);
            text += data;
        }
    }
    ADD_FAILURE() << "no end in files " << first << " to " << last;
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

std::string readLog(RawTcp& tcp, int first, int last) {
    return readFiles(tcp, first, last, 83, std::string(2, '\0'));
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The objects of a 43/14 answer PDU, each value up to its first zero byte.
std::vector<std::pair<int, std::string>> identificationObjects(const Bytes& pdu) {
    std::vector<std::pair<int, std::string>> objects;
    std::size_t pos = 7;
    for (int i = 0; pdu.size() > 6 && i < pdu[6] && pos + 2 <= pdu.size(); ++i) {
        const std::string value(pdu.begin() + static_cast<long>(pos) + 2,
                                pdu.begin() + static_cast<long>(pos + 2 + pdu[pos + 1]));
        objects.emplace_back(pdu[pos], value.substr(0, value.find('\0')));
        pos += 2 + pdu[pos + 1];
    }
    EXPECT_EQ(pos, pdu.size());
    return objects;
}

Bytes pduOf(const Bytes& tcpReply) {
    return tcpReply.size() > 7 ? Bytes(tcpReply.begin() + 7, tcpReply.end()) : Bytes{};
}

TEST(SimFrames, TripEventAndClearCommandsReachStateAndLog) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    auto stateAndDetail = [&tcp] { // 20 device state, 21 state detail
        return std::pair{tcp.transact(1, {0x03, 0x00, 0xC8, 0x00, 0x01}).back(),
                         tcp.transact(1, {0x03, 0x00, 0xD2, 0x00, 0x01}).back()};
    };
    auto write = [&tcp](std::uint8_t low, std::uint8_t value) { // to a parameter from 600
        return tcp.transact(1, {0x10, 0x17, low, 0x00, 0x01, 0x02, 0x00, value}).size();
    };
    EXPECT_EQ(stateAndDetail(), std::pair(std::uint8_t{3}, std::uint8_t{0})) << "Running";
    // Unknown kinds and details, and texts that would break a line's fields or overflow the description
    // field, are refused.
    for (const std::string& refused : std::vector<std::string>{
             "event warning Nonsense", "trip 12", "trip 4 Heat;sink", "event info " + std::string(41, 'x')})
        EXPECT_EQ(sim.command(refused).rfind("error", 0), 0U) << refused;
    EXPECT_EQ(sim.command("event info Service visit"), "ok event");
    EXPECT_EQ(sim.command("event info " + std::string(40, 'x')), "ok event");
    EXPECT_EQ(sim.command("trip 4"), "ok trip 4");
    EXPECT_EQ(stateAndDetail(), std::pair(std::uint8_t{4}, std::uint8_t{4})) << "Fault, heat sink";
    const auto lines = splitLines(readLog(tcp, 1, 1));
    ASSERT_GE(lines.size(), 4U);
    EXPECT_NE(lines[lines.size() - 4].find(" Service visit;"), std::string::npos);
    EXPECT_NE(lines[lines.size() - 3].find(" " + std::string(40, 'x') + ";"), std::string::npos);
    EXPECT_NE(lines[lines.size() - 2].find(" Heat sink overtemperature;"), std::string::npos);
    EXPECT_TRUE(lines[lines.size() - 2].ends_with(";Error"));
    ASSERT_EQ(write(0x70, 1), 12U) << "600 acknowledge fault";
    EXPECT_EQ(stateAndDetail(), std::pair(std::uint8_t{3}, std::uint8_t{0}));
    // Outside the files, past the last record, a reference type other than 6: illegal data address.
    auto wrongType = fileRecordRequest(1, 0, 83);
    wrongType[2] = 5;
    for (const Bytes& request : {fileRecordRequest(5000, 0, 83), fileRecordRequest(1, 9990, 83), wrongType})
        EXPECT_EQ(pduOf(tcp.transact(1, request)), (Bytes{0x94, 2}));
    ASSERT_EQ(write(0x7A, 1), 12U) << "601 clear event log";
    const auto cleared = splitLines(readLog(tcp, 1, 1));
    ASSERT_EQ(cleared.size(), 1U);
    EXPECT_NE(cleared[0].find(" Event log cleared;"), std::string::npos);
    EXPECT_TRUE(cleared[0].ends_with(";Info"));
}

// The catalogue files and the identification: from the register map's catalogue, with options, and from
// another catalogue in the device (what the download offer is for).
TEST(SimFrames, CatalogueFilesAndIdentificationFollowTheOptions) {
    const std::string original = *quirel::readWholeFile(QUIREL_RESOURCES_DIR "/Parameters.ini", 1 << 20);
    const std::string newer = replaced(original, "Revision=V2.14", "Revision=V2.20") + "\n; added in V2.20\n";
    const TempFolder dir;
    const std::string path = dir.File("newer.ini");
    std::ofstream(path, std::ios::binary) << newer;
    const std::string longest(31, 'R'); // the object's 32 bytes less the closing zero byte
    const struct {
        std::vector<std::string> options;
        std::string catalogue;
        std::vector<std::string> identification;
    } cases[] = {
        {{}, original, {"Tolvane International Ltd", "AHF-100", "V2.14"}},
        {{"--revision", "V3.01"},
         replaced(original, "Revision=V2.14", "Revision=V3.01"),
         {"Tolvane International Ltd", "AHF-100", "V3.01"}},
        {{"--device-catalogue", path}, newer, {"Tolvane International Ltd", "AHF-100", "V2.20"}},
        {{"--vendor", "Acme Filters", "--product", "AHF-200", "--revision", longest},
         replaced(original, "Revision=V2.14", "Revision=" + longest),
         {"Acme Filters", "AHF-200", longest}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identification.back());
        std::vector<std::string> args = {"--tcp", "0"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        SimProcess sim(args);
        ASSERT_TRUE(sim.ready()) << sim.failure();
        RawTcp tcp(sim.tcpPort());
        // The download procedure: a probe, then files 2..12 in blocks of 100 registers up to a zero byte.
        EXPECT_EQ(tcp.transact(1, fileRecordRequest(2, 0, 1)).size(), 7U + 4 + 2);
        EXPECT_TRUE(readFiles(tcp, 2, 12, 100, std::string(1, '\0')) == c.catalogue);
        const auto basic = pduOf(tcp.transact(1, {0x2B, 0x0E, 0x01, 0x00}));
        ASSERT_EQ(basic.size(), 1U + 108) << "function code and exactly 108 data bytes";
        EXPECT_EQ(Bytes(basic.begin(), basic.begin() + 3), (Bytes{0x2B, 0x0E, 0x01}));
        EXPECT_EQ(basic[4], 0x00) << "no more follows";
        EXPECT_EQ(identificationObjects(basic),
                  (std::vector<std::pair<int, std::string>>{
                      {0, c.identification[0]}, {1, c.identification[1]}, {2, c.identification[2]}}));
    }

    SimProcess sim({"--tcp", "0", "--revision", longest});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawTcp tcp(sim.tcpPort());
    // Individual access to one object; a bad MEI type.
    EXPECT_EQ(identificationObjects(pduOf(tcp.transact(1, {0x2B, 0x0E, 0x04, 0x02}))),
              (std::vector<std::pair<int, std::string>>{{2, longest}}));
    EXPECT_EQ(pduOf(tcp.transact(1, {0x2B, 0x0D, 0x01, 0x00})), (Bytes{0xAB, 3}));
    // Unit ids other than the slave, 0 and 255 are not answered.
    EXPECT_TRUE(tcp.transact(9, {0x03, 0x03, 0xE8, 0x00, 0x02}, 300ms).empty());
    EXPECT_EQ(tcp.transact(0xFF, {0x03, 0x03, 0xE8, 0x00, 0x02}).size(), 7U + 2 + 4);
}

// Files and identification over the pty are read by the CLI's own tests (its scan, its fault matrix).
TEST(SimFrames, BrokenFramesAndUnknownFunctionsOverRtu) {
    SimProcess sim({"--pty", "--slave", "3"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RawPty pty(sim.ptyPath());
    ASSERT_TRUE(pty.open());
    // A frame with a broken CRC is ignored; the next good one, after the master's time-out, is answered.
    ASSERT_TRUE(pty.sendRaw({3, 0x03, 0x03, 0xE8, 0x00, 0x02, 0x00, 0x00}));
    EXPECT_TRUE(pty.receive(1, 300ms).empty());
    ASSERT_TRUE(pty.send({3, 0x03, 0x03, 0xE8, 0x00, 0x02}));
    auto reply = pty.receive(9);
    ASSERT_EQ(reply.size(), 9U);
    EXPECT_TRUE(RawPty::crcHolds(reply));
    // Unknown function: exception 1.
    ASSERT_TRUE(pty.send({3, 0x41, 0x00}));
    reply = pty.receive(5);
    ASSERT_EQ(reply.size(), 5U);
    EXPECT_EQ(Bytes(reply.begin() + 1, reply.begin() + 3), (Bytes{0xC1, 1}));
}

} // namespace
