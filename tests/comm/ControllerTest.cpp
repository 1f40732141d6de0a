#include "CommTestSupport.h"
#include "modbus/MbusMasterFunctions.h"

#include <future>
#include <gtest/gtest.h>

using namespace quirel::test;

namespace {

using Add = bool (CControllerModbus::*)(std::unique_ptr<CJobAbstract>);
using S = std::vector<std::string>;

// Holds the worker inside a job until opened.
struct Gate {
    std::promise<void> started, open;
    std::shared_future<void> opened = open.get_future().share();
    std::unique_ptr<CJobAbstract> Job() {
        return std::make_unique<FnJob>([this](CControllerModbus&) {
            started.set_value();
            opened.wait();
        });
    }
};

} // namespace

TEST(Controller, RefusesJobsWhileNotConnectedAndReportsAFailedConnect) {
    RecordingUiPort ui;
    JobLog log;
    {
        CControllerModbus controller(MutableDemoCatalogue(), &ui);
        for (Add add : {&CControllerModbus::AddPollJob, &CControllerModbus::AddUserJob,
                        &CControllerModbus::AddTransferJob})
            EXPECT_FALSE((controller.*add)(log.Job("refused")));
        EXPECT_EQ(log.destroyed, 3); // refused jobs are deleted, nothing queued

        // The box names the port and what the system said about it; serial settings select RTU.
        controller.SetSerialSettings("/dev/quirel-no-such-port", 9600, 8, 1, "e");
        EXPECT_FALSE(controller.Connect());
        EXPECT_EQ(ui.States(), (std::vector<int>{kNotConnected, kConnectFailed}));
        EXPECT_FALSE(controller.AddUserJob(log.Job("u")));
        EXPECT_EQ(Shown(ui),
                  S{"Modbus error: Port or socket open error\n/dev/quirel-no-such-port: No such file or "
                    "directory"});
    }
    EXPECT_EQ(log.destroyed, 4);
}

TEST(Controller, RunsTransferBeforeUserBeforePollJobsEachInOrderAndRefusesBeyondEachCapacity) {
    Rig rig;
    JobLog log;
    const std::tuple<Add, int, char> queues[] = {{&CControllerModbus::AddPollJob, 400, 'p'},
                                                 {&CControllerModbus::AddUserJob, 100, 'u'},
                                                 {&CControllerModbus::AddTransferJob, 50, 't'}};
    // Filled in turns before the worker runs, so all three queues hold jobs when it starts.
    std::vector<std::string> expected;
    for (int i = 0; i < 400; ++i)
        for (const auto& [add, capacity, name] : queues)
            if (i < capacity) {
                ASSERT_TRUE((rig.controller.*add)(log.Job(name + std::to_string(i))));
            }
    for (const auto& [add, capacity, name] : queues) {
        EXPECT_FALSE((rig.controller.*add)(log.Job("beyond")));
        for (int i = 0; i < capacity; ++i)
            expected.insert(expected.begin() + i, name + std::to_string(i));
    }
    EXPECT_EQ(log.destroyed, 3);
    rig.controller.StartThread();
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    EXPECT_EQ(log.Names(), expected);
    CJobQueue one(1); // refuses by itself too: adds from two threads may both pass the controller's look
    std::unique_ptr<CJobAbstract> first = log.Job("1"), second = log.Job("2");
    EXPECT_TRUE(one.Push(first) && !one.Push(second));
}

