#include "CommTestSupport.h"
#include "base/RecordingUiPort.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "modbus/MbusMasterFunctions.h"

#include <future>
#include <gtest/gtest.h>

using namespace quirel::test;

namespace {

// Blocks the worker inside a job until opened.
class GateJob : public CJobAbstract {
public:
    GateJob(std::promise<void>* started, std::shared_future<void> open) : m_started(started), m_open(open) {}
    void Execute(CControllerModbus&) override {
        m_started->set_value();
        m_open.wait();
    }

private:
    std::promise<void>* m_started;
    std::shared_future<void> m_open;
};

// Waits like GateJob, then meets a connection-class failure of the connection it started on.
class LateFailureJob : public CJobAbstract {
public:
    LateFailureJob(std::promise<void>* started, std::shared_future<void> open, std::atomic<int>* code)
        : m_started(started), m_open(open), m_code(code) {}
    void Execute(CControllerModbus& controller) override {
        m_started->set_value();
        m_open.wait();
        try {
            controller.CheckResult(132); // "Reply time-out"
        } catch (const CModbusException& e) {
            m_code->store(e.GetCode());
        }
    }

private:
    std::promise<void>* m_started;
    std::shared_future<void> m_open;
    std::atomic<int>* m_code;
};

struct Rig {
    RegisterDevice device;
    RecordingUiPort ui;
    CControllerModbus controller{MutableDemoCatalogue(), &ui};
    Rig() { controller.SetTcpSettings(device.Host()); }
};

} // namespace

TEST(Controller, RefusesJobsWhileNotConnectedAndReportsAFailedConnect) {
    RecordingUiPort ui;
    JobLog log;
    {
        CControllerModbus controller(MutableDemoCatalogue(), &ui);
        EXPECT_EQ(controller.GetProtocol(), CControllerModbus::kProtocolTcp);
        EXPECT_EQ(controller.GetSlaveId(), 1);
        EXPECT_FALSE(controller.AddPollJob(log.Job("p")));
        EXPECT_FALSE(controller.AddUserJob(log.Job("u")));
        EXPECT_FALSE(controller.AddTransferJob(log.Job("t")));
        EXPECT_EQ(log.destroyed, 3); // refused jobs are deleted, nothing queued
        EXPECT_TRUE(controller.IsPollQueueEmpty() && controller.IsUserQueueEmpty() &&
                    controller.IsTransferQueueEmpty());

        // The box names the host or port and what the system said about it.
        const std::string host = "127.0.0.1:" + std::to_string(unusedLoopbackPort());
        controller.SetTcpSettings(host);
        EXPECT_FALSE(controller.Connect());
        EXPECT_EQ(controller.GetState(), kConnectFailed);
        ASSERT_EQ(ui.Boxes().size(), 1u);
        EXPECT_EQ(ui.Boxes()[0].text, "TCP/IP connection error\n" + host + ": Connection refused");
        EXPECT_EQ(ui.Boxes()[0].caption, "Modbus error");
        EXPECT_EQ(ui.Boxes()[0].icon, MbIcon::Error);
        EXPECT_EQ(ui.States(), (std::vector<int>{kNotConnected, kConnectFailed}));
        EXPECT_FALSE(controller.AddUserJob(log.Job("u")));

        // Serial settings select RTU; a port that cannot be opened fails the same way.
        controller.SetSerialSettings("/dev/quirel-no-such-port", 9600, 8, 1, "e");
        EXPECT_EQ(controller.GetProtocol(), CControllerModbus::kProtocolRtu);
        EXPECT_FALSE(controller.Connect());
        EXPECT_EQ(controller.GetState(), kConnectFailed);
        EXPECT_EQ(controller.GetPortName(), "/dev/quirel-no-such-port");
        EXPECT_EQ(ui.Boxes().back().text,
                  "Port or socket open error\n/dev/quirel-no-such-port: No such file or directory");
        EXPECT_EQ(ui.Boxes().back().caption, "Modbus error");
    }
    EXPECT_EQ(log.destroyed, 4);
}

