// The device parameters as a user works with them: the document behind the window, the folders and their
// values, the edit dialog, refresh, the window's layout and the parameter-set commands, against the
// simulated filter on a loopback port.

#include "ViewerFixture.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "paramset/ParamSetFile.h"
#include "ui/app/DlgLoadParams.h"
#include "ui/app/DlgParameterSet.h"
#include "ui/common/ModalDialogs.h"
#include "ui/parameters/DlgEditParams.h"

#include <set>

using quirel::test::Cell;
using quirel::test::RowOf;
using quirel::ui::CMemorySettingsStore;
using quirel::ui::CQSettingsStore;

class ParametersWindowTest : public QObject, private quirel::test::ViewerFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(StartSimulator()); }
    void init() { m_boxes.clear(); }

    // The document: a cell for every catalogue parameter, show counts that stay balanced and never go below
    // zero (else a shown value would never be read again), lookups of unknown identifiers.
    void documentValuesAndShowCounts() {
        quirel::setUiLanguage(quirel::kLanguageEnglish);
        CParameterManager catalogue;
        catalogue.Load(QUIREL_RESOURCES_DIR "/Parameters.ini");
        CControllerModbus controller(&catalogue);
        CDocParameters doc(catalogue, controller);
        QVERIFY(doc.OnNewDocument());
        std::vector<int32_t> ids;
        catalogue.GetAllIds(ids);
        QCOMPARE(doc.GetIds(), ids);

        doc.AddVisible(999999); // not in the catalogue
        QCOMPARE(doc.GetShowCount(999999), 0);
        doc.AddVisible(100);
        doc.AddVisible(100);
        QCOMPARE(doc.GetShowCount(100), 2);
        for (int i = 0; i < 3; ++i)
            doc.RemoveVisible(100);
        QCOMPARE(doc.GetShowCount(100), 0);
        QVERIFY(doc.GetShownIds().empty());
        doc.AddVisible(100);
        QCOMPARE(doc.GetShowCount(100), 1);

        try {
            doc.GetValue(999999);
            QFAIL("no exception");
        } catch (const CParameterException& e) {
            QCOMPARE(e.GetMessage(), std::string("Parameter not found: 999999"));
        }
    }

    // The edit dialog: value texts with the current one chosen (none for a value without text, which
    // then stores -1), and "PC time" only for the time types.
    void editDialog() {
        quirel::setUiLanguage(quirel::kLanguageEnglish);
        CParameterManager catalogue;
        catalogue.SetLanguage(quirel::kLanguageEnglish);
        catalogue.Load(QUIREL_RESOURCES_DIR "/Parameters.ini");
        QVERIFY(catalogue.Exists(200));

        const CParameterDescription language = catalogue.GetDescription(200);
        CDlgEditParams known(catalogue, CParameterValue(200, language.GetDataType(), 1), language);
        QCOMPARE(known.ValueCombo()->count(), 2);
        QCOMPARE(known.ValueCombo()->currentIndex(), 1);
        QVERIFY(known.PcTimeButton()->isHidden());

        // A text that is no value of the parameter keeps the dialog open, says why and changes nothing.
        CDlgEditParams unknown(catalogue, CParameterValue(200, language.GetDataType(), 7), language);
        QCOMPARE(unknown.ValueCombo()->currentIndex(), -1);
        QCOMPARE(unknown.ValueCombo()->currentText(), QString());
        unknown.show();
        unknown.accept();
        QVERIFY(unknown.isVisible() && unknown.result() == QDialog::Rejected);
        QCOMPARE(m_boxes.size(), size_t(1));
        QVERIFY2(m_boxes[0].text.rfind("Invalid value \"\": one of the listed values is expected", 0) == 0,
                 m_boxes[0].text.c_str());
        QCOMPARE(unknown.GetValue().GetValue().raw, 7u);
        const CParameterDescription limit = catalogue.GetDescription(401);
        CDlgEditParams point(catalogue, CParameterValue(401, 8, 0), limit);
        point.ValueCombo()->setEditText("0.90");
        point.accept();
        QCOMPARE(m_boxes.back().text,
                 std::string("Invalid value \"0.90\": a decimal comma is expected (0,90)"));
        QCOMPARE(point.GetValue().GetValue().raw, 0u);

        // "PC time" inserts what each clock type reads: a time of day, or a date and time.
        const char* hms = "^\\d\\d:\\d\\d:\\d\\d$";
        for (const auto& [id, pattern] : {std::pair{525, QString(hms)}, std::pair{38, QString(hms)},
                                          std::pair{40, "^\\d{4}-\\d\\d-\\d\\d " + QString(hms).mid(1)}}) {
            const CParameterDescription d = catalogue.GetDescription(id);
            CDlgEditParams clockDialog(catalogue, CParameterValue(id, d.GetDataType(), 0), d);
            QVERIFY(!clockDialog.PcTimeButton()->isHidden());
            clockDialog.PcTimeButton()->click();
            const QString text = clockDialog.ValueCombo()->currentText();
            QVERIFY2(QRegularExpression(pattern).match(text).hasMatch(), qPrintable(text));
            clockDialog.accept();
            QCOMPARE(QString::fromStdString(clockDialog.GetValue().GetText(catalogue)), text);
        }

        const CParameterDescription delay = catalogue.GetDescription(205);
        CDlgEditParams plain(catalogue, CParameterValue(205, delay.GetDataType(), 30), delay);
        QVERIFY(plain.PcTimeButton()->isHidden());
        QCOMPARE(plain.ValueCombo()->count(), 1);
        QCOMPARE(plain.ValueCombo()->currentText(), QString("30"));
        // The dialog opens ready for the new value: what is typed replaces the old one, Enter sends it.
        plain.show();
        QVERIFY(QTest::qWaitForWindowActive(&plain));
        QTest::keyClicks(QApplication::focusWidget(), "500");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(plain.result(), int(QDialog::Accepted));
        QCOMPARE(plain.GetValue().GetValue().raw, 500u);
    }

    // A folder lists its own parameters (not those of its subfolders) and their values once read; a
    // double click on a rw parameter writes the edited value to the device.
    void folderValuesAndEditing() {
        auto app = StartApp(quirel::test::SimulatorStore(m_sim.tcpPort()), true);
        QVERIFY(app->Controller().IsConnected());
        CViewParameters* view = app->FindParametersView();
        CDocParameters& doc = app->DocParameters();

        QVERIFY(view->SelectFolder("Rootfolder"));
        QCOMPARE(view->List()->topLevelItemCount(), 0);
        QVERIFY(view->SelectFolder("MeasuredValues"));
        QStringList ids;
        for (int r = 0; r < view->List()->topLevelItemCount(); ++r)
            ids << Cell(view, r, 0);
        QCOMPARE(ids, QStringList({"20", "21", "104"}));
        QCOMPARE(Cell(view, 0, 1), QString("Device state"));
        QTRY_COMPARE_WITH_TIMEOUT(Cell(view, 0, 2), QString("Running"), 5000);
        // The status bar's own display of parameter 20, the overview's and the list's row count separately.
        QCOMPARE(doc.GetShowCount(20), 3);
        QVERIFY(view->SelectFolder("CommGeneral"));
        QCOMPARE(doc.GetShowCount(20), 2);
        QCOMPARE(doc.GetShowCount(104), 1); // the overview's

        // ro and const rows open nothing (a dialog would run its exec, and meet the guard, inside EditRow).
        QWidget* opened = nullptr;
        QTimer guard;
        connect(&guard, &QTimer::timeout, [&] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                opened = w;
                static_cast<QDialog*>(w)->reject();
            }
        });
        guard.start(20);
        const int constRow = RowOf(view, 210);
        QVERIFY(constRow >= 0);
        view->EditRow(constRow);
        QVERIFY(view->SelectFolder("MeasuredValues"));
        view->EditRow(RowOf(view, 20)); // ro
        QVERIFY(view->SelectFolder("CommGeneral"));
        QVERIFY(opened == nullptr);
        guard.stop();

        // Start delay (rw, 16-bit): type a new value and confirm.
        const int row = RowOf(view, 205);
        QVERIFY(row >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(Cell(view, row, 2) != "--", 5000);
        const QString written = Cell(view, row, 2) == "137" ? "138" : "137";
        quirel::test::OnModal<CDlgEditParams>([written](CDlgEditParams* dialog) {
            QVERIFY(!dialog->PcTimeButton()->isVisible());
            dialog->ValueCombo()->setEditText(written);
            dialog->accept();
        });
        emit view->List()->itemDoubleClicked(view->List()->topLevelItem(row), 0);
        QCOMPARE(Cell(view, row, 2), written);
        QVERIFY(app->Controller().WaitForIdle(5000));

        // Forget it locally, read it back from the device.
        doc.SetValue(205, PARAMVALUE(5, 0));
        view->OnRefresh();
        QTRY_COMPARE_WITH_TIMEOUT(Cell(view, RowOf(view, 205), 2), written, 5000);
        QCOMPARE(doc.GetValue(205).GetValue().raw & 0xFFFF, written.toUInt());
        QVERIFY(m_boxes.empty());
        Finish(app);
    }

    // Without a connection every value reads "--", nothing is queued, and a write is refused with
    // "Modbus error" while the document keeps its value.
    void disconnectedShowsDashes() {
        auto app = StartApp(std::make_unique<CMemorySettingsStore>());
        CViewParameters* view = app->FindParametersView();
        QVERIFY(view->SelectFolder("MeasuredMains"));
        QCOMPARE(view->List()->topLevelItemCount(), 19);
        for (int r = 0; r < 19; ++r)
            QCOMPARE(Cell(view, r, 2), QString("--"));
        QVERIFY(app->Controller().IsPollQueueEmpty());
        QVERIFY(view->SelectFolder("CommGeneral"));
        const PARAMVALUE before = app->DocParameters().GetValue(205).GetValue();
        quirel::test::OnModal<CDlgEditParams>([](CDlgEditParams* dialog) {
            dialog->ValueCombo()->setEditText("99");
            dialog->accept();
        });
        view->EditRow(RowOf(view, 205));
        QCOMPARE(m_boxes.size(), size_t(1));
        QCOMPARE(m_boxes[0].text, std::string("Modbus error"));
        QCOMPARE(m_boxes[0].icon, MbIcon::Error);
        QVERIFY(app->DocParameters().GetValue(205).GetValue() == before);
        QVERIFY(app->Controller().IsUserQueueEmpty());
        Finish(app);
    }

    // Refresh drops the reads still waiting before it queues new ones: against a slow device the
    // number of reads stays at one round, not two.
    void refreshDropsPendingReads() {
        quirel::sim::SimulatorThread slow;
        quirel::sim::SimulatorOptions options = quirel::test::TestSimulatorOptions();
        options.faultCommands = QStringList{"delay 100"};
        QString error;
        QVERIFY2(slow.start(options, error), qPrintable(error));

        auto app = StartApp(quirel::test::SimulatorStore(slow.tcpPort()), true);
        QVERIFY(app->Controller().IsConnected());
        CViewParameters* view = app->FindParametersView();
        quirel::test::UpdateCounter counter([](int64_t h) { return h >= 130 && h <= 133; }); // load currents
        app->DocParameters().AddView(&counter);
        QVERIFY(view->SelectFolder("MeasuredLoad")); // four reads queued
        view->OnRefresh();                           // drops what still waits, queues four again
        QVERIFY(app->Controller().WaitForIdle(10000));
        QTRY_VERIFY(counter.updates >= 4);
        QCoreApplication::processEvents();
        app->DocParameters().RemoveView(&counter);
        // One read may already be running when refresh comes; it is not in the queue and completes.
        QVERIFY2(counter.updates <= 4 + 1, qPrintable(QString::number(counter.updates)));
        Finish(app);
        slow.stop();
    }

    // After a connect the list shows what the device sends, never a zero it did not send: "--" until
    // the value arrives, read without waiting for a refresh. Parameters without a register form show their
    // zero, and the unit column is wide enough for its longest unit.
    void connectShowsOnlyDeviceValues() {
        auto app = StartApp(quirel::test::SimulatorStore(m_sim.tcpPort()));
        CViewParameters* view = app->FindParametersView();
        QVERIFY(view->SelectFolder("MeasuredMains"));
        app->OnConnect();
        QVERIFY(app->Controller().IsConnected());
        // (The identification read after connecting may already have let the value arrive.)
        const QString first = Cell(view, RowOf(view, 100), 2);
        QVERIFY2(first == "--" || QRegularExpression("^\\d\\d,\\d\\d$").match(first).hasMatch(),
                 qPrintable(first));
        QTRY_VERIFY_WITH_TIMEOUT(
            QRegularExpression("^\\d\\d,\\d\\d$").match(Cell(view, RowOf(view, 100), 2)).hasMatch(), 5000);
        QVERIFY(view->SelectFolder("Service"));
        QTRY_COMPARE_WITH_TIMEOUT(Cell(view, RowOf(view, 610), 2), QString("0"), 5000);
        QVERIFY(view->SelectFolder("MeasuredFilter"));
        const int unitWidth = view->List()->fontMetrics().horizontalAdvance("degree Celsius");
        QVERIFY2(view->List()->columnWidth(3) > unitWidth,
                 qPrintable(QString::number(view->List()->columnWidth(3))));
        QVERIFY2(m_boxes.empty(), m_boxes.empty() ? "" : m_boxes[0].text.c_str());
        Finish(app);
    }

    // Column widths and the window rectangle come back on the next start; a negative x is clamped to 0.
    void layoutComesBack() {
        QTemporaryDir dir;
        const std::string path = dir.filePath("settings.ini").toStdString();
        {
            CQSettingsStore store(path);
            store.WriteInt("CViewParameters", "x", -40);
            store.WriteInt("CViewParameters", "y", 30);
            store.WriteInt("CViewParameters", "cx", 900);
            store.WriteInt("CViewParameters", "cy", 600);
            store.Flush();
        }
        for (const bool again : {false, true}) {
            auto app = StartApp(std::make_unique<CQSettingsStore>(path));
            QTreeWidget* list = app->FindParametersView()->List();
            QCOMPARE(list->window()->pos(), QPoint(0, 30));
            QCOMPARE(list->window()->size(), QSize(900, 600));
            if (again) {
                QCOMPARE(list->columnWidth(0), 30);
                QVERIFY(list->columnWidth(1) == 211 && list->columnWidth(4) == 333);
            }
            list->setColumnWidth(1, 211);
            list->setColumnWidth(4, 333);
            Finish(app);
        }
    }

    // The three parameter-set commands from the menu: read and save with the windows painted and the
    // progress moving, the report of a file, and a send whose confirmation marks what it changes.
    void parameterSetCommands() {
        auto app = StartApp(quirel::test::SimulatorStore(m_sim.tcpPort()), true);
        QVERIFY(app->Controller().IsConnected());
        for (int id : {Command::kReadParameterSet, Command::kSendParameterSet, Command::kOpenParameterSet})
            QVERIFY(app->Action(id)->isEnabled());
        QCOMPARE(app->FindParametersView()->window()->windowTitle(),
                 QString("Device parameters - Quirel Viewer Velorin - Firmware V2.14"));

        QTemporaryDir dir;
        const std::string path = dir.filePath("set.btp").toStdString();
        QString filter;
        const std::string text = dir.filePath("report.txt").toStdString();
        quirel::ui::SetFileDialogHandler([&](quirel::ui::FileDialogMode, const QString& f) {
            if (f.contains("*.txt"))
                return text;
            filter = f;
            return path;
        });
        std::set<int> positions;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            if (QProgressDialog* progress = quirel::test::ShownProgress())
                positions.insert(progress->value());
        });
        timer.start(20);
        app->Action(Command::kReadParameterSet)->trigger();
        timer.stop();
        QStatusBar* status = static_cast<QMainWindow*>(app->FindParametersView()->window())->statusBar();
        QCOMPARE(status->currentMessage(), "The parameter set was saved: " + QString::fromStdString(path));
        QCOMPARE(filter, QString("Quirel Viewer Velorin Setup Parameters (*.btp)"));
        QVERIFY2(positions.size() >= 3, qPrintable(QString::number(positions.size())));
        quirel::paramset::CParamSetFile file;
        QVERIFY(file.Load(path));
        QCOMPARE(file.Entries(quirel::paramset::kCommissioning).size(), size_t(38));

        QString report;
        QStringList changed;
        bool notSentShown = false;
        quirel::ui::SetModalHandler([&](QDialog& dialog) {
            if (auto* r = dynamic_cast<CDialog_ParameterSet*>(&dialog)) {
                report = r->Text();
                r->SaveAsText();
            }
            if (auto* list = dynamic_cast<CDlgLoadParams*>(&dialog)) {
                notSentShown = notSentShown || !list->Table();
                for (int row = 0; list->Table() && row < list->Table()->topLevelItemCount(); ++row)
                    if (list->Table()->topLevelItem(row)->font(2).bold())
                        changed << list->Table()->topLevelItem(row)->text(0);
            }
            return int(QDialog::Accepted);
        });
        app->Action(Command::kOpenParameterSet)->trigger();
        QVERIFY2(report.startsWith("[DeviceData]\r\n30 Serial number = "), qPrintable(report.left(80)));
        // The report as text, as shown.
        QCOMPARE(QString::fromLatin1(quirel::test::FileBytes(QString::fromStdString(text))), report);

        CControllerModbus& controller = app->Controller();
        CDocParameters& doc = app->DocParameters();
        const PARAMVALUE ct = doc.GetValue(310).GetValue();
        controller.AddUserJob(
            std::make_unique<CJobWriteParameter>(CParameterValue(310, ct.dataType, ct.raw + 7)));
        // A float one step off shows as the file's value does, yet a send changes it.
        const PARAMVALUE dpf = doc.GetValue(401).GetValue();
        controller.AddUserJob(std::make_unique<CJobWriteParameter>(CParameterValue(401, 8, dpf.raw + 1)));
        QVERIFY(controller.WaitForIdle(5000));
        app->Action(Command::kSendParameterSet)->trigger();
        QCOMPARE(changed, QStringList({"310", "401"}));
        QVERIFY(!notSentShown);
        QCOMPARE(status->currentMessage(), QString("The parameter set was sent: 36 of 36 values written."));
        controller.AddPollJob(std::make_unique<CJobUpdateVisibleParameter>(&doc, 310, doc.GetValue(310)));
        QVERIFY(controller.WaitForIdle(5000));
        QCOMPARE(doc.GetValue(310).GetValue(), ct);
        QVERIFY(m_boxes.empty());
        quirel::ui::SetModalHandler({});
        quirel::ui::SetFileDialogHandler({});
        Finish(app);
    }
};

QUIREL_UI_TEST(ParametersWindowTest)
#include "ParametersWindowTest.moc"
