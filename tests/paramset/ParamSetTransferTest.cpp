// Parameter-set transfers against the simulated filter: save, change, send back, and a connection lost
// in the middle of a send.
#include "paramset/ParamSetTransfer.h"
#include "paramset/ParamSetWriter.h"

#include "base/FileUtil.h"
#include "base/RecordingUiPort.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"

#include "CommTestSupport.h"
#include "SimProcess.h"
#include "TempFolder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace quirel::paramset;

namespace {

// Records the progress and, at each value a send offers, whether the transfer queue was empty then; calls
// `onProgress` with each progress text and the number of values offered so far.
class SendWatchingPort : public RecordingUiPort {
public:
    void Progress(const std::string& caption, const std::string& text, int pos, int max) override {
        RecordingUiPort::Progress(caption, text, pos, max);
        const std::string prefix = "Sending to the device: ";
        if (text.rfind(prefix, 0) == 0) {
            sent.push_back(text.substr(prefix.size(), text.rfind(" (") - prefix.size()));
            queueBusy += controller && !controller->IsTransferQueueEmpty();
        }
        if (onProgress)
            onProgress(text, sent.size());
    }
    CControllerModbus* controller = nullptr;
    std::function<void(const std::string&, size_t)> onProgress;
    std::vector<std::string> sent;
    int queueBusy = 0;
};

struct Device {
    explicit Device(const std::string& host) {
        controller.SetTcpSettings(host);
        controller.StartThread();
        ui.controller = &controller;
        doc.OnNewDocument();
    }
    // No job may outlive the document it writes into.
    ~Device() {
        controller.Disconnect();
        controller.StopThread();
        controller.WaitForThreadStop();
    }
    PARAMVALUE Read(int32_t id) {
        controller.AddPollJob(std::make_unique<CJobUpdateVisibleParameter>(&doc, id, doc.GetValue(id)));
        controller.WaitForIdle(10000);
        return doc.GetValue(id).GetValue();
    }
    void Write(int32_t id, uint32_t raw) {
        const auto type = static_cast<uint32_t>(catalogue.GetDataType(id));
        controller.AddUserJob(std::make_unique<CJobWriteParameter>(CParameterValue(id, type, raw)));
        controller.WaitForIdle(10000);
    }

    CParameterManager& catalogue = *quirel::test::MutableDemoCatalogue();
    SendWatchingPort ui;
    CControllerModbus controller{&catalogue, &ui};
    CDocParameters doc{catalogue, controller};
};

} // namespace

TEST(ParamSetTransfer, SavesAndSendsBackInFileOrderOneJobAtATime) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.ready());
    Device device(sim.tcpHost());
    ASSERT_TRUE(device.controller.Connect());
    const TempFolder folder;
    const std::string path = folder.File("saved.btp");
    // A file that is overwritten keeps nothing of what it held.
    ASSERT_TRUE(quirel::writeFileAtomically(path, "[Commissioning]\r\nParam4999=310=1\r\n"));

    CParamSetTransfer transfer(device.doc, device.ui);
    int unread = -1;
    ASSERT_EQ(transfer.ReadAndSave(path, &unread), TransferResult::Done);
    EXPECT_EQ(unread, 0);
    EXPECT_TRUE(device.ui.Boxes().empty());
    auto steps = device.ui.ProgressSteps();
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps.front().pos, 2);
    // The progress follows the values read, up to the last, and never goes back.
    EXPECT_EQ(steps[steps.size() - 2].text, "Reading from the device: 51 of 51 values");
    EXPECT_EQ(steps[steps.size() - 2].pos, 95);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end(), [](auto& a, auto& b) { return a.pos < b.pos; }));
    EXPECT_EQ(steps.back().pos, 100);
    EXPECT_EQ(device.ui.ProgressEnds(), 1);

    CParamSetFile file;
    ASSERT_TRUE(file.Load(path));
    const auto commissioning = file.Entries(kCommissioning);
    EXPECT_EQ((std::vector{commissioning.size(), file.Entries(kDeviceData).size(),
                           file.Entries(kMeasuredValues).size()}),
              (std::vector<size_t>{38, 10, 3}));
    for (const ParamSetEntry& e : commissioning)
        EXPECT_EQ(std::to_string(e.number) + "=" + e.stored,
                  FormatEntryValue(device.catalogue.GetDescription(e.number), device.Read(e.number)));

    const PARAMVALUE ct = device.Read(310), position = device.Read(300);
    device.Write(310, ct.raw + 5);
    device.Write(300, position.raw == 0 ? 1 : 0);
    device.Write(401, 0x3F000000); // 0.5
    ASSERT_NE(device.Read(310), ct);

    SendList list = BuildSendList(file, device.catalogue, quirel::kLanguageEnglish);
    ASSERT_EQ(list.items.size(), 36u);
    // An entry marked as an error is not sent: the device keeps the 0.5 written above.
    for (SendItem& item : list.items)
        item.marked |= item.number == 401;
    device.ui.Clear();
    ASSERT_EQ(transfer.Send(list), TransferResult::Done);
    EXPECT_TRUE(device.ui.Boxes().empty());
    EXPECT_EQ(NotSentReport(list, quirel::kLanguageEnglish).rfind("Parameter:401 (", 0), 0u);
    std::vector<std::string> order;
    for (const SendItem& item : list.items)
        order.push_back(std::to_string(item.number) + " " + item.name);
    EXPECT_EQ(device.ui.sent, order);
    EXPECT_EQ(device.ui.queueBusy, 0);
    steps = device.ui.ProgressSteps();
    EXPECT_EQ(steps[steps.size() - 2].pos, 97); // the last of 36 values
    EXPECT_EQ(steps[steps.size() - 2].text, "Sending to the device: 525 Self-test time (36 of 36 values)");
    EXPECT_EQ(device.Read(310), ct);
    EXPECT_EQ(device.Read(300), position);
    EXPECT_EQ(device.Read(401).raw, 0x3F000000u);
}

