// The scanner from a shell: the simulated filter at a slave address of its own over TCP and over a pty, a
// line where nobody answers, ports that cannot be opened, Ctrl-C, and what the command refuses.
#include "CliRunner.h"
#include "SimProcess.h"
#include "TestPeers.h"

#include <gtest/gtest.h>

TEST(CliScan, PrintsWhatAnswersAndExitsByWhatWasFound) {
    SimProcess tcp({"--tcp", "0", "--slave", "3"});
    SimProcess pty({"--pty", "--slave", "5"});
    quirel::test::SocatPair silent;
    ASSERT_TRUE(tcp.ready() && pty.ready() && silent.ok());
    const std::string id = " vendor=\"Tolvane International Ltd\" product=\"AHF-100\" revision=\"V2.14\"\n";
    const std::string quiet = silent.masterSide();
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out, err; // err: a part of it
    };
    const Case cases[] = {
        {{"scan", "--tcp", tcp.tcpHost(), "--slaves", "1-4", "--reply-timeout", "250"},
         0,
         "found slave=3" + id,
         "scan: 1 found in 4 probes\n"},
        // Slave 1 first at both stop-bit settings; the slave found at one is not probed at the other.
        {{"scan", "--rtu", pty.ptyPath(), "--bauds", "115200", "--parities", "n", "--stops", "1,2",
          "--slaves", "5,1", "--reply-timeout", "250"},
         0,
         "found baud=115200 parity=N stop=1 slave=5" + id,
         "scan: 1 found in 3 probes\n"},
        {{"scan", "--rtu", quiet, "--bauds", "115200", "--parities", "N,E", "--stops", "1", "--slaves", "1-2",
          "--reply-timeout", "10"},
         1,
         "",
         "scan: 115200 8E1 refused by the port: Illegal argument error ("},
        {{"scan", "--rtu", "/dev/quirel-no-such-port"}, 2, "", "Port or socket open error\n"},
        {{"scan", "--tcp", "127.0.0.1:" + std::to_string(quirel::test::unusedLoopbackPort())},
         2,
         "",
         "Connection refused"},
        {{"scan"}, 64, "", "scan needs --rtu DEVICE or --tcp HOST[:PORT]"},
        {{"--tcp", tcp.tcpHost(), "scan"}, 64, "", "after the command"},
        {{"scan", "--tcp", tcp.tcpHost(), "--bauds", "9600"}, 64, "", "go with --rtu"},
        {{"scan", "--rtu", quiet, "--slaves", "1-248"}, 64, "", "1 to 247"},
        {{"scan", "--rtu", quiet, "--slaves", "3-1"}, 64, "", "--slaves takes"},
    };
    for (const Case& c : cases) {
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.at(1) << r.err;
        EXPECT_EQ(r.out, c.out) << c.args.at(1);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // Ctrl-C cuts the probe under way off (a second in, when even a loaded machine has started the scan).
    const CliResult r = RunCli({"scan", "--rtu", quiet, "--reply-timeout", "100000"}, 1000);
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_NE(r.err.find("scan: cancelled after 1 probes, 0 found\n"), std::string::npos) << r.err;
}
