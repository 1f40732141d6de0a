// MBAP frames byte by byte and the master's handling of a TCP peer: foreign and malformed frames, late
// and short replies, hang-ups and reconnects, host names and connect errors.
#include "ScriptedRigs.h"

#include <gtest/gtest.h>

#include <netdb.h>

using namespace quirel::test;

TEST(ModbusTcp, FrameLayoutAndUnitIdentifierRules) {
    TcpRig rig([](const Bytes& req, int index) {
        const int unit = index == 1 ? 0 : index == 2 ? 2 : -1;
        return Steps{{mbap(req, registersPdu(3, req[11], 0x10), {.unit = unit})}};
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

namespace {

// Before the reply, 10 ms ahead of it, comes a frame that is not its reply: it must be read past.
PeerScript foreignFirst(MbapFields fields, Bytes pdu) {
    return [=](const Bytes& req, int) {
        return Steps{{mbap(req, pdu, fields)}, {mbap(req, registersPdu(3, 1, 1)), 10}};
    };
}

} // namespace

TEST(ModbusTcp, ForeignFaultyLateAndMissingRepliesEndAsTheyShould) {
    runExchanges<TcpRig>({
        Exchange("an earlier request's reply is skipped", {{1, 0, 1}}, 1, 500, 0,
                 foreignFirst({.transaction = 0x7FFF}, registersPdu(3, 1, 999)), 1)
            .monitored(0, {MbusDiscardReason::StrayReply}),
        Exchange("bytes beyond the reply's length are dropped with it", {{1, 0, 1}, {1, 0, 1}}, 2, 500, 0,
                 [](const Bytes& req, int) {
                     Bytes longer = mbap(req, registersPdu(3, 1, 1));
                     longer.insert(longer.end(), {0xEE, 0xEE});
                     return Steps{{longer}};
                 })
            .monitored(0, {MbusDiscardReason::ExcessBytes}),
        Exchange(
            "the exception to the request before is skipped", {{1, 0, 1}, {1, 0, 1}}, 2, 500, 0,
            [](const Bytes& req, int) {
                const int before = (((req[0] << 8) | req[1]) + 0xFFFF) & 0xFFFF;
                return foreignFirst({.transaction = before}, {0x83, 0x02})(req, 0);
            },
            1),
        Exchange("another protocol is skipped", {{1, 0, 1}}, 1, 500, 0,
                 foreignFirst({.protocol = 1}, registersPdu(3, 1, 999)), 1),
        Exchange("a length that does not fit is skipped", {{1, 0, 1}}, 1, 500, 0,
                 foreignFirst({}, registersPdu(3, 2, 999)), 1),
        Exchange("an exception of the wrong length is skipped", {{1, 0, 1}}, 1, 500, 0,
                 foreignFirst({.length = 4}, {0x83, 0x02, 0x00}), 1),
        // A length field of 1 leaves no room even for a function code: nothing after it can be framed.
        Exchange(
            "a frame without a usable length is invalid; the next request goes on a fresh connection",
            {{1, 130}, {1, 0, 42}}, 2, 500, 0,
            [](const Bytes& req, int i) {
                const MbapFields unusable{.transaction = 9, .length = 1};
                return Steps{{mbap(req, registersPdu(3, 1, 42), i == 0 ? unusable : MbapFields{})}};
            },
            2),
        Exchange(
            "an invalid frame is retried on a fresh connection", {{1, 0, 42}}, 2, 500, 10,
            [](const Bytes& req, int i) {
                return Steps{{mbap(req, registersPdu(3, 1, 42), {.unit = i == 0 ? 9 : -1})}};
            },
            2),
        // Foreign frames every 40 ms, the reply after 600 ms: a wait that started over with each skipped
        // frame would take it.
        Exchange("the time-out bounds the whole wait, not each skipped frame", {{1, 132, 0}}, 1, 300, 0,
                 [](const Bytes& req, int) {
                     Steps steps(15, {mbap(req, registersPdu(3, 1, 999), {.transaction = 0x7FFF}), 40});
                     steps.push_back({mbap(req, registersPdu(3, 1, 1))});
                     return steps;
                 }),
        Exchange("a second reply that came late is drained before the next request", {{1, 0, 10}, {1, 0, 20}},
                 2, 500, 0,
                 [](const Bytes& req, int i) {
                     return Steps{{mbap(req, registersPdu(3, 1, 10 * (i + 1)))},
                                  {mbap(req, registersPdu(3, 1, 999)), 20}};
                 }),
        Exchange(
            "a short reply times out and costs the connection; an exception is not retried",
            {{1, 132}, {1, 164}}, 2, 150, 0,
            [](const Bytes& req, int i) {
                Bytes shortReply = mbap(req, registersPdu(3, 1, 1));
                shortReply.resize(9);
                return Steps{{i == 0 ? shortReply : mbap(req, {0x83, 0x04})}};
            },
            2),
        Exchange(
            "a silent peer is given up on after the retries, each on a fresh connection", {{1, 132}}, 3, 50,
            2, [](const Bytes&, int) { return Steps{}; }, 4),
    });
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

TEST(ModbusTcp, OpenParsesAndResolvesTheHostOnceAndReportsConnectErrors) {
    ScriptedTcpPeer peer([](const Bytes& req, int index) {
        return Steps{{mbap(req, registersPdu(3, 1, 7), {.unit = index == 1 ? 9 : -1})}};
    });
    MbusTcpMasterProtocol plain;
    EXPECT_EQ(plain.getPort(), 502);
    EXPECT_EQ(plain.openProtocol("127.0.0.1:" + std::to_string(unusedLoopbackPort())), 68);
    EXPECT_EQ(plain.getLastSystemError(), "Connection refused");
    EXPECT_EQ(plain.openProtocol("name.invalid"), 68);
    EXPECT_EQ(plain.openProtocol("127.0.0.1:70000"), 1);
    EXPECT_EQ(plain.openProtocol("127.0.0.1:x"), 1);
    EXPECT_FALSE(plain.isOpen());
    ASSERT_EQ(plain.setPort(peer.port()), 0);
    ASSERT_EQ(plain.openProtocol("localhost"), 0); // resolved by name, default port
    EXPECT_EQ(plain.openProtocol("localhost"), 2);
    EXPECT_EQ(plain.setPort(503), 2);
    std::uint16_t value = 0;
    EXPECT_EQ(plain.readHoldingRegisters(4, 1, &value, 1), 0);
    EXPECT_EQ(value, 7);
    plain.closeProtocol();

    // A name resolved once: reconnects reuse its address, while its name server is down.
    OneNameMaster master;
    master.setRetryCount(1);
    EXPECT_EQ(master.openProtocol("other.test"), 68);
    EXPECT_EQ(master.getLastSystemError(), gai_strerror(EAI_NONAME));
    master.lookups = 0;
    ASSERT_EQ(master.openProtocol("filter.test:" + std::to_string(peer.port())), 0);
    master.nameServerUp = false;
    EXPECT_EQ(master.readHoldingRegisters(1, 1, &value, 1), 0); // 130, reconnect, retry
    EXPECT_EQ(value, 7);
    EXPECT_EQ(peer.connections(), 3);
    EXPECT_EQ(master.lookups, 1);
}
