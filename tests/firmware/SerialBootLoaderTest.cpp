// The bootloader procedure against the simulator's bootloader over a pty, with its waits shortened: for each
// way a download can go, what the device ends with (its firmware running, the flash it holds, or its
// bootloader waiting for another try) and what the user is told; the port closed on every way out.

#include "firmware/SerialBootLoader.h"
#include "FirmwareTestSupport.h"
#include "SimProcess.h"
#include "firmware/SRecordReader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <poll.h>
#include <pty.h>
#include <thread>

using namespace quirel::firmware;
using quirel::test::SRecord;
using quirel::test::SRecordFile;
using O = CSerialBootLoader::Outcome;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The real port, keeping what the procedure writes. It can refuse to open, any baud rate or the nth switch
// to the block speed, and can go deaf from the end marker of a block transfer on.
class TestPort : public CSerialPort {
public:
    bool Open(const std::string& name) override {
        modbusNext = true;
        return !failOpen && CSerialPort::Open(name);
    }
    bool SetBaudRate(std::uint32_t baud) override {
        const bool refused = baud == CSerialBootLoader::kBlockBaud && ++fastCalls == refuseFast;
        return !failBaud && !refused && CSerialPort::SetBaudRate(baud);
    }
    // The simulator reads a pty's speed when it takes the bytes, not when they were sent: before the line
    // changes under them, it gets the time a wire would have carried them in.
    void Close() override {
        if (IsOpen() && !writes.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        CSerialPort::Close();
    }
    bool Write(const std::uint8_t* data, std::size_t size) override {
        writes.emplace_back(data, data + size);
        modbusNext = size >= 8 && data[0] == 0x01; // a Modbus frame to slave 1: its reply comes next
        deaf = deaf || (deafAtEnd && size == 1 && data[0] == 0xFF);
        return CSerialPort::Write(data, size);
    }
    std::size_t Read(std::uint8_t* data, std::size_t size) override {
        return deaf ? 0 : CSerialPort::Read(data, size);
    }
    std::vector<Bytes> writes;
    bool failOpen = false, failBaud = false, deafAtEnd = false, deaf = false, modbusNext = false;
    int refuseFast = 0, fastCalls = 0;
};

// Every wait up to 100 ms: still longer than the 50 ms of silence after which the simulator takes the
// bootloader bytes before a Modbus frame to have ended. The bootloader's own long waits (erasing, the
// speed switch, a repeat), which the simulator does not need, take 20 ms.
class FastClock : public IClock {
public:
    explicit FastClock(const TestPort& port) : m_port(port) {}
    void Sleep(int ms) override {
        waits.push_back(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, m_port.modbusNext ? 100 : 20)));
    }
    std::vector<int> waits;

private:
    const TestPort& m_port;
};

// The person at the screen: answers boxes by their text (OK and Yes unless told), gives the file, and
// presses Cancel in the progress window after that many progress calls, in the wait window after that
// many looks.
class Person : public IUiPort, public IFirmwareDialogs {
public:
    void PostDocumentUpdate(CDocument*, int64_t) override {}
    void PostConnectionState(int) override {}
    int MessageBox(const std::string& text, const std::string&, MbIcon, MbButtons buttons) override {
        boxes.push_back(text);
        if (const auto it = answers.find(text); it != answers.end())
            return it->second;
        return buttons == MbButtons::YesNo || buttons == MbButtons::YesNoCancel ? IDYES : IDOK;
    }
    void Progress(const std::string&, const std::string&, int pos, int max) override {
        EXPECT_LE(pos, max);
        lastPosition = pos;
        ++progressCalls;
    }
    bool ProgressCancelled() override {
        return cancelAfterProgress >= 0 && progressCalls >= cancelAfterProgress;
    }
    void EndProgress() override {}
    std::string AskFirmwareFile() override { return file; }
    void ShowWaitWindow() override { waitWindow = true; }
    bool WaitWindowCancelled() override { return cancelAfter >= 0 && --cancelAfter < 0; }
    void CloseWaitWindow() override { waitWindow = false; }

    std::map<std::string, int> answers;
    std::vector<std::string> boxes;
    std::string file;
    int cancelAfter = -1, cancelAfterProgress = -1, progressCalls = 0, lastPosition = -1;
    bool waitWindow = false;
};

const std::string kAskForcedStart =
    "Cannot Access Device!\nCheck again COM Port and Baudrate.\nIf the last download was unsuccesfully, "
    "please 'Yes'";