TEST(Controller, RunsTransferJobsBeforeUserJobsBeforePollJobs) {
    Rig rig;
    JobLog log;
    ASSERT_TRUE(rig.controller.Connect());
    EXPECT_EQ(rig.ui.States().back(), kConnected);
    // Queued before the worker runs, so all three queues hold jobs when it starts.
    for (const char* name : {"p1", "u1", "t1", "p2", "u2", "t2"}) {
        auto job = log.Job(name);
        bool ok = name[0] == 'p'   ? rig.controller.AddPollJob(std::move(job))
                  : name[0] == 'u' ? rig.controller.AddUserJob(std::move(job))
                                   : rig.controller.AddTransferJob(std::move(job));
        EXPECT_TRUE(ok);
    }
    rig.controller.StartThread();
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    EXPECT_EQ(log.Names(), (std::vector<std::string>{"t1", "t2", "u1", "u2", "p1", "p2"}));
    EXPECT_EQ(log.destroyed, 6);
}

TEST(Controller, QueuesRefuseBeyondTheirCapacityAndNothingLeaksAtTheEnd) {
    JobLog log;
    {
        Rig rig;
        ASSERT_TRUE(rig.controller.Connect());
        for (int i = 0; i < 400; ++i)
            ASSERT_TRUE(rig.controller.AddPollJob(log.Job("p")));
        EXPECT_FALSE(rig.controller.AddPollJob(log.Job("p401")));
        for (int i = 0; i < 100; ++i)
            ASSERT_TRUE(rig.controller.AddUserJob(log.Job("u")));
        EXPECT_FALSE(rig.controller.AddUserJob(log.Job("u101")));
        for (int i = 0; i < 50; ++i)
            ASSERT_TRUE(rig.controller.AddTransferJob(log.Job("t")));
        EXPECT_FALSE(rig.controller.AddTransferJob(log.Job("t51")));
        EXPECT_EQ(log.destroyed, 3);
        EXPECT_TRUE(rig.device.Pdus().empty());
    }
    EXPECT_EQ(log.destroyed, 553); // the transfer queue is never cleared, but the controller's end frees it
    EXPECT_TRUE(log.Names().empty());
}

TEST(Controller, StopDropsWaitingPollAndUserJobsKeepsTransferJobsAndCanStartAgain) {
    Rig rig;
    JobLog log;
    ASSERT_TRUE(rig.controller.Connect());
    rig.controller.StartThread();
    std::promise<void> started, open;
    ASSERT_TRUE(rig.controller.AddUserJob(std::make_unique<GateJob>(&started, open.get_future().share())));
    started.get_future().wait();
    EXPECT_TRUE(rig.controller.AddPollJob(log.Job("p")));
    EXPECT_TRUE(rig.controller.AddUserJob(log.Job("u")));
    EXPECT_TRUE(rig.controller.AddTransferJob(log.Job("t")));
    rig.controller.StopThread();
    EXPECT_FALSE(rig.controller.WaitForThreadStop(50)); // the running job finishes first
    open.set_value();
    ASSERT_TRUE(rig.controller.WaitForThreadStop(5000));
    EXPECT_FALSE(rig.controller.IsThreadRunning());
    EXPECT_TRUE(log.Names().empty());
    EXPECT_EQ(log.destroyed, 2);
    EXPECT_FALSE(rig.controller.IsTransferQueueEmpty());

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
    EXPECT_TRUE(rig.controller.IsThreadRunning());
    EXPECT_EQ(log.destroyed, 23);
    EXPECT_TRUE(rig.controller.AddPollJob(log.Job("last")));
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    EXPECT_EQ(log.Names().back(), "last");
}

