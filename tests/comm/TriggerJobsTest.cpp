// The trigger and trace jobs against a scripted register device: the requests byte by byte, in order,
// and what the document and the user are told.
#include "CommTestSupport.h"
#include "base/RecordingUiPort.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobCancelTrigger.h"
#include "comm/JobQueryTrigger.h"
#include "comm/JobReadTraces.h"
#include "comm/JobReadTrigger.h"
#include "comm/JobWriteTrigger.h"
#include "measurement/DocMeasurementSingle.h"

#include <gtest/gtest.h>

using namespace quirel::test;

namespace {

struct Rig {
    RegisterDevice device;
    RecordingUiPort ui;
    CControllerModbus controller{MutableDemoCatalogue(), &ui};
    CDocMeasurementSingle doc{&DemoCatalogue(), &ui};
    explicit Rig(std::vector<uint32_t> channels = {180, 120}) {
        controller.SetTcpSettings(device.Host());
        EXPECT_TRUE(controller.Connect());
        CTrigger trigger;
        trigger.Set(100, 1, 4, 180, 8, 0x3FC00000); // 1.5 on the instantaneous mains current
        doc.OnNewDocument();
        doc.InitMeasurement(trigger, channels, CMeasStart());
        doc.SetRunning(true);
        ui.Clear();
    }
    // Execute runs on this thread, as the worker would run it.
    template <class Job> void Run() { Job(&doc).Execute(controller); }
    // A 32-bit value in two registers, low word first.
    void Set32(int reference, uint32_t v) {
        device.Set(reference, static_cast<uint16_t>(v));
        device.Set(reference + 1, static_cast<uint16_t>(v >> 16));
    }
    std::vector<int64_t> Hints() const {
        std::vector<int64_t> hints;
        for (const auto& u : ui.Updates())
            hints.push_back(u.hint);
        return hints;
    }
};

// Function 16 writing `values` from the 1-based reference.
Bytes Write(int reference, std::vector<uint16_t> values) {
    const int a = reference - 1;
    Bytes pdu{16, static_cast<uint8_t>(a >> 8),        static_cast<uint8_t>(a),
              0,  static_cast<uint8_t>(values.size()), static_cast<uint8_t>(2 * values.size())};
    for (uint16_t v : values) {
        pdu.push_back(static_cast<uint8_t>(v >> 8));
        pdu.push_back(static_cast<uint8_t>(v));
    }
    return pdu;
}

Bytes Read(int reference, int registers) {
    const int a = reference - 1;
    return {3, static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a), 0, static_cast<uint8_t>(registers)};
}

} // namespace

TEST(TriggerJobs, ArmingTwoChannelsIsNineWritesInRegisterOrder) {
    Rig rig;
    rig.Run<CJobWriteTrigger>();
    const std::vector<Bytes> expected = {
        Write(60000, {180}), Write(60001, {0x0000, 0x3FC0}),
        Write(60003, {1}),   Write(60004, {100}),
        Write(60005, {4}),   Write(60006, {2}),
        Write(60010, {180}), Write(60011, {120}),
        Write(60030, {1}),
    };
    EXPECT_EQ(rig.device.Pdus(), expected);
    EXPECT_TRUE(rig.ui.Updates().empty());
    EXPECT_TRUE(rig.doc.IsRunning());
}

TEST(TriggerJobs, AFailedOrRefusedArmingStopsTheMeasurement) {
    {
        Rig rig;
        rig.device.onRequest = [](const Bytes& pdu) { return pdu == Write(60005, {4}) ? 3 : 0; };
        rig.Run<CJobWriteTrigger>();
        EXPECT_EQ(rig.device.Pdus().size(), 5u); // the writes before the refusal stay
        EXPECT_FALSE(rig.doc.IsRunning());
        ASSERT_EQ(rig.ui.Boxes().size(), 1u);
        EXPECT_EQ(rig.ui.Boxes()[0].caption, "Write trigger");
        EXPECT_EQ(rig.ui.Boxes()[0].text, "Illegal Data Value exception response");
        EXPECT_EQ(rig.Hints(), std::vector<int64_t>{UpdateHint::kRunning});
    }
    // A channel the catalogue does not know is found before anything is written; more than ten channels
    // would run into the trigger control register.
    for (const auto& channels : {std::vector<uint32_t>{180, 4711}, std::vector<uint32_t>(11, 180)}) {
        Rig rig(channels);
        rig.Run<CJobWriteTrigger>();
        EXPECT_TRUE(rig.device.Pdus().empty());
        EXPECT_FALSE(rig.doc.IsRunning());
        ASSERT_EQ(rig.ui.Boxes().size(), 1u);
        EXPECT_EQ(rig.ui.Boxes()[0].text,
                  channels.size() == 2 ? "Parameter not found: 4711" : "Illegal argument error");
    }
}

