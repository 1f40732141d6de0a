// MBAP frames byte by byte and the master's handling of a TCP peer: foreign and malformed frames, late
// and short replies, hang-ups and reconnects, host names and connect errors.
#include "ScriptedRigs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <netdb.h>
#include <thread>

using namespace quirel::test;
using namespace std::chrono_literals;

TEST(ModbusTcp, FrameLayoutAndUnitIdentifierRules) {
    TcpRig rig([](const Bytes& req, int index) {
        const int unit = index == 1 ? 0 : index == 2 ? 2 : -1;
        return std::vector<PeerStep>{{mbap(req, registersPdu(3, req[11], 0x10), {.unit = unit})}};
    });
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t values[3];
    ASSERT_EQ(rig.master.readHoldingRegisters(1, 1, values, 3), 0);
    EXPECT_EQ(values[2], 0x12);
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 3), 0); // unit 0 answers for anyone
    // Unit 2 answers for unit 1: 130, reconnect, and the same result again without retries left.
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 3), 130);
    EXPECT_TRUE(rig.peer.waitConnections(2));
    EXPECT_TRUE(rig.master.isOpen());
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 3), 0);
    // The transaction identifier counts up from 0, one per request sent, across the reconnect.
    const auto requests = rig.peer.requests();
    ASSERT_EQ(requests.size(), 4u);
    for (std::uint8_t i = 0; i < 4; ++i)
        EXPECT_EQ(requests[i], (Bytes{0, i, 0, 0, 0, 6, 1, 3, 0, 0, 0, 3}));
}

TEST(ModbusTcp, RepliesThatDoNotBelongToTheRequestAreSkipped) {
    // Before each request's reply comes a frame that is not its reply; each must be read past.
    struct Case {
        const char* what;
        MbapFields fields;
        Bytes pdu; // the foreign frame's PDU
    };
    const std::vector<Case> cases = {
        {"an earlier request's reply", {.transaction = 0x7FFF}, registersPdu(3, 1, 999)},
        {"an earlier request's exception", {.transaction = 0}, {0x83, 0x02}},
        {"another protocol", {.protocol = 1}, registersPdu(3, 1, 999)},
        {"a length that does not fit", {}, registersPdu(3, 2, 999)},
        {"an exception of the wrong length", {.length = 4}, {0x83, 0x02, 0x00}},
    };
    TcpRig rig([&](const Bytes& req, int index) {
        const Case& c = cases.at(static_cast<std::size_t>(index));
        return std::vector<PeerStep>{{mbap(req, c.pdu, c.fields)},
                                     {mbap(req, registersPdu(3, 1, index)), 10}};
    });
    ASSERT_EQ(rig.openResult, 0);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::uint16_t value = 0xFFFF;
        EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0) << cases[i].what;
        EXPECT_EQ(value, i) << cases[i].what;
    }
    EXPECT_EQ(rig.peer.connections(), 1);
}

TEST(ModbusTcp, AFrameWithoutAUsableLengthIsInvalidAndTheNextRequestGoesOnAFreshConnection) {
    // A foreign frame whose length field (1) leaves no room even for a function code: nothing after it
    // can be framed.
    TcpRig rig([](const Bytes& req, int index) {
        const MbapFields fields{.transaction = index == 0 ? 9 : -1, .length = index == 0 ? 1 : -1};
        return std::vector<PeerStep>{{mbap(req, registersPdu(3, 1, 42), fields)}};
    });
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value = 0;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 130);
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(rig.peer.connections(), 2);
}

TEST(ModbusTcp, TheTimeOutBoundsTheWholeWaitNotEachSkippedFrame) {
    // Foreign frames every 40 ms, the reply only after 600 ms: a wait that started over with each skipped
    // frame would take it; one time-out of 300 ms for the whole wait does not.
    TcpRig rig(
        [](const Bytes& req, int) {
            std::vector<PeerStep> steps;
            for (int i = 0; i < 15; ++i)
                steps.push_back({mbap(req, registersPdu(3, 1, 999), {.transaction = 0x7FFF}), 40});
            steps.push_back({mbap(req, registersPdu(3, 1, 1))});
            return steps;
        },
        300, 0);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value = 0;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 132);
    EXPECT_EQ(value, 0);
}

TEST(ModbusTcp, InvalidFrameIsRetriedOnAFreshConnection) {
    TcpRig rig(
        [](const Bytes& req, int index) {
            return std::vector<PeerStep>{{mbap(req, registersPdu(3, 1, 42), {.unit = index == 0 ? 9 : -1})}};
        },
        500, 10);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value = 0;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(rig.peer.requests().size(), 2u);
    EXPECT_TRUE(rig.peer.waitConnections(2));
}

TEST(ModbusTcp, LateSecondReplyIsDrainedBeforeTheNextRequest) {
    TcpRig rig([](const Bytes& req, int index) {
        Bytes first = mbap(req, registersPdu(3, 1, 10 * (index + 1)));
        Bytes stale = mbap(req, registersPdu(3, 1, 999));
        return std::vector<PeerStep>{{first}, {stale, 20}};
    });
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value = 0;
    ASSERT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 10);
    ASSERT_TRUE(rig.peer.waitPlayed(1));
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 0);
    EXPECT_EQ(value, 20);
}

