#include "CommTestSupport.h"
#include "comm/JobUpdateVisibleParameter.h"

#include <gtest/gtest.h>

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

std::vector<Bytes> RegisterDevice::Pdus() const {
    std::vector<Bytes> pdus;
    for (const Bytes& r : m_peer->requests())
        pdus.emplace_back(r.begin() + 7, r.end());
    return pdus;
}

std::vector<PeerStep> RegisterDevice::Answer(const Bytes& request) {
    std::vector<PeerStep> steps;
    if (++m_requests == refuseConnectionsAt)
        steps.push_back({.stopListening = true});
    const Bytes pdu(request.begin() + 7, request.end());
    const int exception = onRequest ? onRequest(pdu) : 0;
    if (silent)
        return steps;
    const std::uint8_t fc = pdu.at(0);
    const MbapFields fields{.unit = wrongUnit ? request[6] + 1 : -1};
    // Functions it does not know (the identification, file records) get exception 1, as from a device
    // that has none.
    const bool known = fc == 3 || fc == 4 || fc == 5 || fc == 16;
    if (exception || !known) {
        steps.push_back({mbap(
            request, {static_cast<std::uint8_t>(fc | 0x80), std::uint8_t(known ? exception : 1)}, fields)});
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
    } else {
        reply = pdu; // function 5 echoes
    }
    steps.push_back({mbap(request, reply, fields)});
    return steps;
}

Rig::Rig(bool connect) {
    controller.SetTcpSettings(device.Host());
    controller.SetHandshakeWaits(50, 200);
    EXPECT_TRUE(!connect || controller.Connect());
    ui.Clear();
}

std::vector<std::string> Shown(const RecordingUiPort& ui) {
    std::vector<std::string> shown;
    for (const auto& box : ui.Boxes())
        shown.push_back(box.caption + ": " + box.text);
    return shown;
}

std::vector<int64_t> Hints(const RecordingUiPort& ui) {
    std::vector<int64_t> hints;
    for (const auto& u : ui.Updates())
        hints.push_back(u.hint);
    return hints;
}

std::unique_ptr<CJobAbstract> ReadJob(ValueDocument& doc, int32_t id) {
    return std::make_unique<CJobUpdateVisibleParameter>(
        &doc, id, CParameterValue(id, DemoCatalogue().GetDataType(id), 0));
}

} // namespace quirel::test
