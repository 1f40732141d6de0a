// Reading the event log from file records: against a scripted device that serves chosen bytes and fails
// chosen reads, and against the simulator.

#include "SimProcess.h"
#include "TestPeers.h"
#include "base/RecordingUiPort.h"
#include "comm/ControllerModbus.h"
#include "eventlog/DocErrorMemory.h"
#include "eventlog/EventLogReader.h"
#include "eventlog/EventLogRows.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>

using quirel::test::Bytes;
using quirel::test::PeerStep;

namespace {

// Serves function 20 from files of chosen bytes; reads of a file can be made to fail (exception 4). Notes
// every read with whether the watched controller's worker was running at the time.
class FileDevice {
public:
    struct Read {
        int file, record;
        bool workerRunning;
    };
    std::string Host() const { return "127.0.0.1:" + std::to_string(peer->port()); }
    void SetFile(int file, std::string bytes) {
        std::lock_guard lock(m_mutex);
        m_files[file] = std::move(bytes);
    }
    // The `count` reads of `file` that follow the next `after` ones fail.
    void FailReads(int file, int count, int after = 0) {
        std::lock_guard lock(m_mutex);
        m_failures[file] = {after, count};
    }
    std::vector<Read> Reads() const {
        std::lock_guard lock(m_mutex);
        return m_reads;
    }
    const CControllerModbus* watched = nullptr;

private:
    Bytes Answer(const Bytes& request) {
        const Bytes pdu(request.begin() + 7, request.end());
        if (pdu.size() != 9 || pdu[0] != 20)
            return {static_cast<uint8_t>(pdu.at(0) | 0x80), 1};
        const int file = (pdu.at(3) << 8) | pdu.at(4), record = (pdu.at(5) << 8) | pdu.at(6);
        const size_t length = static_cast<size_t>((pdu.at(7) << 8) | pdu.at(8)) * 2;
        std::lock_guard lock(m_mutex);
        m_reads.push_back({file, record, watched && watched->IsThreadRunning()});
        auto& [pass, fail] = m_failures[file];
        if (pass == 0 && fail > 0 && fail--)
            return {0x94, 4};
        pass = std::max(0, pass - 1);
        std::string data = m_files[file].substr(std::min(m_files[file].size(), size_t(record) * 2), length);
        data.resize(length, '\0');
        Bytes body{0x14, static_cast<uint8_t>(length + 2), static_cast<uint8_t>(length + 1), 6};
        body.insert(body.end(), data.begin(), data.end());
        return body;
    }

    mutable std::mutex m_mutex;
    std::map<int, std::string> m_files;
    std::map<int, std::pair<int, int>> m_failures; // reads to pass, then to fail
    std::vector<Read> m_reads;

public:
    // Last, so that its thread, which calls Answer(), ends before the members above go.
    std::unique_ptr<quirel::test::ScriptedTcpPeer> peer =
        std::make_unique<quirel::test::ScriptedTcpPeer>([this](const Bytes& request, int) {
            return std::vector<PeerStep>{{quirel::test::mbap(request, Answer(request))}};
        });
};

// A controller connected to `host` over Modbus TCP, its worker running.
struct Session {
    RecordingUiPort ui;
    CControllerModbus controller{nullptr, &ui};
    explicit Session(const std::string& host) {
        controller.SetTcpSettings(host);
        controller.StartThread();
        EXPECT_TRUE(controller.Connect());
    }
    CEventLogReader::Result Read(EventLogScope scope) { return CEventLogReader(controller, ui).Run(scope); }
    // The read with the worker stopped at once: an idle controller has no request to let finish.
    CEventLogReader::Result ReadIdle(EventLogScope scope) {
        controller.StopThread();
        EXPECT_TRUE(controller.WaitForThreadStop());
        return CEventLogReader(controller, ui).ReadAndRestart(scope);
    }
};

std::string Padded(std::string bytes, size_t size) {
    bytes.resize(size, '\0');
    return bytes;
}

} // namespace

TEST(EventLogRead, TextEndsAtTheFirstZeroPair) {
    const std::string line = "01.12.2026 07:13:02 Filter started;23816;Status\n";
    std::string full;
    while (full.size() < 100 * 166)
        full += line;
    full.resize(100 * 166);
    const std::string across = std::string(164, 'a') + "\n";
    struct Case {
        const char* name;
        std::string file, text;
        size_t blocksRead;
    };
    const Case cases[] = {
        {"inside a block", Padded(line + std::string("\0\0junk", 6), 400), line, 1},
        {"across two blocks", Padded(across + '\0' + std::string("\0junk", 5), 400), across, 2},
        {"single zeros go on", Padded(across + '\0' + "b;Info\n" + std::string(2, '\0'), 400),
         across + " b;Info\n", 2},
        {"first block starts with two zeros", Padded(std::string(2, '\0') + line, 400), "", 1},
        {"no end in 100 blocks", full, full, 100},
    };
    FileDevice device;
    Session s(device.Host());
    device.watched = &s.controller;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device.SetFile(1, c.file);
        s.ui.Clear();
        const size_t before = device.Reads().size();
        const CEventLogReader::Result r =
            &c == cases ? s.Read(EventLogScope::Latest) : s.ReadIdle(EventLogScope::Latest);
        ASSERT_EQ(r.status, CEventLogReader::Status::Ok);
        EXPECT_EQ(r.text, c.text);
        const auto reads = device.Reads();
        ASSERT_EQ(reads.size() - before, c.blocksRead);
        for (size_t i = before; i < reads.size(); ++i) // block by block, with the worker stopped
            EXPECT_TRUE(reads[i].file == 1 && reads[i].record == static_cast<int>(i - before) * 83 &&
                        !reads[i].workerRunning)
                << i;
        EXPECT_TRUE(s.ui.Boxes().empty());
        EXPECT_EQ(s.ui.ProgressSteps().back().pos, static_cast<int>(c.blocksRead));
        EXPECT_TRUE(s.controller.IsThreadRunning());
    }
    // The request of the first block, byte by byte.
    const Bytes first = device.peer->requests().at(0);
    EXPECT_EQ(Bytes(first.begin() + 6, first.end()),
              (Bytes{0x01, 0x14, 0x07, 0x06, 0x00, 0x01, 0x00, 0x00, 0x00, 0x53}));
}

