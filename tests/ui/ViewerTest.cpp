// The viewer as a user meets it: settings, language, connection, the device parameters window and its
// edit dialog, against the simulated filter on a loopback port.

#include "Simulator.h"
#include "app/ProgramFiles.h"
#include "base/BuildInfo.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "paramset/ParamSetFile.h"
#include "ui/app/CommSettings.h"
#include "ui/app/DlgCommSettings.h"
#include "ui/app/DlgLoadParams.h"
#include "ui/app/DlgParameterSet.h"
#include "ui/app/KestrelApp.h"
#include "ui/app/MainFrame.h"
#include "ui/app/NewParaFound.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/ModalDialogs.h"
#include "ui/common/SettingsStore.h"
#include "ui/parameters/DlgEditParams.h"
#include "ui/parameters/ViewParameters.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <set>

namespace {

using quirel::ui::CMemorySettingsStore;
using quirel::ui::CQSettingsStore;
using quirel::ui::ISettingsStore;

struct Box {
    std::string text;
    std::string caption;
    MbIcon icon;
};

// Counts the updates of the load currents (parameters 130-133) that reach the document's views.
class UpdateCounter : public CView {
public:
    void OnUpdate(CView*, int64_t hint) override {
        if (hint >= 130 && hint <= 133)
            ++updates;
    }
    int updates = 0;
};

QString Cell(CViewParameters* view, int row, int column) {
    return view->List()->topLevelItem(row)->text(column);
}

int RowOf(CViewParameters* view, int32_t id) {
    for (int r = 0; r < view->List()->topLevelItemCount(); ++r)
        if (Cell(view, r, 0).toInt() == id)
            return r;
    return -1;
}

// Takes what the program hands to the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

} // namespace

class ViewerTest : public QObject {
    Q_OBJECT

private:
    quirel::sim::SimulatorThread m_sim;
    std::vector<Box> m_boxes;

    // A store that points the connection at the simulator (Modbus TCP).
    void PointAtSimulator(ISettingsStore& store, quint16 port) {
        store.WriteInt("ModbusCommunicationController", "Protocol", 0);
        store.WriteString("ModbusCommunicationController", "Host", "127.0.0.1:" + std::to_string(port));
    }

    std::unique_ptr<CKestrelApp> StartApp(std::unique_ptr<ISettingsStore> store, bool connect = false) {
        AppOptions options;
        options.catalogue = QUIREL_RESOURCES_DIR "/Parameters.ini";
        auto app = std::make_unique<CKestrelApp>(std::move(store), options);
        if (!app->InitInstance())
            return nullptr;
        // The overview opens at start; these tests work in the device parameters window beside it.
        app->OnDeviceParameters();
        if (connect)
            app->OnConnect();
        return app;
    }

    static void Finish(std::unique_ptr<CKestrelApp>& app) {
        app->ExitInstance();
        app.reset();
        quirel::setUiLanguage(quirel::kLanguageEnglish);
    }

private slots:
    void initTestCase() {
        quirel::ui::SetMessageBoxHandler(
            [this](QWidget*, const std::string& text, const std::string& caption, MbIcon icon, MbButtons) {
                m_boxes.push_back({text, caption, icon});
                return int(IDOK);
            });
        quirel::sim::SimulatorOptions options;
        options.tcp = true;
        options.cataloguePath = QUIREL_RESOURCES_DIR "/Parameters.ini";
        QString error;
        QVERIFY2(m_sim.start(options, error), qPrintable(error));
    }
    void cleanupTestCase() { m_sim.stop(); }
    void init() { m_boxes.clear(); }

    // A first start with nothing stored: English, "Parameters.ini", Modbus RTU on COM1 38400 8N1, slave 1.
    void emptySettingsGiveDefaults() {
        CMemorySettingsStore store;
        CControllerModbus controller;
        quirel::ui::ExchangeCommSettings(store, controller, true);
        QCOMPARE(controller.GetProtocol(), 1);
        QCOMPARE(controller.GetHost(), std::string("0.0.0.0"));
        // "COM1" names nothing here: the first port the system lists, else the usual USB adapter.
        QCOMPARE(controller.GetPortName(), quirel::ui::DefaultSerialPort());
        QVERIFY(controller.GetPortName().rfind("/dev/", 0) == 0);
        QCOMPARE(controller.GetBaudRate(), 38400u);
        QCOMPARE(controller.GetDataBits(), int16_t(8));
        QCOMPARE(controller.GetStopBits(), int16_t(1));
        QCOMPARE(controller.GetParity(), std::string("N"));
        QCOMPARE(controller.GetSlaveId(), 1);
        QCOMPARE(controller.GetModem(), 0);

        auto emptyIni = std::make_unique<CMemorySettingsStore>();
        emptyIni->WriteString("General", "IniFile", "");
        auto app = StartApp(std::move(emptyIni));
        QVERIFY(app);
        QCOMPARE(app->GetLanguage(), 9);
        QCOMPARE(app->GetCatalogueFileName(), std::string("Parameters.ini"));

        // Exit writes the connection section back: the defaults under their own keys.
        auto saved = std::make_unique<CMemorySettingsStore>();
        CMemorySettingsStore* written = saved.get();
        auto second = StartApp(std::move(saved));
        QVERIFY(second);
        second->ExitInstance();
        const std::map<std::string, std::string> expected = {
            {"Protocol", "1"},     {"Host", "0.0.0.0"},
            {"SlaveId", "1"},      {"ComPort", quirel::ui::DefaultSerialPort()},
            {"BaudRate", "38400"}, {"DataBits", "8"},
            {"StopBits", "1"},     {"Parity", "N"},
            {"Modem", "0"}};
        std::map<std::string, std::string> comm;
        for (const auto& [key, value] : written->Values())
            if (key.first == "ModbusCommunicationController")
                comm[key.second] = value;
        QCOMPARE(comm, expected);
        QVERIFY(written->Has("CViewParameters", "c4"));
        Finish(second);
        Finish(app);
    }

