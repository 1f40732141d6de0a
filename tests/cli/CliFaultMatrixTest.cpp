// Every device operation of the program against every fault the simulator can inject, over TCP and RTU
// where the fault exists there. Each cell must end by itself within its bound, with the exit status the
// outcome deserves and a message that names the failure, and must leave no half-written file behind: an
// output file is either complete (it opens again) or absent, and no temporary file is left over.
#include "CliRunner.h"
#include "FirmwareTestSupport.h"
#include "SimProcess.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;

namespace {

enum class Link { Tcp, Rtu };

struct Outcome {
    const char* command;  // for the simulator, once the cell's preparations are done; null: not on this link
    int exitCode;         // what every operation must end with
    const char* message;  // on stderr; null: nothing in particular
    int delayPercent = 0; // of the reply time-out, added to the command
    int tries = 11;
};

struct Fault {
    const char* name;
    Outcome tcp, rtu;
};

// The outcome is the point of a cell, not the time: replies are waited for 60 ms, and delays scale with
// that. One cell per link keeps the program's default time-out of a second, where the waits are real.
const int kShortTimeoutMs = 60;
const char* const kDefaultTimeCells[] = {"TcpDroppedReplyRead", "RtuLateReplyWrite"};

const Fault kFaults[] = {
    {"DroppedReply", {"drop 4", 0, nullptr}, {"drop 4", 0, nullptr}},
    // Replies after their time-out. Over TCP each attempt has a connection and an identifier of its own, so
    // no late reply is taken and the connection counts as lost (three tries show that). Over RTU the next
    // attempt of the same request takes the late reply (it answers that very request), and the line is then
    // waited out, two time-outs after the last request, before a different request: every value arrives,
    // slowly, and right. A quarter of a time-out late, the repeat's own reply comes well before that wait
    // ends, also on a loaded machine.
    {"LateReply", {"delay", 2, "Reply time-out", 300, 3}, {"delay", 0, nullptr, 125}},
    {"CorruptCrc", {}, {"crc 3", 0, nullptr}},
    {"StrayDuplicate", {"stray 2 40", 0, nullptr}, {}},
    {"ClosedConnection", {"close-after 3", 0, nullptr}, {}},
    // From reference 20 on: the RTU connect probe (input register 10) still gets its answer.
    {"ExceptionAnswer",
     {"exception 4 20 65535", 1, "Slave Device Failure exception response"},
     {"exception 4 20 65535", 1, "Slave Device Failure exception response"}},
    {"RefusedConnection", {"refuse on", 2, "TCP/IP connection error"}, {}},
};

// Command lines split at blanks; "{dir}" stands for the cell's folder.
struct Operation {
    const char* name;
    const char* args;
    const char* output;            // the file it writes, or null
    const char* check;             // opens the output again: it must succeed whenever the file exists
    bool fileRecords;              // uses only file records and identification, which take no exception
    const char* prepare = nullptr; // run before the fault
};

const Operation kOperations[] = {
    {"Read", "read 100 110 30", nullptr, nullptr, false},
    {"Write", "write 310 750", nullptr, nullptr, false},
    {"Capture", "capture --channels 180 --trigger 180 --level 0 --timeout 30 -o {dir}/c.nbts", "c.nbts",
     "show {dir}/c.nbts", false},
    {"Record", "record --channels 100,110 --interval 1 --count 1 -o {dir}/r.nbtc", "r.nbtc",
     "show {dir}/r.nbtc", false},
    {"EventLogLatest", "eventlog -o {dir}/latest.txt", "latest.txt", "eventlog --open {dir}/latest.txt",
     true},
    // A cleared log: the twelve files of the whole log in a few blocks.
    {"EventLogAll", "eventlog --all -o {dir}/all.txt", "all.txt", "eventlog --open {dir}/all.txt", true,
     "write 601 clear"},
    {"CatalogueDownload", "catalogue download {dir}/dl.ini", "dl.ini", "--catalogue {dir}/dl.ini list", true},
    {"ParamSetSave", "paramset save {dir}/saved.btp", "saved.btp", "paramset show {dir}/saved.btp", false},
    {"ParamSetSend", "paramset send {dir}/set.btp --yes", nullptr, nullptr, false},
};

struct Cell {
    Link link;
    const Fault* fault;
    const Operation* op;
};

std::string NameOf(const Cell& cell) {
    return std::string(cell.link == Link::Tcp ? "Tcp" : "Rtu") + cell.fault->name + cell.op->name;
}

std::vector<std::string> Expand(const std::string& line, const std::string& dir) {
    std::vector<std::string> out;
    std::istringstream words(line);
    for (std::string a; words >> a; out.push_back(a))
        if (const size_t at = a.find("{dir}"); at != std::string::npos)
            a.replace(at, 5, dir);
    return out;
}

std::vector<Cell> AllCells() {
    std::vector<Cell> cells;
    for (Link link : {Link::Tcp, Link::Rtu})
        for (const Fault& fault : kFaults)
            for (const Operation& op : kOperations)
                if ((link == Link::Tcp ? fault.tcp : fault.rtu).command &&
                    !(op.fileRecords && std::string(fault.name) == "ExceptionAnswer"))
                    cells.push_back({link, &fault, &op});
    return cells;
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {};

void PrintTo(const Cell& cell, std::ostream* os) {
    *os << NameOf(cell);
}

TEST_P(FaultMatrix, EndsBoundedWithTheRightStatusAndNoHalfFile) {
    const Cell& cell = GetParam();
    quirel::test::TempDir dir;
    const std::string& folder = dir.path();
    // A catalogue the device serves in 17 blocks, and a set as the device gave it.
    ASSERT_TRUE(quirel::test::WriteTextFile(dir.File("device.ini"),
                                            "[Rootfolder]\nNrOfSubfolders=0\nNrOfParameters=0\n" +
                                                std::string(3300, ';') + "\n"));
    ASSERT_TRUE(quirel::test::WriteTextFile(dir.File("set.btp"),
                                            "[Commissioning]\r\nParam0=310=750\r\nParam1=300=mainside\r\n"
                                            "Param2=401=0,90\r\n"));
    const bool tcp = cell.link == Link::Tcp;
    const Outcome& expected = tcp ? cell.fault->tcp : cell.fault->rtu;
    std::vector<std::string> simArgs{"--device-catalogue", dir.File("device.ini")};
    if (tcp)
        simArgs.insert(simArgs.end(), {"--tcp", "0"});
    else
        simArgs.push_back("--pty");
    SimProcess sim(simArgs);
    ASSERT_TRUE(sim.ready()) << sim.failure();
    std::vector<std::string> connection{tcp ? "--tcp" : "--rtu", tcp ? sim.tcpHost() : sim.ptyPath()};
    int timeoutMs = 1000;
    if (std::find(std::begin(kDefaultTimeCells), std::end(kDefaultTimeCells), NameOf(cell)) ==
        std::end(kDefaultTimeCells)) {
        timeoutMs = kShortTimeoutMs;
        connection.insert(connection.end(), {"--reply-timeout", std::to_string(timeoutMs), "--tries",
                                             std::to_string(expected.tries)});
    }
    auto run = [&](const std::string& args) {
        std::vector<std::string> all = connection;
        const std::vector<std::string> rest = Expand(args, folder);
        all.insert(all.end(), rest.begin(), rest.end());
        return RunCli(all, -1, 60);
    };
    if (cell.op->prepare) {
        ASSERT_EQ(run(cell.op->prepare).code, 0);
    }
    std::string command = expected.command;
    if (expected.delayPercent)
        command += " " + std::to_string(timeoutMs * expected.delayPercent / 100);
    EXPECT_NE(sim.command(command), "");

    const CliResult r = run(cell.op->args);
    EXPECT_NE(r.code, -1) << "did not end within its bound";
    EXPECT_EQ(r.code, expected.exitCode) << r.err;
    if (expected.message) {
        EXPECT_NE(r.err.find(expected.message), std::string::npos) << r.err;
    }
    // What was written is read back right, whatever the line did meanwhile.
    if (std::string(cell.op->name) == "Write" && r.code == 0) {
        EXPECT_EQ(r.out, "310 CT primary current = 750 A\n");
    }

    if (cell.op->output) {
        const std::string file = folder + "/" + cell.op->output;
        if (r.code == 0) {
            EXPECT_TRUE(fs::exists(file));
        }
        if (fs::exists(file)) {
            const CliResult opened = RunCli(Expand(cell.op->check, folder));
            EXPECT_EQ(opened.code, 0) << opened.err;
        }
    }
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Cli, FaultMatrix, ::testing::ValuesIn(AllCells()),
                         [](const ::testing::TestParamInfo<Cell>& info) { return NameOf(info.param); });

} // namespace