TEST(Controller, StopDropsWaitingPollAndUserJobsKeepsTransferJobsAndCanStartAgain) {
    Rig rig;
    JobLog log;
    rig.controller.StartThread();
    Gate gate;
    ASSERT_TRUE(rig.controller.AddUserJob(gate.Job()));
    gate.started.get_future().wait();
    EXPECT_TRUE(rig.controller.AddPollJob(log.Job("p")));
    EXPECT_TRUE(rig.controller.AddUserJob(log.Job("u")));
    EXPECT_TRUE(rig.controller.AddTransferJob(log.Job("t")));
    rig.controller.StopThread();
    EXPECT_FALSE(rig.controller.WaitForThreadStop(50)); // the running job finishes first
    gate.open.set_value();
    ASSERT_TRUE(rig.controller.WaitForThreadStop(5000));
    EXPECT_TRUE(log.Names().empty());
    EXPECT_EQ(log.destroyed, 2);

    rig.controller.StartThread();
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    EXPECT_EQ(log.Names(), std::vector<std::string>{"t"});
    // Stop and start in quick succession: one worker goes on, and every job is run or dropped, none lost.
    for (int i = 0; i < 20; ++i) {
        rig.controller.StopThread();
        rig.controller.StartThread();
        EXPECT_TRUE(rig.controller.AddPollJob(log.Job("again")));
    }
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    EXPECT_EQ(log.destroyed, 23);
    EXPECT_TRUE(rig.controller.IsThreadRunning());
}

// A poll job loses the connection: no reply to any attempt, or replies from another unit until the
// reconnect after the eleventh is refused, which leaves the master closed while the controller still
// counts as connected.
TEST(Controller, ALostConnectionInAPollJobDisconnectsDropsPollJobsKeepsUserJobsAndIsReportedOnce) {
    for (const bool silent : {true, false}) {
        SCOPED_TRACE(silent ? "silent" : "closed");
        JobLog log; // before the rig: its device's thread calls onRequest
        std::atomic<bool> userQueued{false};
        Rig rig(false);
        ValueDocument doc;
        rig.controller.SetTimeout(20);
        ASSERT_TRUE(rig.controller.Connect());
        rig.device.silent = silent;
        rig.device.wrongUnit = !silent;
        rig.device.refuseConnectionsAt = silent ? 0 : 11;
        rig.device.onRequest = [&](const Bytes&) {
            if (!userQueued) // while the poll job waits for its reply
                userQueued = rig.controller.AddUserJob(log.Job("u"));
            return 0;
        };
        ASSERT_TRUE(rig.controller.AddPollJob(ReadJob(doc, 100)));
        ASSERT_TRUE(rig.controller.AddPollJob(log.Job("p2")));
        ASSERT_TRUE(rig.controller.AddPollJob(log.Job("p3")));
        rig.ui.Clear();
        rig.controller.StartThread();
        ASSERT_TRUE(rig.ui.WaitForBoxes(1));
        EXPECT_EQ(Shown(rig.ui), S{std::string("Read parameter: ") +
                                   (silent ? "Reply time-out" : "TCP/IP connection error")});
        EXPECT_EQ(rig.ui.States(), std::vector<int>{kNotConnected});
        EXPECT_EQ(rig.device.Pdus().size(), 11u); // one request and ten retries
        EXPECT_FALSE(doc.Get(100));
        EXPECT_EQ(log.destroyed, 2); // p2 and p3, never run
        EXPECT_TRUE(userQueued);
        EXPECT_TRUE(log.Names().empty());
        if (silent) { // the user job waited for the next connection
            rig.device.silent = false;
            ASSERT_TRUE(rig.controller.Connect());
            ASSERT_TRUE(rig.controller.WaitForIdle(10000));
            EXPECT_EQ(log.Names(), std::vector<std::string>{"u"});
        }
    }
}

TEST(Controller, CheckResultDisconnectsOnConnectionClassCodesOnly) {
    // The code, and whether it throws and disconnects.
    const std::tuple<int, bool, bool> cases[] = {
        {0, false, false}, {131, false, false}, {65, true, true},  {68, true, true},   {69, true, true},
        {132, true, true}, {129, true, true},   {130, true, true}, {161, true, false}, {1, true, false}};
    for (const auto& [code, throws, disconnects] : cases) {
        Rig rig;
        try {
            rig.controller.CheckResult(code);
            EXPECT_FALSE(throws) << code;
        } catch (const CModbusException& e) {
            EXPECT_TRUE(throws) << code;
            EXPECT_EQ(e.GetCode(), code);
            EXPECT_EQ(e.GetMessage(), MbusMasterFunctions::getErrorText(code));
        }
        EXPECT_EQ(rig.controller.IsConnected(), !disconnects) << code;
    }
}

