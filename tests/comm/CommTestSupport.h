#pragma once

#include "TestPeers.h"
#include "base/Document.h"
#include "base/RecordingUiPort.h"
#include "comm/ControllerModbus.h"
#include "comm/JobAbstract.h"
#include "parameters/ParamValue.h"
#include "parameters/ParameterManager.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
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
    std::vector<Bytes> Pdus() const;

    std::atomic<bool> silent{false};         // no reply at all: the master times out
    std::atomic<bool> badByteCount{false};   // function 3 replies with a wrong byte count (131)
    std::atomic<bool> badWriteEcho{false};   // function 16 echoes a wrong quantity (131)
    std::atomic<bool> wrongUnit{false};      // replies carry another unit identifier (130)
    std::atomic<int> refuseConnectionsAt{0}; // from the Nth request on (counted from 1), refuse connects
    // Sees each request's PDU before it is answered (on the peer's thread, also when silent); a non-zero
    // result is answered as that exception. Set before the first request.
    std::function<int(const Bytes& pdu)> onRequest;

private:
    std::vector<PeerStep> Answer(const Bytes& request);
    int m_requests = 0; // peer thread only
    mutable std::mutex m_mutex;
    std::map<int, uint16_t> m_regs;
    std::unique_ptr<ScriptedTcpPeer> m_peer;
};

// A job that runs `body` and counts its own destruction.
class FnJob : public CJobAbstract {
public:
    explicit FnJob(std::function<void(CControllerModbus&)> body, std::atomic<int>* destroyed = nullptr)
        : m_body(std::move(body)), m_destroyed(destroyed) {}
    ~FnJob() override {
        if (m_destroyed)
            ++*m_destroyed;
    }
    void Execute(CControllerModbus& controller) override { m_body(controller); }

private:
    std::function<void(CControllerModbus&)> m_body;
    std::atomic<int>* m_destroyed;
};

// Jobs that note their names in one log when run and count their destruction in one counter.
struct JobLog {
    std::vector<std::string> names;
    std::mutex mutex;
    std::atomic<int> destroyed{0};
    std::unique_ptr<CJobAbstract> Job(const std::string& name) {
        return std::make_unique<FnJob>(
            [this, name](CControllerModbus&) {
                std::lock_guard lock(mutex);
                names.push_back(name);
            },
            &destroyed);
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
    std::optional<PARAMVALUE> Get(int32_t id) const {
        std::lock_guard lock(m_mutex);
        const auto it = m_values.find(id);
        return it == m_values.end() ? std::nullopt : std::optional(it->second);
    }

private:
    mutable std::mutex m_mutex;
    std::map<int32_t, PARAMVALUE> m_values;
};

// The controller on a register device; connected unless asked not to. Handshakes wait briefly: what a test
// checks is where a wait ends, not how long it takes.
struct Rig {
    RegisterDevice device;
    RecordingUiPort ui;
    CControllerModbus controller{MutableDemoCatalogue(), &ui};
    explicit Rig(bool connect = true);
};

// The message boxes shown so far, each as "caption: text".
std::vector<std::string> Shown(const RecordingUiPort& ui);

// The hints posted so far, in order.
std::vector<int64_t> Hints(const RecordingUiPort& ui);

// The job a shown parameter row queues: reads `id` into `doc`.
std::unique_ptr<CJobAbstract> ReadJob(ValueDocument& doc, int32_t id);

} // namespace quirel::test
