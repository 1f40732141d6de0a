// The bootloader procedure against the simulator's bootloader over a pty, with its waits shortened: what
// the device ends with (its firmware running, or its bootloader waiting for another try), what the user is
// told, the steps of the protocol in order, and the port closed on every way out.

#include "firmware/SerialBootLoader.h"
#include "FirmwareTestSupport.h"
#include "SimProcess.h"
#include "firmware/SRecordReader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <thread>

using namespace quirel::firmware;
using quirel::test::TempDir;

namespace {

using Trace = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

std::string Hex(const std::uint8_t* data, std::size_t size) {
    std::string text;
    char hex[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", data[i]);
        text += hex;
    }
    return text;
}
std::string Write(const Bytes& bytes) {
    return "write " + Hex(bytes.data(), bytes.size());
}
std::string Write(const std::string& text) {
    return Write(Bytes(text.begin(), text.end()));
}

// The block frame for the 128 bytes at `address`, built here from the protocol's description.
std::string Frame(const Bytes& image, std::uint32_t address) {
    Bytes frame = {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
                   static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0x80};
    unsigned sum = 0;
    for (std::uint32_t i = 0; i < 128; ++i) {
        frame.push_back(image[address + i]);
        sum += image[address + i];
    }
    frame.push_back(static_cast<std::uint8_t>(0xFF - sum));
    return Write(frame);
}

// The real port, noting what the procedure does with it. `failOpen` / `failBaud` make it refuse.
class TracingPort : public CSerialPort {
public:
    explicit TracingPort(Trace& trace) : m_trace(trace) {}
    bool Open(const std::string& name) override {
        m_trace.push_back("open");
        return !failOpen && CSerialPort::Open(name);
    }
    void Close() override {
        if (IsOpen())
            m_trace.push_back("close");
        CSerialPort::Close();
    }
    bool SetBaudRate(std::uint32_t baud) override {
        m_trace.push_back("baud " + std::to_string(baud));
        const bool refused = baud == CSerialBootLoader::kBlockBaud && ++m_fastCalls == m_refuseFast;
        return !failBaud && !refused && CSerialPort::SetBaudRate(baud);
    }
    bool Write(const std::uint8_t* data, std::size_t size) override {
        m_trace.push_back("write " + Hex(data, size));
        deaf = deaf || (deafAtEnd && size == 1 && data[0] == 0xFF);
        return CSerialPort::Write(data, size);
    }
    std::size_t Read(std::uint8_t* data, std::size_t size) override {
        return deaf ? 0 : CSerialPort::Read(data, size);
    }
    // The nth switch to the block speed from now on fails (0: none).
    void RefuseFast(int nth) { m_refuseFast = nth, m_fastCalls = 0; }
    bool failOpen = false, failBaud = false;
    // From the end marker of a block transfer on, nothing the bootloader says arrives.
    bool deafAtEnd = false, deaf = false;

private:
    Trace& m_trace;
    int m_refuseFast = 0, m_fastCalls = 0;
};

// Waits at most 100 ms of what is asked (still longer than the silence that ends a Modbus frame), and
// notes what was asked.
class FastClock : public IClock {
public:
    explicit FastClock(Trace& trace) : m_trace(trace) {}
    void Sleep(int ms) override {
        m_trace.push_back("sleep " + std::to_string(ms));
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 100)));
    }

private:
    Trace& m_trace;
};