// Three failures in file 20 and seven in file 25: the tenth failed read of the operation ends it.
TEST(EventLogRead, AllRecordsShareTheRetryBudget) {
    FileDevice device;
    for (int file = 20; file <= 31; ++file)
        device.SetFile(file, Padded("01.12.2026 07:13:02 File " + std::to_string(file) + ";1;Info\n", 166));
    device.FailReads(20, 3, 1); // after the opening read of file 20, which has no part in the budget
    device.FailReads(25, 7);
    Session s(device.Host());
    device.watched = &s.controller;
    CEventLogReader::Result r = s.ReadIdle(EventLogScope::All);
    EXPECT_EQ(r.status, CEventLogReader::Status::Failed);
    EXPECT_TRUE(r.text.empty());
    ASSERT_EQ(s.ui.Boxes().size(), 1u);
    EXPECT_TRUE(s.ui.Boxes()[0].text == "Please check connection!" && s.ui.Boxes()[0].icon == MbIcon::Error);
    auto reads = device.Reads();
    EXPECT_EQ(reads.back().file, 25);
    EXPECT_EQ(reads.size(), 5u + 4 + 7); // 20: opening, 3 failed, 1; 21-24: 1 each; 25: 7 failed
    for (const auto& read : reads)
        EXPECT_FALSE(read.workerRunning);
    EXPECT_TRUE(s.controller.IsThreadRunning());

    // Cancel between two blocks: no further read, no message, the worker runs again.
    s.ui.Clear();
    s.ui.CancelAfterProgressSteps(3);
    EXPECT_EQ(s.ReadIdle(EventLogScope::All).status, CEventLogReader::Status::Cancelled);
    EXPECT_EQ(device.Reads().size() - reads.size(), 3u); // the opening read, files 20 and 21
    EXPECT_TRUE(s.ui.Boxes().empty());
    EXPECT_TRUE(s.controller.IsThreadRunning());
    s.ui.CancelAfterProgressSteps(-1);

    // A refused opening read is a failed read as well; the worker runs again.
    device.FailReads(20, 1);
    s.ui.Clear();
    EXPECT_EQ(s.ReadIdle(EventLogScope::All).status, CEventLogReader::Status::Failed);
    ASSERT_EQ(s.ui.Boxes().size(), 1u);
    EXPECT_EQ(s.ui.Boxes()[0].text, "Please check connection!");
    EXPECT_TRUE(s.controller.IsConnected());

    // Without a connection nothing is read, and the worker goes on.
    s.controller.Disconnect();
    s.ui.Clear();
    EXPECT_EQ(s.Read(EventLogScope::Latest).status, CEventLogReader::Status::NotConnected);
    ASSERT_EQ(s.ui.Boxes().size(), 1u);
    EXPECT_EQ(s.ui.Boxes()[0].text + "|" + s.ui.Boxes()[0].caption,
              "No connection to device!|No connection to device!");
    EXPECT_TRUE(s.ui.ProgressSteps().empty());
    EXPECT_TRUE(s.controller.IsThreadRunning());
}

// The simulated filter's log: the latest records are the last rows of all records.
TEST(EventLogRead, FromTheSimulator) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    Session s(sim.tcpHost());
    CDocErrorMemory doc;
    doc.AddEntry(s.ReadIdle(EventLogScope::Latest).text);
    const std::vector<EventLogRow> latest = EventLogRowsOf(doc);
    ASSERT_EQ(latest.size(), 40u);
    doc.DeleteContents();
    doc.AddEntry(s.ReadIdle(EventLogScope::All).text);
    const std::vector<EventLogRow> all = EventLogRowsOf(doc);
    ASSERT_GE(all.size(), 400u);
    EXPECT_TRUE(std::equal(latest.begin(), latest.end(), all.end() - 40));
    std::vector<int> progress; // all records: one step per file
    for (const auto& p : s.ui.ProgressSteps())
        progress.push_back(p.pos);
    EXPECT_EQ(std::vector<int>(progress.end() - 13, progress.end()),
              (std::vector<int>{4, 13, 22, 31, 40, 49, 58, 67, 76, 85, 94, 100, 100}));
    for (const EventLogRow& row : all) // each line of the device's log makes one whole row
        EXPECT_TRUE(row.date.size() == 10 && row.time.size() == 8 && !row.hours.empty() &&
                    (row.kindText == "Error" || row.kindText == "Status" || row.kindText == "Info"))
            << row.description;
    EXPECT_TRUE(s.ui.Boxes().empty());
}
