#include "comm/DeviceScan.h"

#include "base/CancelSignal.h"
#include "comm/ControllerModbus.h"
#include "modbus/MbusRtuMasterProtocol.h"
#include "modbus/MbusTcpMasterProtocol.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <poll.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A basic identification read delivers the objects behind the six header bytes of its 108.
constexpr int kIdentificationBytes = 102;
// The identification's whole RTU frame, in characters of 11 bits.
constexpr long kIdentificationFrameChars = 108 + 4;

template <class T> bool Contains(const std::vector<T>& values, const T& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// The given values, those of `common` first in its order, the others after them as given; each once.
template <class T> std::vector<T> CommonFirst(const std::vector<T>& given, const std::vector<T>& common) {
    std::vector<T> out;
    for (const T& value : common)
        if (Contains(given, value))
            out.push_back(value);
    for (const T& value : given)
        if (!Contains(out, value))
            out.push_back(value);
    return out;
}

int ParityCode(char parity) {
    return parity == 'O' ? 1 : parity == 'E' ? 2 : 0;
}

bool IsConnectionClass(int result) {
    return result >= 64 && result <= 127;
}

// The time-out waits for the rest of a reply anew after its first five bytes: at 9600 baud the
// identification's rest alone takes longer than a short reply time-out, and a device that answers it would
// be reported as one that does not identify itself.
int LineTimeoutMs(const DeviceScanOptions& options, const ScanLine& line) {
    if (options.tcp || line.baud == 0)
        return options.replyTimeoutMs;
    const long frameMs = (kIdentificationFrameChars * 11 * 1000 + line.baud - 1) / line.baud;
    return static_cast<int>(std::max<long>(options.replyTimeoutMs, frameMs));
}

// A master with the scan's settings, still closed: one try per request, the scan's reply time-out.
std::unique_ptr<MbusMasterFunctions> MakeMaster(const DeviceScanOptions& options, const ScanLine& line) {
    std::unique_ptr<MbusMasterFunctions> master;
    if (options.tcp)
        master = std::make_unique<MbusTcpMasterProtocol>();
    else if (options.makeRtuMaster)
        master = options.makeRtuMaster();
    else
        master = std::make_unique<MbusRtuMasterProtocol>();
    master->setRetryCount(0);
    master->setTimeout(LineTimeoutMs(options, line));
    return master;
}

int Open(MbusMasterFunctions& master, const DeviceScanOptions& options, const ScanLine& line) {
    if (options.tcp) {
        // A resolver, or a link to a distant gateway, may take longer than a device takes to reply: the name
        // is resolved and the host first reached within the time Connect allows; reconnects go to the
        // address resolved.
        auto& tcp = static_cast<MbusTcpMasterProtocol&>(master);
        const int replyTimeoutMs = tcp.getTimeout();
        if (replyTimeoutMs >= CControllerModbus::kTimeoutMs)
            return tcp.openProtocol(options.target);
        tcp.setTimeout(CControllerModbus::kTimeoutMs);
        if (const int rc = tcp.openProtocol(options.target); rc != MBUS_SUCCESS)
            return rc;
        tcp.closeProtocol();
        tcp.setTimeout(replyTimeoutMs);
        return tcp.connectSocket();
    }
    return static_cast<MbusRtuMasterProtocol&>(master).openProtocol(
        options.target, static_cast<long>(line.baud), options.dataBits, line.stopBits,
        ParityCode(line.parity));
}

ScanAnswer Probe(MbusMasterFunctions& master, const ScanTarget& at) {
    ScanAnswer answer;
    answer.at = at;
    answer.result = CControllerModbus::SendConnectProbe(master, at.slave);
    if (!answer.Answered()) {
        answer.unusable = master.getLastUnusableReply();
        return answer;
    }
    uint8_t objects[kIdentificationBytes];
    answer.identificationResult = master.readDeviceIdentification(at.slave, sizeof objects, 1, 0, objects);
    if (answer.Identified())
        answer.identification = ParseDeviceIdentification(objects, sizeof objects);
    return answer;
}

// The last exchange of a probe ended with a whole frame: nothing of it can still be on its way.
bool EndedClean(const ScanAnswer& answer) {
    const int last = answer.identificationResult >= 0 ? answer.identificationResult : answer.result;
    return last == MBUS_SUCCESS || last >= MBUS_EXCEPTION;
}

// Waits until `until`; false when cancelled first.
bool WaitUntil(Clock::time_point until, const quirel::CancelSignal* cancel) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            return !(cancel && cancel->raised());
        if (!cancel) {
            std::this_thread::sleep_for(std::chrono::milliseconds(left));
            continue;
        }
        pollfd p{cancel->fd(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) > 0)
            return false;
    }
}

// Hands the user's cancel on to the master in use, whose waits then end at once: a scan with long
// time-outs still stops when asked.
class CancelRelay {
public:
    explicit CancelRelay(const quirel::CancelSignal* cancel) {
        if (cancel)
            m_thread = std::thread([this, cancel] { Run(*cancel); });
    }
    ~CancelRelay() {
        m_stop.raise();
        if (m_thread.joinable())
            m_thread.join();
    }
    CancelRelay(const CancelRelay&) = delete;
    CancelRelay& operator=(const CancelRelay&) = delete;