// The person at the screen: answers boxes by their text (OK and Yes unless told), gives the file, and
// presses the wait window's Cancel after `cancelAfter` looks.
class Person : public IUiPort, public IFirmwareDialogs {
public:
    explicit Person(Trace& trace) : m_trace(trace) {}
    void PostDocumentUpdate(CDocument*, int64_t) override {}
    void PostConnectionState(int) override {}
    int MessageBox(const std::string& text, const std::string& caption, MbIcon, MbButtons buttons) override {
        m_trace.push_back("box " + caption + "|" + text);
        auto it = answers.find(text);
        if (it != answers.end())
            return it->second;
        return buttons == MbButtons::YesNo || buttons == MbButtons::YesNoCancel ? IDYES : IDOK;
    }
    void Progress(const std::string& caption, const std::string&, int pos, int max) override {
        if (!m_shown)
            m_trace.push_back("progress " + caption);
        m_shown = true;
        EXPECT_LE(pos, max);
        lastPosition = pos;
        ++progressCalls;
    }
    bool ProgressCancelled() override {
        return cancelAfterProgress >= 0 && progressCalls >= cancelAfterProgress;
    }
    void EndProgress() override {
        m_shown = false;
        m_trace.push_back("end progress");
    }
    std::string AskFirmwareFile() override {
        m_trace.push_back("file?");
        return file;
    }
    void ShowWaitWindow() override { m_trace.push_back("wait window"); }
    bool WaitWindowCancelled() override { return cancelAfter >= 0 && --cancelAfter < 0; }
    void CloseWaitWindow() override { m_trace.push_back("close wait window"); }

    std::map<std::string, int> answers;
    std::string file;
    int cancelAfter = -1;
    int cancelAfterProgress = -1; // Cancel in the progress window after that many progress calls
    int progressCalls = 0;
    int lastPosition = -1;

private:
    Trace& m_trace;
    bool m_shown = false;
};

const std::string kProbe = "write 01 03 00 C8 00 01 05 F4";
const std::string kEnter = "write 01 10 15 AD 00 02 04 00 0C 00 00 0A DD";
const std::string kConfirm = "box Update Firmware Dialog|Attention: Firmware will be downloaded!";
const std::string kEstimate2 = "box Quirel Viewer Velorin Download Dialog|Download time about 2 minutes";
const std::string kSuccess = "box Update Firmware Dialog|Download successfully!";
const Trace kProbeAndExit = {"open",     "baud 38400", "sleep 500", kProbe,     "sleep 1500", "sleep 50",
                             Write("6"), "sleep 10",   Write("y"),  "sleep 10", "close"};

class SerialBootLoaderTest : public ::testing::Test {
protected:
    // Starts the simulator with a bootloader and these further options; the procedure gets its pty.
    void StartSim(const std::string& version, std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"--pty", "--bootloader", version, "--flash-out", Flash()};
        args.insert(args.end(), more.begin(), more.end());
        m_sim = std::make_unique<SimProcess>(args);
        ASSERT_TRUE(m_sim->ready()) << m_sim->failure();
        m_loader.SetPortName(m_sim->ptyPath());
    }
    void UseFirmware(const Bytes& image, int perRecord = 16) {
        m_person.file = m_dir.File("Kalvar.srec");
        ASSERT_TRUE(quirel::test::WriteTextFile(m_person.file, quirel::test::SRecordFile(image, perRecord)));
    }
    // What the reader makes of the firmware file: the flash the device must end up with.
    Bytes ReaderImage() {
        Bytes image = MakeErasedImage();
        std::ifstream file(m_person.file);
        EXPECT_TRUE(ReadSRecordImage(file, image, 0).ok());
        return image;
    }
    std::string Dump() const {
        std::string text;
        for (const std::string& t : m_trace)
            text += t.substr(0, 80) + "\n";
        return text;
    }
    std::string Flash() const { return m_dir.File("flash.bin"); }
    // The device answers the Modbus probe: it runs its firmware (given a moment to start it).
    bool RunsFirmware() const {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        RawPty line(m_sim->ptyPath());
        line.send({0x01, 0x03, 0x00, 0xC8, 0x00, 0x01});
        const Bytes reply = line.receive(7, std::chrono::milliseconds(500));
        return reply.size() == 7 && reply[1] == 0x03 && RawPty::crcHolds(reply);
    }
    Trace Writes() const {
        Trace writes;
        for (const std::string& t : m_trace)
            if (t.rfind("write ", 0) == 0)
                writes.push_back(t);
        return writes;
    }

    void TearDown() override {
        // Every way out leaves the port closed, so that another program can have it at once.
        EXPECT_FALSE(m_port.IsOpen());
        if (m_sim && m_sim->ready()) {
            quirel::SerialPort again;
            EXPECT_EQ(again.open(m_sim->ptyPath()), quirel::SerialPort::Result::Ok);
        }
    }

    TempDir m_dir;
    Trace m_trace;
    TracingPort m_port{m_trace};
    FastClock m_clock{m_trace};
    Person m_person{m_trace};
    CSerialBootLoader m_loader{m_port, m_person, m_person, m_clock};
    std::unique_ptr<SimProcess> m_sim;
};

} // namespace

