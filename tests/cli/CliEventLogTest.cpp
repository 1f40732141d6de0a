// quirel-cli eventlog: the device's log as rows, saved as the window saves it, and saved logs opened again.

#include "CliRunner.h"
#include "FirmwareTestSupport.h"
#include "SimProcess.h"

#include <gtest/gtest.h>
#include <regex>

TEST(CliEventLog, ReadsSavesAndOpens) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready());
    const std::regex row(R"((Error|Status|Info)\t\d\d\.\d\d\.\d{4}\t\d\d:\d\d:\d\d\t[^\t]+\t\d+)");

    auto r = RunCli({"--tcp", sim.tcpHost(), "eventlog"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto latest = Lines(r.out);
    ASSERT_EQ(latest.size(), 40u);
    for (const std::string& line : latest)
        EXPECT_TRUE(std::regex_match(line, row)) << line;

    quirel::test::TempDir dir;
    const std::string saved = dir.File("log.txt");
    r = RunCli({"--tcp", sim.tcpHost(), "eventlog", "--all", "-o", saved});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto all = Lines(r.out);
    ASSERT_GE(all.size(), 400u);
    EXPECT_TRUE(std::equal(latest.begin(), latest.end(), all.end() - 40));

    r = RunCli({"eventlog", "--open", saved});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Lines(r.out), all);
    EXPECT_EQ(r.err, "");

    // What the window's Open refuses, named with the reason.
    EXPECT_EQ(RunCli({"eventlog", "--open", dir.path()}).err,
              "File could not be opened\n" + dir.path() + " (it is not a regular file)\n");
    ASSERT_TRUE(quirel::test::WriteTextFile(dir.File("late.txt"), std::string(80, ' ') + "x;Info\n"));
    r = RunCli({"eventlog", "--open", dir.File("late.txt")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "The specified file cannot be opened.\n" + dir.File("late.txt") + "\n");
}