TEST(Controller, ReplyTimeOutInAPollJobDisconnectsDropsPollJobsKeepsUserJobsAndReportsOnce) {
    Rig rig;
    JobLog log;
    ValueDocument doc;
    ASSERT_TRUE(rig.controller.Connect());
    rig.device.silent = true;
    CParameterValue value(100, 8, 0);
    ASSERT_TRUE(rig.controller.AddPollJob(std::make_unique<CJobUpdateVisibleParameter>(&doc, 100, value)));
    ASSERT_TRUE(rig.controller.AddPollJob(log.Job("p2")));
    ASSERT_TRUE(rig.controller.AddPollJob(log.Job("p3")));
    rig.ui.Clear();
    rig.controller.StartThread();
    ASSERT_TRUE(rig.device.WaitForRequests(1));
    ASSERT_TRUE(rig.controller.AddUserJob(log.Job("u"))); // arrives while the poll job waits for its reply

    ASSERT_TRUE(rig.ui.WaitForBoxes(1));
    const auto boxes = rig.ui.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Reply time-out");
    EXPECT_EQ(boxes[0].caption, "Read parameter");
    EXPECT_EQ(boxes[0].icon, MbIcon::Error);
    EXPECT_EQ(rig.ui.States(), std::vector<int>{kNotConnected});
    EXPECT_EQ(rig.controller.GetState(), kNotConnected);
    EXPECT_EQ(rig.device.Pdus().size(), 11u); // one request and ten retries
    EXPECT_FALSE(doc.Has(100));
    EXPECT_TRUE(rig.ui.Updates().empty());
    EXPECT_TRUE(rig.controller.IsPollQueueEmpty());
    EXPECT_EQ(log.destroyed, 2); // p2 and p3, never run
    EXPECT_FALSE(rig.controller.IsUserQueueEmpty());
    EXPECT_TRUE(log.Names().empty());

    // The user job waited for the next connection.
    rig.device.silent = false;
    ASSERT_TRUE(rig.controller.Connect());
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    EXPECT_EQ(log.Names(), std::vector<std::string>{"u"});
}

TEST(Controller, AMasterThatClosedItsConnectionIsALostConnectionReportedOnce) {
    // Every attempt is answered by another unit (130); the reconnect after the eleventh is refused, which
    // leaves the master closed while the controller still counts as connected.
    Rig rig;
    JobLog log;
    ValueDocument doc;
    ASSERT_TRUE(rig.controller.Connect());
    rig.device.wrongUnit = true;
    rig.device.refuseConnectionsAt = 11;
    rig.ui.Clear();
    ASSERT_TRUE(rig.controller.AddPollJob(
        std::make_unique<CJobUpdateVisibleParameter>(&doc, 100, CParameterValue(100, 8, 0))));
    ASSERT_TRUE(rig.controller.AddPollJob(log.Job("p2")));
    rig.controller.StartThread();
    ASSERT_TRUE(rig.ui.WaitForBoxes(1));
    ASSERT_TRUE(rig.controller.WaitForIdle(5000));
    ASSERT_EQ(rig.ui.Boxes().size(), 1u);
    EXPECT_EQ(rig.ui.Boxes()[0].text, "TCP/IP connection error");
    EXPECT_EQ(rig.ui.Boxes()[0].caption, "Read parameter");
    EXPECT_EQ(rig.controller.GetState(), kNotConnected);
    EXPECT_EQ(rig.ui.States(), std::vector<int>{kNotConnected});
    EXPECT_EQ(rig.device.Pdus().size(), 11u);
    EXPECT_EQ(log.destroyed, 1); // dropped with the connection, never run
    EXPECT_FALSE(rig.controller.AddPollJob(log.Job("p3")));
}

TEST(Controller, CheckResultDisconnectsOnConnectionClassCodesOnly) {
    struct Case {
        int code;
        bool throws;
        bool disconnects;
    };
    const Case cases[] = {{0, false, false},  {131, false, false}, {65, true, true},  {68, true, true},
                          {69, true, true},   {132, true, true},   {129, true, true}, {130, true, true},
                          {161, true, false}, {1, true, false}};
    for (const Case& c : cases) {
        Rig rig;
        ASSERT_TRUE(rig.controller.Connect());
        try {
            rig.controller.CheckResult(c.code);
            EXPECT_FALSE(c.throws) << c.code;
        } catch (const CModbusException& e) {
            EXPECT_TRUE(c.throws) << c.code;
            EXPECT_EQ(e.GetCode(), c.code);
            EXPECT_EQ(e.GetMessage(), MbusMasterFunctions::getErrorText(c.code));
        }
        EXPECT_EQ(rig.controller.IsConnected(), !c.disconnects) << c.code;
    }
}

