// Measurements as they run from their windows, against the simulated filter: a capture started from the
// window with its cursors, panel and spectrum, the trigger states, a live continuous chart and how the
// document updates of a running measurement are coalesced.
#include "MeasurementWindowsFixture.h"
#include "base/DecimalNumber.h"
#include "comm/ControllerModbus.h"
#include "comm/JobCancelTrigger.h"
#include "measurement/DocMeasurementSingle.h"
#include "ui/common/QtUiPort.h"
#include "ui/measurement/DlgFft.h"
#include "ui/measurement/ViewMeasurementSingle.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using quirel::test::Float;
using quirel::test::PanelLines;

namespace {

std::string Entry(const std::vector<std::string>& choices, int id) {
    for (const std::string& c : choices)
        if (MeasurementSetup::ChannelId(c) == id)
            return c;
    return MeasurementSetup::kNoChannel;
}

} // namespace

class MeasurementRunTest : public QObject, private quirel::test::MeasurementWindowsFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(StartSimulator()); }
    void init() { m_boxes.clear(); }

    // Start from the window: the trigger is armed and polled, the traces drawn, the panel speaks the
    // decimal comma with units and dt, cursors move by key and the panel follows; the spectrum of the
    // captured mains current shows the fundamental and the fifth harmonic at their bins.
    void captureFromTheWindow() {
        auto app = StartApp(true);
        QVERIFY(app->Controller().IsConnected());
        app->Action(Command::kSingleMeasurement)->trigger();
        CViewMeasurementSingle* view = app->FindSingleMeasurementView();
        QVERIFY(view);
        CTraceViewFrame* frame = FrameOf(view);
        QCOMPARE(frame->windowTitle(), QString("Single measurement"));
        QVERIFY(frame->Command(CTraceViewFrame::kStart)->isEnabled());
        QVERIFY(!frame->Command(CTraceViewFrame::kCancel)->isEnabled());

        const std::vector<std::string> choices = MeasurementSetup::ChannelChoices(app->Catalogue());
        MeasurementSetup::SingleSettings s;
        s.triggerText = Entry(choices, 180);
        s.divider = 5;
        s.delay = 100;
        s.channelText.fill("--");
        s.channelText[0] = Entry(choices, 180);
        s.channelText[2] = Entry(choices, 183);
        view->ApplySettings(s);
        QCOMPARE(view->ChosenIds(), (std::vector<uint32_t>{180, 183}));
        frame->Command(CTraceViewFrame::kStart)->trigger();
        CDocMeasurementSingle& doc = app->DocMeasurementSingle();
        QVERIFY(doc.IsRunning() && view->IsPolling());
        QTRY_VERIFY(!frame->Command(CTraceViewFrame::kStart)->isEnabled());
        QVERIFY(frame->Command(CTraceViewFrame::kCancel)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!doc.IsRunning() && doc.GetValueCount(1) == 512, 20000);
        QTRY_COMPARE(view->Chart()->graphCount(), 2);
        view->FlushRedraw();
        view->Chart()->replot(); // the lines get their points as the chart is drawn
        QVERIFY(!view->IsPolling());
        QVERIFY(frame->Command(CTraceViewFrame::kStart)->isEnabled());
        QCOMPARE(frame->StatusPaneText(2), QString("No trigger"));
        QVERIFY(m_boxes.empty());

        CMeasurementChart* chart = view->Chart();
        QCOMPARE(chart->xAxis->label(), QString("Time [ms]"));
        QCOMPARE(chart->graph(0)->name(),
                 QString("180 Instantaneous mains current L1 [A] x1,00 +0,00 (YLeft)"));
        QVERIFY(chart->graph(0)->dataCount() > 100);
        // The time axis starts 100 samples of 0,15625 ms before the trigger instant.
        QCOMPARE(chart->xAxis->range().lower, -15.625);
        chart->SetCursor(0, 100);
        chart->SetCursor(1, 228);
        QStringList panel = PanelLines(view);
        const auto value = [&](int c, size_t j) {
            return QString::fromStdString(quirel::formatDecimalComma(view->Data().Column(c).At(j), 1));
        };
        QCOMPARE(panel.value(0), QString("C1:"));
        QVERIFY(panel.value(1).startsWith("180 Instantaneous mains current L1"));
        QVERIFY(panel.value(1).endsWith(value(0, 100) + "A"));
        QVERIFY(panel.value(2).endsWith(value(1, 100) + "V"));
        QVERIFY(panel.contains("dt = 20,0000 ms"));
        for (const char* line : {"Trigger:", "Channel:  180 Instantaneous mains current L1",
                                 "Mode: more than", "Sample Rate: 5 x 0,03125 ms", "Delay: 15,62500 ms"})
            QVERIFY2(panel.contains(line), line);
        // The cursor last placed (C2) is the one the keys move, until 1 or 2 chooses.
        QTest::keyClick(chart, Qt::Key_1);
        QTest::keyClick(chart, Qt::Key_Right);
        QTest::keyClick(chart, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(chart->Cursor(0), size_t(111));
        QVERIFY(PanelLines(view).value(1).endsWith(value(0, 111) + "A"));
        QTest::keyClick(chart, Qt::Key_2);
        QTest::keyClick(chart, Qt::Key_End);
        QCOMPARE(chart->Cursor(1), size_t(511));

        // The spectrum of the mains current: 512 values at 50 Hz, d = 5, 12,5 Hz apart.
        view->SelectChannel(0);
        bool shown = false;
        QTimer::singleShot(200, this, [&] {
            auto* fft = qobject_cast<CDlgFft*>(QApplication::activeModalWidget());
            if (!fft)
                return;
            shown = true;
            const Spectrum::Result& r = fft->Result();
            const auto peak =
                std::max_element(r.amplitude.begin() + 1, r.amplitude.end()) - r.amplitude.begin();
            QCOMPARE(peak, 4);
            QVERIFY(r.amplitude[20] > 10 * std::max(r.amplitude[19], r.amplitude[21]));
            QCOMPARE(fft->windowTitle(), QString("180 Instantaneous mains current L1"));
            QCOMPARE(fft->Chart()->yAxis->label(), QString("Amplitude [A]"));
            QCOMPARE(fft->HarmonicTable()->item(4, 1)->text(), QString("250,0"));
            QVERIFY(fft->ThdText().startsWith("THD = "));
            fft->SetCursorBin(20);
            QVERIFY(fft->ReadoutText().endsWith(" A 250,00 Hz"));
            fft->accept();
        });
        view->OnFft(50);
        QVERIFY(shown);
        Finish(app);
    }

    // A continuous measurement from the window: samples arrive, an untouched chart shows them all, a
    // chart whose right edge stands at the newest value follows it; settings chosen meanwhile stay.
    void continuousLiveChart() {
        auto app = StartApp(true);
        app->OnContinuousMeasurement();
        CViewMeasurementContinuous* view = app->FindContinuousMeasurementView();
        CDocMeasurementContinuous& doc = app->DocMeasurementContinuous();
        const std::vector<std::string> choices = MeasurementSetup::ChannelChoices(app->Catalogue());

        MeasurementSetup::ContinuousSettings s;
        s.channelText.fill("--");
        view->ApplySettings(s);
        view->OnStart();
        QCOMPARE(m_boxes, std::vector<std::string>{"Please select at least one channel."});
        s.channelText[1] = Entry(choices, 100);
        view->ApplySettings(s);
        view->OnStart();
        QCOMPARE(m_boxes.back(), std::string("Interval is too small. Must be >= 1 s."));
        QVERIFY(!doc.IsRunning());
        s.interval = 1;
        view->ApplySettings(s);
        view->OnStart();
        QVERIFY(doc.IsRunning() && view->IsSampling());
        QTRY_COMPARE(FrameOf(view)->StatusPaneText(3), QString("Measurement running"));
        // A measurement window has nothing to refresh.
        QApplication::setActiveWindow(view->window());
        app->UpdateCommandUi();
        QVERIFY(!app->Action(Command::kRefresh)->isEnabled());
        // A file opened meanwhile would get the running measurement's samples: Open waits for the end.
        QTRY_VERIFY(!FrameOf(view)->Command(CTraceViewFrame::kOpen)->isEnabled());
        bool asked = false;
        view->SetFileChooser([&](QWidget*, bool, const QStringList&, const QString&) {
            asked = true;
            return QString();
        });
        view->OnOpen();
        QVERIFY(!asked);
        QTRY_VERIFY_WITH_TIMEOUT(doc.GetValueCount(0) >= 3, 6000);
        view->FlushRedraw();
        CMeasurementChart* chart = view->Chart();
        QCOMPARE(chart->xAxis->range().upper, doc.GetX(view->Data().Column(0).Size() - 1));
        QVERIFY(PanelLines(view).contains("Measurement interval: 1 s"));

        // Settings chosen while it runs are not overwritten by the samples arriving.
        s.channelText[2] = Entry(choices, 110);
        view->ApplySettings(s);
        const size_t count = doc.GetValueCount(0);
        QTRY_VERIFY_WITH_TIMEOUT(doc.GetValueCount(0) > count, 3000);
        view->FlushRedraw();
        QCOMPARE(view->ChosenIds(), (std::vector<uint32_t>{100, 110}));

        view->OnCancel();
        QVERIFY(!doc.IsRunning() && !view->IsSampling());
        QTRY_COMPARE(FrameOf(view)->StatusPaneText(3), QString("No running measurement"));
        QVERIFY(app->Controller().WaitForIdle(3000));
        QCoreApplication::processEvents();
        view->FlushRedraw();

        // Follow: scrolled so that the right edge stands at the newest value, the view moves on with it.
        chart->Navigate(CMeasurementChart::kZoomIn);
        chart->Navigate(CMeasurementChart::kZoomIn);
        const double last = doc.GetX(doc.GetValueCount(0) - 1);
        chart->xAxis->setRange(last - 1.5, last);
        const double span = chart->xAxis->range().size();
        doc.AddValue(0, Float(50.0));
        doc.UpdateAllViews(nullptr, UpdateHint::kDataChanged);
        view->FlushRedraw();
        QCOMPARE(chart->xAxis->range().upper, last + 1);
        QCOMPARE(chart->xAxis->range().size(), span);
        // Scrolled back into the past, it stays.
        chart->Navigate(CMeasurementChart::kScrollLeft);
        const QCPRange past = chart->xAxis->range();
        doc.AddValue(0, Float(50.0));
        doc.UpdateAllViews(nullptr, UpdateHint::kDataChanged);
        view->FlushRedraw();
        QVERIFY(chart->xAxis->range() == past);

        // Closing the window ends a running measurement.
        view->OnStart();
        QVERIFY(doc.IsRunning());
        view->window()->close();
        QTRY_VERIFY(!app->FindContinuousMeasurementView());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!doc.IsRunning());
        Finish(app);
    }

    // A worker that posts an update per value costs one update per turn of the event loop and one redraw
    // per frame; the last change is always shown.
    void updatesAreCoalesced() {
        auto app = StartApp(false);
        CViewMeasurementContinuous* view = ShowContinuous(*app, 10);
        CDocMeasurementContinuous& doc = app->DocMeasurementContinuous();
        quirel::test::UpdateCounter data([](int64_t h) { return h == UpdateHint::kDataChanged; });
        quirel::test::UpdateCounter other([](int64_t h) { return h != UpdateHint::kDataChanged; });
        doc.AddView(&data);
        doc.AddView(&other);
        const int redraws = view->Redraws();
        // Posted while the user-interface thread is busy elsewhere: they arrive as one.
        std::thread worker([&] {
            for (int j = 0; j < 2000; ++j) {
                doc.AddValue(0, Float(j));
                app->UiPort().PostDocumentUpdate(&doc, UpdateHint::kDataChanged);
            }
            app->UiPort().PostDocumentUpdate(&doc, UpdateHint::kRunning);
        });
        worker.join();
        QCoreApplication::processEvents();
        QCOMPARE(data.updates, 1);
        QCOMPARE(other.updates, 1);
        QTRY_COMPARE(view->Data().Column(0).Size(), size_t(2010));
        QTest::qWait(3 * CViewMeasurementBase::kFrameMs);
        QCOMPARE(view->Redraws() - redraws, 1);
        // One posted while the views are being told gets an update of its own.
        struct Repost : CView {
            CKestrelApp* app;
            CDocument* doc;
            int seen = 0;
            void OnUpdate(CView*, int64_t hint) override {
                if (hint == 0 && seen++ == 0)
                    app->UiPort().PostDocumentUpdate(doc, 0);
            }
        } repost;
        repost.app = app.get();
        repost.doc = &doc;
        doc.AddView(&repost);
        app->UiPort().PostDocumentUpdate(&doc, 0);
        QTRY_COMPARE(repost.seen, 2);
        doc.RemoveView(&repost);
        doc.RemoveView(&data);
        doc.RemoveView(&other);
        Finish(app);
    }

    // The trigger states: a "no trigger" read taken before the trigger was written keeps the polling, a
    // later one ends a measurement the device no longer holds; an armed trigger found in the device is
    // polled on, and one found while disconnected is forgotten.
    void triggerStates() {
        auto app = StartApp(true);
        app->OnSingleMeasurement();
        CViewMeasurementSingle* view = app->FindSingleMeasurementView();
        CDocMeasurementSingle& doc = app->DocMeasurementSingle();
        const std::vector<std::string> choices = MeasurementSetup::ChannelChoices(app->Catalogue());
        MeasurementSetup::SingleSettings s;
        s.triggerText = Entry(choices, 180);
        s.level = 100000.0; // never reached: the trigger stays armed
        s.divider = 4;
        s.channelText.fill("--");
        s.channelText[0] = Entry(choices, 180);
        view->ApplySettings(s);
        // The worker busy with a job of its own, so that a "no trigger" read arrives before the trigger
        // is written, as a query running at the moment of Start would deliver it.
        struct HeldJob : CJobAbstract {
            std::atomic<bool> started{false}, release{false};
            void Execute(CControllerModbus&) override {
                started = true;
                while (!release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        };
        auto job = std::make_unique<HeldJob>();
        HeldJob* held = job.get(); // alive until released
        QVERIFY(app->Controller().AddUserJob(std::move(job)));
        QTRY_VERIFY(held->started);
        view->OnStart();
        doc.SetTriggerState(0);
        doc.UpdateAllViews(nullptr, UpdateHint::kTriggerState);
        QVERIFY(doc.IsRunning() && view->IsPolling());
        held->release = true;
        QTRY_COMPARE_WITH_TIMEOUT(doc.GetTriggerState(), 1u, 5000);
        QTRY_COMPARE(FrameOf(view)->StatusPaneText(2), QString("Trigger active"));
        // Reset in the device from elsewhere: the next query ends the measurement and its polling.
        app->Controller().AddUserJob(std::make_unique<CJobCancelTrigger>(&doc));
        QTRY_VERIFY_WITH_TIMEOUT(!doc.IsRunning() && !view->IsPolling(), 5000);

        // Armed in the device, not running here: polled on after the trigger was read back.
        doc.SetTriggerState(1);
        doc.UpdateAllViews(nullptr, UpdateHint::kTriggerState);
        QVERIFY(doc.IsRunning() && view->IsPolling());
        view->OnCancel();
        QVERIFY(!doc.IsRunning() && !view->IsPolling());
        QTRY_COMPARE_WITH_TIMEOUT(doc.GetTriggerState(), 0u, 5000);
        QVERIFY(app->Controller().WaitForIdle(3000));
        QCoreApplication::processEvents();
        // Armed again after the cancel: its traces are read when they are ready.
        doc.SetTriggerState(1);
        doc.UpdateAllViews(nullptr, UpdateHint::kTriggerState);
        QVERIFY(doc.IsRunning());
        view->FlushRedraw();
        QCOMPARE(view->Chart()->graphCount(), 1);
        doc.SetTriggerState(3);
        doc.UpdateAllViews(nullptr, UpdateHint::kTriggerState);
        QCOMPARE(view->Chart()->graphCount(), 0); // cleared for the traces being read
        QVERIFY(!view->IsPolling());
        QTRY_VERIFY_WITH_TIMEOUT(!doc.IsRunning(), 5000);
        QVERIFY(app->Controller().WaitForIdle(3000));
        app->OnDisconnect();
        doc.SetTriggerState(1);
        doc.UpdateAllViews(nullptr, UpdateHint::kTriggerState);
        QCOMPARE(doc.GetTriggerState(), 0u);
        QVERIFY(!doc.IsRunning());
        view->OnStart();
        QCOMPARE(m_boxes, std::vector<std::string>{"No connection to device!"});
        Finish(app);
    }
};

QUIREL_UI_TEST(MeasurementRunTest)
#include "MeasurementRunTest.moc"
