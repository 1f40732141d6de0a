#pragma once

#include "base/UiPort.h"
#include "firmware/BootLoaderUi.h"
#include "firmware/SerialPort.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quirel::firmware {

// The final messages of a download; the command line prints them as its last line.
constexpr const char* kDownloadSucceeded = "Download successfully!";
constexpr const char* kDownloadFailed = "Download UNSUCCESSFULLY!";
// The caption of the progress window and of its progress calls; positions run from 0 to kProgressRange.
constexpr const char* kProgressCaption = "Download: RUNNING !";
constexpr int kProgressRange = 2000;

// Bootloader version codes: which transfer a banner asks for.
enum BootLoaderVersion : int { kVersionUnknown = 0, kVersionText = 1, kVersionBlocks = 2 };
// "1.1" first, then "1.0", then any other "1.": the block transfer, the text transfer, the block transfer.
int VersionFromBanner(const std::string& banner);

} // namespace quirel::firmware

// The firmware update over the device's serial bootloader: it checks whether the device still answers
// Modbus RTU, commands it into the bootloader (or waits for the banner of a power-cycled device), and loads
// the firmware as S-record text lines (bootloader 1.0) or as 128-byte blocks of the flash image (later
// versions). Every byte, wait and message of the protocol is here; the port, the windows and the clock come
// from the caller. It runs blocking on the caller's thread. The object keeps the port name and its flags
// between runs, as the one instance the application holds.
class CSerialBootLoader {
public:
    enum class Outcome {
        Ended,     // stopped before a transfer: a question answered no, a port or file problem, Cancel
        Succeeded, // "Download successfully!"
        Failed,    // "Download UNSUCCESSFULLY!"
    };
    // What the last run did, beyond its messages.
    struct Report {
        Outcome outcome = Outcome::Ended;
        int framesSent = 0;        // block frames, repeats included
        int framesRepeated = 0;    // frames sent again after an answer other than "ok!"
        int blocksSkipped = 0;     // erased blocks that were not sent
        bool failureLimit = false; // a block failed more than 20 times at one address
        int linesSent = 0;         // records of the text transfer
    };

    static constexpr std::uint32_t kBaud = 38400;
    static constexpr std::uint32_t kBlockBaud = 115200;
    // A block that fails more often than this at one address ends the transfer.
    static constexpr int kMaxBlockFailures = 20;

    CSerialBootLoader(CSerialPort& port, IUiPort& ui, IFirmwareDialogs& dialogs, IClock& clock);

    void SetPortName(const std::string& name) { m_portName = name; }
    const std::string& GetPortName() const { return m_portName; }

    // The whole update, as the service dialog's OK starts it. The port is closed on every way out.
    Outcome Start();
    const Report& LastReport() const { return m_report; }

    bool IsForcedStart() const { return m_forcedStart; }
    int GetVersionCode() const { return m_version; }
    bool IsCancelled() const { return m_cancelled; }
    const std::string& GetBanner() const { return m_banner; }

private:
    bool Probe();
    bool WaitForBanner();
    void MainDownload();
    bool LoadFirmware(const std::string& path);
    bool EnterBootLoader(std::uint32_t baud);
    void ExitBootLoader();
    bool TextTransfer();
    void BlockTransfer();
    // Close, open and set the baud rate; a failure shows its message.
    bool OpenPort(std::uint32_t baud);
    int Box(const std::string& text, const std::string& caption, MbIcon icon = MbIcon::None,
            MbButtons buttons = MbButtons::Ok);
    void Finish(bool success, const char* failureCaption);

    CSerialPort& m_port;
    IUiPort& m_ui;
    IFirmwareDialogs& m_dialogs;
    IClock& m_clock;

    std::string m_portName;
    bool m_forcedStart = false;
    std::string m_banner;
    int m_version = quirel::firmware::kVersionUnknown;
    bool m_cancelled = false;
    Report m_report;

    // The firmware of this run: the file's lines for the text transfer, its flash image for the blocks.
    std::vector<std::string> m_lines;
    std::vector<std::uint8_t> m_image;
    int m_largestCount = 0;
};