const std::string kLeft = "The device stays in its bootloader without working firmware.";
const std::string kNoResetConfig = "RCHW (reset config. half word) not detected cancel download ?";
const Bytes kEnter = {0x01, 0x10, 0x15, 0xAD, 0x00, 0x02, 0x04, 0x00, 0x0C, 0x00, 0x00, 0x0A, 0xDD};

// What goes wrong in a download: at the person's hands or at the port.
struct Trouble {
    int cancelAfterProgress = -1, refuseFast = 0;
    bool deafAtEnd = false, failOpen = false, failBaud = false;
    std::map<std::string, int> answers = {};
};

// One download: the simulated device, the firmware file, what goes wrong, and what must come of it.
struct Download {
    std::string version;              // of the device's bootloader
    std::vector<std::string> options; // further simulator options
    std::string file;                 // the firmware file's text
    O outcome;
    std::string told; // the start of the last box
    bool runsFirmware;
    int frames = -1; // block frames sent, where it matters
    Trouble trouble = {};
};

struct Session {
    quirel::test::TempDir dir;
    TestPort port;
    FastClock clock{port};
    Person person;
    CSerialBootLoader loader{port, person, person, clock};
    std::unique_ptr<SimProcess> sim;

    std::string Flash() const { return dir.File("flash.bin"); }
    // The device answers the Modbus probe: it runs its firmware. Sent after the silence that ends the
    // loader's last bytes, and again for a while, as a busy machine may keep the device from answering.
    bool RunsFirmware() const {
        RawPty line(sim->ptyPath());
        for (int attempt = 0; attempt < 6; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(attempt ? 0 : 100));
            if (!line.send({0x01, 0x03, 0x00, 0xC8, 0x00, 0x01}))
                return false;
            const Bytes reply = line.receive(7, std::chrono::milliseconds(250));
            if (reply.size() == 7 && reply[1] == 0x03 && RawPty::crcHolds(reply))
                return true;
        }
        return false;
    }
    void Check(const Download& d);
};

// Runs the download and checks what every download must end with.
void Session::Check(const Download& d) {
    SCOPED_TRACE(d.version + " " + d.told);
    const Trouble& t = d.trouble;
    port.refuseFast = t.refuseFast, port.deafAtEnd = t.deafAtEnd;
    port.failOpen = t.failOpen, port.failBaud = t.failBaud;
    person.cancelAfterProgress = t.cancelAfterProgress, person.answers = t.answers;
    EXPECT_TRUE(sim->ready()) << sim->failure();
    loader.SetPortName(sim->ptyPath());
    person.file = dir.File("Kalvar.srec");
    EXPECT_TRUE(quirel::test::WriteTextFile(person.file, d.file));
    EXPECT_EQ(loader.Start(), d.outcome);
    const std::string last = person.boxes.empty() ? "" : person.boxes.back();
    EXPECT_EQ(last.substr(0, d.told.size()), d.told);
    EXPECT_EQ(RunsFirmware(), d.runsFirmware);
    const CSerialBootLoader::Report& report = loader.LastReport();
    if (d.outcome == O::Succeeded) {
        Bytes image = MakeErasedImage(); // what the reader makes of the file
        std::ifstream file(person.file);
        EXPECT_TRUE(ReadSRecordImage(file, image, 0).ok());
        EXPECT_EQ(quirel::test::ReadBinaryFile(Flash()), image);
        EXPECT_EQ(person.lastPosition, kProgressRange);
    } else if (d.outcome == O::Ended) {
        EXPECT_TRUE(quirel::test::ReadBinaryFile(Flash()).empty()) << "no download completed";
    } else if (!port.deafAtEnd) { // nor does it start a part when switched off and on
        EXPECT_EQ(sim->command("power-cycle"), "ok power-cycle bootloader");
        EXPECT_TRUE(report.leftInBootLoader);
    }
    EXPECT_TRUE(d.frames < 0 || report.framesSent == d.frames) << report.framesSent;
    // Every way out leaves the port closed, so that another program can have it at once.
    EXPECT_FALSE(port.IsOpen());
    quirel::SerialPort again;
    EXPECT_EQ(again.open(sim->ptyPath()), quirel::SerialPort::Result::Ok);
}