TEST_F(SerialBootLoaderTest, BlockTransferSendsOnlyWrittenBlocksAndEveryStepInOrder) {
    StartSim("1.1");
    const Bytes image = quirel::test::SmallImage();
    UseFirmware(image);
    ASSERT_EQ(m_loader.Start(), CSerialBootLoader::Outcome::Succeeded) << Dump();

    Trace expected = kProbeAndExit;
    const Trace rest = {"file?",
                        kConfirm,
                        "open",
                        "baud 38400",
                        "sleep 500",
                        kEnter,
                        "sleep 1500",
                        kEstimate2,
                        "close",
                        "open",
                        "baud 38400",
                        "progress Download: RUNNING !",
                        "baud 115200",
                        "baud 38400",
                        Write("2"),
                        "sleep 500",
                        "write 42 00 C2 01 00",
                        "sleep 200",
                        "baud 115200",
                        "sleep 5500",
                        Frame(image, 0),
                        Frame(image, 128)};
    expected.insert(expected.end(), rest.begin(), rest.end());
    for (int i = 0; i < 5; ++i)
        expected.push_back("write FF");
    const Trace end = {"end progress", "sleep 1000", Write("6"), "sleep 10",
                       Write("y"),     "sleep 15",   "close",    kSuccess};
    expected.insert(expected.end(), end.begin(), end.end());
    EXPECT_EQ(m_trace, expected);
    EXPECT_EQ(m_loader.LastReport().blocksSkipped, 0x200000 / 128 - 2);
    EXPECT_EQ(m_person.lastPosition, kProgressRange);
    EXPECT_EQ(quirel::test::ReadBinaryFile(Flash()), image);
    EXPECT_TRUE(RunsFirmware());
}

TEST_F(SerialBootLoaderTest, GarbledAnswersAreRepeatedAndTheFlashMatchesTheFile) {
    StartSim("1.1", {"--corrupt-answer", "2"});
    const Bytes image = quirel::test::ScatteredImage();
    UseFirmware(image, 32);
    ASSERT_EQ(m_loader.Start(), CSerialBootLoader::Outcome::Succeeded) << Dump();
    // Four blocks; every second answer garbled: blocks 2, 3 and 4 go twice, each after a wait of 500 ms.
    const Trace writes = Writes();
    const Trace frames = {Frame(image, 0),       Frame(image, 256),     Frame(image, 256),
                          Frame(image, 0x10000), Frame(image, 0x10000), Frame(image, 0x1FFF80),
                          Frame(image, 0x1FFF80)};
    const auto first = std::find(writes.begin(), writes.end(), frames[0]);
    ASSERT_NE(first, writes.end());
    EXPECT_EQ(Trace(first, first + 7), frames);
    EXPECT_EQ(m_loader.LastReport().framesRepeated, 3);
    EXPECT_EQ(std::count(m_trace.begin(), m_trace.end(), "sleep 500"), 3 + 3);
    EXPECT_EQ(quirel::test::ReadBinaryFile(Flash()), ReaderImage());
}