TEST(ModbusTcp, ShortReplyTimesOutAndExceptionsAreNotRetried) {
    TcpRig rig(
        [](const Bytes& req, int index) {
            if (index == 0) {
                Bytes full = mbap(req, registersPdu(3, 4, 1));
                return std::vector<PeerStep>{{Bytes(full.begin(), full.begin() + 10)}};
            }
            return std::vector<PeerStep>{{mbap(req, {0x83, 0x04})}};
        },
        150, 0);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t values[4];
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 4), 132);
    EXPECT_TRUE(rig.peer.waitConnections(2)); // reconnected even without retries left
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, values, 4), 164);
    EXPECT_EQ(rig.peer.requests().size(), 2u);
    EXPECT_EQ(rig.peer.connections(), 2);
}

TEST(ModbusTcp, PeerClosingWhileIdleIsReconnectedOnceBeforeSending) {
    // The peer hangs up after each answer, as gateways do with idle connections; nothing has been sent
    // when the drain finds out, so one fresh connection carries the request. A peer that refuses it
    // fails the request as closed, without anything sent.
    for (const bool refuse : {false, true}) {
        TcpRig rig([refuse](const Bytes& req, int) {
            return std::vector<PeerStep>{{mbap(req, {0x05, 0x00, 0x00, 0xFF, 0x00})},
                                         {.close = true, .stopListening = refuse}};
        });
        ASSERT_EQ(rig.openResult, 0);
        ASSERT_EQ(rig.master.writeSingleCoil(1, 1, 1), 0);
        ASSERT_TRUE(rig.peer.waitPlayed(1));
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(rig.master.writeSingleCoil(1, 1, 1), refuse ? 69 : 0) << refuse;
        EXPECT_EQ(rig.peer.requests().size(), refuse ? 1u : 2u) << refuse;
        EXPECT_EQ(rig.master.isOpen(), !refuse);
    }
}

TEST(ModbusTcp, SilentPeerNeverHangsACall) {
    TcpRig rig([](const Bytes&, int) { return std::vector<PeerStep>{}; }, 50, 2);
    ASSERT_EQ(rig.openResult, 0);
    std::uint16_t value;
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 132);
    EXPECT_EQ(rig.peer.requests().size(), 3u);
    EXPECT_TRUE(rig.peer.waitConnections(4));
    rig.master.closeProtocol();
    EXPECT_FALSE(rig.master.isOpen());
    EXPECT_EQ(rig.master.readHoldingRegisters(1, 1, &value, 1), 2);
}

TEST(ModbusTcp, OpenParsesHostAndReportsConnectErrors) {
    ScriptedTcpPeer peer([](const Bytes& req, int) {
        return std::vector<PeerStep>{{mbap(req, {3, 2, 0, 7})}};
    });
    MbusTcpMasterProtocol master;
    EXPECT_EQ(master.getPort(), 502);
    EXPECT_EQ(master.openProtocol("127.0.0.1:" + std::to_string(unusedLoopbackPort())), 68);
    EXPECT_EQ(master.getLastSystemError(), "Connection refused");
    EXPECT_EQ(master.openProtocol("name.invalid"), 68);
    EXPECT_EQ(master.openProtocol("127.0.0.1:70000"), 1);
    EXPECT_EQ(master.openProtocol("127.0.0.1:x"), 1);
    EXPECT_FALSE(master.isOpen());
    ASSERT_EQ(master.setPort(peer.port()), 0);
    ASSERT_EQ(master.openProtocol("localhost"), 0); // resolved by name, default port
    EXPECT_EQ(master.openProtocol("localhost"), 2);
    EXPECT_EQ(master.setPort(503), 2);
    std::uint16_t value = 0;
    EXPECT_EQ(master.readHoldingRegisters(4, 1, &value, 1), 0);
    EXPECT_EQ(value, 7);
}

namespace {

// Resolves one made-up name to the loopback address, while its name server is up.
class OneNameMaster : public MbusTcpMasterProtocol {
public:
    int lookups = 0;
    bool nameServerUp = true;

protected:
    int resolveHost(const std::string& name, int, in_addr* out) override {
        ++lookups;
        if (!nameServerUp || name != "filter.test")
            return EAI_NONAME;
        out->s_addr = htonl(INADDR_LOOPBACK);
        return 0;
    }
};

} // namespace

TEST(ModbusTcp, AHostNameIsResolvedOnceAndReconnectsReuseTheAddress) {
    ScriptedTcpPeer peer([](const Bytes& req, int index) {
        return std::vector<PeerStep>{{mbap(req, registersPdu(3, 1, 7), {.unit = index == 0 ? 9 : -1})}};
    });
    OneNameMaster master;
    master.setRetryCount(1);
    EXPECT_EQ(master.openProtocol("other.test"), 68);
    EXPECT_EQ(master.getLastSystemError(), gai_strerror(EAI_NONAME));
    master.lookups = 0;
    ASSERT_EQ(master.openProtocol("filter.test:" + std::to_string(peer.port())), 0);
    master.nameServerUp = false;
    std::uint16_t value = 0;
    EXPECT_EQ(master.readHoldingRegisters(1, 1, &value, 1), 0); // 130, reconnect, retry
    EXPECT_EQ(value, 7);
    EXPECT_EQ(peer.connections(), 2);
    EXPECT_EQ(master.lookups, 1);
}
