// capture, record, show and spectrum end to end against the simulated filter, over TCP and a pty, with
// replies dropped, a time-out and Ctrl-C in the middle.
#include "CliRunner.h"
#include "FirmwareTestSupport.h"
#include "SimProcess.h"
#include "measurement/DocMeasurementSingle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <regex>
#include <thread>

namespace {

using Folder = quirel::test::TempDir;

// The device's trigger state (register 60030), read over a connection of our own.
int TriggerState(const SimProcess& sim) {
    RawTcp tcp(sim.tcpPort());
    const auto reply = tcp.transact(1, {3, 0xEA, 0x7D, 0, 1});
    return reply.size() == 11 ? (reply[9] << 8) | reply[10] : -1;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
        const size_t comma = line.find(',', from);
        fields.push_back(line.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos)
            return fields;
        from = comma + 1;
    }
}

// Captures on the instantaneous mains current crossing 0 upwards and checks file and table.
void CaptureAndShow(const std::vector<std::string>& connection, const std::vector<std::string>& channels) {
    Folder dir;
    std::vector<std::string> args = connection;
    std::string list;
    for (const std::string& c : channels)
        list += (list.empty() ? "" : ",") + c;
    args.insert(args.end(), {"capture", "--channels", list, "--trigger", "180", "--level", "0", "--divider",
                             "4", "--delay", "100", "--timeout", "60", "-o", dir.File("cap.nbts")});
    const CliResult r = RunCli(args, -1, 100);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("state 1: Trigger active\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("state 3: Reading trace data ...\n"), std::string::npos) << r.err;

    const CliResult shown = RunCli({"show", dir.File("cap.nbts")});
    ASSERT_EQ(shown.code, 0) << shown.err;
    const auto lines = Lines(shown.out);
    ASSERT_EQ(lines.size(), 2u + 512u);
    EXPECT_TRUE(
        std::regex_match(lines[0], std::regex("# kind=single channels=" + std::to_string(channels.size()) +
                                              " running=0 start=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d "
                                              "trigger_id=180 trigger_type=8 trigger_raw=0x00000000 "
                                              "delay=100 mode=0 divider=4 state=0\r")))
        << lines[0];
    EXPECT_EQ(lines[1].rfind("time_ms,180 Instantaneous mains current L1,", 0), 0u) << lines[1];
    for (const std::string& line : lines)
        EXPECT_EQ(line.back(), '\r');
    EXPECT_EQ(Fields(lines[2])[0], "-12.5");
    // The trigger instant is at index "delay": the channel crosses the level there.
    const auto atTrigger = Fields(lines[2 + 100]);
    EXPECT_EQ(atTrigger[0], "0");
    EXPECT_EQ(Fields(lines[2 + 99]).size(), channels.size() + 1);
    EXPECT_LE(std::strtod(Fields(lines[2 + 99])[1].c_str(), nullptr), 0.0);
    EXPECT_GT(std::strtod(atTrigger[1].c_str(), nullptr), 0.0);
}

} // namespace

TEST(CliMeasurement, CapturesOverTcpAndTheDeviceIsResetAfterwards) {
    SimProcess sim({"--tcp", "0", "--seed", "3"});
    ASSERT_TRUE(sim.ready());
    CaptureAndShow({"--tcp", sim.tcpHost()}, {"180", "120", "150"});
    EXPECT_EQ(TriggerState(sim), 0);
}

TEST(CliMeasurement, ATimeOutOrCtrlCCancelsTheTriggerInTheDevice) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready());
    Folder dir;
    // The mains frequency never exceeds 1000 Hz: the trigger stays armed until the time-out.
    const std::vector<std::string> never = {
        "--tcp",   sim.tcpHost(), "capture", "--channels",          "180", "--trigger", "100",
        "--level", "1000",        "-o",      dir.File("never.nbts")};
    std::vector<std::string> withTimeout = never;
    withTimeout.insert(withTimeout.end() - 2, {"--timeout", "2"});
    CliResult r = RunCli(withTimeout);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("state 1: Trigger active\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Time-out after 2 s: the trigger was cancelled.\n"), std::string::npos) << r.err;
    EXPECT_EQ(TriggerState(sim), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("never.nbts")));

    r = RunCli(never, 1500);
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_EQ(TriggerState(sim), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("never.nbts")));
}

