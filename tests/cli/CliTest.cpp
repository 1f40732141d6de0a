#include "CliRunner.h"
#include "CommTestSupport.h"
#include "FirmwareTestSupport.h"
#include "LibmodbusServer.h"
#include "SimProcess.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <tuple>

namespace {

using Result = CliResult;

// The checks a service engineer would make, over either transport.
void ReadAndWrite(const std::vector<std::string>& connection) {
    auto with = [&](std::vector<std::string> rest) {
        std::vector<std::string> a = connection;
        a.insert(a.end(), rest.begin(), rest.end());
        return RunCli(a);
    };
    Result r = with({"read", "100", "Mains voltage L1", "30", "240"});
    ASSERT_EQ(r.code, 0) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(100 Mains frequency = \d\d,\d\d Hz)"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(110 Mains voltage L1 = \d+,\d V)"))) << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(30 Serial number = \S+ )"))) << lines[2];
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(R"(240 IP address = \d+\.\d+\.\d+\.\d+ )")))
        << lines[3];
    EXPECT_EQ(r.err, "");

    r = with({"write", "CT primary current", "750"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "310 CT primary current = 750 A\n");
    r = with({"read", "310"});
    EXPECT_EQ(r.out, "310 CT primary current = 750 A\n");
    r = with({"write", "240", "10.1.2.3"});
    EXPECT_EQ(r.out, "240 IP address = 10.1.2.3 \n");
    r = with({"write", "401", "0,9"});
    EXPECT_EQ(r.out, "401 DPF lower limit = 0,90 \n");

    // Texts the parsers would read only in part, or not at all, and numbers the type cannot hold never
    // reach the device; the message says what is expected.
    for (std::vector<std::string> typo : std::vector<std::vector<std::string>>{
             {"401", "0.8", "a decimal comma is expected (0,8)"},
             {"401", ",", "a number is expected"},
             {"310", "70000", "allowed are 0 to 65535"},
             {"300", "mainsidde", "one of the listed values is expected: loadside, mainside, OFF"}}) {
        r = with({"write", typo[0], typo[1]});
        EXPECT_EQ(r.code, 1) << typo[1];
        EXPECT_EQ(r.err, "Invalid value \"" + typo[1] + "\": " + typo[2] + "\n");
    }
    EXPECT_EQ(with({"read", "401", "310"}).out,
              "401 DPF lower limit = 0,90 \n310 CT primary current = 750 A\n");
    r = with({"write", "CT position", "MAINSIDE"});
    EXPECT_EQ(r.out, "300 CT position = mainside \n");

    r = with({"write", "100", "49"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("No write access to this parameter.\n"), std::string::npos) << r.err;

    r = with({"list", "DeviceInfo"});
    EXPECT_EQ(r.code, 0) << r.err;
    lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[1], "31 Firmware version = V2.14 ");

    r = with({"ident"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "VendorName: Tolvane International Ltd\nProductCode: AHF-100\nRevision: V2.14\n");
}

} // namespace

