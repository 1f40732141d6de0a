#include "CommTestSupport.h"
#include "SimProcess.h"
#include "base/RecordingUiPort.h"
#include "comm/ControllerModbus.h"
#include "comm/DeviceIdentification.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"

#include <gtest/gtest.h>
#include <thread>

using namespace quirel::test;

// The identification read of the connect command runs on the user-interface thread while the worker
// polls; both share the one master.
TEST(AgainstSimulator, DirectIdentificationReadsInterleaveWithRunningPollJobs) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready());
    RecordingUiPort ui;
    ValueDocument doc;
    CControllerModbus controller(MutableDemoCatalogue(), &ui);
    controller.SetTcpSettings(sim.tcpHost());
    controller.StartThread();
    ASSERT_TRUE(controller.Connect());

    const int32_t ids[] = {100, 102, 106, 20, 30, 150, 300, 401};
    int queued = 0;
    for (int round = 0; round < 20; ++round) {
        for (int32_t id : ids)
            queued += controller.AddPollJob(std::make_unique<CJobUpdateVisibleParameter>(
                &doc, id, CParameterValue(id, DemoCatalogue().GetDataType(id), 0)));
        uint8_t objects[102];
        controller.ReadDeviceIdentification(sizeof objects, objects);
        const DeviceIdentification id = ParseDeviceIdentification(objects, sizeof objects);
        EXPECT_EQ(id.vendorName, "Tolvane International Ltd");
        EXPECT_EQ(id.productCode, "AHF-100");
        EXPECT_EQ(id.revision, "V2.14");
    }
    EXPECT_EQ(queued, 160);
    ASSERT_TRUE(controller.WaitForIdle(30000));
    EXPECT_TRUE(ui.Boxes().empty());
    EXPECT_EQ(ui.Updates().size(), 160u);
    EXPECT_NEAR(doc.Get(100).GetFloat(), 50.0f, 1.0f);
    EXPECT_FALSE(TextValueTable::Get(30).empty());

    // A write goes through the user queue and is read back.
    CParameterValue v(310, 6, 0);
    ASSERT_TRUE(v.SetFromText(DemoCatalogue(), "750"));
    ASSERT_TRUE(controller.AddUserJob(std::make_unique<CJobWriteParameter>(v)));
    ASSERT_TRUE(controller.AddPollJob(std::make_unique<CJobUpdateVisibleParameter>(&doc, 310, v)));
    ASSERT_TRUE(controller.WaitForIdle(10000));
    EXPECT_EQ(doc.Get(310).raw & 0xFFFF, 750u);

    controller.Disconnect();
    controller.StopThread();
    EXPECT_TRUE(controller.WaitForThreadStop(5000));
}

// A display shows what the device holds: a value the device refused is read back (or, for a write-only
// parameter, forgotten), and a parameter without a register form shows its zero instead of nothing.
TEST(AgainstSimulator, WritesAreReadBackAndTypesWithoutRegistersStillShow) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready());
    RecordingUiPort ui;
    ValueDocument doc;
    CControllerModbus controller(MutableDemoCatalogue(), &ui);
    controller.SetTcpSettings(sim.tcpHost());
    controller.StartThread();
    ASSERT_TRUE(controller.Connect());

    doc.SetValue(300, PARAMVALUE(6, 7));
    doc.SetValue(600, PARAMVALUE(6, 9));
    // Indexes beyond the value lists, which the device refuses with exception 3.
    ASSERT_TRUE(
        controller.AddUserJob(std::make_unique<CJobWriteParameter>(CParameterValue(300, 6, 7), &doc)));
    ASSERT_TRUE(
        controller.AddUserJob(std::make_unique<CJobWriteParameter>(CParameterValue(600, 6, 9), &doc)));
    ASSERT_TRUE(controller.AddPollJob(
        std::make_unique<CJobUpdateVisibleParameter>(&doc, 610, CParameterValue(610, 10, 0))));
    ASSERT_TRUE(controller.WaitForIdle(10000));

    const auto boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Error writing parameter: 300");
    EXPECT_EQ(boxes[0].text, "Illegal Data Value exception response");
    EXPECT_EQ(boxes[1].caption, "Error writing parameter: 600");
    EXPECT_LT(doc.Get(300).raw & 0xFFFF, 3u); // what the device holds, one of its three values
    EXPECT_FALSE(doc.Has(600));
    ASSERT_TRUE(doc.Has(610));
    EXPECT_EQ(doc.Get(610), PARAMVALUE(10, 0));
    std::vector<int64_t> hints;
    for (const auto& u : ui.Updates())
        hints.push_back(u.hint);
    EXPECT_EQ(hints, (std::vector<int64_t>{300, 600, 610}));

    controller.Disconnect();
    controller.StopThread();
    EXPECT_TRUE(controller.WaitForThreadStop(5000));
}

TEST(AgainstSimulator, RtuConnectProbesTheDeviceOverAPty) {
    SimProcess sim({"--pty"});
    ASSERT_TRUE(sim.ready());
    ASSERT_FALSE(sim.ptyPath().empty());
    RecordingUiPort ui;
    ValueDocument doc;
    CControllerModbus controller(MutableDemoCatalogue(), &ui);
    controller.SetSerialSettings(sim.ptyPath(), 38400, 8, 1, "N");
    controller.StartThread();
    ASSERT_TRUE(controller.Connect()) << (ui.Boxes().empty() ? "" : ui.Boxes().back().text);
    ASSERT_TRUE(controller.Connect()); // again, on the same port name
    EXPECT_EQ(controller.GetPortName(), sim.ptyPath());
    for (int32_t id : {100, 35, 31})
        ASSERT_TRUE(controller.AddPollJob(std::make_unique<CJobUpdateVisibleParameter>(
            &doc, id, CParameterValue(id, DemoCatalogue().GetDataType(id), 0))));
    ASSERT_TRUE(controller.WaitForIdle(10000));
    EXPECT_TRUE(ui.Boxes().empty());
    EXPECT_NEAR(doc.Get(100).GetFloat(), 50.0f, 1.0f);
    EXPECT_FALSE(TextValueTable::Get(31).empty());

    // A slave that is not there: the port opens, the probe fails, the state stays 0.
    controller.SetSlaveId(9);
    ui.Clear();
    EXPECT_FALSE(controller.Connect());
    EXPECT_EQ(controller.GetState(), kNotConnected);
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].text, "Reply time-out");
    EXPECT_EQ(ui.Boxes()[0].caption, "Modbus error");
    EXPECT_EQ(ui.States().back(), kNotConnected);
}

// Each reply comes 100 ms late and again 50 ms after that: the repeat of one reply arrives while the next
// request waits for its own, and must not pass for it.
TEST(AgainstSimulator, RepeatedRepliesNeverAnswerTheNextRequest) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready()) << sim.failure();
    RecordingUiPort ui;
    CControllerModbus controller(MutableDemoCatalogue(), &ui);
    controller.SetTcpSettings(sim.tcpHost());
    ASSERT_TRUE(controller.Connect());
    controller.WriteParameter(205, PARAMVALUE(5, 42)); // "Start delay"; "Modbus address" 230 holds 1
    EXPECT_EQ(sim.command("delay 100").rfind("ok", 0), 0u);
    EXPECT_EQ(sim.command("stray 1 50").rfind("ok", 0), 0u);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(controller.ReadParameter(230).raw & 0xFFFF, 1u) << round;
        EXPECT_EQ(controller.ReadParameter(205).raw & 0xFFFF, 42u) << round;
    }
    EXPECT_TRUE(controller.IsConnected());
    EXPECT_TRUE(ui.Boxes().empty());
}
