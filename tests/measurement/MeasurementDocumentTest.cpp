// The measurement documents: what emptying and starting leave, how views are told, and a worker
// appending while the user interface reads; indexes outside the measurement.
#include "TestSupport.h"
#include "base/RecordingUiPort.h"
#include "base/StringTable.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementTexts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

struct HintLog : CView {
    void OnUpdate(CView*, int64_t hint) override { hints.push_back(hint); }
    std::vector<int64_t> hints;
};

} // namespace

TEST(MeasurementDocument, EmptyingResetsEveryKindToItsDefaults) {
    RecordingUiPort ui;
    CDocMeasurementSingle single(&Catalogue(), &ui);
    CTrigger trigger;
    trigger.Set(16, 1, 4, 180, 8, 0x40A00000);
    single.InitMeasurement(trigger, {150}, CMeasStart(2024, 1, 1, 0, 0, 0));
    EXPECT_FALSE(single.WasArmed());
    single.SetTriggerState(3);
    single.SetTriggerState(0); // armed once, whatever came after
    EXPECT_TRUE(single.WasArmed());
    single.SetRunning(true);
    single.SetWithMeasStart(true);
    ASSERT_TRUE(single.OnNewDocument());
    EXPECT_FALSE(single.WasArmed());
    EXPECT_EQ(Csv(single),
              "# kind=single channels=0 running=0 start=0000-00-00T00:00:00 trigger_id=0 "
              "trigger_type=8 trigger_raw=0x00000000 delay=0 mode=0 divider=1 state=0\r\ntime_ms\r\n");
    EXPECT_TRUE(single.IsWithMeasStart()); // not the document's content
    EXPECT_EQ(single.GetTitle(), "Single measurement");

    quirel::setUiLanguage(quirel::kLanguageGerman);
    CDocMeasurementContinuous continuous(&Catalogue(), &ui);
    continuous.OnNewDocument();
    quirel::setUiLanguage(quirel::kLanguageEnglish);
    EXPECT_EQ(continuous.GetTitle(), "Dauermessung");
    continuous.InitMeasurement(7, {100}, CMeasStart(1, 2, 3, 4, 5, 6));
    continuous.DeleteContents();
    EXPECT_EQ(Csv(continuous),
              "# kind=continuous channels=0 running=0 start=0000-00-00T00:00:00 interval=0\r\n"
              "time_s\r\n");
}

TEST(MeasurementDocument, StartingTellsTheViewsAndTheRunningFlagIsPostedOnly) {
    RecordingUiPort ui;
    HintLog view;
    CDocMeasurementContinuous doc(&Catalogue(), &ui);
    doc.AddView(&view);
    doc.InitMeasurement(1, {100, 150}, CMeasStart());
    doc.AddValue(0, PARAMVALUE(8, 0));
    doc.SetScaling(1, 1, 2.0, 3.0);
    doc.SetRunning(true);
    // A new start empties the document first.
    doc.InitMeasurement(2, {110, 150}, CMeasStart());
    const std::string started = Csv(doc);
    EXPECT_EQ(started, "# kind=continuous channels=2 running=0 start=0000-00-00T00:00:00 interval=2\r\n"
                       "time_s,110 Mains voltage L1,150 Heat sink temperature\r\n");
    EXPECT_EQ(MeasurementTexts::Legend(doc, 1),
              "150 Heat sink temperature [degree Celsius] x1,00 +0,00 (YLeft)");
    EXPECT_EQ(view.hints, (std::vector<int64_t>{UpdateHint::kDataChanged, UpdateHint::kDataChanged}));
    ASSERT_EQ(ui.Updates().size(), 1u);
    EXPECT_EQ(ui.Updates()[0].doc, &doc);
    EXPECT_EQ(ui.Updates()[0].hint, UpdateHint::kRunning);

    // Clearing the values keeps channels and scaling.
    doc.SetScaling(1, 1, 2.0, 3.0);
    doc.AddValue(1, PARAMVALUE(2, 1));
    doc.ClearValues();
    EXPECT_EQ(Csv(doc), started);
    EXPECT_EQ(MeasurementTexts::Legend(doc, 1),
              "150 Heat sink temperature [degree Celsius] x2,00 +3,00 (YRight)");
    doc.RemoveView(&view);
}

// ThreadSanitizer watches this one: the worker appends (one by one and in blocks) while the user
// interface reads values, passes over whole channels, saves the document and flips the running flag.
TEST(MeasurementDocument, AReaderNeverSeesAHalfAppendedValue) {
    RecordingUiPort ui;
    CDocMeasurementSingle doc(&Catalogue(), &ui);
    doc.InitMeasurement(CTrigger(), {150, 180}, CMeasStart());
    constexpr uint32_t kValues = 40000;
    std::atomic<bool> done{false};
    // Halfway the worker waits for one whole reading pass, so that a fast worker cannot finish
    // before the reader has looked at anything.
    std::atomic<bool> halfway{false};
    std::atomic<bool> seenHalf{false};
    std::thread worker([&] {
        const uint64_t run = doc.GetRun();
        PARAMVALUE block[62];
        for (uint32_t k = 0; k < kValues; k += 62) {
            if (k >= kValues / 2 && !halfway.exchange(true))
                while (!seenHalf)
                    std::this_thread::yield();
            doc.AddValue(0, PARAMVALUE(7, k));
            for (uint32_t v = 0; v < 62; ++v)
                block[v] = PARAMVALUE(7, k + v);
            doc.AddValues(1, block, 62, run);
            doc.SetTriggerState(k % 4);
            doc.SetRunning(k % 2 == 0);
        }
        done = true;
    });
    std::vector<double> values(4096);
    while (!done) {
        const bool afterHalf = halfway;
        {
            const CDocMeasurementBase::CReadPass pass(doc);
            for (int i = 0; i < pass.GetChannelCount(); ++i) {
                const PARAMVALUE* cells = pass.Cells(i);
                for (size_t j = 0; j < pass.Count(i); ++j)
                    ASSERT_EQ(cells[j].dataType, 7u);
            }
        }
        const size_t n = doc.GetValueCount(1);
        const size_t got = doc.ReadValues(1, n > 4096 ? n - 4096 : 0, values.size(), values.data());
        for (size_t k = 0; k + 1 < got; ++k)
            ASSERT_EQ(values[k + 1] - values[k], 1.0);
        ASSERT_GE(doc.Serialize().size(), 2u);
        (void)doc.IsRunning();
        (void)doc.GetTriggerState();
        if (afterHalf)
            seenHalf = true;
    }
    worker.join();
    EXPECT_EQ(doc.GetValueCount(1), (kValues + 61) / 62 * 62);

    // A document started anew is another measurement: a block meant for the old one is refused.
    const uint64_t old = doc.GetRun();
    doc.OnNewDocument();
    doc.InitMeasurement(CTrigger(), {150}, CMeasStart());
    const PARAMVALUE cell(2, 1);
    EXPECT_FALSE(doc.AddValues(0, &cell, 1, old));
    EXPECT_EQ(doc.GetValueCount(0), 0u);
    // Indexes of the old one are refused, not followed: the worker stops on them.
    EXPECT_THROW(doc.AddValue(1, cell), std::invalid_argument);
    EXPECT_THROW(doc.GetValue(-1, 0), std::invalid_argument);
    EXPECT_THROW(doc.GetValue(0, 0), std::invalid_argument);
    EXPECT_THROW(doc.GetChannelName(1), std::invalid_argument);
    EXPECT_EQ(doc.GetChannelCount(), 1);
}
