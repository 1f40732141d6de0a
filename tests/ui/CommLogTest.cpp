// The communication log against the simulator: the frames of the connect check and of the polling as the
// trace writes them, errors only, pause, clear, save as text, the bounded table, and the request line for
// raw registers.

#include "ViewerFixture.h"
#include "comm/ControllerModbus.h"
#include "ui/commlog/CommLogModel.h"
#include "ui/commlog/RawRegisterPanel.h"
#include "ui/commlog/ViewCommLog.h"

class CommLogTest : public QObject, private quirel::test::ViewerFixture {
    Q_OBJECT

    static QString Text(QAbstractItemModel* model, int row, int column) {
        return model->index(row, column).data().toString();
    }

private slots:
    void initTestCase() { QVERIFY(StartSimulator()); }

    void logsTrafficAndRawRegisters() {
        auto app = quirel::test::StartTestApp(quirel::test::SimulatorStore(m_sim.tcpPort()), false,
                                              std::string(), [](CKestrelApp& a) { a.OnCommLog(); });
        CViewCommLog* log = app->FindCommLogView();
        QVERIFY(log);
        CRawRegisterPanel* raw = log->RawPanel();
        QVERIFY(!raw->SendButton()->isEnabled());
        app->OnConnect();
        QVERIFY(app->Controller().IsConnected());
        QVERIFY(raw->SendButton()->isEnabled());

        // The connect check reads the identification first; the overview's polling follows.
        CCommLogModel* model = log->Model();
        QTRY_VERIFY(model->rowCount() >= 4);
        QCOMPARE(Text(model, 0, CCommLogModel::kDirection), QString("TX"));
        QCOMPARE(Text(model, 0, CCommLogModel::kBytes), QString("00 00 00 00 00 05 01 2B 0E 01 00"));
        QCOMPARE(Text(model, 0, CCommLogModel::kDecoding), QString("slave 1, fc 43/14, object 0"));
        QCOMPARE(Text(model, 1, CCommLogModel::kDirection), QString("RX"));
        QVERIFY(Text(model, 1, CCommLogModel::kBytes).startsWith("00 00 00 00 00 6E 01 2B 0E 01"));

        // An exception is an error row; errors only shows nothing else.
        raw->AddressBox()->setValue(65000);
        raw->OnSend();
        QCOMPARE(m_boxes.back().text, std::string("Illegal Data Address exception response"));
        log->SetErrorsOnly(true);
        QTRY_VERIFY(log->Shown()->rowCount() >= 1);
        for (int r = 0; r < log->Shown()->rowCount(); ++r)
            QVERIFY(log->Shown()->index(r, 0).data(CCommLogModel::kErrorRole).toBool());
        QCOMPARE(Text(log->Shown(), log->Shown()->rowCount() - 1, CCommLogModel::kDecoding),
                 QString("slave 1, fc 3, exception 2: Illegal Data Address"));

        // Saved as the trace writes it: the rows shown.
        QTemporaryDir dir;
        const QString path = dir.filePath("log.txt");
        log->SetFileChooser([&](QWidget*) { return path; });
        log->OnSave();
        const QStringList lines =
            QString::fromUtf8(quirel::test::FileBytes(path)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), log->Shown()->rowCount());
        QVERIFY(QRegularExpression(R"(^\d\d:\d\d:\d\d\.\d{3} RX 00 .* 83 02  ; slave 1, fc 3, exception 2: )")
                    .match(lines.back())
                    .hasMatch());
        log->SetErrorsOnly(false);

        // Paused, nothing is recorded.
        log->SetPaused(true);
        const int rows = model->rowCount();
        raw->AddressBox()->setValue(3100);
        raw->OnSend();
        QTest::qWait(3 * CViewCommLog::kRefreshMs);
        QCOMPARE(model->rowCount(), rows);
        log->SetPaused(false);

        // A write is confirmed first, then read back; the log shows its request.
        RecordBoxes(IDYES);
        raw->FunctionBox()->setCurrentIndex(2);
        raw->ValuesField()->setText("750");
        raw->OnSend();
        QCOMPARE(m_boxes.back().text, std::string("Write to the device from address 3100: 750 (0x02EE)?"));
        QTableWidget* results = raw->Results();
        QCOMPARE(results->rowCount(), 1);
        QCOMPARE(results->item(0, 1)->text() + " " + results->item(0, 3)->text(), QString("02EE 750"));
        QTRY_VERIFY(model->rowCount() > rows &&
                    Text(model, rows, CCommLogModel::kDecoding) == "slave 1, fc 16, address 3100, count 1");

        log->OnClear();
        QCOMPARE(model->rowCount(), 0);
        Finish(app);
    }

    // The table keeps the newest rows and counts what it let go, also what never reached it.
    void keepsTheNewestRows() {
        CCommLogModel model(nullptr, 2);
        std::vector<MbusTrafficRecord> records(3);
        model.Append(std::move(records), 5);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.Dropped(), 6u);
        model.Append(std::vector<MbusTrafficRecord>(1));
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.Dropped(), 7u);
    }
};

QUIREL_UI_TEST(CommLogTest)
#include "CommLogTest.moc"