    void Watch(MbusMasterFunctions* master) {
        std::lock_guard lock(m_mutex);
        m_master = master;
        if (m_fired && master)
            master->abortTransfers();
    }

private:
    void Run(const quirel::CancelSignal& cancel) {
        pollfd p[2] = {{cancel.fd(), POLLIN, 0}, {m_stop.fd(), POLLIN, 0}};
        while (::poll(p, 2, -1) < 0 && errno == EINTR) {
        }
        if (p[0].revents == 0)
            return;
        std::lock_guard lock(m_mutex);
        m_fired = true;
        if (m_master)
            m_master->abortTransfers();
    }

    quirel::CancelSignal m_stop;
    std::mutex m_mutex;
    MbusMasterFunctions* m_master = nullptr;
    bool m_fired = false;
    std::thread m_thread;
};

// The relay watches one master for as long as this lives.
class Watching {
public:
    Watching(CancelRelay& relay, MbusMasterFunctions& master) : m_relay(relay) { m_relay.Watch(&master); }
    ~Watching() { m_relay.Watch(nullptr); }
    Watching(const Watching&) = delete;
    Watching& operator=(const Watching&) = delete;

private:
    CancelRelay& m_relay;
};

class Scanner {
public:
    Scanner(const DeviceScanOptions& options, IDeviceScanObserver& observer,
            const quirel::CancelSignal* cancel)
        : m_options(options), m_observer(observer), m_cancel(cancel), m_relay(cancel) {}

    DeviceScanSummary Run() {
        if (m_options.tcp)
            RunTcp();
        else
            RunRtu();
        return m_summary;
    }

private:
    bool Cancelled() const { return m_cancel && m_cancel->raised(); }
    void End(ScanEnd end, std::string failure = std::string()) {
        m_summary.end = end;
        m_summary.failure = std::move(failure);
    }

    void RunRtu();
    void RunTcp();
    // One probe, told to the observer; none when the scan was cancelled.
    std::optional<ScanAnswer> Step(MbusMasterFunctions& master, const ScanTarget& at);
    bool Known(const ScanTarget& at) const;

    const DeviceScanOptions& m_options;
    IDeviceScanObserver& m_observer;
    const quirel::CancelSignal* m_cancel;
    CancelRelay m_relay;
    DeviceScanSummary m_summary;
    std::vector<ScanTarget> m_found;
    std::size_t m_done = 0;
    std::size_t m_total = 0;
    Clock::time_point m_settleUntil{};
};

bool Scanner::Known(const ScanTarget& at) const {
    return std::any_of(m_found.begin(), m_found.end(), [&](const ScanTarget& f) {
        return f.slave == at.slave && f.line.baud == at.line.baud && f.line.parity == at.line.parity;
    });
}

std::optional<ScanAnswer> Scanner::Step(MbusMasterFunctions& master, const ScanTarget& at) {
    if (Cancelled())
        return std::nullopt;
    m_observer.OnProbe(at, m_done, m_total);
    ScanAnswer answer = Probe(master, at);
    ++m_done;
    ++m_summary.probes;
    if (Cancelled())
        return std::nullopt;
    // A reply that missed its time-out, or the rest of a garbled one, may still come; the line master
    // waits for it before its next request, but a master opened at the next line setting knows nothing
    // of it. One time-out more covers what the master's own wait would.
    m_settleUntil = EndedClean(answer) ? Clock::time_point{}
                                       : Clock::now() + std::chrono::milliseconds(master.getTimeout());
    if (answer.Answered()) {
        m_found.push_back(at);
        ++m_summary.found;
        m_observer.OnFound(answer);
    }
    return answer;
}

void Scanner::RunRtu() {
    const std::vector<ScanLine> lines = OrderScanLines(m_options);
    const std::vector<int> slaves = ScanSlaves(m_options);
    m_total = lines.size() * slaves.size();
    // Most devices keep slave address 1: it is tried at every line setting before the others are.
    std::vector<std::vector<int>> rounds{slaves};
    if (slaves.size() > 1 && slaves.front() == 1)
        rounds = {{1}, std::vector<int>(slaves.begin() + 1, slaves.end())};
    std::vector<bool> refused(lines.size(), false);
    bool opened = false;
    std::string refusal;
    for (const std::vector<int>& round : rounds) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (refused[i]) {
                m_done += round.size();
                continue;
            }
            const std::unique_ptr<MbusMasterFunctions> master = MakeMaster(m_options, lines[i]);
            const int rc = Open(*master, m_options, lines[i]);
            if (rc == MBUS_ILLEGAL_ARGUMENT) {
                refused[i] = true;
                refusal = CControllerModbus::DescribeOpenFailure(rc, m_options.target, *master);
                m_observer.OnLineRefused(lines[i], refusal);
                m_done += round.size();
                continue;
            }
            if (rc != MBUS_SUCCESS)
                return End(ScanEnd::kNoPort,
                           CControllerModbus::DescribeOpenFailure(rc, m_options.target, *master));
            opened = true;
            const Watching watching(m_relay, *master);
            if (!WaitUntil(m_settleUntil, m_cancel))
                return End(ScanEnd::kCancelled);
            for (const int slave : round) {
                const ScanTarget at{lines[i], slave};
                if (Known(at)) {
                    ++m_done;
                    continue;
                }
                const std::optional<ScanAnswer> answer = Step(*master, at);
                if (!answer)
                    return End(ScanEnd::kCancelled);
                // The adapter was unplugged, or the port failed otherwise.
                if (IsConnectionClass(answer->result))
                    return End(ScanEnd::kNoPort, CControllerModbus::DescribeResult(answer->result, {}));
            }
        }
    }
    // Not one line setting could be opened: that is a port that cannot be used at all.
    if (!opened && !lines.empty() && !slaves.empty())
        End(ScanEnd::kNoPort, refusal);
}

