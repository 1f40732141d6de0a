#include "firmware/SerialBootLoader.h"

#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "firmware/SRecordReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

using namespace quirel::firmware;

namespace {

// Modbus RTU, slave 1: read holding register 200 (the device answers 03 02 while its firmware runs), and
// write 0x000C, 0x0000 to the two registers from 5549, which restarts the device into its bootloader.
const std::uint8_t kProbeFrame[] = {0x01, 0x03, 0x00, 0xC8, 0x00, 0x01, 0x05, 0xF4};
const std::uint8_t kEnterFrame[] = {0x01, 0x10, 0x15, 0xAD, 0x00, 0x02, 0x04,
                                    0x00, 0x0C, 0x00, 0x00, 0x0A, 0xDD};
// "B" and the new baud rate, 32 bits little-endian: 115200.
const std::uint8_t kBaudCommand[] = {'B', 0x00, 0xC2, 0x01, 0x00};
// The reset configuration half word the device's boot assist module looks for at the start of flash.
const std::uint8_t kResetConfigWord[] = {0x00, 0x5A, 0x00, 0x00};
constexpr std::uint8_t kYes = 'y', kNo = 'n', kMenuExit = '6', kMenuBlocks = '2', kFiller = 0xFF;
constexpr std::size_t kBlockSize = 128;
// Address (4), length (1), data (128), checksum (1).
constexpr std::size_t kFrameSize = 4 + 1 + kBlockSize + 1;
// The 1.0 bootloader builds each line in a 64-byte buffer: count * 2 + 4 characters, the carriage return
// and the closing zero.
constexpr int kTextLineBuffer = 64;

constexpr const char* kBanner = "LVAR FLASHLOADER V";
constexpr const char* kCannotOpen = "Cannot open COM port.";
constexpr const char* kCannotConfigure = "Cannot change COM port parameters.";
constexpr const char* kAskForcedStart =
    "Cannot Access Device!\nCheck again COM Port and Baudrate.\nIf the last "
    "download was unsuccesfully, please 'Yes'";
constexpr const char* kCaptionAttention = "Attention";
constexpr const char* kWaitCancelled = "Menue Debug Roadworks";
constexpr const char* kCaptionUpdate = "Update Firmware Dialog";
constexpr const char* kCaptionEstimate = "Quirel Viewer Velorin Download Dialog";
constexpr const char* kEstimateBlocks = "Download time about 2 minutes";
constexpr const char* kEstimateText = "Download time about 12 minutes";
constexpr const char* kStop = "Download shall be stop!";
constexpr const char* kCannotAccess = "Cannot Access Device !\nPlease check COM Port or Baudrate";
constexpr const char* kCaptionWarning = "Warning";
constexpr const char* kNotSRecord = "No srecord hex file detected !";
constexpr const char* kNoResetConfig = "RCHW (reset config. half word) not detected cancel download ?";
// The text transfer's failure caption carries a trailing blank, the block transfer's does not.
constexpr const char* kCaptionTextFailed = "Warning Update Firmware ";
constexpr const char* kCaptionBlocksFailed = "Warning Update Firmware";

bool English() {
    return quirel::uiLanguage() == quirel::kLanguageEnglish;
}

std::string Confirmation() {
    return English() ? "Attention: Firmware will be downloaded!" : "Achtung: Firmware wird geladen!";
}

std::string CannotRead(const std::string& path) {
    return (English() ? "Cannot read the firmware file " : "Die Firmware-Datei kann nicht gelesen werden: ") +
           path;
}

std::string Damaged(int line) {
    char text[160];
    std::snprintf(text, sizeof text,
                  English()
                      ? "The firmware file is damaged: bad record in line %d.\nThe device was not changed."
                      : "Die Firmware-Datei ist besch\xC3\xA4"
                        "digt: fehlerhafter Datensatz in Zeile "
                        "%d.\nDas Ger\xC3\xA4t wurde nicht ver\xC3\xA4ndert.",
                  line);
    return text;
}

std::string TooLongForText() {
    return English() ? "The records of this firmware file are too long for bootloader 1.0 (at most 29 bytes "
                       "each).\nThe device was not changed."
                     : "Die Datens\xC3\xA4tze dieser Firmware-Datei sind f\xC3\xBCr Bootloader 1.0 zu lang "
                       "(h\xC3\xB6"
                       "chstens 29 Bytes je Datensatz).\nDas Ger\xC3\xA4t wurde nicht "
                       "ver\xC3\xA4ndert.";
}

bool Contains(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

} // namespace

void CSteadyClock::Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int quirel::firmware::VersionFromBanner(const std::string& banner) {
    if (Contains(banner, "1.1"))
        return kVersionBlocks;
    if (Contains(banner, "1.0"))
        return kVersionText;
    if (Contains(banner, "1."))
        return kVersionBlocks;
    return kVersionUnknown;
}

CSerialBootLoader::CSerialBootLoader(CSerialPort& port, IUiPort& ui, IFirmwareDialogs& dialogs, IClock& clock)
    : m_port(port), m_ui(ui), m_dialogs(dialogs), m_clock(clock) {}

int CSerialBootLoader::Box(const std::string& text, const std::string& caption, MbIcon icon,
                           MbButtons buttons) {
    return m_ui.MessageBox(text, caption, icon, buttons);
}

CSerialBootLoader::Outcome CSerialBootLoader::Start() {
    m_report = Report{};
    m_forcedStart = false;
    m_lines.clear();
    m_image.clear();
    if (Probe()) {
        m_clock.Sleep(50);
        ExitBootLoader();
    } else {
        const int answer = Box(kAskForcedStart, kCaptionAttention, MbIcon::Question, MbButtons::YesNoCancel);
        if (answer != IDYES || !WaitForBanner()) {
            m_port.Close();
            return m_report.outcome;
        }
    }
    m_port.Close();
    MainDownload();
    m_port.Close();
    return m_report.outcome;
}

bool CSerialBootLoader::OpenPort(std::uint32_t baud) {
    m_port.Close();
    if (!m_port.Open(m_portName)) {
        Box(kCannotOpen, "");
        return false;
    }
    if (!m_port.SetBaudRate(baud)) {
        Box(kCannotConfigure, "");
        return false;
    }
    return true;
}

bool CSerialBootLoader::Probe() {
    if (!OpenPort(kBaud))
        return false;
    m_clock.Sleep(500);
    m_port.Write(kProbeFrame, sizeof kProbeFrame);
    m_clock.Sleep(1500);
    std::string reply = m_port.ReadAll();
    reply.resize(std::min(reply.size(), reply.find('\0')));
    // Function 3 answered with a byte count of 2.
    return Contains(reply, "\x03\x02");
}

bool CSerialBootLoader::WaitForBanner() {
    m_dialogs.ShowWaitWindow();
    for (;;) {
        // Looked at between reads, which end after at most 100 ms of silence or a bounded text.
        if (m_dialogs.WaitWindowCancelled()) {
            m_dialogs.CloseWaitWindow();
            Box(kWaitCancelled, "");
            return false;
        }
        m_banner = m_port.ReadText();
        if (Contains(m_banner, kBanner))
            break;
        // A port that could not be opened returns at once; no need to spin for it.
        m_clock.Sleep(m_port.IsOpen() ? 1 : 100);
    }
    m_forcedStart = true;
    m_clock.Sleep(50);
    ExitBootLoader();
    m_port.Close();
    m_dialogs.CloseWaitWindow();
    return true;
}

void CSerialBootLoader::ExitBootLoader() {
    m_port.WriteByte(kMenuExit);
    m_clock.Sleep(10);
    m_port.WriteByte(kYes);
    m_clock.Sleep(10);
    m_port.Close();
}

bool CSerialBootLoader::LoadFirmware(const std::string& path) {
    // The file is read once and only read: the flash image and the text lines both come from these bytes.
    std::string why;
    const std::optional<std::string> bytes = quirel::readWholeFile(path, quirel::kMaxFirmwareFileBytes, &why);
    if (!bytes) {
        Box(CannotRead(path) + ": " + why, "", MbIcon::Error);
        return false;
    }
    // Checked whole before the device is touched, so that a file that cannot be sent completely never
    // makes the bootloader erase the flash.
    m_image = MakeErasedImage();
    std::istringstream in(*bytes);
    const SRecordReport report = ReadSRecordImage(in, m_image, 0);
    if (report.status == SRecordReport::Status::NotSRecord) {
        Box(kNotSRecord, "", MbIcon::Error);
        return false;
    }
    if (report.status == SRecordReport::Status::Damaged) {
        Box(Damaged(report.damagedLine), "", MbIcon::Error);
        return false;
    }
    m_largestCount = report.largestCount;
    m_lines.clear();
    std::istringstream again(*bytes);
    for (std::string line; std::getline(again, line);)
        m_lines.push_back(line);
    return true;
}

void CSerialBootLoader::MainDownload() {
    const std::string path = m_dialogs.AskFirmwareFile();
    if (path.empty() || !LoadFirmware(path))
        return;
    if (Box(Confirmation(), kCaptionUpdate, MbIcon::Warning, MbButtons::OkCancel) != IDOK)
        return;
    if (!EnterBootLoader(kBaud)) {
        // A declined time estimate has already said goodbye to the bootloader.
        if (!m_cancelled) {
            ExitBootLoader();
            Box(kCannotAccess, kCaptionWarning);
        }
        return;
    }
    m_port.Close();
    if (!m_port.Open(m_portName)) {
        ExitBootLoader();
        Box(kCannotOpen, "");
        return;
    }
    if (!m_port.SetBaudRate(kBaud)) {
        ExitBootLoader();
        Box(kCannotConfigure, "");
        return;
    }
    m_port.Drain();
    if (m_version == kVersionText) {
        m_port.Drain();
        m_port.WriteByte(kYes);
        m_clock.Sleep(6000); // the bootloader erases the flash
        m_port.Drain();
        const bool ok = TextTransfer();
        Finish(ok, kCaptionTextFailed);
        return;
    }
    BlockTransfer();
}

bool CSerialBootLoader::EnterBootLoader(std::uint32_t baud) {
    m_version = kVersionUnknown;
    m_cancelled = false;
    if (!OpenPort(baud))
        return false;
    m_clock.Sleep(500);
    std::string banner;
    if (m_forcedStart) {
        banner = m_banner;
    } else {
        m_port.Write(kEnterFrame, sizeof kEnterFrame);
        m_clock.Sleep(1500);
        banner = m_port.ReadText();
    }
    m_version = VersionFromBanner(banner);
    if (m_version == kVersionBlocks) {
        if (Box(kEstimateBlocks, kCaptionEstimate, MbIcon::None, MbButtons::OkCancel) != IDOK) {
            m_cancelled = true;
            m_port.WriteByte(kMenuExit);
            m_clock.Sleep(200);
            m_port.WriteByte(kYes);
            m_port.Close();
            return false;
        }
    } else if (m_version == kVersionText) {
        // Records the bootloader's line buffer cannot take would reach the flash cut off; refuse them
        // while the flash is still whole, as a declined estimate does.
        const bool fits = m_largestCount * 2 + 5 <= kTextLineBuffer;
        if (!fits)
            Box(TooLongForText(), "", MbIcon::Error);
        if (!fits || Box(kEstimateText, kCaptionEstimate, MbIcon::None, MbButtons::OkCancel) != IDOK) {
            m_cancelled = true;
            m_port.WriteByte(kNo);
            m_port.Close();
            return false;
        }
    } else {
        Box(kStop, kCaptionEstimate);
        m_port.WriteByte(kNo);
        m_port.Close();
        return false;
    }
    return Contains(banner, kBanner);
}

bool CSerialBootLoader::TextTransfer() {
    m_ui.Progress(kProgressCaption, "", 0, kProgressRange);
    const auto records = static_cast<int>(std::count_if(
        m_lines.begin(), m_lines.end(), [](const std::string& l) { return !l.empty() && l[0] == 'S'; }));
    int foreign = 0;
    for (const std::string& line : m_lines) {
        if (!line.empty() && line[0] == 'S') {
            // Type, count and the count bytes; whatever follows on the line (a carriage return) is not sent.
            int count = 0;
            CheckSRecordLine(line, &count);
            const std::size_t length = static_cast<std::size_t>(count) * 2 + 4;
            if (!m_port.Write(line.substr(0, length) + '\r')) {
                m_ui.EndProgress();
                m_port.Close();
                return false;
            }
            ++m_report.linesSent;
        } else if (++foreign > kMaxForeignLines) {
            m_ui.EndProgress();
            m_port.Close();
            return false;
        }
        m_ui.Progress(kProgressCaption, "", records ? m_report.linesSent * kProgressRange / records : 0,
                      kProgressRange);
    }
    m_ui.EndProgress();
    m_clock.Sleep(500);
    const std::string text = m_port.ReadText();
    if (!Contains(text, "y/n)?")) {
        m_port.Close();
        return false;
    }
    m_clock.Sleep(200);
    m_port.WriteByte(kNo);
    m_port.Close();
    return true;
}

void CSerialBootLoader::BlockTransfer() {
    m_ui.Progress(kProgressCaption, "", 0, kProgressRange);
    if (!std::equal(std::begin(kResetConfigWord), std::end(kResetConfigWord), m_image.begin()) &&
        Box(kNoResetConfig, "", MbIcon::Question, MbButtons::YesNo) == IDYES) {
        m_ui.EndProgress();
        ExitBootLoader();
        return;
    }
    m_port.WriteByte(kMenuBlocks);
    m_clock.Sleep(500);
    m_port.Drain();
    m_port.Write(kBaudCommand, sizeof kBaudCommand);
    m_clock.Sleep(200);
    if (!m_port.SetBaudRate(kBlockBaud)) {
        m_ui.EndProgress();
        ExitBootLoader();
        Box(kCannotConfigure, "");
        return;
    }
    m_clock.Sleep(5500); // the bootloader erases the flash
    m_port.Drain();

    auto erased = [&](std::size_t address) {
        return std::all_of(m_image.begin() + static_cast<long>(address),
                           m_image.begin() + static_cast<long>(address + kBlockSize),
                           [](std::uint8_t b) { return b == 0xFF; });
    };
    int toSend = 0;
    for (std::size_t address = 0; address < m_image.size(); address += kBlockSize)
        toSend += erased(address) ? 0 : 1;
    int sent = 0;
    std::size_t failedAddress = m_image.size(); // none
    int failures = 0;
    std::uint8_t frame[kFrameSize];
    for (std::size_t address = 0; address < m_image.size() && !m_report.failureLimit; address += kBlockSize) {
        if (erased(address)) {
            ++m_report.blocksSkipped;
            continue;
        }
        frame[0] = static_cast<std::uint8_t>(address >> 24);
        frame[1] = static_cast<std::uint8_t>(address >> 16);
        frame[2] = static_cast<std::uint8_t>(address >> 8);
        frame[3] = static_cast<std::uint8_t>(address);
        frame[4] = static_cast<std::uint8_t>(kBlockSize);
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < kBlockSize; ++i) {
            frame[5 + i] = m_image[address + i];
            sum = static_cast<std::uint8_t>(sum + m_image[address + i]);
        }
        frame[kFrameSize - 1] = static_cast<std::uint8_t>(0xFF - sum);
        for (;;) {
            m_port.Write(frame, kFrameSize);
            ++m_report.framesSent;
            std::uint8_t answer[3] = {};
            if (m_port.Read(answer, 3) == 3 && std::equal(answer, answer + 3, "ok!"))
                break;
            m_clock.Sleep(500);
            // Whatever came late belongs to the failed frame and must not be taken for the next answer.
            m_port.Purge();
            // Counted from 0 at the first failure of an address; a failed block at address 0 is repeated
            // like any other.
            failures = address == failedAddress ? failures + 1 : 0;
            failedAddress = address;
            if (failures > kMaxBlockFailures) {
                m_report.failureLimit = true;
                break;
            }
            ++m_report.framesRepeated;
        }
        if (!m_report.failureLimit)
            ++sent;
        m_ui.Progress(kProgressCaption, "", toSend ? sent * kProgressRange / toSend : kProgressRange,
                      kProgressRange);
    }

    for (int i = 0; i < 5; ++i)
        m_port.WriteByte(kFiller);
    m_ui.EndProgress();
    m_clock.Sleep(1000);
    m_port.WriteByte(kMenuExit);
    const std::string text = m_port.ReadText();
    m_clock.Sleep(10);
    m_port.WriteByte(kYes);
    m_clock.Sleep(15);
    m_port.Close();
    // A transfer that gave up on a block has left the flash incomplete, whatever the bootloader answers.
    Finish(Contains(text, "exit?") && !m_report.failureLimit, kCaptionBlocksFailed);
}

void CSerialBootLoader::Finish(bool success, const char* failureCaption) {
    m_report.outcome = success ? Outcome::Succeeded : Outcome::Failed;
    if (success)
        Box(kDownloadSucceeded, kCaptionUpdate);
    else
        Box(kDownloadFailed, failureCaption, MbIcon::Warning);
}
