#include "firmware/SerialBootLoader.h"

#include "base/StringTable.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
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

std::string CancelledUnchanged() {
    return English() ? "The download was cancelled.\nThe device was not changed."
                     : "Der Download wurde abgebrochen.\nDas Ger\xC3\xA4t wurde nicht ver\xC3\xA4ndert.";
}

std::string LeftInBootLoader() {
    return English()
               ? "The device stays in its bootloader without working firmware.\nStart the update again, "
                 "answer 'Yes' to \"Cannot Access Device!\" and switch the device off and on."
               : "Das Ger\xC3\xA4t bleibt ohne lauff\xC3\xA4hige Firmware in seinem Bootloader.\nDas "
                 "Update erneut starten, \"Cannot Access Device!\" mit 'Ja' beantworten und das "
                 "Ger\xC3\xA4t aus- und wieder einschalten.";
}

std::string Erasing() {
    return English() ? "Erasing the flash ..." : "Der Flash-Speicher wird gel\xC3\xB6scht ...";
}

// "Record 12 of 300 (4 %)", "Block 3 of 40 (7 %)".
std::string ProgressText(bool blocks, int done, int total) {
    char text[80];
    const char* unit = blocks ? "Block" : English() ? "Record" : "Datensatz";
    std::snprintf(text, sizeof text, English() ? "%s %d of %d (%d %%)" : "%s %d von %d (%d %%)", unit, done,
                  total, ProgressPosition(done, total) * 100 / kProgressRange);
    return text;
}