TEST(TriggerJobs, QueryCancelAndReadTriggerTellTheDocument) {
    Rig rig;
    rig.device.Set(60030, 2);
    rig.Run<CJobQueryTrigger>();
    EXPECT_EQ(rig.device.Pdus(), std::vector<Bytes>{Read(60030, 1)});
    EXPECT_EQ(rig.doc.GetTriggerState(), 2u);
    EXPECT_EQ(rig.Hints(), std::vector<int64_t>{UpdateHint::kTriggerState});

    // A garbled reply is no state: the polling goes on with the state known before.
    rig.ui.Clear();
    rig.device.badByteCount = true;
    rig.Run<CJobQueryTrigger>();
    rig.device.badByteCount = false;
    EXPECT_EQ(rig.doc.GetTriggerState(), 2u);
    EXPECT_TRUE(rig.ui.Updates().empty());
    EXPECT_TRUE(rig.ui.Boxes().empty());

    rig.Run<CJobCancelTrigger>();
    EXPECT_EQ(rig.device.Pdus().back(), Write(60030, {0}));
    EXPECT_EQ(rig.doc.GetTriggerState(), 0u);
    EXPECT_EQ(rig.Hints(), std::vector<int64_t>{UpdateHint::kDataChanged});

    // The device's settings: a delay register of 0xFFF6 is -10; the level keeps its raw bits and is
    // labelled with the trigger channel's own type (150: 16-bit signed).
    rig.device.Set(60000, 150);
    rig.Set32(60001, 0xFFFFFFE2);
    rig.device.Set(60003, 1);
    rig.device.Set(60004, 0xFFF6);
    rig.device.Set(60005, 8);
    const size_t before = rig.device.Pdus().size();
    rig.ui.Clear();
    rig.Run<CJobReadTrigger>();
    const auto pdus = rig.device.Pdus();
    EXPECT_EQ(
        std::vector<Bytes>(pdus.begin() + static_cast<long>(before), pdus.end()),
        (std::vector<Bytes>{Read(60000, 1), Read(60001, 2), Read(60003, 1), Read(60004, 1), Read(60005, 1)}));
    const CTrigger t = rig.doc.GetTrigger();
    EXPECT_EQ(t.GetDelay(), -10);
    EXPECT_EQ(t.GetMode(), 1u);
    EXPECT_EQ(t.GetDivider(), 8u);
    EXPECT_EQ(t.GetParameterId(), 150u);
    EXPECT_EQ(t.GetLevel().GetValue(), PARAMVALUE(2, 0xFFFFFFE2));
    EXPECT_TRUE(rig.ui.Updates().empty());

    // Failures: the job's caption; the query and the read stop the measurement, the cancel does not
    // change the state.
    rig.device.exceptionCode = 2;
    const char* const captions[] = {"Query trigger state", "Read trigger", "Cancel trigger"};
    for (int job = 0; job < 3; ++job) {
        rig.doc.SetRunning(true);
        rig.doc.SetTriggerState(1);
        rig.ui.Clear();
        if (job == 0)
            rig.Run<CJobQueryTrigger>();
        else if (job == 1)
            rig.Run<CJobReadTrigger>();
        else
            rig.Run<CJobCancelTrigger>();
        ASSERT_EQ(rig.ui.Boxes().size(), 1u);
        EXPECT_EQ(rig.ui.Boxes()[0].caption, captions[job]);
        EXPECT_EQ(rig.ui.Boxes()[0].icon, MbIcon::Error);
        EXPECT_EQ(rig.doc.IsRunning(), job == 2);
        EXPECT_EQ(rig.doc.GetTriggerState(), 1u);
    }
}