    // The document: a zero cell of the right type for every catalogue parameter, show counts that stay
    // balanced and never go below zero, lookups of unknown identifiers.
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
        QCOMPARE(doc.GetTitle(), std::string("Device parameters - Quirel Viewer Velorin"));
        const PARAMVALUE frequency = doc.GetValue(100).GetValue();
        QCOMPARE(frequency.dataType, static_cast<uint32_t>(catalogue.GetDescription(100).GetDataType()));
        QCOMPARE(frequency.raw, 0u);

        doc.AddVisible(999999); // not in the catalogue
        QCOMPARE(doc.GetShowCount(999999), 0);
        doc.AddVisible(100);
        doc.AddVisible(100);
        QCOMPARE(doc.GetShowCount(100), 2);
        doc.RemoveVisible(100);
        QCOMPARE(doc.GetShownIds(), std::vector<int32_t>{100});
        doc.RemoveVisible(100);
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
        // Without a connection the reads are refused and dropped.
        doc.UpdateVisible();
        QVERIFY(controller.IsPollQueueEmpty());
    }

    // The dialog offers what a serial line can do, marks what is stored and reads back what is shown.
    void commSettingsDialog() {
        CommDialogValues in;
        in.protocol = 1;
        in.host = "10.0.0.9";
        in.slaveId = 5;
        in.port = "\\\\.\\COM3";
        in.baudRate = 2400;
        in.stopBits = 2;
        in.parity = "E";
        in.modem = true;
        DlgCommSettings dialog(in);
        auto* baud = dialog.findChild<QComboBox*>("baudRate");
        auto* port = dialog.findChild<QComboBox*>("port");
        auto* parity = dialog.findChild<QComboBox*>("parity");
        auto* stopBits = dialog.findChild<QComboBox*>("stopBits");
        auto* host = dialog.findChild<QLineEdit*>("host");
        auto* slaveId = dialog.findChild<QLineEdit*>("slaveId");
        auto* tcp = dialog.findChild<QRadioButton*>("protocolTcp");
        auto* modem = dialog.findChild<QCheckBox*>("modem");
        QVERIFY(baud && port && parity && stopBits && host && slaveId && tcp && modem);

        QStringList bauds;
        for (int i = 0; i < baud->count(); ++i)
            bauds << baud->itemText(i);
        QCOMPARE(bauds, QStringList({"9600", "19200", "38400", "57600", "115200"}));
        QCOMPARE(baud->currentText(), QString("9600")); // 2400 is not offered
        QCOMPARE(port->currentText(), QString("COM3")); // the device prefix is cut off
        QCOMPARE(stopBits->currentText(), QString("2"));
        QCOMPARE(parity->currentText(), QString("E"));
        QCOMPARE(slaveId->text(), QString("5"));
        QVERIFY(modem->isChecked());
        QVERIFY(!host->isEnabled() && slaveId->isEnabled() && port->isEnabled() && baud->isEnabled());

        tcp->click();
        QVERIFY(host->isEnabled() && !slaveId->isEnabled() && !port->isEnabled() && !baud->isEnabled() &&
                !parity->isEnabled() && modem->isEnabled());
        slaveId->setText("x7"); // no range check: what does not read as a number is 0
        dialog.accept();
        QCOMPARE(dialog.Values().protocol, 0);
        QCOMPARE(dialog.Values().host, std::string("10.0.0.9"));
        QCOMPARE(dialog.Values().slaveId, 0);
        QCOMPARE(dialog.Values().baudRate, 9600);

        in.baudRate = 64800;
        DlgCommSettings other(in);
        QCOMPARE(other.findChild<QComboBox*>("baudRate")->currentText(), QString("9600"));
    }

    // Choosing TCP in the settings command keeps the serial parameters, in the controller and in the
    // settings, even when the serial controls were changed before switching.
    void settingsCommandKeepsSerialValues() {
        auto store = std::make_unique<CMemorySettingsStore>();
        const char* s = "ModbusCommunicationController";
        store->WriteInt(s, "Protocol", 1);
        store->WriteString(s, "ComPort", "/dev/ttyUSB0");
        store->WriteInt(s, "BaudRate", 19200);
        store->WriteString(s, "Parity", "E");
        CMemorySettingsStore* settings = store.get();
        auto app = StartApp(std::move(store));
        QVERIFY(app);
        bool seen = false;
        QTimer::singleShot(0, [&seen] {
            auto* dialog = qobject_cast<DlgCommSettings*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            seen = true;
            QCOMPARE(dialog->findChild<QComboBox*>("port")->currentText(), QString("/dev/ttyUSB0"));
            dialog->findChild<QComboBox*>("baudRate")->setCurrentText("115200");
            dialog->findChild<QRadioButton*>("protocolTcp")->click();
            dialog->findChild<QLineEdit*>("host")->setText("192.168.7.2");
            dialog->findChild<QLineEdit*>("slaveId")->setText("3");
            dialog->accept();
        });
        app->Action(Command::kSettings)->trigger();
        QVERIFY(seen);
        const CControllerModbus& c = app->Controller();
        QCOMPARE(c.GetProtocol(), 0);
        QCOMPARE(c.GetHost(), std::string("192.168.7.2"));
        QCOMPARE(c.GetSlaveId(), 3);
        QCOMPARE(c.GetBaudRate(), 19200u);
        QCOMPARE(c.GetPortName(), std::string("/dev/ttyUSB0"));
        QCOMPARE(settings->GetInt(s, "Protocol", -1), 0);
        QCOMPARE(settings->GetString(s, "Host", ""), std::string("192.168.7.2"));
        QCOMPARE(settings->GetInt(s, "SlaveId", -1), 3);
        QCOMPARE(settings->GetInt(s, "BaudRate", -1), 19200);
        QCOMPARE(settings->GetString(s, "Parity", ""), std::string("E"));

        // Cancel changes nothing.
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<DlgCommSettings*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->findChild<QRadioButton*>("protocolRtu")->click();
            dialog->reject();
        });
        app->Action(Command::kSettings)->trigger();
        QCOMPARE(c.GetProtocol(), 0);
        QCOMPARE(settings->GetInt(s, "Protocol", -1), 0);
        Finish(app);
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

        // "PC time" inserts what each clock type reads: a date and time, or a time of day.
        for (int32_t id : {525, 38}) {
            const CParameterDescription d = catalogue.GetDescription(id);
            CDlgEditParams clockDialog(catalogue, CParameterValue(id, d.GetDataType(), 0), d);
            QVERIFY(!clockDialog.PcTimeButton()->isHidden());
            clockDialog.PcTimeButton()->click();
            const QString text = clockDialog.ValueCombo()->currentText();
            QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(text).hasMatch(), qPrintable(text));
            clockDialog.accept();
            QCOMPARE(QString::fromStdString(clockDialog.GetValue().GetText(catalogue)), text);
        }

        const CParameterDescription clock = catalogue.GetDescription(40);
        QCOMPARE(clock.GetDataType(), 11);
        CDlgEditParams time(catalogue, CParameterValue(40, 11, 0), clock);
        QVERIFY(!time.PcTimeButton()->isHidden());
        time.PcTimeButton()->click();
        QCOMPARE(time.ValueCombo()->count(), 1);
        const QString now = time.ValueCombo()->currentText();
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(now).hasMatch(),
                 qPrintable(now));
        time.accept();
        QCOMPARE(QString::fromStdString(time.GetValue().GetText(catalogue)), now);

        const CParameterDescription delay = catalogue.GetDescription(205);
        CDlgEditParams plain(catalogue, CParameterValue(205, delay.GetDataType(), 30), delay);
        QVERIFY(plain.PcTimeButton()->isHidden());
        QCOMPARE(plain.ValueCombo()->count(), 1);
        QCOMPARE(plain.ValueCombo()->currentText(), QString("30"));
    }

    // "Protocol" 0 selects TCP although the serial values are loaded; a save writes both sets back as they
    // were, into the sections and keys the settings file keeps.
    void protocolZeroKeepsSerialValues() {
        QTemporaryDir dir;
        const std::string path = dir.filePath("settings.ini").toStdString();
        {
            CQSettingsStore store(path);
            const char* s = "ModbusCommunicationController";
            store.WriteInt(s, "Protocol", 0);
            store.WriteString(s, "Host", "10.1.2.3");
            store.WriteString(s, "ComPort", "/dev/ttyUSB1");
            store.WriteInt(s, "BaudRate", 19200);
            store.WriteInt(s, "DataBits", 7);
            store.WriteInt(s, "StopBits", 2);
            store.WriteString(s, "Parity", "E");
            store.WriteInt(s, "SlaveId", 17);
            store.WriteInt(s, "Modem", 1);
            store.Flush();
        }
        QFile before(QString::fromStdString(path));
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray original = before.readAll();
        before.close();

        CQSettingsStore store(path);
        CControllerModbus controller;
        quirel::ui::ExchangeCommSettings(store, controller, true);
        QCOMPARE(controller.GetProtocol(), 0);
        QCOMPARE(controller.GetHost(), std::string("10.1.2.3"));
        QCOMPARE(controller.GetPortName(), std::string("/dev/ttyUSB1"));
        QCOMPARE(controller.GetBaudRate(), 19200u);
        QCOMPARE(controller.GetParity(), std::string("E"));
        QCOMPARE(controller.GetSlaveId(), 17);
        quirel::ui::ExchangeCommSettings(store, controller, false);

        QFile after(QString::fromStdString(path));
        QVERIFY(after.open(QIODevice::ReadOnly));
        const QByteArray saved = after.readAll();
        QCOMPARE(saved, original);
        QVERIFY(saved.contains("[ModbusCommunicationController]"));
        QVERIFY(saved.contains("Protocol=0"));
        QVERIFY(saved.contains("ComPort=/dev/ttyUSB1"));
    }

    // Language 7: German menus, status texts and messages; values keep the decimal comma.
    void germanStart() {
        auto store = std::make_unique<CMemorySettingsStore>();
        store->WriteInt("General", "Language", 7);
        PointAtSimulator(*store, m_sim.tcpPort());
        CMemorySettingsStore* settings = store.get();
        auto app = StartApp(std::move(store));
        QVERIFY(app);
        CMainFrame* frame = app->FrameOf(app->FindParametersView());
        QStringList menus;
        for (QAction* a : frame->menuBar()->actions())
            menus << a->text();
        QCOMPARE(menus, QStringList({"&Datei", "Verbindung", "Parameter", "Oszilloskop", "Ereignisspeicher",
                                     "Sprache", "&Hilfe"}));
        QCOMPARE(app->Action(Command::kConnect)->text(), QString("Verbindung mit Gerät herstellen"));
        QVERIFY(app->Action(Command::kGerman)->isChecked());
        QVERIFY(!app->Action(Command::kEnglish)->isChecked());
        QCOMPARE(frame->StatusPaneText(1), QString("Keine Verbindung"));
        QCOMPARE(frame->windowTitle(), QString("Geräteparameter - Quirel Viewer Velorin"));

        app->OnConnect();
        QVERIFY(app->Controller().IsConnected());
        CViewParameters* view = app->FindParametersView();
        QVERIFY(view->SelectFolder("MeasuredMains"));
        QCOMPARE(view->List()->headerItem()->text(2), QString("Wert"));
        const int row = RowOf(view, 100); // mains frequency, two decimals
        QVERIFY(row >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression("^\\d+,\\d\\d$").match(Cell(view, row, 2)).hasMatch(),
                                 5000);

        // The language switch writes the setting and asks for a restart, in the language of this run.
        app->Action(Command::kEnglish)->trigger();
        QCOMPARE(settings->GetInt("General", "Language", 0), 9);
        QCOMPARE(m_boxes.size(), size_t(1));
        QCOMPARE(m_boxes[0].text,
                 std::string("Bitte starten Sie die Anwendung neu, damit die Änderungen wirksam werden."));
        QCOMPARE(m_boxes[0].icon, MbIcon::Information);
        QVERIFY(!app->Action(Command::kEnglish)->isChecked());
        Finish(app);
    }

    // The whole menu, item by item, in both languages; what is always available is enabled.
    void menusInBothLanguages() {
        const QStringList english = {"&File",
                                     "&Read parameter set from device",
                                     "&Send parameter set to device",
                                     "&Open parameter set",
                                     "&Update Device Firmware",
                                     "-",
                                     "E&xit",
                                     "Connection",
                                     "Connect to device",
                                     "Disconnect",
                                     "Settings...",
                                     "Parameter",
                                     "Device parameters",
                                     "Oscilloscope",
                                     "Single measurement ...",
                                     "Continuous measurement ...",
                                     "Eventlog",
                                     "Show eventlog ...",
                                     "Language",
                                     "German",
                                     "English",
                                     "&Help",
                                     "&About Quirel Viewer Velorin...",
                                     "Quirel Viewer Velorin Help"};
        const QStringList german = {"&Datei",
                                    "Parameter von Gerät &lesen ...",
                                    "Parameter in Gerät &senden ...",
                                    "&Parameter Datei öffnen",
                                    "&Update Geräte Firmware",
                                    "-",
                                    "&Beenden",
                                    "Verbindung",
                                    "Verbindung mit Gerät herstellen",
                                    "Verbindung trennen",
                                    "Einstellungen...",
                                    "Parameter",
                                    "Geräteparameter",
                                    "Oszilloskop",
                                    "Einzelmessung ...",
                                    "Dauermessung ...",
                                    "Ereignisspeicher",
                                    "Ereignisspeicher anzeigen ...",
                                    "Sprache",
                                    "Deutsch",
                                    "Englisch",
                                    "&Hilfe",
                                    "&Info über Quirel Viewer Velorin...",
                                    "Quirel Viewer Velorin Hilfe"};
        for (int language : {9, 7}) {
            auto store = std::make_unique<CMemorySettingsStore>();
            store->WriteInt("General", "Language", language);
            auto app = StartApp(std::move(store));
            QVERIFY(app);
            QStringList items;
            for (QAction* menu : app->Frames().at(0)->menuBar()->actions()) {
                items << menu->text();
                for (QAction* item : menu->menu()->actions())
                    items << (item->isSeparator() ? QString("-") : item->text());
            }
            QCOMPARE(items, language == 9 ? english : german);
            for (int id :
                 {Command::kExit, Command::kDeviceParameters, Command::kToolDeviceParameters,
                  Command::kEventLog, Command::kGerman, Command::kEnglish, Command::kAbout, Command::kHelp})
                QVERIFY(app->Action(id)->isEnabled());
            QCOMPARE(app->Action(Command::kGerman)->isChecked(), language == 7);
            QCOMPARE(app->Action(Command::kEnglish)->isChecked(), language == 9);
            if (language == 9) {
                // About shows the build's version with four numbers.
                QString version;
                QTimer::singleShot(0, [&version] {
                    QWidget* about = QApplication::activeModalWidget();
                    QVERIFY(about && about->objectName() == "aboutDialog");
                    version = about->findChild<QLineEdit*>("versionField")->text();
                    static_cast<QDialog*>(about)->accept();
                });
                app->Action(Command::kAbout)->trigger();
                QStringList numbers = QString(quirel::programVersion()).split('.');
                while (numbers.size() < 4)
                    numbers << "0";
                QCOMPARE(version, "Quirel Viewer Velorin Version " + numbers.join('.'));
            }
            Finish(app);
        }
    }

    // Connecting enables what needs a connection and greys what must not change meanwhile.
    void connectionDrivesCommandsAndPanes() {
        auto store = std::make_unique<CMemorySettingsStore>();
        PointAtSimulator(*store, m_sim.tcpPort());
        auto app = StartApp(std::move(store));
        QVERIFY(app);
        CMainFrame* frame = app->FrameOf(app->FindParametersView());
        QCOMPARE(frame->width(), 1200);
        QCOMPARE(frame->height(), 800);
        auto enabled = [&](int id) { return app->Action(id)->isEnabled(); };
        QVERIFY(enabled(Command::kConnect) && enabled(Command::kToolConnect) && enabled(Command::kSettings));
        QVERIFY(!enabled(Command::kDisconnect) && !enabled(Command::kToolDisconnect) &&
                !enabled(Command::kRefresh));
        QCOMPARE(frame->StatusPaneText(0), QString("Device state unknown"));
        QCOMPARE(frame->StatusPaneText(1), QString("No connection"));
        QCOMPARE(frame->StatusPaneText(2), QString("No connection"));
        QCOMPARE(frame->StatusPaneText(3), QString("No running measurement"));
        // A command's prompt covers the idle text of the message pane only while it is shown.
        auto* idle = frame->findChild<QLabel*>("paneMessage");
        QVERIFY(idle && idle->isVisible());
        QCOMPARE(idle->text(), QString("Ready"));
        QStatusTipEvent prompt("Establish connection to device.");
        QApplication::sendEvent(frame, &prompt);
        QCOMPARE(frame->statusBar()->currentMessage(), QString("Establish connection to device."));
        QVERIFY(!idle->isVisible());
        QStatusTipEvent gone{QString()};
        QApplication::sendEvent(frame, &gone);
        QVERIFY(idle->isVisible());
        for (int id : {Command::kReadParameterSet, Command::kFirmwareUpdate})
            QVERIFY(!enabled(id));

        app->Action(Command::kToolConnect)->trigger();
        QVERIFY(app->Controller().IsConnected());
        QVERIFY(!enabled(Command::kConnect) && !enabled(Command::kToolConnect) &&
                !enabled(Command::kSettings) && !enabled(Command::kToolSettings));
        QVERIFY(enabled(Command::kDisconnect) && enabled(Command::kRefresh));
        QCOMPARE(frame->StatusPaneText(1), QString("Connection established"));
        QCOMPARE(frame->StatusPaneText(2), QString("No trigger"));
        // The device state is read once after connecting: the simulated filter runs.
        QTRY_COMPARE_WITH_TIMEOUT(frame->StatusPaneText(0), QString("Running"), 5000);

        app->Action(Command::kDisconnect)->trigger();
        QVERIFY(!app->Controller().IsConnected());
        QTRY_COMPARE(frame->StatusPaneText(1), QString("No connection"));
        QVERIFY(enabled(Command::kConnect) && !enabled(Command::kRefresh));
        QCOMPARE(frame->StatusPaneText(0), QString("Device state unknown"));
        QVERIFY(m_boxes.empty());
        Finish(app);
    }

    // A folder lists its own parameters (not those of its subfolders) and their values once read; a
    // double click on a rw parameter writes the edited value to the device.
    void folderValuesAndEditing() {
        auto store = std::make_unique<CMemorySettingsStore>();
        PointAtSimulator(*store, m_sim.tcpPort());
        auto app = StartApp(std::move(store), true);
        QVERIFY(app && app->Controller().IsConnected());
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

        // ro and const rows open nothing.
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
        QTest::qWait(60);
        QVERIFY(opened == nullptr);
        guard.stop();

        // Start delay (rw, 16-bit): type a new value and confirm.
        const int row = RowOf(view, 205);
        QVERIFY(row >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(Cell(view, row, 2) != "--", 5000);
        const QString written = Cell(view, row, 2) == "137" ? "138" : "137";
        QTimer::singleShot(0, [written] {
            auto* dialog = qobject_cast<CDlgEditParams*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
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
        QVERIFY(app);
        CViewParameters* view = app->FindParametersView();
        QVERIFY(view->SelectFolder("MeasuredMains"));
        QCOMPARE(view->List()->topLevelItemCount(), 19);
        for (int r = 0; r < 19; ++r)
            QCOMPARE(Cell(view, r, 2), QString("--"));
        QVERIFY(app->Controller().IsPollQueueEmpty());
        QVERIFY(view->SelectFolder("CommGeneral"));
        const PARAMVALUE before = app->DocParameters().GetValue(205).GetValue();
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<CDlgEditParams*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
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
        quirel::sim::SimulatorOptions options;
        options.tcp = true;
        options.cataloguePath = QUIREL_RESOURCES_DIR "/Parameters.ini";
        options.faultCommands = QStringList{"delay 100"};
        QString error;
        QVERIFY2(slow.start(options, error), qPrintable(error));

        auto store = std::make_unique<CMemorySettingsStore>();
        PointAtSimulator(*store, slow.tcpPort());
        auto app = StartApp(std::move(store), true);
        QVERIFY(app && app->Controller().IsConnected());
        CViewParameters* view = app->FindParametersView();
        UpdateCounter counter;
        app->DocParameters().AddView(&counter);
        QVERIFY(view->SelectFolder("MeasuredLoad")); // four reads queued
        view->OnRefresh();                           // drops what still waits, queues four again
        QVERIFY(app->Controller().WaitForIdle(10000));
        QTest::qWait(50);
        QCoreApplication::processEvents();
        app->DocParameters().RemoveView(&counter);
        // One read may already be running when refresh comes; it is not in the queue and completes.
        QVERIFY2(counter.updates <= 4 + 1, qPrintable(QString::number(counter.updates)));
        QVERIFY(counter.updates >= 4);
        Finish(app);
        slow.stop();
    }

    // After a connect the list shows what the device sends, never a zero it did not send: "--" until
    // the value arrives, read without waiting for a refresh. Parameters without a register form show their
    // zero, and the unit column is wide enough for its longest unit.
    void connectShowsOnlyDeviceValues() {
        auto store = std::make_unique<CMemorySettingsStore>();
        PointAtSimulator(*store, m_sim.tcpPort());
        auto app = StartApp(std::move(store));
        QVERIFY(app);
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

    // Help opens the manual of old when the current folder has it, else the HTML manual in the language
    // of the run (here the source's, as for every program of the build tree); without either it says
    // where it looked instead of doing nothing.
    void helpOpensTheManual() {
        QTemporaryDir cwd, noManual;
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(cwd.path()));
        UrlCatcher opened;
        QDesktopServices::setUrlHandler("file", &opened, "Open");
        const QString pdf = cwd.filePath("Quirel Viewer Manual EN V02_February_2015.pdf");
        const QString manual = QFileInfo(QUIREL_RESOURCES_DIR "/../docs/manual").canonicalFilePath();
        struct Case {
            int language;
            bool pdfInCurrentFolder;
            QString manualFolder;
            QString opens; // empty: the message
        };
        const Case cases[] = {
            {quirel::kLanguageEnglish, false, QString(), manual + "/en/index.html"},
            {quirel::kLanguageGerman, false, QString(), manual + "/de/index.html"},
            {quirel::kLanguageGerman, true, QString(), pdf},
            {quirel::kLanguageEnglish, false, noManual.path(), QString()},
        };
        for (const Case& c : cases) {
            m_boxes.clear();
            opened.urls.clear();
            QFile file(pdf);
            if (c.pdfInCurrentFolder)
                QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            auto store = std::make_unique<CMemorySettingsStore>();
            store->WriteInt("General", "Language", c.language);
            AppOptions options;
            options.catalogue = QUIREL_RESOURCES_DIR "/Parameters.ini";
            options.manualFolder = c.manualFolder.toStdString();
            auto app = std::make_unique<CKestrelApp>(std::move(store), options);
            QVERIFY(app->InitInstance());
            app->OnHelp();
            if (c.opens.isEmpty()) {
                QVERIFY(opened.urls.isEmpty());
                QCOMPARE(m_boxes.size(), size_t(1));
                QVERIFY2(m_boxes[0].text.rfind("No manual is installed", 0) == 0, m_boxes[0].text.c_str());
                QVERIFY(QString::fromStdString(m_boxes[0].text).contains(noManual.filePath("en/index.html")));
            } else {
                QVERIFY2(m_boxes.empty(), m_boxes.empty() ? "" : m_boxes[0].text.c_str());
                QCOMPARE(opened.urls.size(), 1);
                QVERIFY(QFileInfo::exists(c.opens));
                QCOMPARE(QFileInfo(opened.urls[0].toLocalFile()).canonicalFilePath(),
                         QFileInfo(c.opens).canonicalFilePath());
            }
            Finish(app);
            QFile::remove(pdf);
        }
        QDesktopServices::unsetUrlHandler("file");
        QDir::setCurrent(saved);
    }

    // Connect waits for the device's answer with the windows painted and the message pane saying what is
    // tried; no other command runs meanwhile.
    void connectKeepsTheWindowPainted() {
        quirel::sim::SimulatorThread slow;
        quirel::sim::SimulatorOptions options;
        options.pty = true;
        options.cataloguePath = QUIREL_RESOURCES_DIR "/Parameters.ini";
        options.faultCommands = QStringList{"delay 600"};
        QString error;
        QVERIFY2(slow.start(options, error), qPrintable(error));
        auto store = std::make_unique<CMemorySettingsStore>();
        store->WriteString("ModbusCommunicationController", "ComPort", slow.rtuPath().toStdString());
        auto app = StartApp(std::move(store));
        QVERIFY(app);
        CMainFrame* frame = app->Frames().at(0);
        int ticks = 0;
        QString shown;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            shown = frame->statusBar()->currentMessage();
        });
        timer.start(50);
        app->OnConnect(); // the probe's answer takes 600 ms
        timer.stop();
        QVERIFY(app->Controller().IsConnected());
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        QCOMPARE(shown, QString("Connecting to %1 at 38400 baud ...").arg(slow.rtuPath()));
        QCOMPARE(frame->statusBar()->currentMessage(), QString());
        Finish(app);
        slow.stop();
    }

    // A catalogue that cannot be found is reported at start; the program still starts.
    void missingCatalogueIsReported() {
        AppOptions options;
        options.catalogue = "No-such-catalogue.ini";
        auto app = std::make_unique<CKestrelApp>(std::make_unique<CMemorySettingsStore>(), options);
        QVERIFY(app->InitInstance());
        QCOMPARE(m_boxes.size(), size_t(1));
        QVERIFY2(
            m_boxes[0].text.rfind("The parameter catalogue was not found: \"No-such-catalogue.ini\"", 0) == 0,
            m_boxes[0].text.c_str());
        Finish(app);
    }

    // Column widths and the window rectangle come back on the next start; a negative x is clamped to 0.
    void layoutComesBack() {
        QTemporaryDir dir;
        const std::string path = dir.filePath("settings.ini").toStdString();
        {
            auto app = StartApp(std::make_unique<CQSettingsStore>(path));
            QVERIFY(app);
            CViewParameters* view = app->FindParametersView();
            view->List()->setColumnWidth(1, 211);
            view->List()->setColumnWidth(4, 333);
            Finish(app);
        }
        {
            CQSettingsStore store(path);
            QCOMPARE(store.GetInt("CViewParameters", "c1", 0), 211);
            QCOMPARE(store.GetInt("CViewParameters", "c4", 0), 333);
            store.WriteInt("CViewParameters", "x", -40);
            store.WriteInt("CViewParameters", "y", 30);
            store.WriteInt("CViewParameters", "cx", 900);
            store.WriteInt("CViewParameters", "cy", 600);
            store.Flush();
        }
        auto app = StartApp(std::make_unique<CQSettingsStore>(path));
        QVERIFY(app);
        CViewParameters* view = app->FindParametersView();
        QCOMPARE(view->List()->columnWidth(0), 30);
        QCOMPARE(view->List()->columnWidth(1), 211);
        QCOMPARE(view->List()->columnWidth(4), 333);
        QWidget* frame = view->window();
        QCOMPARE(frame->pos().x(), 0);
        QCOMPARE(frame->pos().y(), 30);
        QCOMPARE(frame->size(), QSize(900, 600));
        Finish(app);
    }

    // The three parameter-set commands from the menu: read and save with the windows painted and the
    // progress moving, the report of a file, and a send whose confirmation marks what it changes.
    void parameterSetCommands() {
        auto store = std::make_unique<CMemorySettingsStore>();
        PointAtSimulator(*store, m_sim.tcpPort());
        auto app = StartApp(std::move(store), true);
        QVERIFY(app && app->Controller().IsConnected());
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
        int ticks = 0;
        std::set<int> positions;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* progress = qobject_cast<QProgressDialog*>(w); progress && progress->isVisible())
                    positions.insert(progress->value());
        });
        timer.start(20);
        app->Action(Command::kReadParameterSet)->trigger();
        timer.stop();
        QCOMPARE(filter, QString("Quirel Viewer Velorin Setup Parameters (*.btp)"));
        QVERIFY2(ticks >= 20 && positions.size() >= 3,
                 qPrintable(QString("%1 %2").arg(ticks).arg(positions.size())));
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
        QFile saved(QString::fromStdString(text)); // the report as text, as shown
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(saved.readAll()), report);

        CControllerModbus& controller = app->Controller();
        CDocParameters& doc = app->DocParameters();
        const PARAMVALUE ct = doc.GetValue(310).GetValue();
        controller.AddUserJob(
            std::make_unique<CJobWriteParameter>(CParameterValue(310, ct.dataType, ct.raw + 7)));
        QVERIFY(controller.WaitForIdle(5000));
        app->Action(Command::kSendParameterSet)->trigger();
        QCOMPARE(changed, QStringList{"310"});
        QVERIFY(!notSentShown);
        controller.AddPollJob(std::make_unique<CJobUpdateVisibleParameter>(&doc, 310, doc.GetValue(310)));
        QVERIFY(controller.WaitForIdle(5000));
        QCOMPARE(doc.GetValue(310).GetValue(), ct);
        QVERIFY(m_boxes.empty());
        quirel::ui::SetModalHandler({});
        quirel::ui::SetFileDialogHandler({});
        Finish(app);
    }

    // A device whose revision differs from the catalogue's offers its catalogue: Cancel disconnects, OK
    // downloads it, makes it the catalogue and ends the program; the next start finds the revisions equal.
    void connectOffersTheDeviceCatalogue() {
        quirel::sim::SimulatorThread newer;
        quirel::sim::SimulatorOptions options;
        options.tcp = true;
        options.cataloguePath = QUIREL_RESOURCES_DIR "/Parameters.ini";
        options.revision = "V2.15";
        QString error;
        QVERIFY2(newer.start(options, error), qPrintable(error));
        int offers = 0;
        int answer = QDialog::Rejected;
        quirel::ui::SetModalHandler([&](QDialog& dialog) {
            offers += dynamic_cast<CNewParaFound*>(&dialog) != nullptr;
            return answer;
        });
        auto settings = [&] {
            auto store = std::make_unique<CMemorySettingsStore>();
            PointAtSimulator(*store, newer.tcpPort());
            return store;
        };
        auto app = StartApp(settings(), true);
        QVERIFY(app);
        QCOMPARE(offers, 1);
        QVERIFY(!app->Controller().IsConnected());
        QVERIFY(app->GetRevisionDiffers());
        QCOMPARE(app->FindParametersView()->window()->windowTitle(),
                 QString("Device parameters - Quirel Viewer Velorin - Firmware V2.15"));

        const std::string target = quirel::app::ProgramFilePath("dlParameters.ini");
        answer = QDialog::Accepted;
        app->OnConnect();
        QCOMPARE(offers, 2);
        QCOMPARE(app->GetCatalogueFileName(), std::string("dlParameters.ini"));
        QVERIFY(QFileInfo::exists(QString::fromStdString(target)));
        QCOMPARE(m_boxes.size(), size_t(1));
        QCOMPARE(m_boxes[0].text,
                 std::string("Please restart the application for the changes to take effect."));
        QVERIFY(app->Frames().empty());
        Finish(app);

        auto store = settings();
        store->WriteString("General", "IniFile", "dlParameters.ini");
        auto restarted = std::make_unique<CKestrelApp>(std::move(store), AppOptions{});
        QVERIFY(restarted->InitInstance());
        restarted->OnConnect();
        QCOMPARE(restarted->Catalogue().GetCataloguePath(), target);
        QVERIFY(restarted->Controller().IsConnected());
        QVERIFY(!restarted->GetRevisionDiffers());
        QCOMPARE(offers, 2);
        Finish(restarted);
        QFile::remove(QString::fromStdString(target));
        quirel::ui::SetModalHandler({});
        newer.stop();
    }

    // Without a readable identification a parameter set can be read but not sent.
    void unreadableIdentificationGreysSending() {
        // A Modbus TCP device that knows no function at all: it answers every request with exception 1.
        QTcpServer device;
        QVERIFY(device.listen(QHostAddress::LocalHost, 0));
        connect(&device, &QTcpServer::newConnection, [&device] {
            QTcpSocket* socket = device.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                while (socket->bytesAvailable() >= 8) {
                    const QByteArray header = socket->peek(6);
                    const int length = 6 + ((quint8(header[4]) << 8) | quint8(header[5]));
                    if (socket->bytesAvailable() < length)
                        return;
                    const QByteArray request = socket->read(length);
                    QByteArray reply = request.left(4) + QByteArray("\x00\x03", 2) + request.mid(6, 1);
                    reply += char(quint8(request[7]) | 0x80);
                    reply += char(1);
                    socket->write(reply);
                }
            });
        });
        const quint16 port = device.serverPort();
        auto store = std::make_unique<CMemorySettingsStore>();
        PointAtSimulator(*store, port);
        auto app = StartApp(std::move(store), true);
        QVERIFY(app && app->Controller().IsConnected());
        QVERIFY(app->GetIdentificationUnreadable());
        QVERIFY(app->Action(Command::kReadParameterSet)->isEnabled());
        QVERIFY(!app->Action(Command::kSendParameterSet)->isEnabled());
        // (The device has no registers either: its read refusals are the only boxes.)
        for (const Box& box : m_boxes)
            QCOMPARE(box.caption, std::string("Read parameter"));
        Finish(app);
    }
};

QTEST_MAIN(ViewerTest)
#include "ViewerTest.moc"
