#include "CliSession.h"

#include <cstdlib>

namespace quirel::cli {

bool ParseInt(const std::string& s, long min, long max, long& out) {
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

CliSession::CliSession(std::FILE* out, std::FILE* err) : m_out(out), m_err(err), m_ui(err) {}

CliSession::~CliSession() {
    Finish(kOk);
}

bool CliSession::AskYesNo(const std::string& question) {
    std::fprintf(m_err, "%s [y/N] ", question.c_str());
    std::fflush(m_err);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, stdin))
        return false;
    const std::string a(answer);
    return a == "y\n" || a == "Y\n" || a == "yes\n" || a == "Yes\n";
}

int CliSession::Usage(const std::string& why) {
    std::fprintf(m_err, "quirel-cli: %s\nTry 'quirel-cli --help'.\n", why.c_str());
    return kUsage;
}

int CliSession::Fail(const std::string& message) {
    std::fprintf(m_err, "%s\n", message.c_str());
    std::fflush(m_err);
    return kFailed;
}

const CParameterDescription* CliSession::Resolve(const std::string& key) const {
    long id;
    if (ParseInt(key, INT32_MIN, INT32_MAX, id))
        return m_catalogue.FindDescription(static_cast<int32_t>(id));
    return m_catalogue.FindDescription(key);
}

int CliSession::Connect() {
    if (m_opt.tcp.empty() && m_opt.rtu.empty())
        return Usage("no connection given (--tcp or --rtu)");
    m_controller = std::make_unique<CControllerModbus>(&m_catalogue, &m_ui);
    m_controller->SetSlaveId(m_opt.slave);
    m_controller->SetTimeout(m_opt.timeoutMs);
    m_controller->SetTries(m_opt.tries);
    if (m_opt.trace) {
        m_trace = std::make_unique<MbusTrafficTraceWriter>(m_err);
        m_controller->SetTrafficObserver(m_trace.get());
    }
    if (!m_opt.rtu.empty())
        m_controller->SetSerialSettings(m_opt.rtu, static_cast<uint32_t>(m_opt.baud), 8,
                                        static_cast<int16_t>(m_opt.stop), m_opt.parity);
    else
        m_controller->SetTcpSettings(m_opt.tcp);
    m_controller->StartThread();
    return m_controller->Connect() ? kOk : kNoConnection;
}

void CliSession::Drain() {
    while (!m_controller->WaitForIdle(200))
        if (!m_controller->IsConnected())
            break;
    m_ui.ProcessPosted();
}

bool CliSession::AddPollJobWaiting(const std::function<std::unique_ptr<CJobAbstract>()>& make) {
    // A refused job is deleted by the controller, so each offer gets a fresh one.
    while (!m_controller->AddPollJob(make())) {
        if (!m_controller->IsConnected())
            return false;
        m_controller->WaitForIdle(50); // the queue is full: let the worker catch up
    }
    return true;
}

int CliSession::Finish(int code) {
    if (m_controller) {
        if (code != kOk && !m_controller->IsConnected())
            code = kNoConnection;
        m_controller->Disconnect();
        m_controller->StopThread();
        m_controller->WaitForThreadStop(CControllerModbus::kStopWaitMs);
        m_ui.ProcessPosted();
        m_controller.reset();
    }
    return code;
}

} // namespace quirel::cli