// A download either ends with the firmware running, or, once the flash was erased and the transfer failed,
// with the device left in its bootloader for another try: never told to start a partial image.
TEST_F(SerialBootLoaderTest, WhatTheDeviceEndsWithAndWhatTheUserIsTold) {
    using O = CSerialBootLoader::Outcome;
    const std::string left = "The device stays in its bootloader without working firmware.";
    std::string beyond = quirel::test::SRecordFile(quirel::test::SmallImage());
    beyond.insert(beyond.rfind("S7"), quirel::test::SRecord('3', 0xFFFFFFF8, 4, Bytes(16, 0x42)) + "\r\n");
    const struct {
        std::string version;
        std::vector<std::string> fault;
        std::string file;
        int cancelAfterProgress, refuseFast;
        O outcome;
        std::string told; // the first line of the last box
        bool runsFirmware;
        int frames = -1;
        bool deafAtEnd = false;
    } cases[] = {
        // Data past the top of the address space is dropped by device and reader alike, not wrapped to 0.
        {"1.0", {}, beyond, -1, 0, O::Succeeded, "Download successfully!", true},
        // "Record error ... Download FAILED ... Download again (y/n)?" is no success.
        {"1.0", {"--corrupt-line", "3"}, "", -1, 0, O::Failed, left, false},
        // Block 0 goes 22 times (counted from 0 at its first failure), then nothing more, no end marker.
        {"1.1", {"--corrupt-answer", "1"}, "", -1, 0, O::Failed, left, false, 22},
        // Cancel before the erase leaves the device as it was; after the first block, in its bootloader.
        {"1.1", {}, "", 1, 0, O::Ended, "The download was cancelled.", true},
        {"1.1", {}, "", 3, 0, O::Failed, left, false, 1},
        // A port that cannot go to 115200 baud is found out before the erase.
        {"1.1", {}, "", -1, 1, O::Ended, "Cannot change COM port parameters.", true},
        {"1.1", {}, "", -1, 2, O::Failed, left, false, 0},
        // A bootloader that never asks "exit?" has not confirmed the download.
        {"1.1", {}, "", -1, 0, O::Failed, left, false, -1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version + " " + c.told + " " + std::to_string(c.cancelAfterProgress));
        m_trace.clear();
        StartSim(c.version, c.fault);
        m_person.file = m_dir.File("Kalvar.srec");
        ASSERT_TRUE(quirel::test::WriteTextFile(
            m_person.file,
            c.file.empty() ? quirel::test::SRecordFile(quirel::test::ScatteredImage()) : c.file));
        m_person.cancelAfterProgress = c.cancelAfterProgress;
        m_person.progressCalls = 0;
        m_port.RefuseFast(c.refuseFast);
        m_port.deafAtEnd = c.deafAtEnd, m_port.deaf = false;
        EXPECT_EQ(m_loader.Start(), c.outcome) << Dump();
        EXPECT_EQ(m_trace.back().substr(m_trace.back().find('|') + 1, c.told.size()), c.told);
        EXPECT_EQ(RunsFirmware(), c.runsFirmware);
        if (c.outcome == O::Succeeded) {
            EXPECT_EQ(quirel::test::ReadBinaryFile(Flash()), ReaderImage());
        } else if (!c.runsFirmware && !c.deafAtEnd) { // nor does it start a part when switched off and on
            EXPECT_EQ(m_sim->command("power-cycle"), "ok power-cycle bootloader");
            EXPECT_TRUE(m_loader.LastReport().leftInBootLoader);
        }
        EXPECT_TRUE(c.frames < 0 || m_loader.LastReport().framesSent == c.frames);
    }
    m_port.RefuseFast(0);
}

TEST_F(SerialBootLoaderTest, TheBannerDecidesOrStopsTheDownload) {
    const struct {
        std::string version;
        std::string decision;
        int answer;
        Trace after; // what follows the decision
    } cases[] = {
        // No "1." in the banner: stop, "n", then the warning after the exit sequence.
        {"2.0",
         "box Quirel Viewer Velorin Download Dialog|Download shall be stop!",
         IDOK,
         {Write("n"), "close", Write("6"), "sleep 10", Write("y"), "sleep 10",
          "box Warning|Cannot Access Device !\nPlease check COM Port or Baudrate"}},
        // A declined estimate leaves the bootloader without the warning.
        {"1.5", kEstimate2, IDCANCEL, {Write("6"), "sleep 200", Write("y"), "close"}},
        {"1.0",
         "box Quirel Viewer Velorin Download Dialog|Download time about 12 minutes",
         IDCANCEL,
         {Write("n"), "close"}},
    };
    for (const auto& c : cases) {
        m_trace.clear();
        StartSim(c.version);
        UseFirmware(quirel::test::SmallImage());
        m_person.answers = {{c.decision.substr(c.decision.find('|') + 1), c.answer}};
        EXPECT_EQ(m_loader.Start(), CSerialBootLoader::Outcome::Ended) << c.version;
        const auto decision = std::find(m_trace.begin(), m_trace.end(), c.decision);
        ASSERT_NE(decision, m_trace.end()) << c.version;
        EXPECT_EQ(Trace(decision + 1, m_trace.end()), c.after) << c.version;
        // A bootloader of unknown version is only told "n"; declining leaves it as it asks.
        EXPECT_EQ(RunsFirmware(), c.answer == IDCANCEL) << c.version;
    }
}

