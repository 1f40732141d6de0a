// scan: find a device whose line settings or slave address nobody wrote down.
#include "CliCommon.h"
#include "CliSession.h"

#include "base/CancelSignal.h"
#include "comm/DeviceScan.h"
#include "modbus/MbusMasterFunctions.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>

namespace quirel::cli {
namespace {

// Ctrl-C (and SIGTERM) cut the probe under way off; raising the signal is a write to an eventfd, which a
// signal handler may do.
std::atomic<quirel::CancelSignal*> gCancel{nullptr};

extern "C" void OnScanInterrupt(int) {
    if (quirel::CancelSignal* cancel = gCancel.load())
        cancel->raise();
}

class InterruptGuard {
public:
    explicit InterruptGuard(quirel::CancelSignal& cancel) {
        gCancel.store(&cancel);
        struct sigaction action {};
        action.sa_handler = OnScanInterrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_oldInt);
        ::sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~InterruptGuard() {
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
        gCancel.store(nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> items;
    size_t from = 0;
    for (size_t comma; (comma = text.find(',', from)) != std::string::npos; from = comma + 1)
        items.push_back(text.substr(from, comma - from));
    items.push_back(text.substr(from));
    return items;
}

// "1-247" or "1,5,10-20".
bool ParseSlaves(const std::string& text, long max, std::vector<int>& out) {
    for (const std::string& item : Split(text)) {
        const size_t dash = item.find('-');
        long first, last;
        if (!ParseInt(item.substr(0, dash), 1, max, first) ||
            !ParseInt(dash == std::string::npos ? item : item.substr(dash + 1), first, max, last))
            return false;
        for (long slave = first; slave <= last; ++slave)
            out.push_back(static_cast<int>(slave));
    }
    return true;
}

// A value as the found line gives it: in double quotes, a quote or backslash escaped by a backslash and a
// control character written \xHH, so that every device gives one line.
std::string Quoted(const std::string& value) {
    std::string out = "\"";
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// "Illegal argument error (/dev/pts/3: Invalid argument)": a message box text on one line.
std::string OneLine(const std::string& text) {
    const size_t newline = text.find('\n');
    if (newline == std::string::npos)
        return text;
    std::string rest = text.substr(newline + 1);
    std::replace(rest.begin(), rest.end(), '\n', ' ');
    return text.substr(0, newline) + " (" + rest + ")";
}

// Found devices on stdout, one line each; progress and notes on stderr.
class ScanPrinter : public IDeviceScanObserver {
public:
    ScanPrinter(CliSession& s, bool tcp) : m_s(s), m_tcp(tcp) {}

    void OnProbe(const ScanTarget& next, size_t done, size_t total) override {
        // A line per line setting and per whole percent, not one per probe.
        const int percent = total > 0 ? static_cast<int>(100 * done / total) : 0;
        const std::string where = m_tcp ? std::string() : LineText(next.line) + " ";
        if (percent == m_percent && where == m_where)
            return;
        m_percent = percent;
        m_where = where;
        std::fprintf(m_s.Err(), "scan %sslave %d: %zu of %zu (%d %%)\n", where.c_str(), next.slave, done + 1,
                     total, percent);
        std::fflush(m_s.Err());
    }

    void OnFound(const ScanAnswer& a) override {
        std::string line = "found";
        if (!m_tcp)
            line += " baud=" + std::to_string(a.at.line.baud) + " parity=" + a.at.line.parity +
                    " stop=" + std::to_string(a.at.line.stopBits);
        line += " slave=" + std::to_string(a.at.slave);
        if (a.Identified())
            line += " vendor=" + Quoted(a.identification.vendorName) +
                    " product=" + Quoted(a.identification.productCode) +
                    " revision=" + Quoted(a.identification.revision);
        std::fprintf(m_s.Out(), "%s\n", line.c_str());
        std::fflush(m_s.Out());
        if (a.result != MBUS_SUCCESS)
            Note("slave " + std::to_string(a.at.slave) + " answered with " +
                 MbusMasterFunctions::getErrorText(a.result));
        if (!a.Identified())
            Note("slave " + std::to_string(a.at.slave) +
                 " does not identify itself: " + MbusMasterFunctions::getErrorText(a.identificationResult));
    }

    void OnLineRefused(const ScanLine& line, const std::string& why) override {
        Note(LineText(line) + " refused by the port: " + OneLine(why));
    }

    void Note(const std::string& text) {
        std::fprintf(m_s.Err(), "scan: %s\n", text.c_str());
        std::fflush(m_s.Err());
    }

private:
    CliSession& m_s;
    bool m_tcp;
    int m_percent = -1;
    std::string m_where;
};

int Scan(CliSession& s, const std::vector<std::string>& args) {
    if (!s.Options().tcp.empty() || !s.Options().rtu.empty())
        return s.Usage("scan takes its connection after the command: scan --rtu DEVICE or scan --tcp HOST");
    std::vector<std::pair<std::string, std::string>> given;
    const std::string bad = ParseOptions(
        args, {"--rtu", "--tcp", "--bauds", "--parities", "--stops", "--slaves", "--reply-timeout"}, given);
    if (!bad.empty())
        return s.Usage(bad);
    DeviceScanOptions options;
    // Given before the command, it counts as well.
    if (s.Options().timeoutMs != GlobalOptions{}.timeoutMs)
        options.replyTimeoutMs = s.Options().timeoutMs;
    bool lineGiven = false;
    std::string target[2]; // RTU, TCP
    for (const auto& [name, value] : given) {
        long n;
        if (name == "--rtu" || name == "--tcp") {
            target[name == "--tcp"] = value;
        } else if (name == "--bauds") {
            options.bauds.clear();
            for (const std::string& baud : Split(value)) {
                if (!ParseInt(baud, 1, 4000000, n))
                    return s.Usage("--bauds takes baud rates separated by commas");
                options.bauds.push_back(static_cast<uint32_t>(n));
            }
        } else if (name == "--parities") {
            options.parities.clear();
            for (std::string parity : Split(value)) {
                std::transform(parity.begin(), parity.end(), parity.begin(), ::toupper);
                if (parity != "N" && parity != "E" && parity != "O")
                    return s.Usage("--parities takes N, E and O, separated by commas");
                options.parities += parity;
            }
        } else if (name == "--stops") {
            options.stopBits.clear();
            for (const std::string& stop : Split(value)) {
                if (!ParseInt(stop, 1, 2, n))
                    return s.Usage("--stops takes 1 and 2, separated by commas");
                options.stopBits.push_back(static_cast<int>(n));
            }
        } else if (name == "--slaves") {
            options.slaves.clear();
            if (!ParseSlaves(value, DeviceScanOptions::kMaxTcpUnit, options.slaves))
                return s.Usage("--slaves takes addresses and ranges such as 1-247 or 1,5,10-20");
        } else if (!ParseInt(value, 1, 100000, n)) {
            return s.Usage("--reply-timeout is 1 to 100000 (milliseconds)");
        } else {
            options.replyTimeoutMs = static_cast<int>(n);
        }
        lineGiven = lineGiven || name == "--bauds" || name == "--parities" || name == "--stops";
    }
    if (target[0].empty() == target[1].empty())
        return s.Usage("scan needs --rtu DEVICE or --tcp HOST[:PORT]");
    options.tcp = !target[1].empty();
    options.target = options.tcp ? target[1] : target[0];
    if (options.tcp && lineGiven)
        return s.Usage("--bauds, --parities and --stops go with --rtu");
    if (!options.tcp && std::any_of(options.slaves.begin(), options.slaves.end(),
                                    [](int slave) { return slave > DeviceScanOptions::kMaxRtuSlave; }))
        return s.Usage("slave addresses on a serial line are 1 to 247");

    quirel::CancelSignal cancel;
    const InterruptGuard guard(cancel);
    ScanPrinter printer(s, options.tcp);
    const DeviceScanSummary summary = RunDeviceScan(options, printer, &cancel);
    switch (summary.end) {
    case ScanEnd::kNoPort:
        std::fprintf(s.Err(), "%s\n", summary.failure.c_str());
        return kNoConnection;
    case ScanEnd::kCancelled:
        printer.Note("cancelled after " + std::to_string(summary.probes) + " probes, " +
                     std::to_string(summary.found) + " found");
        return kInterrupted;
    case ScanEnd::kCompleted:
        break;
    }
    printer.Note(std::to_string(summary.found) + " found in " + std::to_string(summary.probes) + " probes");
    return summary.found > 0 ? kOk : kFailed;
}

} // namespace

void AddScanCommands(std::vector<CommandSpec>& commands) {
    commands.push_back(
        {"scan",
         "  scan --rtu DEVICE [--bauds B,...] [--parities N,E,O] [--stops 1,2] [--slaves 1-247]\n"
         "       [--reply-timeout MS]\n"
         "  scan --tcp HOST[:PORT] [--slaves 1-247] [--reply-timeout MS]\n"
         "                        sends the connect probe to every line setting (default 9600, 19200,\n"
         "                        38400, 57600 and 115200 baud, N, E and O, 1 and 2 stop bits) and slave\n"
         "                        (default 1-247), the usual settings first, waiting MS for each reply\n"
         "                        (default 100); one line \"found baud=B parity=P stop=S slave=N\" and, "
         "when\n"
         "                        the device identifies itself, vendor=\"...\" product=\"...\" "
         "revision=\"...\"\n"
         "                        on stdout per device that answers; progress on stderr; Ctrl-C ends it;\n"
         "                        exit 0 found, 1 nothing found, 2 the port or host cannot be opened\n",
         false, Scan});
}

} // namespace quirel::cli
