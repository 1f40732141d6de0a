#pragma once

// A master of either kind opened against a scripted peer, and the reply PDUs the scripts are made of.
#include "TestPeers.h"

#include "modbus/MbusRtuMasterProtocol.h"
#include "modbus/MbusTcpMasterProtocol.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quirel::test {

// A reply of count registers with values base, base+1, ...
inline Bytes registersPdu(std::uint8_t function, int count, int base) {
    Bytes pdu{function, static_cast<std::uint8_t>(2 * count)};
    for (int i = 0; i < count; ++i) {
        pdu.push_back(static_cast<std::uint8_t>((base + i) >> 8));
        pdu.push_back(static_cast<std::uint8_t>(base + i));
    }
    return pdu;
}

inline Bytes rtu(std::uint8_t slave, const Bytes& pdu) {
    Bytes frame{slave};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return withCrc(frame);
}

// An RTU master on one end of a fresh pty pair and a scripted peer on the other.
struct RtuRig {
    explicit RtuRig(PeerScript script, int timeoutMs = 500, int retries = 0) {
        if (!pty.ok())
            return;
        peer = std::make_unique<ScriptedRtuPeer>(pty.peerSide(), std::move(script));
        master.setTimeout(timeoutMs);
        master.setRetryCount(retries);
        openResult = master.openProtocol(pty.masterSide(), 38400, 8, 1, 0);
    }
    SocatPair pty;
    std::unique_ptr<ScriptedRtuPeer> peer;
    MbusRtuMasterProtocol master;
    int openResult = -1;
};

struct TcpRig {
    explicit TcpRig(PeerScript script, int timeoutMs = 500, int retries = 0) : peer(std::move(script)) {
        master.setTimeout(timeoutMs);
        master.setRetryCount(retries);
        openResult = master.openProtocol("127.0.0.1:" + std::to_string(peer.port()));
    }
    ScriptedTcpPeer peer;
    MbusTcpMasterProtocol master;
    int openResult = -1;
};

} // namespace quirel::test
