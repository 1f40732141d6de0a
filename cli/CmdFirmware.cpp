// firmware: load new firmware through the device's serial bootloader, as the viewer's "Update Device
// Firmware" does, with the questions answered by options (or at the terminal).
#include "CliSession.h"

#include "firmware/SerialBootLoader.h"

#include <atomic>
#include <cctype>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace quirel::cli {
namespace {

std::atomic<bool> g_interrupted{false};

void OnFirmwareInterrupt(int) {
    g_interrupted.store(true);
    // A second Ctrl-C ends the program at once, whatever it is doing.
    std::signal(SIGINT, SIG_DFL);
}

// The windows of the update on a terminal: boxes and progress on stderr, the questions answered by the
// options, or asked at the terminal when stdin is one, or else answered the cautious way.
class FirmwareConsole : public IUiPort, public IFirmwareDialogs {
public:
    FirmwareConsole(std::FILE* err, std::string file, bool yes, bool force)
        : m_err(err), m_file(std::move(file)), m_yes(yes), m_force(force) {}

    void PostDocumentUpdate(CDocument*, int64_t) override {}
    void PostConnectionState(int) override {}

    int MessageBox(const std::string& text, const std::string& caption, MbIcon, MbButtons buttons) override {
        // The result of a download is the command's last line, on stdout.
        if (text == firmware::kDownloadSucceeded || text == firmware::kDownloadFailed)
            return IDOK;
        if (!caption.empty())
            std::fprintf(m_err, "%s\n", caption.c_str());
        std::fprintf(m_err, "%s\n", text.c_str());
        int answer = IDOK;
        switch (buttons) {
        case MbButtons::Ok:
            return IDOK;
        case MbButtons::OkCancel: // the confirmation and the time estimate
            answer = m_yes ? IDOK : Ask("[o]k/[c]ancel", IDCANCEL);
            break;
        case MbButtons::YesNoCancel: // the device did not answer: wait for its banner after a power cycle?
            answer = m_force ? IDYES : Ask("[y]es/[n]o/[c]ancel", IDNO);
            break;
        default: // no reset configuration word: cancel the download?
            answer = Ask("[y]es/[n]o", IDYES);
            break;
        }
        std::fprintf(m_err, "-> %s\n",
                     answer == IDOK    ? "OK"
                     : answer == IDYES ? "Yes"
                     : answer == IDNO  ? "No"
                                       : "Cancel");
        std::fflush(m_err);
        return answer;
    }

    void Progress(const std::string& caption, const std::string&, int pos, int max) override {
        const int percent = max > 0 ? pos * 100 / max : 0;
        if (percent / 5 == m_percent / 5)
            return;
        m_percent = percent;
        std::fprintf(m_err, "%s %d %%\n", caption.c_str(), percent);
        std::fflush(m_err);
    }
    void EndProgress() override { m_percent = -5; }
    // Ctrl-C during the transfer stops it where stopping is safe; the procedure says what became of the
    // device.
    bool ProgressCancelled() override { return g_interrupted.load(); }

    std::string AskFirmwareFile() override { return m_file; }
    void ShowWaitWindow() override {
        std::fprintf(m_err,
                     "Update Firmware Dialog\nWait please!\nIf the last download was unsuccesfully, please "
                     "power OFF and ON device!\n(Ctrl-C cancels.)\n");
        std::fflush(m_err);
    }
    bool WaitWindowCancelled() override { return g_interrupted.load(); }
    void CloseWaitWindow() override {}

private:
    // The answer typed at the terminal, by its first letter; `otherwise` without a terminal.
    int Ask(const char* choices, int otherwise) {
        if (!::isatty(STDIN_FILENO))
            return otherwise;
        for (;;) {
            std::fprintf(m_err, "%s? ", choices);
            std::fflush(m_err);
            std::string line;
            if (!std::getline(std::cin, line))
                return otherwise;
            const char c = line.empty() ? '\0' : static_cast<char>(std::tolower(line[0]));
            if (c == 'o' && std::strchr(choices, 'o'))
                return IDOK;
            if (c == 'y' && std::strchr(choices, 'y'))
                return IDYES;
            if (c == 'n' && std::strchr(choices, 'n'))
                return IDNO;
            if (c == 'c' && std::strchr(choices, 'c'))
                return IDCANCEL;
        }
    }

    std::FILE* m_err;
    std::string m_file;
    bool m_yes, m_force;
    int m_percent = -5;
};

int Firmware(CliSession& s, const std::vector<std::string>& args) {
    std::string port, file;
    bool yes = false, force = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size())
            port = args[++i];
        else if (args[i] == "--yes")
            yes = true;
        else if (args[i] == "--force")
            force = true;
        else if (args[i].rfind("--", 0) == 0 || !file.empty())
            return s.Usage("wrong arguments for firmware: " + args[i]);
        else
            file = args[i];
    }
    if (port.empty() || file.empty())
        return s.Usage("firmware needs --port DEVICE and FILE.srec");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return s.Fail("Cannot open the firmware file " + file);

    FirmwareConsole console(s.Err(), file, yes, force);
    CSerialPort serial;
    CSteadyClock clock;
    CSerialBootLoader loader(serial, console, console, clock);
    loader.SetPortName(port);
    g_interrupted.store(false);
    auto previous = std::signal(SIGINT, OnFirmwareInterrupt);
    const CSerialBootLoader::Outcome outcome = loader.Start();
    std::signal(SIGINT, previous);

    std::fflush(s.Err());
    switch (outcome) {
    case CSerialBootLoader::Outcome::Succeeded:
        std::fprintf(s.Out(), "%s\n", firmware::kDownloadSucceeded);
        return kOk;
    case CSerialBootLoader::Outcome::Failed:
        std::fprintf(s.Out(), "%s\n", firmware::kDownloadFailed);
        return kFailed;
    case CSerialBootLoader::Outcome::Ended:
        break;
    }
    std::fprintf(s.Err(), "quirel-cli: the firmware was not downloaded\n");
    return kFailed;
}

} // namespace

void AddFirmwareCommands(std::vector<CommandSpec>& commands) {
    commands.push_back(
        {"firmware",
         "  firmware --port DEVICE [--yes] [--force] FILE.srec\n"
         "                        load FILE.srec through the device's serial bootloader on DEVICE (its own\n"
         "                        port at 38400 baud, not --rtu/--tcp); --yes answers OK to the "
         "confirmation\n"
         "                        and the time estimate, --force answers Yes to \"Cannot Access Device!\" "
         "(wait\n"
         "                        for the banner of a power-cycled device); without them a terminal is "
         "asked,\n"
         "                        anything else is answered Cancel/No; a missing reset configuration word\n"
         "                        cancels unless a terminal answers No. Ctrl-C cancels the wait or stops "
         "the\n"
         "                        transfer (before the erase the device stays as it was, after it the "
         "device\n"
         "                        waits in its bootloader). Messages and progress on stderr; the last line, "
         "on\n"
         "                        stdout, is \"Download successfully!\" (exit 0) or \"Download "
         "UNSUCCESSFULLY!\"\n",
         false, Firmware});
}

} // namespace quirel::cli
