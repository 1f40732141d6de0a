#pragma once

// A master of either kind opened against a scripted peer, the reply PDUs the scripts are made of, and a
// runner for tables of exchanges.
#include "TestPeers.h"

#include "modbus/MbusRtuMasterProtocol.h"
#include "modbus/MbusTcpMasterProtocol.h"
#include "modbus/MbusTrafficRecorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace quirel::test {

using Steps = std::vector<PeerStep>;

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
    explicit RtuRig(PeerScript script, int timeoutMs = 500, int retries = 0, long baud = 38400) {
        if (!pty.ok())
            return;
        peer = std::make_unique<ScriptedRtuPeer>(pty.peerSide(), std::move(script));
        master.setTimeout(timeoutMs);
        master.setRetryCount(retries);
        openResult = master.openProtocol(pty.masterSide(), baud, 8, 1, 0);
    }
    ScriptedPeer& scripted() { return *peer; }
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
    ScriptedPeer& scripted() { return peer; }
    ScriptedTcpPeer peer;
    MbusTcpMasterProtocol master;
    int openResult = -1;
};

// Reads one register on a thread of its own, does `meanwhile` once the peer has the request, and returns
// the read's result.
inline int readWhile(MbusMasterFunctions& master, const ScriptedPeer& peer,
                     const std::function<void()>& meanwhile) {
    int rc = -1;
    std::uint16_t value = 0;
    std::thread reader([&] { rc = master.readHoldingRegisters(1, 1, &value, 1); });
    for (int i = 0; i < 500 && peer.requests().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    meanwhile();
    reader.join();
    return rc;
}

// One read of a register at `reference`, the result it must end with and the value it must leave (-1: not
// looked at).
struct Read {
    int reference;
    int rc;
    int value = -1;
};
// Reads in turn against a peer that plays `script`; afterwards the peer has seen `requests` requests and
// (TCP, when not 0) accepted `connections` connections.
struct Exchange {
    Exchange(const char* what, std::vector<Read> reads, int requests, int timeoutMs, int retries,
             PeerScript script, int connections = 0, long baud = 38400)
        : what(what), reads(std::move(reads)), requests(requests), timeoutMs(timeoutMs), retries(retries),
          script(std::move(script)), connections(connections), baud(baud) {}
    // Watched by a traffic monitor, which must be told exactly the bytes that went over the wire, this
    // many time-outs, and (among others) these reasons for bytes thrown away.
    Exchange monitored(int timeOuts, std::set<MbusDiscardReason> reasons) const {
        Exchange x = *this;
        x.monitorTimeOuts = timeOuts;
        x.monitorReasons = std::move(reasons);
        return x;
    }
    const char* what;
    std::vector<Read> reads;
    int requests, timeoutMs, retries;
    PeerScript script;
    int connections;
    long baud;
    int monitorTimeOuts = -1;
    std::set<MbusDiscardReason> monitorReasons;
};

inline void checkMonitor(MbusTrafficRecorder& recorder, const ScriptedPeer& peer, const Exchange& x) {
    std::vector<MbusTrafficRecord> records;
    EXPECT_EQ(recorder.take(records), 0u);
    std::vector<Bytes> sent;
    Bytes received; // every byte read, taken as a reply or thrown away
    int timeOuts = 0;
    std::set<MbusDiscardReason> reasons;
    for (const MbusTrafficRecord& r : records) {
        if (r.kind == MbusTrafficKind::Sent)
            sent.push_back(r.bytes);
        else
            received.insert(received.end(), r.bytes.begin(), r.bytes.end());
        timeOuts += r.kind == MbusTrafficKind::TimeOut;
        reasons.insert(r.reason);
    }
    EXPECT_EQ(sent, peer.requests());
    EXPECT_TRUE(peer.waitPlayed(static_cast<int>(sent.size())));
    EXPECT_EQ(received, peer.sent());
    EXPECT_EQ(timeOuts, x.monitorTimeOuts);
    for (MbusDiscardReason reason : x.monitorReasons)
        EXPECT_TRUE(reasons.count(reason)) << static_cast<int>(reason);
}

template <class Rig> void runExchanges(const std::vector<Exchange>& exchanges) {
    for (const Exchange& x : exchanges) {
        SCOPED_TRACE(x.what);
        std::unique_ptr<Rig> rig;
        if constexpr (std::is_same_v<Rig, RtuRig>)
            rig = std::make_unique<Rig>(x.script, x.timeoutMs, x.retries, x.baud);
        else
            rig = std::make_unique<Rig>(x.script, x.timeoutMs, x.retries);
        ASSERT_EQ(rig->openResult, 0);
        MbusTrafficRecorder recorder(1000);
        const bool monitored = x.monitorTimeOuts >= 0;
        if (monitored)
            rig->master.setTrafficObserver(&recorder);
        for (std::size_t i = 0; i < x.reads.size(); ++i) {
            std::uint16_t value = 0xFFFF;
            EXPECT_EQ(rig->master.readHoldingRegisters(1, x.reads[i].reference, &value, 1), x.reads[i].rc)
                << i;
            if (x.reads[i].value >= 0) {
                EXPECT_EQ(value, x.reads[i].value) << i;
            }
            // A TCP peer's later steps are on the wire by the next read (over a pty they may still be on
            // their way, which is what some rows are about).
            if constexpr (std::is_same_v<Rig, TcpRig>)
                rig->peer.waitPlayed(static_cast<int>(rig->peer.requests().size()));
        }
        rig->master.setTrafficObserver(nullptr);
        if (monitored)
            checkMonitor(recorder, rig->scripted(), x);
        EXPECT_EQ(rig->scripted().requests().size(), static_cast<std::size_t>(x.requests));
        if constexpr (std::is_same_v<Rig, TcpRig>) {
            if (x.connections > 0) {
                EXPECT_TRUE(rig->peer.waitConnections(x.connections));
                EXPECT_EQ(rig->peer.connections(), x.connections);
            }
        }
    }
}

} // namespace quirel::test
