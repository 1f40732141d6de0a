// Connecting and disconnecting the controller: the master for the chosen link, the connect probe, and
// what a user reads when a connection cannot be made or a reply cannot be used.
#include "comm/ControllerModbus.h"

#include "base/StringTable.h"
#include "comm/CommStringIds.h"
#include "modbus/MbusMasterFunctions.h"
#include "modbus/MbusRtuMasterProtocol.h"
#include "modbus/MbusTcpMasterProtocol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <strings.h>
#include <vector>

namespace {

constexpr unsigned kIdsReceived = 1400; // "Received: "

// Bytes as a user can read them: text in quotes (line ends and tabs written \r, \n, \t) when they are
// text, else hexadecimal; the first 32, then " ..." when more came.
std::string PrintableBytes(const std::vector<uint8_t>& bytes) {
    constexpr size_t kShown = 32;
    const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), kShown));
    const bool text = std::all_of(bytes.begin(), end, [](uint8_t b) {
        return (b >= 0x20 && b < 0x7F) || b == '\r' || b == '\n' || b == '\t';
    });
    std::string out = text ? "\"" : "";
    for (auto it = bytes.begin(); it != end; ++it) {
        const char c = static_cast<char>(*it);
        if (!text) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", *it);
            out += (it == bytes.begin() ? "" : " ") + std::string(hex);
        } else if (c == '\r' || c == '\n' || c == '\t') {
            out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\t";
        } else {
            out += c;
        }
    }
    if (text)
        out += '"';
    if (bytes.size() > kShown)
        out += " ...";
    return out;
}

// The system's text of a failing result and, for a reply that could not be used, what came back: a host
// that speaks another protocol (a web server, a terminal) is then recognised at once.
std::string ResultText(int code, const std::vector<uint8_t>& unusable) {
    std::string text = MbusMasterFunctions::getErrorText(code);
    if ((code == MBUS_CHECKSUM_ERROR || code == MBUS_INVALID_FRAME) && !unusable.empty())
        text += "\n" + quirel::loadString(kIdsReceived) + PrintableBytes(unusable);
    return text;
}

// The system's reason for a failed open or connect, in the language of the user interface where we have
// it in our words; any other reason as the system gave it.
std::string SystemReasonText(const MbusMasterFunctions& master) {
    struct Reason {
        int code;
        unsigned id;
    };
    static const Reason kReasons[] = {{ENOENT, 1401},       {EACCES, 1402},     {EBUSY, 1403},
                                      {ECONNREFUSED, 1404}, {ETIMEDOUT, 1405},  {EHOSTUNREACH, 1406},
                                      {ENETUNREACH, 1407},  {EAI_NONAME, 1408}, {EAI_AGAIN, 1409}};
    for (const Reason& r : kReasons)
        if (r.code == master.getLastSystemErrorCode())
            return quirel::loadString(r.id);
    return master.getLastSystemError();
}

// The "Modbus error" box text of a failed open: the result's text, then what the system said about the
// port or host, so that a user can tell a missing adapter from a port in use or a refused connection.
std::string OpenFailureText(int rc, const std::string& target, const MbusMasterFunctions& master) {
    std::string text = MbusMasterFunctions::getErrorText(rc);
    if (!master.getLastSystemError().empty())
        text += "\n" + target + ": " + SystemReasonText(master);
    return text;
}

} // namespace

void CControllerModbus::SetMaster(std::unique_ptr<MbusMasterFunctions> master) {
    std::lock_guard abortLock(m_abortMutex);
    m_abortTarget = master.get();
    if (master)
        master->setTrafficObserver(m_trafficObserver);
    m_master = std::move(master);
    ++m_connectionSerial;
}

std::unique_ptr<MbusMasterFunctions> CControllerModbus::TakeMaster() {
    std::lock_guard abortLock(m_abortMutex);
    m_abortTarget = nullptr;
    ++m_connectionSerial;
    return std::move(m_master);
}

void CControllerModbus::CloseMaster() {
    std::unique_ptr<MbusMasterFunctions> master;
    {
        std::lock_guard lock(m_masterMutex);
        master = TakeMaster();
    }
    if (master && master->isOpen())
        master->closeProtocol();
}