TEST(Controller, DisconnectDuringAJobsRetriesCutsTheTransferOffAndLeavesTheNextConnectionAlone) {
    Rig rig;
    ValueDocument doc;
    ASSERT_TRUE(rig.controller.Connect());
    rig.device.silent = true;
    ASSERT_TRUE(rig.controller.AddPollJob(
        std::make_unique<CJobUpdateVisibleParameter>(&doc, 100, CParameterValue(100, 8, 0))));
    rig.controller.StartThread();
    ASSERT_TRUE(rig.device.WaitForRequests(1));
    rig.ui.Clear();
    rig.controller.Disconnect();
    // Eleven attempts of a second or more each would have held the user interface as long.
    EXPECT_LT(rig.device.Pdus().size(), 11u);
    EXPECT_EQ(rig.controller.GetState(), kNotConnected);
    ASSERT_TRUE(rig.ui.WaitForBoxes(1));
    ASSERT_TRUE(rig.controller.WaitForIdle(5000));
    ASSERT_EQ(rig.ui.Boxes().size(), 1u);
    EXPECT_EQ(rig.ui.Boxes()[0].caption, "Read parameter");
    EXPECT_FALSE(doc.Has(100));
    for (int state : rig.ui.States())
        EXPECT_EQ(state, kNotConnected);

    // A job that meets its connection's failure only after the user has disconnected and connected again
    // must not take the new connection down, nor report it lost.
    rig.device.silent = false;
    ASSERT_TRUE(rig.controller.Connect());
    std::promise<void> started, open;
    std::atomic<int> code{0};
    ASSERT_TRUE(rig.controller.AddUserJob(
        std::make_unique<LateFailureJob>(&started, open.get_future().share(), &code)));
    started.get_future().wait();
    rig.controller.Disconnect(); // no acknowledgement within its wait: the job still runs
    ASSERT_TRUE(rig.controller.Connect());
    rig.ui.Clear();
    open.set_value();
    ASSERT_TRUE(rig.controller.WaitForIdle(5000));
    EXPECT_EQ(code.load(), 132); // the job still learns of its failure
    EXPECT_TRUE(rig.controller.IsConnected());
    EXPECT_TRUE(rig.ui.States().empty());
    ASSERT_TRUE(rig.controller.AddPollJob(
        std::make_unique<CJobUpdateVisibleParameter>(&doc, 100, CParameterValue(100, 8, 0))));
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    EXPECT_TRUE(doc.Has(100));
}

TEST(Controller, ExceptionReplyKeepsTheConnectionAndAnOpenBoxNeverBlocksDisconnect) {
    Rig rig;
    ValueDocument doc;
    ASSERT_TRUE(rig.controller.Connect());
    rig.controller.StartThread();
    rig.device.exceptionCode = 2;
    rig.ui.HoldBoxes(); // the user has not answered yet
    ASSERT_TRUE(rig.controller.AddPollJob(
        std::make_unique<CJobUpdateVisibleParameter>(&doc, 20, CParameterValue(20, 6, 0))));
    ASSERT_TRUE(rig.ui.WaitForBoxes(1));
    EXPECT_EQ(rig.ui.Boxes()[0].text, "Illegal Data Address exception response");
    EXPECT_EQ(rig.ui.Boxes()[0].caption, "Read parameter");
    EXPECT_TRUE(rig.controller.IsConnected());

    rig.controller.Disconnect(); // waits at most its handshake time; the master is not held by the box
    EXPECT_EQ(rig.controller.GetState(), kNotConnected);
    rig.ui.ReleaseBoxes();
    ASSERT_TRUE(rig.controller.WaitForIdle(5000));
    EXPECT_EQ(rig.ui.States().back(), kNotConnected);
}

TEST(Controller, ExitCutsOffATransferThatOverrunsTheStopBound) {
    RegisterDevice device;
    RecordingUiPort ui;
    ValueDocument doc;
    {
        CControllerModbus controller(MutableDemoCatalogue(), &ui);
        controller.SetTcpSettings(device.Host());
        ASSERT_TRUE(controller.Connect());
        device.silent = true;
        ASSERT_TRUE(controller.AddPollJob(
            std::make_unique<CJobUpdateVisibleParameter>(&doc, 100, CParameterValue(100, 8, 0))));
        controller.StartThread();
        ASSERT_TRUE(device.WaitForRequests(1));
        // Ten retries of one second each would keep the worker for eleven seconds; exit waits five.
    }
    EXPECT_LT(device.Pdus().size(), 11u);
    EXPECT_FALSE(doc.Has(100));
}