// At the device's default reply time-out, eleven attempts would hold the window (a disconnect) or the
// program's end (an exit) for as many seconds: the handshake's bound cuts the transfer off.
TEST(Controller, DisconnectOrExitDuringAJobsRetriesCutsTheTransferOff) {
    for (const bool exit : {false, true}) {
        SCOPED_TRACE(exit ? "exit" : "disconnect");
        std::promise<void> asked; // outlives the device, whose thread calls onRequest
        std::once_flag once;
        RegisterDevice device;
        RecordingUiPort ui;
        ValueDocument doc;
        {
            CControllerModbus controller(MutableDemoCatalogue(), &ui);
            controller.SetTcpSettings(device.Host());
            controller.SetHandshakeWaits(50, 200);
            ASSERT_TRUE(controller.Connect());
            device.silent = true;
            device.onRequest = [&](const Bytes&) {
                std::call_once(once, [&] { asked.set_value(); });
                return 0;
            };
            ASSERT_TRUE(controller.AddPollJob(ReadJob(doc, 100)));
            controller.StartThread();
            asked.get_future().wait();
            ui.Clear();
            if (!exit) {
                controller.Disconnect();
                EXPECT_EQ(controller.GetState(), kNotConnected);
                ASSERT_TRUE(controller.WaitForIdle(5000));
            }
        }
        EXPECT_LT(device.Pdus().size(), 11u);
        EXPECT_FALSE(doc.Get(100));
        EXPECT_EQ(Shown(ui), S{"Read parameter: I/O error"});
        for (int state : ui.States())
            EXPECT_EQ(state, kNotConnected);
    }
}

// A job still inside, its box not yet answered, when the user disconnects and connects again: the box
// holds no master, so the disconnect ends after its handshake time, and the failure the job meets
// afterwards leaves the new connection alone.
TEST(Controller, AJobThatOutlivesItsConnectionNeitherHoldsDisconnectNorTakesTheNextConnectionDown) {
    std::atomic<bool> refuse{true}; // before the rig: its device's thread calls onRequest
    Rig rig;
    ValueDocument doc;
    rig.device.onRequest = [&](const Bytes&) { return refuse ? 2 : 0; };
    rig.ui.HoldBoxes();
    std::atomic<int> code{0};
    ASSERT_TRUE(rig.controller.AddUserJob(std::make_unique<FnJob>([&](CControllerModbus& c) {
        ReadJob(doc, 20)->Execute(c);
        try {
            c.CheckResult(132); // "Reply time-out"
        } catch (const CModbusException& e) {
            code = e.GetCode();
        }
    })));
    rig.controller.StartThread();
    ASSERT_TRUE(rig.ui.WaitForBoxes(1));
    EXPECT_EQ(Shown(rig.ui), S{"Read parameter: Illegal Data Address exception response"});
    EXPECT_TRUE(rig.controller.IsConnected()); // an exception reply keeps the connection
    rig.controller.Disconnect();
    EXPECT_EQ(rig.controller.GetState(), kNotConnected);
    refuse = false;
    ASSERT_TRUE(rig.controller.Connect());
    rig.ui.Clear();
    rig.ui.ReleaseBoxes();
    ASSERT_TRUE(rig.controller.WaitForIdle(5000));
    EXPECT_EQ(code.load(), 132); // the job still learns of its failure
    EXPECT_TRUE(rig.controller.IsConnected());
    EXPECT_TRUE(rig.ui.States().empty());
    ASSERT_TRUE(rig.controller.AddPollJob(ReadJob(doc, 100)));
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    EXPECT_TRUE(doc.Get(100));
}
