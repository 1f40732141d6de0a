// The overview and the event log as a user meets them, against the simulated filter on a loopback port.

#include "MeasurementWindowsFixture.h"
#include "comm/ControllerModbus.h"
#include "eventlog/DocErrorMemory.h"
#include "parameters/document/DocParameters.h"
#include "schematic/SchematicItems.h"
#include "ui/app/MainFrame.h"
#include "ui/eventlog/EventLogFilter.h"
#include "ui/eventlog/EventLogModel.h"
#include "ui/eventlog/ViewErrorMemory.h"
#include "ui/schematic/ViewSchematic.h"

namespace {

QStringList Column(CViewErrorMemory* view, int column) {
    QStringList cells;
    QAbstractItemModel* model = view->Table()->model();
    for (int r = 0; r < model->rowCount(); ++r)
        cells << model->index(r, column).data().toString();
    return cells;
}

} // namespace

class OverviewEventLogTest : public QObject, private quirel::test::MeasurementWindowsFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(StartSimulator()); }
    void init() { m_boxes.clear(); }

    // The overview is the start window: its title in the language of the run, 1200 x 706, the 33
    // parameters registered; dragging its right edge keeps width = 1.7 x height. The event log's own
    // texts are German in German; the kinds in its list keep the device's words.
    void overviewIsTheStartWindow() {
        for (int language : {9, 7}) {
            auto app = StartApp(false, language);
            QCOMPARE(app->Frames().size(), size_t(1));
            CViewSchematic* view = app->FindSchematicView();
            QVERIFY(view);
            QWidget* frame = view->window();
            QCOMPARE(frame->windowTitle(), language == 9 ? QString("Overview - Quirel Viewer Velorin")
                                                         : QString("Übersicht - Quirel Viewer Velorin"));
            QCOMPARE(frame->size(), QSize(1200, 706));
            for (int32_t id : CSchematicItems::kShownParameters)
                QVERIFY(app->DocParameters().GetShowCount(id) >= 1);
            if (language == 9) {
                frame->resize(1300, 706);
                QTRY_COMPARE(frame->size(), QSize(1300, 764));
                frame->resize(1300, 600);
                QTRY_COMPARE(frame->size(), QSize(1020, 600));
            } else {
                app->Action(Command::kEventLog)->trigger();
                CViewErrorMemory* log = app->FindEventLogView();
                QStringList headers;
                for (int c = 0; c < CEventLogModel::kColumnCount; ++c)
                    headers << log->Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
                QCOMPARE(headers,
                         QStringList({"Zustand", "Datum", "Uhrzeit", "Beschreibung", "Betriebsstd."}));
                QCOMPARE(log->KindButton(EventKind::Error)->text(), QString("Fehler"));
            }
            Finish(app);
        }
    }

    // Connected, the overview reads every two seconds; disconnected it stops. Over a modem link the
    // values are read once after connecting, then only on refresh; a refresh cycle of 33 reads repaints
    // once. Nothing is read while a measurement runs, and reading resumes afterwards.
    void pollingAndRepaints() {
        auto app = StartApp(true);
        QVERIFY(app->Controller().IsConnected());
        CViewSchematic* view = app->FindSchematicView();
        QTRY_VERIFY_WITH_TIMEOUT(view->IsPolling(), 5000);
        app->OnDisconnect();
        QTRY_VERIFY(!view->IsPolling());
        Finish(app);

        app = StartApp(true, 9, 1);
        QVERIFY(app->Controller().IsConnected());
        view = app->FindSchematicView();
        QTRY_VERIFY_WITH_TIMEOUT(app->DocParameters().GetValue(100).GetValue().raw != 0, 5000);
        // Where polling would start, it starts once the read after the connect wait has left the queue.
        QTest::qWait(CViewSchematic::kConnectWaitMs + 3 * CViewSchematic::kQueueWaitStepMs);
        QVERIFY(app->Controller().WaitForIdle(5000));
        QTest::qWait(2 * CViewSchematic::kQueueWaitStepMs);
        QVERIFY(!view->IsPolling());
        QCoreApplication::processEvents();
        quirel::test::UpdateCounter counter(
            [](int64_t h) { return h != UpdateHint::kDataChanged; }); // values
        app->DocParameters().AddView(&counter);
        const int repaints = view->DocumentRepaints();
        QVERIFY(view->OnRefresh());
        QVERIFY(app->Controller().WaitForIdle(5000));
        QTRY_COMPARE(counter.updates, 33);
        QCOMPARE(view->DocumentRepaints(), repaints + 1);
        {
            bool measuring = true;
            CViewSchematic::Hooks hooks;
            hooks.pollingPaused = [&measuring] { return measuring; };
            CViewSchematic paused(app->DocParameters(), app->Settings(), hooks);
            counter.updates = 0;
            paused.OnPollTimer();
            QVERIFY(app->Controller().IsPollQueueEmpty());
            measuring = false;
            paused.OnPollTimer();
            QVERIFY(app->Controller().WaitForIdle(5000));
            QTRY_VERIFY(counter.updates >= 33);
        } // the view goes before the document it shows
        app->DocParameters().RemoveView(&counter);
        Finish(app);
    }

    // The event log window: nothing read on opening, a refused read while disconnected leaves its
    // buttons usable, all records read, filtered, sorted, saved and opened again.
    void eventLogWindow() {
        auto app = StartApp(false);
        app->Action(Command::kEventLog)->trigger();
        CViewErrorMemory* view = app->FindEventLogView();
        QVERIFY(view);
        QCOMPARE(view->window()->windowTitle(), QString("Eventlog - Quirel Viewer Velorin"));
        QCOMPARE(view->Model()->rowCount(), 0); // nothing is known before a read

        view->UpdateLatestButton()->click();
        QCOMPARE(m_boxes, std::vector<std::string>({"No connection to device!"}));
        QVERIFY(view->UpdateLatestButton()->isEnabled() && view->UpdateAllButton()->isEnabled());

        app->OnConnect();
        QApplication::setActiveWindow(view->window());
        app->UpdateCommandUi();
        QVERIFY(!app->Action(Command::kRefresh)->isEnabled()); // nothing to refresh in the event log
        view->OnUpdateAll();
        QTRY_VERIFY(view->Table()->model()->rowCount() >= 400);
        QVERIFY(app->Controller().IsThreadRunning() && app->Controller().IsConnected());
        QCOMPARE(m_boxes.size(), size_t(1));
        const int all = view->Model()->rowCount();
        const QStringList kinds = Column(view, 0);

        // Filter by kind and text.
        view->KindButton(EventKind::Error)->click();
        QCOMPARE(view->Table()->model()->rowCount(), all - kinds.count("Error"));
        QVERIFY(!Column(view, 0).contains("Error"));
        view->KindButton(EventKind::Error)->click();
        view->SearchField()->setText("filter STARTED");
        QVERIFY(view->Table()->model()->rowCount() > 0);
        for (const QString& d : Column(view, 3))
            QCOMPARE(d, QString("Filter started"));
        view->SearchField()->clear();
        QCOMPARE(view->Table()->model()->rowCount(), all);

        // Newest first: dates in calendar order, not as text.
        view->Table()->sortByColumn(CEventLogModel::kDate, Qt::DescendingOrder);
        const QStringList dates = Column(view, 1);
        auto key = [](const QString& d) { return d.mid(6, 4) + d.mid(3, 2) + d.mid(0, 2); };
        for (int r = 1; r < dates.size(); ++r)
            QVERIFY(key(dates[r - 1]) >= key(dates[r]));
        view->Filter()->SortAsRead();

        // Saved and opened again: the same rows. A cancelled or refused open keeps them.
        QTemporaryDir dir;
        const QString saved = dir.filePath("log.txt");
        QString chosen = saved;
        view->SetFileChooser([&chosen](QWidget*, bool) { return chosen; });
        view->OnSave();
        const QStringList before = Column(view, 3);
        app->DocErrorMemory().DeleteContents();
        view->OnUpdate(nullptr, 0);
        QCOMPARE(view->Model()->rowCount(), 0);
        view->OnOpen();
        QTRY_COMPARE(Column(view, 3), before);
        chosen.clear();
        view->OnOpen();
        chosen = dir.filePath("notes.txt");
        QVERIFY(quirel::test::WriteFileBytes(chosen, "no kind marker here\n"));
        view->OnOpen();
        QCOMPARE(m_boxes.back(), "The specified file cannot be opened.\n" + chosen.toStdString());
        QCoreApplication::processEvents();
        QCOMPARE(Column(view, 3), before);
        QCOMPARE(app->DocErrorMemory().GetCount(), size_t(1));
        Finish(app);
    }
};

QUIREL_UI_TEST(OverviewEventLogTest)
#include "OverviewEventLogTest.moc"