void Scanner::RunTcp() {
    const std::vector<int> slaves = ScanSlaves(m_options);
    m_total = slaves.size();
    const std::unique_ptr<MbusMasterFunctions> master = MakeMaster(m_options, ScanLine{});
    auto& tcp = static_cast<MbusTcpMasterProtocol&>(*master);
    const Watching watching(m_relay, *master);
    int rc = Open(*master, m_options, ScanLine{});
    if (rc != MBUS_SUCCESS && !Cancelled())
        End(ScanEnd::kNoPort, CControllerModbus::DescribeOpenFailure(rc, m_options.target, *master));
    for (std::size_t i = 0; rc == MBUS_SUCCESS && i < slaves.size(); ++i) {
        const std::optional<ScanAnswer> answer = Step(*master, ScanTarget{ScanLine{}, slaves[i]});
        if (!answer)
            break;
        // A gateway may close the connection on an address it does not serve: a fresh one carries on.
        if (!master->isOpen() || IsConnectionClass(answer->result)) {
            rc = tcp.connectSocket();
            if (rc != MBUS_SUCCESS && !Cancelled())
                End(ScanEnd::kNoPort, CControllerModbus::DescribeOpenFailure(rc, m_options.target, *master));
        }
    }
    if (Cancelled())
        End(ScanEnd::kCancelled);
}

} // namespace

bool ScanAnswer::Answered() const {
    return result == MBUS_SUCCESS || result == MBUS_INVALID_REPLY ||
           (result >= MBUS_EXCEPTION && result != MBUS_EXCEPTION_GATEWAY_PATH &&
            result != MBUS_EXCEPTION_GATEWAY_TARGET);
}

std::vector<ScanLine> OrderScanLines(const DeviceScanOptions& options) {
    const std::vector<uint32_t> bauds = CommonFirst(options.bauds, {38400u, 19200u, 9600u, 115200u, 57600u});
    const std::vector<char> parities =
        CommonFirst(std::vector<char>(options.parities.begin(), options.parities.end()), {'N', 'E', 'O'});
    // A UART checks only the first stop bit: a device set to two answers a master sending one.
    const std::vector<int> stops = CommonFirst(options.stopBits, {1, 2});
    std::vector<ScanLine> lines;
    for (const int stop : stops)
        for (const uint32_t baud : bauds)
            for (const char parity : parities)
                lines.push_back(ScanLine{baud, parity, stop});
    return lines;
}

std::vector<int> ScanSlaves(const DeviceScanOptions& options) {
    std::vector<int> slaves = options.slaves;
    if (slaves.empty())
        for (int slave = 1; slave <= DeviceScanOptions::kMaxRtuSlave; ++slave)
            slaves.push_back(slave);
    std::sort(slaves.begin(), slaves.end());
    slaves.erase(std::unique(slaves.begin(), slaves.end()), slaves.end());
    return slaves;
}

std::string LineText(const ScanLine& line) {
    return std::to_string(line.baud) + " 8" + line.parity + std::to_string(line.stopBits);
}

DeviceScanSummary RunDeviceScan(const DeviceScanOptions& options, IDeviceScanObserver& observer,
                                const quirel::CancelSignal* cancel) {
    return Scanner(options, observer, cancel).Run();
}

ScanAnswer TestDeviceSetting(const DeviceScanOptions& options, const quirel::CancelSignal* cancel,
                             std::string* openFailure) {
    ScanAnswer answer;
    answer.at.line = ScanLine{options.bauds.empty() ? 0u : options.bauds.front(),
                              options.parities.empty() ? 'N' : options.parities.front(),
                              options.stopBits.empty() ? 1 : options.stopBits.front()};
    answer.at.slave = options.slaves.empty() ? 1 : options.slaves.front();
    CancelRelay relay(cancel);
    const std::unique_ptr<MbusMasterFunctions> master = MakeMaster(options, answer.at.line);
    const Watching watching(relay, *master);
    answer.result = Open(*master, options, answer.at.line);
    if (answer.result != MBUS_SUCCESS) {
        if (openFailure)
            *openFailure = CControllerModbus::DescribeOpenFailure(answer.result, options.target, *master);
    } else {
        answer = Probe(*master, answer.at);
    }
    return answer;
}
