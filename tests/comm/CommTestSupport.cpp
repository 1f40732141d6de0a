#include "CommTestSupport.h"

#include <chrono>
#include <thread>

namespace quirel::test {

CParameterManager* MutableDemoCatalogue() {
    static CParameterManager* catalogue = [] {
        auto* c = new CParameterManager;
        c->SetLanguage(9);
        c->Load(QUIREL_RESOURCES_DIR "/Parameters.ini");
        return c;
    }();
    return catalogue;
}

const CParameterManager& DemoCatalogue() {
    return *MutableDemoCatalogue();
}

RegisterDevice::RegisterDevice() {
    m_peer = std::make_unique<ScriptedTcpPeer>([this](const Bytes& request, int) { return Answer(request); });
}

void RegisterDevice::Set(int reference, uint16_t value) {
    std::lock_guard lock(m_mutex);
    m_regs[reference] = value;
}

uint16_t RegisterDevice::Get(int reference) const {
    std::lock_guard lock(m_mutex);
    auto it = m_regs.find(reference);
    return it == m_regs.end() ? 0 : it->second;
}

std::vector<Bytes> RegisterDevice::Pdus() const {
    std::vector<Bytes> pdus;
    for (const Bytes& r : m_peer->requests())
        pdus.emplace_back(r.begin() + 7, r.end());
    return pdus;
}

bool RegisterDevice::WaitForRequests(std::size_t n) const {
    for (int i = 0; i < 1500; ++i) {
        if (m_peer->requests().size() >= n)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::vector<PeerStep> RegisterDevice::Answer(const Bytes& request) {
    std::vector<PeerStep> steps;
    if (++m_requests == refuseConnectionsAt)
        steps.push_back({.stopListening = true});
    if (silent)
        return steps;
    const Bytes pdu(request.begin() + 7, request.end());
    const std::uint8_t fc = pdu.at(0);
    const MbapFields fields{.unit = wrongUnit ? request[6] + 1 : -1};
    const int exception = onRequest ? onRequest(pdu) : 0;
    if (exceptionCode || exception) {
        steps.push_back({mbap(request,
                              {static_cast<std::uint8_t>(fc | 0x80),
                               static_cast<std::uint8_t>(exception ? exception : exceptionCode.load())},
                              fields)});
        return steps;
    }
    // Functions it does not know (the identification, file records) get exception 1, as from a device
    // that has none.
    if (fc != 3 && fc != 4 && fc != 5 && fc != 16) {
        steps.push_back({mbap(request, {static_cast<std::uint8_t>(fc | 0x80), 1}, fields)});
        return steps;
    }
    const int address = (pdu.at(1) << 8) | pdu.at(2);
    const int count = (pdu.at(3) << 8) | pdu.at(4);
    std::lock_guard lock(m_mutex);
    Bytes reply;
    if (fc == 3 || fc == 4) {
        reply = {fc, static_cast<std::uint8_t>(2 * count + (badByteCount ? 2 : 0))};
        for (int i = 0; i < count; ++i) {
            const uint16_t v = m_regs.count(address + 1 + i) ? m_regs[address + 1 + i] : 0;
            reply.push_back(static_cast<std::uint8_t>(v >> 8));
            reply.push_back(static_cast<std::uint8_t>(v));
        }
    } else if (fc == 16) {
        for (int i = 0; i < count; ++i)
            m_regs[address + 1 + i] = static_cast<uint16_t>((pdu.at(6 + 2 * i) << 8) | pdu.at(7 + 2 * i));
        reply.assign(pdu.begin(), pdu.begin() + 5);
        reply[4] = static_cast<std::uint8_t>(reply[4] + (badWriteEcho ? 1 : 0));
    } else if (fc == 5) {
        reply = pdu;
    } else {
        reply = {static_cast<std::uint8_t>(fc | 0x80), 1};
    }
    steps.push_back({mbap(request, reply, fields)});
    return steps;
}

} // namespace quirel::test