TEST(CliMeasurement, RecordsOverTcpAndAPtyAndKeepsWhatCtrlCLeft) {
    SimProcess tcp({"--tcp", "0"});
    SimProcess pty({"--pty", "--drop", "4"});
    ASSERT_TRUE(tcp.ready());
    ASSERT_TRUE(pty.ready());
    Folder dir;
    for (const auto& connection :
         {std::vector<std::string>{"--tcp", tcp.tcpHost()},
          std::vector<std::string>{"--rtu", pty.ptyPath(), "--reply-timeout", "100"}}) {
        std::vector<std::string> args = connection;
        args.insert(args.end(), {"record", "--channels", "100,Heat sink temperature", "--interval", "1",
                                 "--duration", "2", "-o", dir.File("rec.nbtc")});
        const CliResult r = RunCli(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const auto lines = Lines(RunCli({"show", dir.File("rec.nbtc")}).out);
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_TRUE(std::regex_match(
            lines[0], std::regex("# kind=continuous channels=2 running=0 start=[-0-9T:]{19} interval=1\r")))
            << lines[0];
        EXPECT_EQ(lines[1], "time_s,100 Mains frequency,150 Heat sink temperature\r");
        for (int j = 0; j < 2; ++j)
            EXPECT_TRUE(std::regex_match(lines[2 + static_cast<size_t>(j)],
                                         std::regex(std::to_string(j) + ",(49|50)\\.\\d+,\\d+\r")))
                << lines[2 + static_cast<size_t>(j)];
    }

    const CliResult r = RunCli({"--tcp", tcp.tcpHost(), "record", "--channels", "100", "--interval", "1",
                                "--count", "1000", "-o", dir.File("stopped.nbtc")},
                               2500);
    EXPECT_EQ(r.code, 130) << r.err;
    const auto lines = Lines(RunCli({"show", dir.File("stopped.nbtc")}).out);
    EXPECT_GE(lines.size(), 4u);
    EXPECT_LE(lines.size(), 6u);
}

TEST(CliMeasurement, ADeviceThatStopsAnsweringEndsARecordingWithWhatWasRecorded) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready());
    Folder dir;
    // After two samples every reply is lost: the read times out through all its retries.
    std::thread silence([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        sim.command("drop 1");
    });
    const CliResult r = RunCli({"--tcp", sim.tcpHost(), "--reply-timeout", "100", "record", "--channels",
                                "100", "--interval", "1", "--count", "100", "-o", dir.File("cut.nbtc")});
    silence.join();
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("Read parameter\n"), std::string::npos) << r.err;
    const auto lines = Lines(RunCli({"show", dir.File("cut.nbtc")}).out);
    EXPECT_GE(lines.size(), 2u + 1u); // the samples before the silence, about two
    EXPECT_LE(lines.size(), 2u + 3u);
}