TEST(TriggerJobs, AJobQueuedForARunThatHasEndedTouchesNothing) {
    // The device has a capture ready with another trigger; the run ends by a cancel or by a file opened
    // before the queued job runs. Only the cancel still reaches the device: it alone disarms it.
    CDocMeasurementSingle file(&DemoCatalogue(), nullptr);
    CTrigger trigger;
    trigger.Set(100, 0, 5, 180, 8, 0);
    file.InitMeasurement(trigger, {180}, CMeasStart());
    file.AddValue(0, PARAMVALUE(8, 0x3F800000));
    file.SetTriggerState(2);
    for (int job = 0; job < 5; ++job) {
        for (bool opened : {false, true}) {
            SCOPED_TRACE(std::to_string(job) + (opened ? ", file opened" : ", cancelled"));
            Rig rig;
            rig.Set32(10000, 2);
            rig.device.Set(60005, 12);
            rig.device.Set(60030, 3);
            const std::unique_ptr<CJobAbstract> queued[] = {
                std::make_unique<CJobWriteTrigger>(&rig.doc), std::make_unique<CJobQueryTrigger>(&rig.doc),
                std::make_unique<CJobReadTrigger>(&rig.doc), std::make_unique<CJobReadTraces>(&rig.doc),
                std::make_unique<CJobCancelTrigger>(&rig.doc)};
            if (opened) {
                rig.doc.Deserialize(file.Serialize());
            } else {
                rig.doc.NewRun();
                rig.doc.SetRunning(false);
            }
            rig.ui.Clear();
            const std::string before = rig.doc.Serialize();
            queued[job]->Execute(rig.controller);
            EXPECT_EQ(rig.doc.Serialize(), before);
            EXPECT_EQ(rig.device.Pdus(),
                      job == 4 ? std::vector<Bytes>{Write(60030, {0})} : std::vector<Bytes>{});
            EXPECT_TRUE(rig.ui.Updates().empty());
            EXPECT_TRUE(rig.ui.Boxes().empty());
        }
    }
}

TEST(TriggerJobs, TracesAreReadInBlocksOf62AndTheTriggerIsReset) {
    // Channel 0: heat sink temperature (type 2) with 125 values; channel 1 a float channel with none;
    // channel 2 the device state (type 6), read as 32-bit values.
    Rig rig({150, 180, 20});
    rig.Set32(10000, 125);
    for (uint32_t k = 0; k < 125; ++k)
        rig.Set32(10002 + 2 * static_cast<int>(k), k == 0 ? 0xFFFFFFFF : k);
    rig.Set32(20000, 1);
    rig.Set32(20002, 0x00012345);
    rig.doc.AddValue(1, PARAMVALUE(8, 0)); // an old value goes
    rig.doc.SetTriggerState(3);
    rig.ui.Clear();
    rig.Run<CJobReadTraces>();

    const std::vector<Bytes> expected = {Read(10000, 2), Read(10002, 124), Read(10126, 124),
                                         Read(10250, 2), Read(15000, 2),   Read(20000, 2),
                                         Read(20002, 2), Write(60030, {0})};
    EXPECT_EQ(rig.device.Pdus(), expected);
    ASSERT_EQ(rig.doc.GetValueCount(0), 125u);
    EXPECT_EQ(rig.doc.GetCell(0, 0), PARAMVALUE(2, 0xFFFFFFFF));
    EXPECT_EQ(rig.doc.GetValue(0, 0), -1.0);
    EXPECT_EQ(rig.doc.GetValue(0, 124), 124.0);
    EXPECT_EQ(rig.doc.GetValueCount(1), 0u);
    ASSERT_EQ(rig.doc.GetValueCount(2), 1u);
    EXPECT_EQ(rig.doc.GetCell(2, 0), PARAMVALUE(6, 0x00012345));
    EXPECT_EQ(rig.doc.GetTriggerState(), 0u);
    EXPECT_FALSE(rig.doc.IsRunning());
    EXPECT_EQ(rig.Hints(), (std::vector<int64_t>{UpdateHint::kRunning, UpdateHint::kDataChanged}));
    EXPECT_TRUE(rig.ui.Boxes().empty());
}

TEST(TriggerJobs, ACountBeyondTheChannelsRegisterBlockReadsOnlyWhatTheBlockHolds) {
    Rig rig({180});
    rig.Set32(10000, 3000); // the next channel's registers begin 2499 values on
    rig.Run<CJobReadTraces>();
    const auto pdus = rig.device.Pdus();
    ASSERT_EQ(pdus.size(), 1u + 41u + 1u);
    EXPECT_EQ(pdus[41], Read(14962, 38));
    EXPECT_EQ(rig.doc.GetValueCount(0), 2499u);
}