TEST_F(SerialBootLoaderTest, AMissingResetConfigurationWordIsAskedAbout) {
    Bytes image = quirel::test::SmallImage();
    image[1] = 0x5B;
    for (const int answer : {IDYES, IDNO}) {
        m_trace.clear();
        StartSim("1.1");
        UseFirmware(image);
        m_person.answers = {{"RCHW (reset config. half word) not detected cancel download ?", answer}};
        const auto outcome = m_loader.Start();
        if (answer == IDYES) {
            EXPECT_EQ(outcome, CSerialBootLoader::Outcome::Ended);
            EXPECT_EQ(Trace(m_trace.end() - 7, m_trace.end()),
                      (Trace{"box |RCHW (reset config. half word) not detected cancel download ?",
                             "end progress", Write("6"), "sleep 10", Write("y"), "sleep 10", "close"}));
        } else {
            EXPECT_EQ(outcome, CSerialBootLoader::Outcome::Succeeded);
            EXPECT_EQ(quirel::test::ReadBinaryFile(Flash()), image);
        }
    }
}

TEST_F(SerialBootLoaderTest, APowerCycledDeviceIsLoadedFromItsBanner) {
    StartSim("1.1", {"--power-cycle"});
    const Bytes image = quirel::test::ScatteredImage();
    UseFirmware(image);
    ASSERT_EQ(m_loader.Start(), CSerialBootLoader::Outcome::Succeeded) << Dump();
    EXPECT_TRUE(m_loader.IsForcedStart());
    EXPECT_NE(m_loader.GetBanner().find("LVAR FLASHLOADER V1.1"), std::string::npos);
    // No enter-bootloader frame: the banner came after the power cycle.
    EXPECT_EQ(std::count(m_trace.begin(), m_trace.end(), kEnter), 0);
    const auto ask =
        std::find(m_trace.begin(), m_trace.end(),
                  "box Attention|Cannot Access Device!\nCheck again COM Port and Baudrate.\nIf the "
                  "last download was unsuccesfully, please 'Yes'");
    ASSERT_NE(ask, m_trace.end());
    Trace after; // without the 1 ms pauses between reads, however many there were
    std::copy_if(ask + 1, m_trace.end(), std::back_inserter(after),
                 [](const std::string& t) { return t != "sleep 1"; });
    after.resize(9);
    EXPECT_EQ(after, (Trace{"wait window", "sleep 50", Write("6"), "sleep 10", Write("y"), "sleep 10",
                            "close", "close wait window", "file?"}));
    EXPECT_EQ(quirel::test::ReadBinaryFile(Flash()), ReaderImage());
}

TEST_F(SerialBootLoaderTest, TheWaitForTheBannerCanBeCancelled) {
    // A line with nobody on it: the probe fails and no banner comes.
    int master = -1, slave = -1;
    char name[64] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    m_loader.SetPortName(name);
    m_person.cancelAfter = 3;
    EXPECT_EQ(m_loader.Start(), CSerialBootLoader::Outcome::Ended);
    EXPECT_EQ(Trace(m_trace.end() - 7, m_trace.end()),
              (Trace{"wait window", "sleep 1", "sleep 1", "sleep 1", "close wait window",
                     "box |Menue Debug Roadworks", "close"}));
    EXPECT_FALSE(m_loader.IsForcedStart());
    ::close(master);
}

TEST_F(SerialBootLoaderTest, PortFailuresAreReportedAndAnsweredNo) {
    StartSim("1.1");
    for (const bool open : {true, false}) {
        m_trace.clear();
        m_port.failOpen = open;
        m_port.failBaud = !open;
        m_person.answers = {
            {"Cannot Access Device!\nCheck again COM Port and Baudrate.\nIf the last download was "
             "unsuccesfully, please 'Yes'",
             IDNO}};
        EXPECT_EQ(m_loader.Start(), CSerialBootLoader::Outcome::Ended);
        const std::string box =
            open ? "box |Cannot open COM port." : "box |Cannot change COM port parameters.";
        EXPECT_NE(std::find(m_trace.begin(), m_trace.end(), box), m_trace.end()) << box;
        EXPECT_EQ(Writes(), Trace{});
    }
    m_port.failOpen = m_port.failBaud = false;
}

