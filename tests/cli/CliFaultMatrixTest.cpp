// Every device operation of the program against every fault the simulator can inject, over TCP and RTU
// where the fault exists there. Each cell must end by itself within its bound, with the exit status the
// outcome deserves and a message that names the failure, and must leave no half-written file behind: an
// output file is either complete (it opens again) or absent, and no temporary file is left over.
#include "CliRunner.h"
#include "FirmwareTestSupport.h"
#include "SimProcess.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

enum class Link { Tcp, Rtu };

struct Outcome {
    bool applies;
    int exitCode;        // what every operation must end with
    const char* message; // on stderr; null: nothing in particular
};

struct Fault {
    const char* name;
    const char* command; // for the simulator, once the cell's preparations are done
    Outcome tcp, rtu;
};

// A reply time-out is 150 ms here, so that a lost connection is found after its eleven attempts in about
// two seconds rather than eleven.
const char* const kTimeout = "150";

const Outcome kSucceeds{true, 0, nullptr};
const Outcome kNotThere{false, 0, nullptr};

const Fault kFaults[] = {
    {"DroppedReply", "drop 4", kSucceeds, kSucceeds},
    // Replies 100 ms after their time-out. Over TCP each attempt has a connection and an identifier of its
    // own, so no late reply is taken and the connection counts as lost. Over RTU the next attempt of the
    // same request takes the late reply (it answers that very request), and the line is then waited out
    // before a different request, so every value arrives, slowly, and right.
    {"LateReply", "delay 250", {true, 2, "Reply time-out"}, kSucceeds},
    {"CorruptCrc", "crc 3", kNotThere, kSucceeds},
    {"StrayDuplicate", "stray 2 40", kSucceeds, kNotThere},
    {"ClosedConnection", "close-after 3", kSucceeds, kNotThere},
    // From reference 20 on: the RTU connect probe (input register 10) still gets its answer.
    {"ExceptionAnswer",
     "exception 4 20 65535",
     {true, 1, "Slave Device Failure exception response"},
     {true, 1, "Slave Device Failure exception response"}},
    {"RefusedConnection", "refuse on", {true, 2, "TCP/IP connection error"}, kNotThere},
};

struct Operation {
    const char* name;
    std::vector<std::string> args; // "{dir}" stands for the cell's folder
    const char* output;            // the file it writes, or null
    // A command that opens the output again: it must succeed whenever the file exists.
    std::vector<std::string> check;
    bool fileRecords; // uses only file records and identification, which take no injected exception
};

const Operation kOperations[] = {
    {"Read", {"read", "100", "110", "30"}, nullptr, {}, false},
    {"Write", {"write", "310", "750"}, nullptr, {}, false},
    {"Capture",
     {"capture", "--channels", "180,120", "--trigger", "180", "--level", "0", "--timeout", "30", "-o",
      "{dir}/c.nbts"},
     "c.nbts",
     {"show", "{dir}/c.nbts"},
     false},
    {"Record",
     {"record", "--channels", "100", "--interval", "1", "--count", "2", "-o", "{dir}/r.nbtc"},
     "r.nbtc",
     {"show", "{dir}/r.nbtc"},
     false},
    {"EventLogLatest",
     {"eventlog", "-o", "{dir}/latest.txt"},
     "latest.txt",
     {"eventlog", "--open", "{dir}/latest.txt"},
     true},
    {"EventLogAll",
     {"eventlog", "--all", "-o", "{dir}/all.txt"},
     "all.txt",
     {"eventlog", "--open", "{dir}/all.txt"},
     true},
    {"CatalogueDownload",
     {"catalogue", "download", "{dir}/dl.ini"},
     "dl.ini",
     {"--catalogue", "{dir}/dl.ini", "list"},
     true},
    {"ParamSetSave",
     {"paramset", "save", "{dir}/saved.btp"},
     "saved.btp",
     {"paramset", "show", "{dir}/saved.btp"},
     false},
    {"ParamSetSend", {"paramset", "send", "{dir}/set.btp", "--yes"}, nullptr, {}, false},
};

