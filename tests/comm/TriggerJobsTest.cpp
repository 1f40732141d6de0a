// The trigger and trace jobs against a scripted register device: the requests byte by byte, in order,
// and what the document and the user are told.
#include "CommTestSupport.h"
#include "base/StringTable.h"
#include "comm/JobCancelTrigger.h"
#include "comm/JobQueryTrigger.h"
#include "comm/JobReadTraces.h"
#include "comm/JobReadTrigger.h"
#include "comm/JobWriteTrigger.h"
#include "measurement/DocMeasurementSingle.h"

#include <gtest/gtest.h>

using namespace quirel::test;

namespace {

// A running single measurement armed at 1.5 on the instantaneous mains current.
struct TriggerRig : Rig {
    CDocMeasurementSingle doc{&DemoCatalogue(), &ui};
    explicit TriggerRig(std::vector<uint32_t> channels = {180, 120}) {
        CTrigger trigger;
        trigger.Set(100, 1, 4, 180, 8, 0x3FC00000);
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
};

// Function 16 writing `values` from the 1-based reference.
Bytes Write(int reference, std::vector<uint16_t> values) {
    const int a = reference - 1;
    Bytes pdu{16, static_cast<uint8_t>(a >> 8),        static_cast<uint8_t>(a),
              0,  static_cast<uint8_t>(values.size()), static_cast<uint8_t>(2 * values.size())};
    for (uint16_t v : values)
        pdu.insert(pdu.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
    return pdu;
}

Bytes Read(int reference, int registers) {
    const int a = reference - 1;
    return {3, static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a), 0, static_cast<uint8_t>(registers)};
}

} // namespace

TEST(TriggerJobs, ArmingIsNineWritesInRegisterOrderAndAFailureStopsTheMeasurement) {
    TriggerRig armed;
    armed.Run<CJobWriteTrigger>();
    EXPECT_EQ(armed.device.Pdus(),
              (std::vector<Bytes>{Write(60000, {180}), Write(60001, {0x0000, 0x3FC0}), Write(60003, {1}),
                                  Write(60004, {100}), Write(60005, {4}), Write(60006, {2}),
                                  Write(60010, {180}), Write(60011, {120}), Write(60030, {1})}));
    EXPECT_TRUE(armed.ui.Updates().empty() && armed.ui.Boxes().empty());
    EXPECT_TRUE(armed.doc.IsRunning());

    // A refusal keeps the writes before it; a channel the catalogue does not know is found before anything
    // is written; more than ten channels would run into the trigger control register.
    struct Case {
        std::vector<uint32_t> channels;
        size_t written;
        const char* text;
    };
    for (const Case& c : {Case{{180, 120}, 5, "Illegal Data Value exception response"},
                          Case{{180, 4711}, 0, "Parameter not found: 4711"},
                          Case{std::vector<uint32_t>(11, 180), 0, "Illegal argument error"}}) {
        TriggerRig rig(c.channels);
        rig.device.onRequest = [](const Bytes& pdu) { return pdu == Write(60005, {4}) ? 3 : 0; };
        rig.Run<CJobWriteTrigger>();
        EXPECT_EQ(rig.device.Pdus().size(), c.written) << c.text;
        EXPECT_FALSE(rig.doc.IsRunning());
        EXPECT_EQ(Shown(rig.ui), std::vector<std::string>{std::string("Write trigger: ") + c.text});
        EXPECT_EQ(Hints(rig.ui), std::vector<int64_t>{UpdateHint::kRunning});
    }
}

TEST(TriggerJobs, QueryCancelAndReadTriggerTellTheDocument) {
    TriggerRig rig;
    rig.device.Set(60030, 2);
    rig.Run<CJobQueryTrigger>();
    EXPECT_EQ(rig.doc.GetTriggerState(), 2u);
    EXPECT_EQ(Hints(rig.ui), std::vector<int64_t>{UpdateHint::kTriggerState});
    // A garbled reply is no state: the polling goes on with the state known before.
    rig.ui.Clear();
    rig.device.badByteCount = true;
    rig.Run<CJobQueryTrigger>();
    rig.device.badByteCount = false;
    EXPECT_EQ(rig.doc.GetTriggerState(), 2u);
    EXPECT_TRUE(rig.ui.Updates().empty() && rig.ui.Boxes().empty());

    rig.Run<CJobCancelTrigger>();
    EXPECT_EQ(rig.doc.GetTriggerState(), 0u);
    EXPECT_EQ(Hints(rig.ui), std::vector<int64_t>{UpdateHint::kDataChanged});

    // The device's settings: a delay register of 0xFFF6 is -10; the level keeps its raw bits and is
    // labelled with the trigger channel's own type (150: 16-bit signed).
    rig.device.Set(60000, 150);
    rig.Set32(60001, 0xFFFFFFE2);
    rig.device.Set(60003, 1);
    rig.device.Set(60004, 0xFFF6);
    rig.device.Set(60005, 8);
    rig.ui.Clear();
    rig.Run<CJobReadTrigger>();
    EXPECT_EQ(rig.device.Pdus(),
              (std::vector<Bytes>{Read(60030, 1), Read(60030, 1), Write(60030, {0}), Read(60000, 1),
                                  Read(60001, 2), Read(60003, 1), Read(60004, 1), Read(60005, 1)}));
    CTrigger expected;
    expected.Set(-10, 1, 8, 150, 2, 0xFFFFFFE2);
    EXPECT_EQ(rig.doc.GetTrigger(), expected);
    EXPECT_TRUE(rig.ui.Updates().empty());

    // Failures: the job's caption; the query and the read stop the measurement, the cancel does not
    // change the state.
    rig.device.onRequest = [](const Bytes&) { return 2; };
    const std::tuple<void (TriggerRig::*)(), const char*, bool> jobs[] = {
        {&TriggerRig::Run<CJobQueryTrigger>, "Query trigger state", true},
        {&TriggerRig::Run<CJobReadTrigger>, "Read trigger", true},
        {&TriggerRig::Run<CJobCancelTrigger>, "Cancel trigger", false}};
    for (const auto& [run, caption, stops] : jobs) {
        rig.doc.SetRunning(true);
        rig.doc.SetTriggerState(1);
        rig.ui.Clear();
        (rig.*run)();
        EXPECT_EQ(Shown(rig.ui), std::vector<std::string>{
                                     caption + std::string(": Illegal Data Address exception response")});
        EXPECT_EQ(rig.doc.IsRunning(), !stops);
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
            TriggerRig rig;
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

TEST(TriggerJobs, TracesAreReadInBlocksOf62UpToTheChannelsBlockAndTheTriggerIsReset) {
    // Channel 0: heat sink temperature (type 2) with 125 values; channel 1 a float channel with none;
    // channel 2 the device state (type 6), read as 32-bit values; channel 3 a count beyond its register
    // block, which ends 2499 values on.
    TriggerRig rig({150, 180, 20, 120});
    rig.Set32(10000, 125);
    for (uint32_t k = 0; k < 125; ++k)
        rig.Set32(10002 + 2 * static_cast<int>(k), k == 0 ? 0xFFFFFFFF : k);
    rig.Set32(20000, 1);
    rig.Set32(20002, 0x00012345);
    rig.Set32(25000, 3000);
    rig.doc.AddValue(1, PARAMVALUE(8, 0)); // an old value goes
    rig.doc.SetTriggerState(3);
    rig.ui.Clear();
    rig.Run<CJobReadTraces>();

    const auto pdus = rig.device.Pdus();
    ASSERT_EQ(pdus.size(), 8u + 41u + 1u);
    const std::vector<Bytes> expected = {Read(10000, 2), Read(10002, 124), Read(10126, 124), Read(10250, 2),
                                         Read(15000, 2), Read(20000, 2),   Read(20002, 2),   Read(25000, 2)};
    EXPECT_EQ(std::vector<Bytes>(pdus.begin(), pdus.begin() + 8), expected);
    EXPECT_EQ(pdus[8 + 40], Read(29962, 38));
    EXPECT_EQ(pdus.back(), Write(60030, {0}));
    ASSERT_EQ(rig.doc.GetValueCount(0), 125u);
    EXPECT_EQ(rig.doc.GetCell(0, 0), PARAMVALUE(2, 0xFFFFFFFF));
    EXPECT_EQ(rig.doc.GetValue(0, 0), -1.0);
    EXPECT_EQ(rig.doc.GetValue(0, 124), 124.0);
    EXPECT_EQ(rig.doc.GetValueCount(1), 0u);
    ASSERT_EQ(rig.doc.GetValueCount(2), 1u);
    EXPECT_EQ(rig.doc.GetCell(2, 0), PARAMVALUE(6, 0x00012345));
    EXPECT_EQ(rig.doc.GetValueCount(3), 2499u);
    EXPECT_EQ(rig.doc.GetTriggerState(), 0u);
    EXPECT_FALSE(rig.doc.IsRunning());
    EXPECT_EQ(Hints(rig.ui), (std::vector<int64_t>{UpdateHint::kRunning, UpdateHint::kDataChanged}));
    EXPECT_TRUE(rig.ui.Boxes().empty());
}

TEST(TriggerJobs, AStopDuringTheTraceReadFinishesTheBlockCountsTheRestAndResets) {
    TriggerRig rig({180, 120, 130});
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
    // The request that fails (an exception, or a garbled reply: never values the device did not send), the
    // caption it is told with and the values kept. A count is told twice, the second time in the plain box,
    // and nothing more is sent; a block tells the range of its values; a failed final reset leaves the
    // state and the running flag.
    struct Case {
        Bytes failing;
        bool garbled;
        const char* caption;
        size_t kept;
        std::string text;
    };
    const std::string address = "Illegal Data Address exception response", garbled = "Invalid reply error";
    const Case cases[] = {
        {Read(15000, 2), false, "Number of trace values", 100, address},
        {Read(10000, 2), true, "Number of trace values", 0, garbled},
        {Read(10126, 76), false, "Read trace values", 62, address + "\nError reading values 62 - 100"},
        {Read(10002, 124), true, "Read trace values", 0, garbled + "\nError reading values 0 - 62"},
        {Write(60030, {0}), false, "Clear trigger", 100, address}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        TriggerRig rig;
        rig.Set32(10000, 100);
        rig.device.onRequest = [&](const Bytes& pdu) {
            rig.device.badByteCount = c.garbled && pdu == c.failing;
            return !c.garbled && pdu == c.failing ? 2 : 0;
        };
        rig.doc.SetTriggerState(3);
        rig.Run<CJobReadTraces>();
        EXPECT_EQ(rig.device.Pdus().back(), c.failing);
        std::vector<std::string> told{c.caption + (": " + c.text)};
        if (c.caption == std::string("Number of trace values"))
            told.push_back(": " + c.text); // told twice, the second time in the plain box
        EXPECT_EQ(Shown(rig.ui), told);
        EXPECT_EQ(rig.doc.GetValueCount(0), c.kept);
        EXPECT_TRUE(rig.doc.IsRunning());
        EXPECT_EQ(rig.doc.GetTriggerState(), 3u);
    }
    // In the language of the run.
    quirel::setUiLanguage(quirel::kLanguageGerman);
    TriggerRig rig;
    rig.Set32(10000, 100);
    rig.device.onRequest = [](const Bytes& pdu) { return pdu == Read(10126, 76) ? 2 : 0; };
    rig.Run<CJobReadTraces>();
    quirel::setUiLanguage(quirel::kLanguageEnglish);
    EXPECT_EQ(Shown(rig.ui), std::vector<std::string>{"Tracewerte lesen: " + address +
                                                      "\nFehler beim Lesen der Werte  62 - 100"});
}