TEST(TriggerJobs, AStopDuringTheTraceReadFinishesTheBlockCountsTheRestAndResets) {
    Rig rig({180, 120, 130});
    for (int c = 0; c < 3; ++c)
        rig.Set32(10000 + 5000 * c, 200);
    // The user stops while the second block of channel 0 is on its way.
    rig.device.onRequest = [&](const Bytes& pdu) {
        if (pdu == Read(10126, 124))
            rig.doc.SetRunning(false);
        return 0;
    };
    rig.Run<CJobReadTraces>();
    const std::vector<Bytes> expected = {Read(10000, 2), Read(10002, 124), Read(10126, 124),
                                         Read(15000, 2), Read(20000, 2),   Write(60030, {0})};
    EXPECT_EQ(rig.device.Pdus(), expected);
    EXPECT_EQ(rig.doc.GetValueCount(0), 124u);
    EXPECT_EQ(rig.doc.GetValueCount(1), 0u);
    EXPECT_EQ(rig.doc.GetTriggerState(), 0u);
}

TEST(TriggerJobs, TraceReadFailuresEndTheJobWithoutReset) {
    // A count that cannot be read is told twice, the second time in the plain box; nothing more is sent.
    {
        Rig rig;
        rig.device.onRequest = [](const Bytes& pdu) { return pdu == Read(15000, 2) ? 2 : 0; };
        rig.doc.SetTriggerState(3);
        rig.Run<CJobReadTraces>();
        EXPECT_EQ(rig.device.Pdus(), (std::vector<Bytes>{Read(10000, 2), Read(15000, 2)}));
        const auto boxes = rig.ui.Boxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].caption, "Number of trace values");
        EXPECT_EQ(boxes[0].text, "Illegal Data Address exception response");
        EXPECT_EQ(boxes[1].caption, "");
        EXPECT_EQ(boxes[1].text, boxes[0].text);
        EXPECT_TRUE(rig.doc.IsRunning());
        EXPECT_EQ(rig.doc.GetTriggerState(), 3u);
    }
    // A block: the range of the values it held, in the language of the run.
    for (int language : {quirel::kLanguageEnglish, quirel::kLanguageGerman}) {
        quirel::setUiLanguage(language);
        Rig rig;
        rig.Set32(10000, 100);
        rig.device.onRequest = [](const Bytes& pdu) { return pdu == Read(10126, 76) ? 2 : 0; };
        rig.Run<CJobReadTraces>();
        quirel::setUiLanguage(quirel::kLanguageEnglish);
        EXPECT_EQ(rig.device.Pdus().back(), Read(10126, 76));
        ASSERT_EQ(rig.ui.Boxes().size(), 1u);
        const auto box = rig.ui.Boxes()[0];
        if (language == quirel::kLanguageEnglish) {
            EXPECT_EQ(box.caption, "Read trace values");
            EXPECT_EQ(box.text, "Illegal Data Address exception response\nError reading values 62 - 100");
        } else {
            EXPECT_EQ(box.caption, "Tracewerte lesen");
            EXPECT_EQ(box.text.substr(box.text.find('\n')), "\nFehler beim Lesen der Werte  62 - 100");
        }
        EXPECT_EQ(rig.doc.GetValueCount(0), 62u);
        EXPECT_TRUE(rig.doc.IsRunning());
    }
    // A garbled count or block is an error too, never values the device did not send.
    for (const auto& [garbled, caption] : {std::pair{Read(10000, 2), "Number of trace values"},
                                           std::pair{Read(10002, 20), "Read trace values"}}) {
        Rig rig;
        rig.Set32(10000, 10);
        rig.device.onRequest = [&](const Bytes& pdu) {
            rig.device.badByteCount = pdu == garbled;
            return 0;
        };
        rig.Run<CJobReadTraces>();
        ASSERT_FALSE(rig.ui.Boxes().empty());
        EXPECT_EQ(rig.ui.Boxes()[0].caption, caption);
        EXPECT_EQ(rig.doc.GetValueCount(0), 0u);
    }
    // The final reset: the state and the running flag stay.
    {
        Rig rig;
        rig.device.onRequest = [](const Bytes& pdu) { return pdu == Write(60030, {0}) ? 4 : 0; };
        rig.doc.SetTriggerState(3);
        rig.Run<CJobReadTraces>();
        ASSERT_EQ(rig.ui.Boxes().size(), 1u);
        EXPECT_EQ(rig.ui.Boxes()[0].caption, "Clear trigger");
        EXPECT_TRUE(rig.doc.IsRunning());
        EXPECT_EQ(rig.doc.GetTriggerState(), 3u);
    }
}