TEST(CliMeasurement, ShowsOlderFilesAndRefusesWhatItCannotUse) {
    Folder dir;
    // A .btc written by hand: two channels, the second unknown to the catalogue and one value short.
    std::string btc;
    auto u16 = [&](uint16_t v) { btc += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    auto f64one = [&] { u32(0), u32(0x3FF00000); };
    u16(2);
    u16(2), u32(2), u32(0xFFFF), u32(2), u32(7), u32(150), u32(0), f64one(), u32(0), u32(0);
    u16(1), u32(8), u32(0x3F000000), u32(4711), u32(1), f64one(), u32(0), u32(0);
    btc += '\0';
    u32(60);
    ASSERT_TRUE(quirel::test::WriteTextFile(dir.File("old.btc"), btc));
    CliResult r = RunCli({"show", dir.File("old.btc")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "# kind=continuous channels=2 running=0 start=0000-00-00T00:00:00 interval=60\r\n"
                     "time_s,150 Heat sink temperature,4711 --\r\n"
                     "0,-1,0.5\r\n"
                     "60,7,\r\n");

    ASSERT_TRUE(quirel::test::WriteTextFile(dir.File("cut.btc"), btc.substr(0, btc.size() - 2)));
    r = RunCli({"show", dir.File("cut.btc")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(Lines(r.out).size(), 4u); // what was read is shown
    EXPECT_NE(r.err.find("damaged"), std::string::npos) << r.err;
}

// The spectrum of a file: the channel as plotted (factor and offset), N from the mains and the divider,
// one CSV row per bin on stdout, THD and harmonics on stderr; what cannot give a spectrum is refused.
TEST(CliMeasurement, SpectrumOfASavedChannel) {
    Folder dir;
    CDocMeasurementSingle doc(nullptr, nullptr);
    CTrigger trigger;
    trigger.Set(0, 0, 4, 180, 8, 0); // 60 Hz mains with d = 4: 400 values, 3 periods, 20 Hz apart
    doc.InitMeasurement(trigger, {181, 180}, CMeasStart());
    for (int j = 0; j < 512; ++j) {
        const double w = 2 * std::numbers::pi * 60 * j * 4 / 32000.0;
        PARAMVALUE cell(8, 0);
        cell.SetFloat(static_cast<float>(std::sin(w) + 0.1 * std::sin(5 * w)));
        doc.AddValue(1, cell);
        if (j < 100)
            doc.AddValue(0, cell);
    }
    doc.SetScaling(1, 0, 2.0, 0.5); // plotted: 2 x value + 0.5
    ASSERT_EQ(doc.WriteFile(dir.File("sine.nbts"), true), MeasurementFileResult::kOk);

    CliResult r = RunCli({"spectrum", dir.File("sine.nbts"), "--channel", "180", "--mains", "60"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 201u);
    EXPECT_EQ(rows[0], "f_hz,amplitude\r"); // CR LF, as show writes its CSV
    EXPECT_EQ(Fields(rows[1])[0], "0");
    EXPECT_NEAR(std::stod(Fields(rows[1])[1]), 1.0, 1e-6); // the offset shows twice at 0 Hz
    EXPECT_EQ(Fields(rows[4])[0], "60");
    EXPECT_NEAR(std::stod(Fields(rows[4])[1]), 2.0, 1e-6);
    const std::vector<std::string> report = Lines(r.err);
    ASSERT_GE(report.size(), 3u);
    EXPECT_EQ(report[0],
              "# n=400 divider=4 resolution_hz=20 periods=3 whole_periods=1 thd_percent=10.0000\r");

    r = RunCli({"spectrum", dir.File("sine.nbts"), "--channel", "181", "--mains", "60"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "The spectrum needs 400 values of the channel; it holds 100.\n");
    EXPECT_EQ(r.out, "");
    // 512 values at divider 1 are 0,8 periods of 50 Hz: no harmonics, no THD, as no bin holds them.
    doc.SetTrigger(0, 0, 1, 180, 8, 0);
    ASSERT_EQ(doc.WriteFile(dir.File("d1.nbts"), true), MeasurementFileResult::kOk);
    r = RunCli({"spectrum", dir.File("d1.nbts"), "--channel", "180", "--mains", "50"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "# n=512 divider=1 resolution_hz=62.5 periods=0.8 whole_periods=0 thd_percent=\r\n"
                     "order,f_hz,amplitude,percent_of_fundamental\r\n");
    // Limits: the rows gain the limit and a verdict; the header the set and the overall verdict. The 5th
    // holds 10 % of the fundamental, or 0,2 / sqrt 2 = 14,14 % of an IL of 1 A.
    struct LimitCase {
        std::vector<std::string> options;
        std::string head;
        double percent5;
        std::string limit5; // with its verdict
    };
    for (const LimitCase& c :
         {LimitCase{{"--limits", "en50160"}, " limits=en50160 verdict=fail\r", 10.0, "6,fail"},
          LimitCase{{"--limits", "ieee519", "--isc-il", "lt20", "--il", "1"},
                    " limits=ieee519 verdict=fail tdd_percent=14.1421\r",
                    14.1421,
                    "4,fail"},
          LimitCase{{"--limits", "ieee519-voltage", "--kv", "0,4"},
                    " limits=ieee519-voltage verdict=fail\r",
                    10.0,
                    "5,fail"}}) {
        std::vector<std::string> args = {"spectrum", dir.File("sine.nbts"), "--channel", "180", "--mains",
                                         "60"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        r = RunCli(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const std::vector<std::string> rows = Lines(r.err);
        ASSERT_EQ(rows.size(), 42u) << r.err;
        EXPECT_EQ(rows[0],
                  "# n=400 divider=4 resolution_hz=20 periods=3 whole_periods=1 thd_percent=10.0000" +
                      c.head);
        EXPECT_EQ(rows[1], "order,f_hz,amplitude,percent,limit_percent,verdict\r");
        auto tail = [&](size_t row) {
            const std::vector<std::string> f = Fields(rows[row]);
            return f[4] + "," + f[5].substr(0, f[5].size() - 1);
        };
        EXPECT_EQ(tail(2), ",-"); // the fundamental has no limit
        EXPECT_EQ(Fields(rows[6])[1], "300");
        EXPECT_NEAR(std::stod(Fields(rows[6])[3]), c.percent5, 1e-4);
        EXPECT_EQ(tail(6), c.limit5);
    }
    // Without whole periods no verdict can be had: no rows, said, exit 1.
    r = RunCli({"spectrum", dir.File("d1.nbts"), "--channel", "180", "--mains", "50", "--limits", "en50160"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(
        r.err,
        "# n=512 divider=1 resolution_hz=62.5 periods=0.8 whole_periods=0 thd_percent= limits=en50160 "
        "verdict=-\r\norder,f_hz,amplitude,percent,limit_percent,verdict\r\nNo verdict: the limits need the "
        "harmonic table of whole mains periods and a fundamental.\n");
    // Incomplete choices are usage errors, found before the file is looked at.
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--limits", "ieee519", "--il", "5"},
                                                {"--limits", "ieee519", "--isc-il", "LT20"},
                                                {"--limits", "en50160", "--kv", "1"},
                                                {"--limits", "en50160", "--il", "5"},
                                                {"--limits", "iec61000"},
                                                {"--isc-il", "LT20"},
                                                {"--limits", "ieee519-voltage", "--kv", "0"}}) {
        std::vector<std::string> args = {"spectrum", dir.File("none.nbts"), "--channel", "180", "--mains",
                                         "50"};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(RunCli(args).code, 64) << bad[1];
    }
    EXPECT_EQ(RunCli({"spectrum", dir.File("sine.nbts"), "--channel", "110", "--mains", "50"}).code, 1);
    EXPECT_EQ(RunCli({"spectrum", dir.File("sine.nbts"), "--channel", "180", "--mains", "55"}).code, 64);
    EXPECT_EQ(RunCli({"spectrum", dir.File("sine.nbts"), "--channel", "180"}).code, 64);
    EXPECT_EQ(RunCli({"spectrum", dir.File("sine.nbtc"), "--channel", "180", "--mains", "50"}).code, 64);
}