TEST_F(SerialBootLoaderTest, AFileThatCannotBeSentWholeNeverReachesTheBootloader) {
    std::string damaged = quirel::test::SRecordFile(quirel::test::SmallImage());
    damaged[damaged.find("S3") + 20] ^= 1; // one data digit flipped
    const std::string header = quirel::test::SRecord('0', 0, 2, {}) + "\n",
                      end = quirel::test::SRecord('7', 0, 4, {});
    const std::string unchanged = "\nThe device was not changed.";
    std::string noEnd = quirel::test::SRecordFile(quirel::test::SmallImage());
    noEnd.resize(noEnd.rfind("S7"));
    const struct {
        std::string version;
        std::string text;
        std::string box;
        Trace after;
    } cases[] = {
        {"1.1", damaged, "box |The firmware file is damaged: bad record in line 2." + unchanged, {}},
        {"1.1", std::string(11, '\n') + "S", "box |No srecord hex file detected !", {}},
        {"1.0", header + end, "box |The firmware file holds no data for the device." + unchanged, {}},
        // Data the chosen bootloader would not load, or no end for 1.0: told so before it erases.
        {"1.1",
         header + quirel::test::SRecord('1', 0x100, 2, {1, 2}) + "\n" + end,
         "box |The firmware file holds S1 or S2 records; this bootloader takes S3 records only." + unchanged,
         {Write("6"), "sleep 200", Write("y"), "close"}},
        {"1.0",
         noEnd,
         "box |The firmware file has no end record (S7, S8 or S9), which bootloader 1.0 waits for." +
             unchanged,
         {Write("n"), "close"}},
        // A record of 30 bytes overruns the 1.0 bootloader's line buffer: it is told "n" before it erases.
        {"1.0",
         header + quirel::test::SRecord('3', 0, 4, Bytes(25, 1)) + "\n" + end,
         "box |The records of this firmware file are too long for bootloader 1.0 (at most 29 bytes each)." +
             unchanged,
         {Write("n"), "close"}},
    };
    for (const auto& c : cases) {
        m_trace.clear();
        StartSim(c.version);
        m_person.file = m_dir.File("bad.srec");
        ASSERT_TRUE(quirel::test::WriteTextFile(m_person.file, c.text));
        EXPECT_EQ(m_loader.Start(), CSerialBootLoader::Outcome::Ended);
        const auto box = std::find(m_trace.begin(), m_trace.end(), c.box);
        ASSERT_NE(box, m_trace.end()) << c.box;
        EXPECT_EQ(Trace(box + 1, m_trace.end()), c.after);
        EXPECT_TRUE(
            quirel::test::ReadBinaryFile(Flash()).empty()); // the simulator never completed a download
        EXPECT_TRUE(RunsFirmware()) << c.box;
    }
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

TEST(SerialBootLoaderProgress, StaysInRangeForAnyCount) {
    EXPECT_EQ(ProgressPosition(1'100'000, 1'200'000), 1833);
    EXPECT_EQ(ProgressPosition(3, 0), 0);
    EXPECT_EQ(ProgressPosition(9, 7), kProgressRange);
}

TEST(SerialBootLoaderBanner, VersionDecision) {
    EXPECT_EQ(VersionFromBanner("LVAR FLASHLOADER V1.1"), kVersionBlocks);
    EXPECT_EQ(VersionFromBanner("LVAR FLASHLOADER V1.0"), kVersionText);
    EXPECT_EQ(VersionFromBanner("LVAR FLASHLOADER V1.5"), kVersionBlocks);
    EXPECT_EQ(VersionFromBanner("LVAR FLASHLOADER V1.0 (c) 1.1"), kVersionBlocks);
    EXPECT_EQ(VersionFromBanner("LVAR FLASHLOADER V2.0"), kVersionUnknown);
}
