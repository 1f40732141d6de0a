#pragma once

#include "base/UiPort.h"
#include "firmware/BootLoaderUi.h"
#include "firmware/FirmwareFile.h"
#include "firmware/SerialPort.h"

#include <cstdint>
#include <string>

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
// The progress bar's position for `done` of `total` records or blocks, from 0 to kProgressRange, for any
// count a firmware file can bring.
int ProgressPosition(std::int64_t done, std::int64_t total);

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
        bool cancelled = false;    // the user stopped the transfer
        // The transfer failed after the flash was erased: the device was left in its bootloader, ready
        // for another try, and never told to start what it has.
        bool leftInBootLoader = false;
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
    bool EnterBootLoader(std::uint32_t baud);
    void ExitBootLoader();
    void TextTransfer();
    void BlockTransfer();
    // Before the erase command the user may still stop: the bootloader is left and the device is as it was.
    bool CancelledBeforeErase();
    // A transfer that fails once the flash is erased stops here: no further byte (no end marker, no exit
    // answer) reaches the bootloader, so it never starts a partial image, and the user is told so.
    void Abandon(const char* failureCaption, const char* reason = nullptr);
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

    quirel::firmware::FirmwareFile m_file; // the firmware of this run
};