TEST(Cli, ReadsAndWritesOverTcpAgainstTheSimulator) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready());
    ReadAndWrite({"--tcp", sim.tcpHost()});

    // A parameter without a register form shows its zero rather than nothing.
    Result r = RunCli({"--tcp", sim.tcpHost(), "read", "610"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "610 Calibration data = 0 \n");

    // German messages and names.
    r = RunCli({"--tcp", sim.tcpHost(), "--lang", "de", "write", "100", "49"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Kein Schreibzugriff f\xC3\xBCr aktuellen Parameter."), std::string::npos) << r.err;
    // A write-only parameter has no value to show; the device's refusal is its message.
    r = RunCli({"--tcp", sim.tcpHost(), "read", "600"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Illegal Data Value exception response"), std::string::npos) << r.err;
}

// A folder with more parameters than the poll queue holds is read whole.
TEST(Cli, ListsAFolderLargerThanThePollQueue) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready());
    quirel::test::TempDir dir;
    const std::string path = dir.File("Big.ini");
    {
        std::ofstream f(path, std::ios::binary);
        f << "[Rootfolder]\nNrOfSubfolders=1\nNrOfParameters=0\nFolderName=Wurzel\nFolderName_en=Root\n"
             "Folder1=Big\n\n[Big]\nNrOfSubfolders=0\nNrOfParameters=1000\nFolderName=Gross\n"
             "FolderName_en=Big\n";
        for (int i = 1; i <= 1000; ++i)
            f << "Parameter" << i << "=" << 1000 + i << "\n";
        for (int i = 1; i <= 1000; ++i)
            f << "\n[" << 1000 + i << "]\nParameterName=T" << i << "\nParameterName_en=T" << i
              << "\nUnit=K\nModbusAddress=1501\nDataType=2\nPrecision=0\nAccessType=ro\n";
    }
    Result r = RunCli({"--tcp", sim.tcpHost(), "--catalogue", path, "list", "Big"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1000u);
    EXPECT_TRUE(std::regex_match(lines[999], std::regex(R"(2000 T1000 = \d+ K)"))) << lines[999];
}

TEST(Cli, ReadsAndWritesOverAPtyAgainstTheSimulator) {
    SimProcess sim({"--pty"});
    ASSERT_TRUE(sim.ready());
    ReadAndWrite({"--rtu", sim.ptyPath(), "--baud", "38400"});
}

// A reply the master takes for garbled (a wrong byte count) passes without a box, as a window does it;
// the CLI still names the value it could not print.
TEST(Cli, NamesEveryValueItCouldNotRead) {
    quirel::test::RegisterDevice device;
    device.badByteCount = true;
    const Result r = RunCli({"--tcp", device.Host(), "read", "100"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "No value received for 100 Mains frequency\n");
}

// A host that answers in another protocol (here a web server) is no connection: the one message names
// what came back, and the exit is that of a lost connection, over TCP as over a serial line.
TEST(Cli, AHostThatSpeaksAnotherProtocolIsNoConnection) {
    using namespace quirel::test;
    const std::string http = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    const PeerScript answer = [&](const Bytes&, int) {
        return std::vector<PeerStep>{{.bytes = Bytes(http.begin(), http.end())}};
    };
    ScriptedTcpPeer web(answer);
    SocatPair line;
    ASSERT_TRUE(line.ok());
    ScriptedRtuPeer terminal(line.peerSide(), answer);
    const std::vector<std::string> connections[] = {{"--tcp", "127.0.0.1:" + std::to_string(web.port())},
                                                    {"--rtu", line.masterSide()}};
    const char* const failures[] = {"Invalid frame error", "Checksum error"};
    for (int i = 0; i < 2; ++i) {
        std::vector<std::string> args = connections[i];
        args.insert(args.end(), {"--reply-timeout", "200", "read", "100", "110"});
        const Result r = RunCli(args);
        EXPECT_EQ(r.code, 2) << r.err;
        const std::string message = std::string(failures[i]) + "\nReceived: \"HTTP/1.1 ";
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(failures[i]), r.err.rfind(failures[i])) << r.err; // said once
    }
}

// What the program cannot do is refused with its status and a message that says why; nobody listens on
// port 1, and a connect error is printed in the system's words. Targets and inputs are refused before the
// device is asked.
TEST(Cli, RefusesWithTheStatusAndMessageOfTheCause) {
    Result r = RunCli({"--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* word :
         {"--tcp", "--rtu", "--baud", "--parity", "--stop", "--slave", "--catalogue", "--lang", "ident",
          "read ID|NAME", "write ID|NAME VALUE", "list [FOLDER]", "Exit status"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    r = RunCli({"list"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(Lines(r.out).at(0), "Active harmonic filter [Rootfolder]");

    quirel::test::TempDir dir;
    const std::string none = "127.0.0.1:1", cannotOpen = "The specified file cannot be opened. ";
    const std::vector<std::string> capture{"capture", "--channels", "180", "--trigger",
                                           "180",     "--level",    "0"};
    auto join = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"--tcp", "127.0.0.1"}, 64, ""},
        {{"--tcp", "127.0.0.1", "jump"}, 64, ""},
        {{"--tcp", "127.0.0.1", "write", "310"}, 64, ""},
        {{"read", "100"}, 64, ""},
        {{"--tcp", none, "read", "4711"}, 1, "Parameter not found: 4711\n"},
        {{"--tcp", none, "read", "100"}, 2, "TCP/IP connection error\n127.0.0.1:1: Connection refused"},
        {{"--tcp", none, "--lang", "de", "read", "100"}, 2, "127.0.0.1:1: Verbindung abgelehnt"},
        {{"--rtu", "/dev/quirel-no-such-port", "ident"}, 2, ""},
        {{"--tcp", none, "eventlog"}, 2, ""},
        {{"eventlog", "--open", dir.File("log.txt"), "--all"}, 64, ""},
        {{"show", dir.File("missing.nbts")}, 1, cannotOpen + dir.File("missing.nbts") + "\n"},
        {{"show", dir.File("old.txt")}, 64, ""},
        {join({"--tcp", none}, join(capture, {"-o", "x.txt"})), 64, ""},
        {{"--tcp", none, "capture", "--channels", "180", "-o", "x.nbts"}, 64, ""},
        {{"--tcp", none, "capture", "--channels", "180,4711", "--trigger", "180", "--level", "0", "-o",
          "x.nbts"},
         1,
         "Parameter not found: 4711\n"},
        // A target that cannot be written is found before the device is asked, not after a capture.
        {join({"--tcp", none}, join(capture, {"-o", dir.File("no/x.nbts")})), 1,
         cannotOpen + dir.File("no/x.nbts") + "\n"},
        {{"--tcp", none, "record", "--channels", "100", "--interval", "0", "--count", "2", "-o", "x.nbtc"},
         1,
         "Interval is too small. Must be >= 1 s.\n"},
    };
    for (const auto& [args, code, message] : cases) {
        r = RunCli(args);
        EXPECT_EQ(r.code, code) << args[1] << " " << args.back() << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
}

// One update from a shell with the protocol's real waits (about 12 s): probe, bootloader, 115200 baud,
// blocks, exit; the simulated flash ends up as the file says. Every third block answer arrives garbled,
// which costs a repeat of that block and nothing else.
TEST(Cli, LoadsFirmwareThroughTheBootloaderWithTheRealWaits) {
    quirel::test::TempDir dir;
    SimProcess sim(
        {"--pty", "--bootloader", "1.1", "--corrupt-answer", "3", "--flash-out", dir.File("flash.bin")});
    ASSERT_TRUE(sim.ready());
    const auto image = quirel::test::ScatteredImage();
    ASSERT_TRUE(quirel::test::WriteTextFile(dir.File("fw.srec"), quirel::test::SRecordFile(image)));
    // Without --yes, and no terminal to ask, the confirmation is answered Cancel. Asked first: the program
    // does not wait for the device to leave the bootloader after an update, so a probe right after it may,
    // on a loaded machine, still meet the bootloader.
    Result r = RunCli({"firmware", "--port", sim.ptyPath(), dir.File("fw.srec")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Attention: Firmware will be downloaded!\n-> Cancel\n"), std::string::npos) << r.err;

    r = RunCli({"firmware", "--port", sim.ptyPath(), "--yes", dir.File("fw.srec")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Download successfully!\n");
    EXPECT_NE(r.err.find("Download time about 2 minutes\n-> OK\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Download: RUNNING ! 100 %\n"), std::string::npos) << r.err;
    EXPECT_EQ(quirel::test::ReadBinaryFile(dir.File("flash.bin")), image);

    EXPECT_EQ(RunCli({"firmware", dir.File("fw.srec")}).code, 64);
    EXPECT_EQ(RunCli({"firmware", "--port", sim.ptyPath(), dir.File("none.srec")}).code, 1);
}

// Registers by wire address: a write reaches the registers the device keeps and is read back; anything
// malformed, out of range or unconfirmed is refused before the device is touched. --trace shows the
// frames as they went, --tries bounds the attempts.
TEST(Cli, RawRegistersTraceAndTries) {
    quirel::test::RegisterDevice device;
    const std::string host = device.Host();
    for (const auto& [args, code] : std::vector<std::pair<std::vector<std::string>, int>>{
             {{"raw", "write", "99", "1,70000", "--yes"}, 1},
             {{"raw", "write", "99", "1"}, 64}, // no terminal to ask, no --yes
             {{"raw", "read", "--fc", "5", "0", "1"}, 64},
             {{"raw", "read", "0", "1"}, 64},
             {{"raw", "read", "--fc", "3", "65535", "2"}, 1},
             {{"raw", "read", "--fc", "3", "0", "126"}, 1},
             {{"--tries", "12", "raw", "read", "--fc", "3", "0", "1"}, 64}}) {
        std::vector<std::string> a{"--tcp", host};
        a.insert(a.end(), args.begin(), args.end());
        EXPECT_EQ(RunCli(a).code, code) << args[2] << " " << args.back();
    }
    EXPECT_TRUE(device.Pdus().empty());

    // Against libmodbus as the device: the registers it keeps, the frames as it parses them.
    quirel::test::LibmodbusTcpServer server;
    ASSERT_TRUE(server.ok());
    server.withMapping([](modbus_mapping_t& m) { m.tab_input_registers[7] = 0x1234; });
    const std::string peer = "127.0.0.1:" + std::to_string(server.port());
    Result r = RunCli({"--tcp", peer, "--trace", "raw", "write", "99", "1,-2", "--yes"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "address,hex,u16,s16\r\n99,0001,1,1\r\n100,FFFE,65534,-2\r\n");
    server.withMapping([](modbus_mapping_t& m) {
        EXPECT_EQ(m.tab_registers[99], 1);
        EXPECT_EQ(m.tab_registers[100], 0xFFFE);
    });
    const auto trace = Lines(r.err);
    ASSERT_EQ(trace.size(), 4u) << r.err;
    const std::string time = R"(\d\d:\d\d:\d\d\.\d\d\d )";
    EXPECT_TRUE(
        std::regex_match(trace[0], std::regex(time + "TX 00 00 00 00 00 0B 01 10 00 63 00 02 04 00 01 FF FE"
                                                     "  ; slave 1, fc 16, address 99, count 2")))
        << trace[0];
    r = RunCli({"--tcp", peer, "raw", "read", "--fc", "4", "7", "1"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "address,hex,u16,s16\r\n7,1234,4660,4660\r\n");

    // A device that does not answer gets the number of tries asked for, each ending in a time-out.
    device.silent = true;
    r = RunCli({"--tcp", host, "--tries", "2", "--reply-timeout", "50", "--trace", "raw", "read", "--fc", "3",
                "0", "1"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(device.Pdus().size(), 2u);
    EXPECT_EQ(Lines(r.err).size(), 5u) << r.err; // 2 TX, 2 time-outs, the message
    EXPECT_NE(r.err.find(" -- reply time-out\n"), std::string::npos) << r.err;
}