bool Contains(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

// The bootloader asked what the protocol expects at the end of a download and did not speak of a failure
// ("Record error ... Download FAILED ... Download again (y/n)?" asks the same question).
bool Confirmed(const std::string& reply, const char* expected) {
    std::string lower(reply.size(), '\0');
    std::transform(reply.begin(), reply.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return Contains(reply, expected) && !Contains(lower, "error") && !Contains(lower, "fail");
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

int quirel::firmware::ProgressPosition(std::int64_t done, std::int64_t total) {
    if (total <= 0)
        return 0;
    return static_cast<int>(std::clamp<std::int64_t>(done, 0, total) * kProgressRange / total);
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
    m_file = FirmwareFile{};
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

void CSerialBootLoader::MainDownload() {
    const std::string path = m_dialogs.AskFirmwareFile();
    if (path.empty())
        return;
    if (const std::string refusal = ReadFirmwareFile(path, m_file); !refusal.empty()) {
        Box(refusal, "", MbIcon::Error);
        return;
    }
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
        m_ui.Progress(kProgressCaption, Erasing(), 0, kProgressRange);
        if (CancelledBeforeErase())
            return;
        m_port.WriteByte(kYes);
        m_clock.Sleep(6000); // the bootloader erases the flash
        m_port.Drain();
        TextTransfer();
        return;
    }
    BlockTransfer();
}

bool CSerialBootLoader::CancelledBeforeErase() {
    if (!m_ui.ProgressCancelled())
        return false;
    m_ui.EndProgress();
    if (m_version == kVersionText) {
        m_port.WriteByte(kNo);
        m_port.Close();
    } else {
        ExitBootLoader();
    }
    Box(CancelledUnchanged(), kCaptionUpdate);
    return true;
}

void CSerialBootLoader::Abandon(const char* failureCaption, const char* reason) {
    m_ui.EndProgress();
    m_port.Close();
    m_report.leftInBootLoader = true;
    if (reason)
        Box(reason, "");
    Finish(false, failureCaption);
    Box(LeftInBootLoader(), failureCaption, MbIcon::Warning);
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
    if (m_version == kVersionUnknown) {
        Box(kStop, kCaptionEstimate);
        m_port.WriteByte(kNo);
        m_port.Close();
        return false;
    }
    const bool text = m_version == kVersionText;
    // A file this bootloader cannot take whole is refused while the flash is still whole, as a declined
    // estimate is.
    const std::string refusal = RefusalFor(m_file, text);
    if (!refusal.empty())
        Box(refusal, "", MbIcon::Error);
    if (!refusal.empty() || Box(text ? kEstimateText : kEstimateBlocks, kCaptionEstimate, MbIcon::None,
                                MbButtons::OkCancel) != IDOK) {
        m_cancelled = true;
        if (text) {
            m_port.WriteByte(kNo);
        } else {
            m_port.WriteByte(kMenuExit);
            m_clock.Sleep(200);
            m_port.WriteByte(kYes);
        }
        m_port.Close();
        return false;
    }
    return Contains(banner, kBanner);
}

void CSerialBootLoader::TextTransfer() {
    // The file was checked whole: its few foreign lines (blank lines, a comment) are simply not sent.
    const auto records =
        static_cast<int>(std::count_if(m_file.lines.begin(), m_file.lines.end(),
                                       [](const std::string& l) { return !l.empty() && l[0] == 'S'; }));
    for (const std::string& line : m_file.lines) {
        if (line.empty() || line[0] != 'S')
            continue;
        if (m_ui.ProgressCancelled()) {
            m_report.cancelled = true;
            Abandon(kCaptionTextFailed);
            return;
        }
        // Type, count and the count bytes; whatever follows on the line (a carriage return) is not sent.
        int count = 0;
        CheckSRecordLine(line, &count);
        const std::size_t length = static_cast<std::size_t>(count) * 2 + 4;
        if (!m_port.Write(line.substr(0, length) + '\r')) {
            Abandon(kCaptionTextFailed);
            return;
        }
        ++m_report.linesSent;
        m_ui.Progress(kProgressCaption, ProgressText(false, m_report.linesSent, records),
                      ProgressPosition(m_report.linesSent, records), kProgressRange);
    }
    m_ui.EndProgress();
    m_clock.Sleep(500);
    // "n" lets the bootloader go; after a download it did not confirm, it stays where it is.
    if (!Confirmed(m_port.ReadText(), "y/n)?")) {
        Abandon(kCaptionTextFailed);
        return;
    }
    m_clock.Sleep(200);
    m_port.WriteByte(kNo);
    m_port.Close();
    Finish(true, kCaptionTextFailed);
}

void CSerialBootLoader::BlockTransfer() {
    m_ui.Progress(kProgressCaption, "", 0, kProgressRange);
    if (!std::equal(std::begin(kResetConfigWord), std::end(kResetConfigWord), m_file.image.begin()) &&
        Box(kNoResetConfig, "", MbIcon::Question, MbButtons::YesNo) == IDYES) {
        m_ui.EndProgress();
        ExitBootLoader();
        return;
    }
    // The port must take the block speed before the bootloader is told to erase: refused only afterwards,
    // it would leave an erased device at a speed nobody can speak to it at.
    if (!m_port.SetBaudRate(kBlockBaud) || !m_port.SetBaudRate(kBaud)) {
        m_ui.EndProgress();
        ExitBootLoader();
        Box(kCannotConfigure, "");
        return;
    }
    if (CancelledBeforeErase())
        return;
    m_ui.Progress(kProgressCaption, Erasing(), 0, kProgressRange);
    m_port.WriteByte(kMenuBlocks);
    m_clock.Sleep(500);
    m_port.Drain();
    m_port.Write(kBaudCommand, sizeof kBaudCommand);
    m_clock.Sleep(200);
    if (!m_port.SetBaudRate(kBlockBaud)) {
        Abandon(kCaptionBlocksFailed, kCannotConfigure);
        return;
    }
    m_clock.Sleep(5500); // the bootloader erases the flash
    m_port.Drain();

    auto erased = [&](std::size_t address) {
        return std::all_of(m_file.image.begin() + static_cast<long>(address),
                           m_file.image.begin() + static_cast<long>(address + kBlockSize),
                           [](std::uint8_t b) { return b == 0xFF; });
    };
    int toSend = 0;
    for (std::size_t address = 0; address < m_file.image.size(); address += kBlockSize)
        toSend += erased(address) ? 0 : 1;
    int sent = 0;
    std::size_t failedAddress = m_file.image.size(); // none
    int failures = 0;
    std::uint8_t frame[kFrameSize];
    for (std::size_t address = 0; address < m_file.image.size(); address += kBlockSize) {
        if (erased(address)) {
            ++m_report.blocksSkipped;
            continue;
        }
        if (m_ui.ProgressCancelled()) {
            m_report.cancelled = true;
            Abandon(kCaptionBlocksFailed);
            return;
        }
        frame[0] = static_cast<std::uint8_t>(address >> 24);
        frame[1] = static_cast<std::uint8_t>(address >> 16);
        frame[2] = static_cast<std::uint8_t>(address >> 8);
        frame[3] = static_cast<std::uint8_t>(address);
        frame[4] = static_cast<std::uint8_t>(kBlockSize);
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < kBlockSize; ++i) {
            frame[5 + i] = m_file.image[address + i];
            sum = static_cast<std::uint8_t>(sum + m_file.image[address + i]);
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
                // The flash is incomplete: the end marker would have the bootloader take it for whole.
                m_report.failureLimit = true;
                Abandon(kCaptionBlocksFailed);
                return;
            }
            ++m_report.framesRepeated;
        }
        ++sent;
        m_ui.Progress(kProgressCaption, ProgressText(true, sent, toSend), ProgressPosition(sent, toSend),
                      kProgressRange);
    }

    for (int i = 0; i < 5; ++i)
        m_port.WriteByte(kFiller);
    m_ui.EndProgress();
    m_clock.Sleep(1000);
    m_port.WriteByte(kMenuExit);
    // "y" lets the bootloader go; after a download it did not confirm, it stays where it is.
    if (!Confirmed(m_port.ReadText(), "exit?")) {
        Abandon(kCaptionBlocksFailed);
        return;
    }
    m_clock.Sleep(10);
    m_port.WriteByte(kYes);
    m_clock.Sleep(15);
    m_port.Close();
    Finish(true, kCaptionBlocksFailed);
}

void CSerialBootLoader::Finish(bool success, const char* failureCaption) {
    m_report.outcome = success ? Outcome::Succeeded : Outcome::Failed;
    if (success)
        Box(kDownloadSucceeded, kCaptionUpdate);
    else
        Box(kDownloadFailed, failureCaption, MbIcon::Warning);
}
