#include "CommTestSupport.h"
#include "SimProcess.h"
#include "comm/DeviceIdentification.h"

#include <gtest/gtest.h>

using namespace quirel::test;

namespace {

// The controller on the simulator.
struct SimRig {
    SimProcess sim;
    RecordingUiPort ui;
    ValueDocument doc;
    CControllerModbus controller{MutableDemoCatalogue(), &ui};
    explicit SimRig(std::vector<std::string> options) : sim(std::move(options)) {}
    void Poll(std::initializer_list<int32_t> ids) {
        for (int32_t id : ids)
            ASSERT_TRUE(controller.AddPollJob(ReadJob(doc, id)));
    }
};

} // namespace

// The identification read of the connect command runs on the user-interface thread while the worker
// polls; both share the one master.
TEST(AgainstSimulator, DirectIdentificationReadsInterleaveWithRunningPollJobs) {
    SimRig rig({"--tcp", "0"});
    ASSERT_TRUE(rig.sim.ready());
    rig.controller.SetTcpSettings(rig.sim.tcpHost());
    rig.controller.StartThread();
    ASSERT_TRUE(rig.controller.Connect());
    for (int round = 0; round < 20; ++round) {
        rig.Poll({100, 102, 106, 20, 30, 150, 300, 401});
        uint8_t objects[102];
        rig.controller.ReadDeviceIdentification(sizeof objects, objects);
        const DeviceIdentification id = ParseDeviceIdentification(objects, sizeof objects);
        EXPECT_EQ(id.vendorName + "/" + id.productCode + "/" + id.revision,
                  "Tolvane International Ltd/AHF-100/V2.14");
    }
    ASSERT_TRUE(rig.controller.WaitForIdle(30000));
    EXPECT_TRUE(rig.ui.Boxes().empty());
    EXPECT_EQ(rig.ui.Updates().size(), 160u);
    EXPECT_NEAR(rig.doc.Get(100).value().GetFloat(), 50.0f, 1.0f);
    EXPECT_FALSE(TextValueTable::Get(30).empty());
}

TEST(AgainstSimulator, RtuConnectProbesTheDeviceOverAPty) {
    SimRig rig({"--pty"});
    ASSERT_TRUE(rig.sim.ready());
    rig.controller.SetSerialSettings(rig.sim.ptyPath(), 38400, 8, 1, "N");
    rig.controller.StartThread();
    ASSERT_TRUE(rig.controller.Connect()) << (rig.ui.Boxes().empty() ? "" : rig.ui.Boxes().back().text);
    ASSERT_TRUE(rig.controller.Connect()); // again, on the same port name
    rig.Poll({100, 35, 31});
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    EXPECT_TRUE(rig.ui.Boxes().empty());
    EXPECT_NEAR(rig.doc.Get(100).value().GetFloat(), 50.0f, 1.0f);
    EXPECT_FALSE(TextValueTable::Get(31).empty());

    // A slave that is not there: the port opens, the probe fails, the state stays 0.
    rig.controller.SetSlaveId(9);
    rig.controller.SetTimeout(30);
    rig.ui.Clear();
    EXPECT_FALSE(rig.controller.Connect());
    EXPECT_EQ(rig.controller.GetState(), kNotConnected);
    EXPECT_EQ(Shown(rig.ui), std::vector<std::string>{"Modbus error: Reply time-out"});
    EXPECT_EQ(rig.ui.States().back(), kNotConnected);
}
