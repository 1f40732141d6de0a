#pragma once

#include "TestPeers.h"
#include "base/Document.h"
#include "comm/JobAbstract.h"
#include "parameters/ParamValue.h"
#include "parameters/ParameterManager.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quirel::test {

// The demo catalogue, loaded once, in English.
const CParameterManager& DemoCatalogue();
CParameterManager* MutableDemoCatalogue();

// A small device on the scripted TCP peer: holding and input registers in one map, functions 3, 4, 5 and
// 16, and faults switched by flags. Requests are kept as PDUs (function code onward).
class RegisterDevice {
public:
    RegisterDevice();
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_peer->port()); }
    void Set(int reference, uint16_t value);
    uint16_t Get(int reference) const;
    std::vector<Bytes> Pdus() const;
    // Waits (at most 15 s) until n requests have arrived.
    bool WaitForRequests(std::size_t n) const;

    std::atomic<bool> silent{false};         // no reply at all: the master times out
    std::atomic<bool> badByteCount{false};   // function 3 replies with a wrong byte count (131)
    std::atomic<bool> badWriteEcho{false};   // function 16 echoes a wrong quantity (131)
    std::atomic<bool> wrongUnit{false};      // replies carry another unit identifier (130)
    std::atomic<int> exceptionCode{0};       // answer every request with this exception
    std::atomic<int> refuseConnectionsAt{0}; // from the Nth request on (counted from 1), refuse connects
    // Sees each request's PDU before it is answered; a non-zero result is answered as that exception.
    // Set before the first request.
    std::function<int(const Bytes& pdu)> onRequest;

private:
    std::vector<PeerStep> Answer(const Bytes& request);
    int m_requests = 0; // peer thread only
    mutable std::mutex m_mutex;
    std::map<int, uint16_t> m_regs;
    std::unique_ptr<ScriptedTcpPeer> m_peer;
};

// A job that notes its name when run and counts its own destruction.
class NotingJob : public CJobAbstract {
public:
    NotingJob(std::string name, std::vector<std::string>* log, std::mutex* mutex, std::atomic<int>* destroyed)
        : m_name(std::move(name)), m_log(log), m_mutex(mutex), m_destroyed(destroyed) {}
    ~NotingJob() override {
        if (m_destroyed)
            ++*m_destroyed;
    }
    void Execute(CControllerModbus&) override {
        std::lock_guard lock(*m_mutex);
        m_log->push_back(m_name);
    }

private:
    std::string m_name;
    std::vector<std::string>* m_log;
    std::mutex* m_mutex;
    std::atomic<int>* m_destroyed;
};

// Makes NotingJobs that share one log of the names run and one count of the jobs destroyed.
struct JobLog {
    std::vector<std::string> names;
    std::mutex mutex;
    std::atomic<int> destroyed{0};
    std::unique_ptr<CJobAbstract> Job(const std::string& name) {
        return std::make_unique<NotingJob>(name, &names, &mutex, &destroyed);
    }
    std::vector<std::string> Names() {
        std::lock_guard lock(mutex);
        return names;
    }
};

// Stands in for the parameters document: values by identifier, guarded as the worker stores them.
class ValueDocument : public CDocument {
public:
    void SetValue(int32_t id, const PARAMVALUE& value) {
        std::lock_guard lock(m_mutex);
        m_values[id] = value;
    }
    void ForgetValue(int32_t id) {
        std::lock_guard lock(m_mutex);
        m_values.erase(id);
    }
    bool Has(int32_t id) const {
        std::lock_guard lock(m_mutex);
        return m_values.count(id) != 0;
    }
    PARAMVALUE Get(int32_t id) const {
        std::lock_guard lock(m_mutex);
        return m_values.at(id);
    }

private:
    mutable std::mutex m_mutex;
    std::map<int32_t, PARAMVALUE> m_values;
};

} // namespace quirel::test
