// quirel-cli paramset and catalogue against the simulated filter.
#include "CliRunner.h"
#include "FirmwareTestSupport.h"
#include "SimProcess.h"

#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>

TEST(CliParamSet, SavesShowsAndSendsBack) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready());
    const std::vector<std::string> tcp{"--tcp", sim.tcpHost()};
    auto with = [&](std::vector<std::string> rest) {
        rest.insert(rest.begin(), tcp.begin(), tcp.end());
        return RunCli(rest);
    };
    quirel::test::TempDir folder;
    const std::string saved = folder.File("saved.btp");
    auto r = with({"paramset", "save", saved});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "The parameter set was saved: " + saved + "\n");
    const std::string ct = with({"read", "310"}).out;

    r = RunCli({"paramset", "show", saved});
    ASSERT_EQ(r.code, 0) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 10u + 3 + 38 + 5);
    EXPECT_EQ(lines[0], "[DeviceData]");
    EXPECT_EQ(lines[12], "[MeasuredValues]");
    EXPECT_EQ(lines[17], "[Commissioning]");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(30 Serial number = \S+ )"))) << lines[1];
    EXPECT_EQ(lines[18], "200 Language = 0;english ");

    with({"write", "310", "1234"});
    // Without a terminal nothing is sent unless --yes says so.
    r = with({"paramset", "send", saved});
    EXPECT_EQ(r.code, 64);
    EXPECT_EQ(with({"read", "310"}).out, "310 CT primary current = 1234 A\n");
    r = with({"paramset", "send", saved, "--yes"});
    EXPECT_EQ(r.code, 0) << r.err;
    lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 37u);
    EXPECT_EQ(lines[0], "200 Language = english ");
    EXPECT_EQ(lines[36], "The parameter set was sent: 36 of 36 values written.");
    EXPECT_EQ(with({"read", "310"}).out, ct);

    // An older German file under English: AUS is OFF, Aus no value of 300.
    const std::string older = folder.File("older.btp");
    quirel::test::WriteTextFile(older, "[Commissioning]\r\nParam0=300=AUS\r\nParam1=300=Aus\r\n");
    r = with({"paramset", "send", "--yes", older});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "300 CT position = OFF \n300 CT position = -error- \n"
                     "Parameter:300 (CT position) was NOT SENT!\n\t Please check the parameter on device.\n"
                     "The parameter set was sent: 1 of 2 values written.\n");
    EXPECT_EQ(with({"read", "300"}).out, "300 CT position = OFF \n");

    // What is no regular file is refused at once, with the reason.
    const std::string fifo = folder.File("fifo.btp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (auto [file, why] : {std::pair{folder.File("none.btp"), "No such file or directory"},
                             std::pair{folder.path(), "it is not a regular file"},
                             std::pair{fifo, "it is not a regular file"}}) {
        r = RunCli({"paramset", "show", file});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "The file could not be read: " + file + " (" + why + ")\n");
    }
}

TEST(CliCatalogue, ChecksAndDownloads) {
    SimProcess sim({"--tcp", "0", "--revision", "V2.14a"});
    ASSERT_TRUE(sim.ready());
    auto r = RunCli({"--tcp", sim.tcpHost(), "catalogue", "check"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "device revision: V2.14a\ncatalogue revision: V2.14\ndiffers\n");

    quirel::test::TempDir folder;
    const std::string file = folder.File("dl.ini");
    r = RunCli({"--tcp", sim.tcpHost(), "catalogue", "download", file});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, file + "\n");
    // The downloaded catalogue matches the device.
    r = RunCli({"--tcp", sim.tcpHost(), "--catalogue", file, "catalogue", "check"});
    EXPECT_EQ(r.out, "device revision: V2.14a\ncatalogue revision: V2.14a\nsame\n");
}