bool CControllerModbus::Connect() {
    m_state.store(kNotConnected);
    Disconnect();
    CloseMaster();
    {
        std::lock_guard lock(m_abortMutex);
        m_connectRunning = true;
        m_connectCancelled = false;
    }

    std::string failure; // the text of the "Modbus error" box
    bool opened = false;
    if (m_protocol == kProtocolTcp) {
        auto tcp = std::make_unique<MbusTcpMasterProtocol>();
        tcp->setRetryCount(m_tries - 1);
        tcp->setTimeout(m_timeoutMs);
        const int rc = tcp->openProtocol(m_host);
        if (rc != MBUS_SUCCESS) {
            tcp->closeProtocol();
            failure = OpenFailureText(rc, m_host, *tcp);
            SetState(kConnectFailed);
        } else {
            std::lock_guard lock(m_masterMutex);
            SetMaster(std::move(tcp));
            opened = true;
        }
    } else {
        auto rtu = std::make_unique<MbusRtuMasterProtocol>();
        rtu->setRetryCount(m_tries - 1);
        rtu->setTimeout(m_timeoutMs);
        int parity = 0;
        if (strcasecmp(m_parity.c_str(), "O") == 0)
            parity = 1;
        else if (strcasecmp(m_parity.c_str(), "E") == 0)
            parity = 2;
        // The port name is used as the device path as it is; Linux knows no device prefix.
        const int rc =
            rtu->openProtocol(m_portName, static_cast<long>(m_baudRate), m_dataBits, m_stopBits, parity);
        if (rc != MBUS_SUCCESS) {
            rtu->closeProtocol();
            failure = OpenFailureText(rc, m_portName, *rtu);
            SetState(kConnectFailed);
        } else {
            int probeRc;
            std::vector<uint8_t> unusable;
            {
                std::lock_guard lock(m_masterMutex);
                SetMaster(std::move(rtu));
                probeRc = SendConnectProbe(*m_master, m_slaveId);
                unusable = m_master->getLastUnusableReply();
            }
            // A failed probe leaves the state 0 and the port open until the next Connect or Disconnect.
            if (probeRc != MBUS_SUCCESS)
                failure = ResultText(probeRc, unusable);
            else
                opened = true;
        }
    }

    bool cancelled;
    {
        // Under the lock CancelConnect takes: a Cancel lands before the connection is made, or not at all.
        std::lock_guard lock(m_abortMutex);
        m_connectRunning = false;
        cancelled = m_connectCancelled;
        if (opened && !cancelled)
            m_state.store(kConnected);
    }
    if (cancelled) {
        CloseMaster(); // its transfers were cut off: it cannot be used again
        m_state.store(kNotConnected);
    } else if (!failure.empty()) {
        ShowMessage(failure, quirel::loadString(CommStringId::kModbusError), MbIcon::Error);
    }
    Notify();
    const int state = m_state.load();
    PostState(state);
    return state == kConnected;
}

int CControllerModbus::SendConnectProbe(MbusMasterFunctions& master, int slave) {
    // Does anybody answer on this line? The value itself is not used.
    int32_t probe = 0;
    return master.readInputLongInts(slave, 10, &probe, 1);
}

std::string CControllerModbus::DescribeResult(int code, const std::vector<uint8_t>& unusable) {
    return ResultText(code, unusable);
}

std::string CControllerModbus::DescribeOpenFailure(int rc, const std::string& target,
                                                   const MbusMasterFunctions& master) {
    return OpenFailureText(rc, target, master);
}

void CControllerModbus::CancelConnect() {
    std::lock_guard lock(m_abortMutex);
    if (!m_connectRunning)
        return;
    m_connectCancelled = true;
    if (m_abortTarget)
        m_abortTarget->abortTransfers();
}

void CControllerModbus::Disconnect() {
    if (IsWorkerThread()) {
        DisconnectFromJob();
        return;
    }
    bool hasMaster;
    {
        // Not m_masterMutex: a job's request holds that for as long as its retries take.
        std::lock_guard lock(m_abortMutex);
        hasMaster = m_abortTarget != nullptr;
    }
    if (hasMaster) {
        m_pollQueue.Clear();
        if (IsThreadRunning()) {
            m_jobDone.Reset();
            SetState(kDisconnecting);
            // No answer within the handshake time: the worker is inside a job, perhaps in a series of
            // retries that could take many seconds. Its transfer is cut off (the job gets an I/O error)
            // rather than holding this thread until the master is free to close.
            if (!m_jobDone.Wait(m_disconnectWaitMs))
                AbortTransfers();
        } else {
            // No worker to acknowledge: drop what it would have dropped.
            m_state.store(kDisconnecting);
            m_userQueue.Clear();
        }
        SetState(kNotConnected);
        // Waits for a request in progress on another thread; the master is never closed under it.
        CloseMaster();
    }
    PostState(kNotConnected);
}

void CControllerModbus::DisconnectFromJob() {
    // Inside a job nobody can acknowledge: only the poll queue is emptied, and user and transfer jobs stay
    // for the next connection. All of it happens under the master lock and only to the connection the job
    // started on: one that the user interface has closed meanwhile, or already replaced by a new one, is
    // left alone, and no stale state reaches the user interface.
    std::unique_ptr<MbusMasterFunctions> master;
    {
        std::lock_guard lock(m_masterMutex);
        if (m_jobConnectionSerial != m_connectionSerial)
            return;
        m_pollQueue.Clear();
        m_state.store(kNotConnected);
        master = TakeMaster();
    }
    Notify();
    if (master && master->isOpen())
        master->closeProtocol();
    PostState(kNotConnected);
}