// The downloads run side by side, each with a device of its own. All devices start before any port opens,
// so that none inherits another's port and its lock.
std::vector<std::unique_ptr<Session>> CheckAll(const std::vector<Download>& downloads) {
    std::vector<std::unique_ptr<Session>> runs;
    for (const Download& d : downloads) {
        runs.push_back(std::make_unique<Session>());
        std::vector<std::string> args = {"--pty", "--bootloader", d.version, "--flash-out",
                                         runs.back()->Flash()};
        args.insert(args.end(), d.options.begin(), d.options.end());
        runs.back()->sim = std::make_unique<SimProcess>(args);
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < downloads.size(); ++i)
        threads.emplace_back([&, i] { runs[i]->Check(downloads[i]); });
    for (std::thread& t : threads)
        t.join();
    return runs;
}

std::string Scattered(int perRecord = 16) {
    return SRecordFile(quirel::test::ScatteredImage(), perRecord);
}

// A file whose image lacks the reset configuration word.
std::string NoResetConfig() {
    Bytes image = quirel::test::SmallImage();
    image[1] = 0x5B;
    return SRecordFile(image);
}

} // namespace

TEST(SerialBootLoader, DownloadsThatSucceedLeaveTheFileInTheFlash) {
    std::string beyond = SRecordFile(quirel::test::SmallImage());
    beyond.insert(beyond.rfind("S7"), SRecord('3', 0xFFFFFFF8, 4, Bytes(16, 0x42)) + "\r\n");
    const std::string ok = "Download successfully!";
    const std::vector<Download> downloads = {
        // Only written blocks are sent: two of the whole flash.
        {"1.1", {}, SRecordFile(quirel::test::SmallImage()), O::Succeeded, ok, true, 2},
        // Every second answer garbled: blocks 2, 3 and 4 of four go twice.
        {"1.1", {"--corrupt-answer", "2"}, Scattered(32), O::Succeeded, ok, true, 7},
        // Data past the top of the address space is dropped by device and reader alike, not wrapped to 0.
        {"1.0", {}, beyond, O::Succeeded, ok, true},
        // A device left in its bootloader is loaded from the banner it repeats after a power cycle.
        {"1.1", {"--power-cycle"}, Scattered(), O::Succeeded, ok, true},
        // A missing reset configuration word is asked about; No goes on.
        {"1.1", {}, NoResetConfig(), O::Succeeded, ok, true, -1, {.answers = {{kNoResetConfig, IDNO}}}},
    };
    const auto runs = CheckAll(downloads);
    for (std::size_t i = 0; i < runs.size(); ++i) { // only the power-cycled one starts from the banner
        const std::vector<Bytes>& w = runs[i]->port.writes;
        EXPECT_EQ(runs[i]->loader.IsForcedStart(), i == 3);
        EXPECT_EQ(std::count(w.begin(), w.end(), kEnter), i == 3 ? 0 : 1);
    }
    // The waits are the device's: the simulator answers at once, a device does not.
    EXPECT_EQ(runs[0]->clock.waits,
              (std::vector<int>{500, 1500, 50, 10, 10, 500, 1500, 500, 200, 5500, 1000, 10, 15}));
    EXPECT_EQ(runs[0]->loader.LastReport().blocksSkipped, 0x200000 / 128 - 2);
}

// Once the flash is erased, a transfer that fails leaves the device in its bootloader for another try:
// never told to start a partial image.
TEST(SerialBootLoader, FailuresAfterTheEraseLeaveTheBootloaderWaiting) {
    CheckAll({
        // "Record error ... Download FAILED ... Download again (y/n)?" is no success.
        {"1.0", {"--corrupt-line", "3"}, Scattered(), O::Failed, kLeft, false},
        // Block 0 goes 22 times (counted from 0 at its first failure), then nothing more, no end marker.
        {"1.1", {"--corrupt-answer", "1"}, Scattered(), O::Failed, kLeft, false, 22},
        // Cancel after the first block.
        {"1.1", {}, Scattered(), O::Failed, kLeft, false, 1, {.cancelAfterProgress = 3}},
        // The block speed refused only after the erase.
        {"1.1", {}, Scattered(), O::Failed, kLeft, false, 0, {.refuseFast = 2}},
        // A bootloader that never asks "exit?" has not confirmed the download.
        {"1.1", {}, Scattered(), O::Failed, kLeft, false, -1, {.deafAtEnd = true}},
    });
}