TEST(ParamSetTransfer, ALostConnectionEndsTheSendWithAMessage) {
    auto sim = std::make_unique<SimProcess>(std::vector<std::string>{"--tcp", "0"});
    ASSERT_TRUE(sim->ready());
    Device device(sim->tcpHost());
    ASSERT_TRUE(device.controller.Connect());
    CParamSetFile file;
    file.Parse("[Commissioning]\r\nParam0=310=700\r\nParam1=311=1;5 A\r\nParam2=205=3\r\nParam3=230=1\r\n"
               "Param4=411=100\r\nParam5=520=360\r\nParam6=521=440\r\n");
    SendList list = BuildSendList(file, device.catalogue, quirel::kLanguageEnglish);
    ASSERT_EQ(list.items.size(), 7u);
    // The device goes away once three values are written.
    device.ui.onProgress = [&](const std::string&, size_t sent) {
        if (sent == 4)
            sim->terminate();
    };
    CParamSetTransfer transfer(device.doc, device.ui);
    EXPECT_EQ(transfer.Send(list), TransferResult::ConnectionLost);
    EXPECT_FALSE(device.controller.IsConnected());
    for (size_t i = 0; i < list.items.size(); ++i)
        EXPECT_EQ(list.items[i].WasSent(), i < 3) << i;
    EXPECT_LE(device.ui.sent.size(), 5u); // nothing is offered once the loss is seen
    ASSERT_FALSE(device.ui.Boxes().empty());
    EXPECT_EQ(device.ui.Boxes().back().text,
              "The connection to the device was lost. The parameter set was sent only in part.");
    EXPECT_EQ(device.ui.ProgressEnds(), 1);
    EXPECT_NE(
        NotSentReport(list, quirel::kLanguageEnglish).find("Parameter:521 (Overvoltage limit) was NOT SENT!"),
        std::string::npos);
}

// A value the device does not deliver is saved as "-error-", never as the value an earlier read left; a
// connection lost while reading writes no file.
TEST(ParamSetTransfer, UnreadValuesAndALostConnectionWhileReading) {
    auto sim = std::make_unique<SimProcess>(std::vector<std::string>{"--tcp", "0", "--exception", "2:3101"});
    ASSERT_TRUE(sim->ready());
    Device device(sim->tcpHost());
    ASSERT_TRUE(device.controller.Connect());
    device.doc.SetValue(310, PARAMVALUE(6, 750)); // as if read before
    const TempFolder folder;
    const std::string path = folder.File("unread.btp");
    CParamSetTransfer transfer(device.doc, device.ui);
    int unread = 0;
    ASSERT_EQ(transfer.ReadAndSave(path, &unread), TransferResult::Done);
    EXPECT_EQ(unread, 1);
    ASSERT_EQ(device.ui.Boxes().size(), 1u);
    EXPECT_EQ(device.ui.Boxes()[0].caption, "Read parameter");
    CParamSetFile file;
    ASSERT_TRUE(file.Load(path));
    const auto entries = file.Entries(kCommissioning);
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                            [](const ParamSetEntry& e) { return e.number == 310 && e.stored == "-error-"; }));

    // A target that cannot be written is refused before the device is asked for anything.
    const uint64_t jobs = device.controller.JobsRun();
    device.ui.Clear();
    EXPECT_EQ(transfer.ReadAndSave(folder.path()), TransferResult::FileNotWritten);
    EXPECT_EQ(device.controller.JobsRun(), jobs);
    EXPECT_TRUE(device.ui.ProgressSteps().empty());

    device.ui.Clear();
    device.ui.onProgress = [&](const std::string& text, size_t) {
        int read = 0;
        if (std::sscanf(text.c_str(), "Reading from the device: %d of", &read) == 1 && read > 20)
            sim->terminate();
    };
    EXPECT_EQ(transfer.ReadAndSave(folder.File("lost.btp")), TransferResult::ConnectionLost);
    EXPECT_FALSE(std::filesystem::exists(folder.File("lost.btp")));
    ASSERT_FALSE(device.ui.Boxes().empty());
    EXPECT_EQ(device.ui.Boxes().back().text,
              "The connection to the device was lost. The parameter set was not saved.");
}

// A write whose reply the master cannot use is not counted as sent.
TEST(ParamSetTransfer, AGarbledWriteReplyIsNotSent) {
    quirel::test::RegisterDevice peer;
    peer.badWriteEcho = true;
    Device device(peer.Host());
    ASSERT_TRUE(device.controller.Connect());
    CParamSetFile file;
    file.Parse("[Commissioning]\r\nParam0=310=700\r\n");
    SendList list = BuildSendList(file, device.catalogue, quirel::kLanguageEnglish);
    ASSERT_EQ(CParamSetTransfer(device.doc, device.ui).Send(list), TransferResult::Done);
    EXPECT_EQ(list.items[0].state, SendItem::State::Failed);
    ASSERT_FALSE(device.ui.Boxes().empty());
    EXPECT_EQ(device.ui.Boxes()[0].text, "Invalid reply error");
}