struct Cell {
    Link link;
    const Fault* fault;
    const Operation* op;
};

std::vector<std::string> Expand(const std::vector<std::string>& args, const std::string& dir) {
    std::vector<std::string> out;
    for (std::string a : args) {
        if (const size_t at = a.find("{dir}"); at != std::string::npos)
            a.replace(at, 5, dir);
        out.push_back(a);
    }
    return out;
}

std::vector<Cell> AllCells() {
    std::vector<Cell> cells;
    for (Link link : {Link::Tcp, Link::Rtu})
        for (const Fault& fault : kFaults)
            for (const Operation& op : kOperations)
                if ((link == Link::Tcp ? fault.tcp : fault.rtu).applies &&
                    !(op.fileRecords && std::string(fault.name) == "ExceptionAnswer"))
                    cells.push_back({link, &fault, &op});
    return cells;
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {};

void PrintTo(const Cell& cell, std::ostream* os) {
    *os << (cell.link == Link::Tcp ? "TCP" : "RTU") << ", " << cell.fault->name << ", " << cell.op->name;
}

TEST_P(FaultMatrix, EndsBoundedWithTheRightStatusAndNoHalfFile) {
    const Cell& cell = GetParam();
    quirel::test::TempDir dir;
    const std::string folder = fs::path(dir.File("x")).parent_path().string();
    SimProcess sim(cell.link == Link::Tcp ? std::vector<std::string>{"--tcp", "0"}
                                          : std::vector<std::string>{"--pty"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    std::vector<std::string> connection = cell.link == Link::Tcp
                                              ? std::vector<std::string>{"--tcp", sim.tcpHost()}
                                              : std::vector<std::string>{"--rtu", sim.ptyPath()};
    connection.insert(connection.end(), {"--reply-timeout", kTimeout});
    // The longest cell, a catalogue download over a line that answers every request late, takes about 90 s.
    auto run = [&](const std::vector<std::string>& args, int limitSeconds = 240) {
        std::vector<std::string> all = connection;
        const std::vector<std::string> rest = Expand(args, folder);
        all.insert(all.end(), rest.begin(), rest.end());
        return RunCli(all, -1, limitSeconds);
    };
    // A set to send is one the device gave before the fault.
    if (std::string(cell.op->name) == "ParamSetSend") {
        ASSERT_EQ(run({"paramset", "save", "{dir}/set.btp"}).code, 0);
    }
    EXPECT_NE(sim.command(cell.fault->command), "");

    const Outcome& expected = cell.link == Link::Tcp ? cell.fault->tcp : cell.fault->rtu;
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
                         [](const ::testing::TestParamInfo<Cell>& info) {
                             return std::string(info.param.link == Link::Tcp ? "Tcp" : "Rtu") +
                                    info.param.fault->name + info.param.op->name;
                         });

// The firmware goes through the bootloader, not Modbus: its fault is a block answer that arrives garbled,
// which costs a repeat of that block and nothing else.
TEST(FaultMatrixFirmware, GarbledBlockAnswersAreRepeated) {
    quirel::test::TempDir dir;
    SimProcess sim(
        {"--pty", "--bootloader", "1.1", "--corrupt-answer", "3", "--flash-out", dir.File("flash.bin")});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    const auto image = quirel::test::ScatteredImage();
    ASSERT_TRUE(quirel::test::WriteTextFile(dir.File("fw.srec"), quirel::test::SRecordFile(image)));
    const CliResult r = RunCli({"firmware", "--port", sim.ptyPath(), "--yes", dir.File("fw.srec")}, -1, 90);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Download successfully!\n");
    EXPECT_EQ(quirel::test::ReadBinaryFile(dir.File("flash.bin")), image);
}

} // namespace