// Before the erase every stop leaves the device as it was: its firmware runs again (a bootloader of
// unknown version, told to stop, stays as it asks).
TEST(SerialBootLoader, StopsBeforeTheEraseLeaveTheDeviceAsItWas) {
    const std::string header = SRecord('0', 0, 2, {}) + "\n", end = SRecord('7', 0, 4, {});
    const std::string twoMinutes = "Download time about 2 minutes", twelve = "Download time about 12 minutes";
    const std::string configure = "Cannot change COM port parameters.";
    const auto runs = CheckAll({
        {"1.1",
         {},
         Scattered(),
         O::Ended,
         "The download was cancelled.",
         true,
         -1,
         {.cancelAfterProgress = 1}},
        // A port that cannot go to 115200 baud is found out before the erase.
        {"1.1", {}, Scattered(), O::Ended, configure, true, -1, {.refuseFast = 1}},
        {"2.0", {}, Scattered(), O::Ended, "Cannot Access Device !\nPlease check COM Port", false},
        {"1.5", {}, Scattered(), O::Ended, twoMinutes, true, -1, {.answers = {{twoMinutes, IDCANCEL}}}},
        {"1.0", {}, Scattered(), O::Ended, twelve, true, -1, {.answers = {{twelve, IDCANCEL}}}},
        {"1.1", {}, NoResetConfig(), O::Ended, kNoResetConfig, true},
        // A file this bootloader would not take whole is refused where an estimate is declined.
        {"1.0",
         {},
         header + SRecord('3', 0, 4, Bytes(25, 1)) + "\n" + end,
         O::Ended,
         "The records of this firmware file are too long for bootloader 1.0",
         true},
        // A port that cannot be opened or set up is reported, and nothing reaches the device.
        {"1.1",
         {},
         Scattered(),
         O::Ended,
         kAskForcedStart,
         true,
         -1,
         {.failOpen = true, .answers = {{kAskForcedStart, IDNO}}}},
        {"1.1",
         {},
         Scattered(),
         O::Ended,
         kAskForcedStart,
         true,
         -1,
         {.failBaud = true, .answers = {{kAskForcedStart, IDNO}}}},
    });
    for (const bool open : {true, false}) {
        const Session& run = *runs[open ? 7 : 8];
        EXPECT_EQ(run.person.boxes.front(), open ? "Cannot open COM port." : configure);
        EXPECT_TRUE(run.port.writes.empty());
    }
}

TEST(SerialBootLoader, TheWaitForTheBannerCanBeCancelled) {
    // A line with nobody on it: the probe fails and no banner comes.
    int master = -1, slave = -1;
    char name[64] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    Session run;
    run.loader.SetPortName(name);
    run.person.cancelAfter = 3;
    EXPECT_EQ(run.loader.Start(), O::Ended);
    EXPECT_EQ(run.person.boxes, (std::vector<std::string>{kAskForcedStart, "Menue Debug Roadworks"}));
    EXPECT_FALSE(run.person.waitWindow || run.loader.IsForcedStart() || run.port.IsOpen());
    ::close(master);
}

TEST(SerialPortLine, TextLeavesOutControlBytesAndCloseSendsWhatWasWritten) {
    int master = -1, slave = -1;
    char name[64] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    CSerialPort port;
    ASSERT_TRUE(port.Open(name));
    ASSERT_TRUE(port.SetBaudRate(38400));
    const std::string sent("\x00\x01"
                           "A%B\x02\x10"
                           "C\x15\x7F",
                           10);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(::write(master, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
        EXPECT_EQ(round == 0 ? port.ReadText() : port.ReadAll(), round == 0 ? std::string("ABC\x7F") : sent);
    }
    // What was written before closing reaches the other end, also more than the peer has read yet.
    const std::string last(6000, 'n');
    ASSERT_TRUE(port.Write(last));
    port.Close();
    std::size_t got = 0;
    char chunk[8000];
    for (pollfd p{master, POLLIN, 0}; got < last.size() && ::poll(&p, 1, 500) > 0;)
        got += static_cast<std::size_t>(std::max<ssize_t>(0, ::read(master, chunk, sizeof chunk)));
    EXPECT_EQ(got, last.size());
    ::close(slave);
    ::close(master);
}

TEST(SerialBootLoader, ProgressAndVersionDecisions) {
    EXPECT_EQ(ProgressPosition(1'100'000, 1'200'000), 1833);
    EXPECT_EQ(ProgressPosition(3, 0), 0);
    EXPECT_EQ(ProgressPosition(9, 7), kProgressRange);
    for (const auto& [banner, version] : {std::pair{"V1.1", kVersionBlocks},
                                          {"V1.0", kVersionText},
                                          {"V1.5", kVersionBlocks},
                                          {"V1.0 (c) 1.1", kVersionBlocks},
                                          {"V2.0", kVersionUnknown}})
        EXPECT_EQ(VersionFromBanner(std::string("LVAR FLASHLOADER ") + banner), version) << banner;
}
