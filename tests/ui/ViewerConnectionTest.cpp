// Connecting the viewer: the connection settings as dialog, command and stored keys, what a connection
// enables and shows, a slow device, a device with another catalogue revision and one that cannot identify
// itself.

#include "ViewerFixture.h"
#include "app/ProgramFiles.h"
#include "comm/ControllerModbus.h"
#include "parameters/ParameterManager.h"
#include "ui/app/CommSettings.h"
#include "ui/app/DlgCommSettings.h"
#include "ui/app/MainFrame.h"
#include "ui/app/NewParaFound.h"
#include "ui/common/ModalDialogs.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using quirel::test::Box;
using quirel::test::Child;
using quirel::ui::CMemorySettingsStore;
using quirel::ui::CQSettingsStore;

class ViewerConnectionTest : public QObject, private quirel::test::ViewerFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(StartSimulator()); }
    void init() { m_boxes.clear(); }

    // The dialog offers what a serial line can do, marks what is stored and reads back what is shown.
    void commSettingsDialog() {
        CommDialogValues in{.protocol = 1,
                            .host = "10.0.0.9",
                            .slaveId = 5,
                            .port = "\\\\.\\COM3",
                            .baudRate = 2400,
                            .stopBits = 2,
                            .parity = "E",
                            .modem = true};
        DlgCommSettings dialog(in);
        auto* baud = Child<QComboBox>(&dialog, "baudRate");
        auto* port = Child<QComboBox>(&dialog, "port");
        auto* host = Child<QLineEdit>(&dialog, "host");
        auto* slaveId = Child<QLineEdit>(&dialog, "slaveId");

        QStringList bauds;
        for (int i = 0; i < baud->count(); ++i)
            bauds << baud->itemText(i);
        QCOMPARE(bauds, QStringList({"9600", "19200", "38400", "57600", "115200"}));
        QCOMPARE(baud->currentText(), QString("9600")); // 2400 is not offered
        QCOMPARE(port->currentText(), QString("COM3")); // the device prefix is cut off
        QCOMPARE(Child<QComboBox>(&dialog, "stopBits")->currentText(), QString("2"));
        QCOMPARE(Child<QComboBox>(&dialog, "parity")->currentText(), QString("E"));
        QCOMPARE(slaveId->text(), QString("5"));
        QVERIFY(Child<QCheckBox>(&dialog, "modem")->isChecked());
        QVERIFY(!host->isEnabled() && slaveId->isEnabled() && port->isEnabled() && baud->isEnabled());

        Child<QRadioButton>(&dialog, "protocolTcp")->click();
        QVERIFY(host->isEnabled() && !slaveId->isEnabled() && !port->isEnabled() && !baud->isEnabled() &&
                !Child<QComboBox>(&dialog, "parity")->isEnabled() &&
                Child<QCheckBox>(&dialog, "modem")->isEnabled());
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

    // "Search ..." lists the simulator as it answers and fills the settings with the device chosen; "Test"
    // says what answered, or why nothing could.
    void searchAndTestFromTheDialog() {
        CommDialogValues in;
        in.protocol = 0;
        in.host = "127.0.0.1:1";
        in.slaveId = 9; // the search puts the device's own
        DlgCommSettings dialog(in);
        auto* result = Child<QLabel>(&dialog, "testResult");
        dialog.findChild<QPushButton*>("test")->click();
        QCOMPARE(result->text(), QString("TCP/IP connection error\n127.0.0.1:1: Connection refused"));

        dialog.findChild<QLineEdit*>("host")->setText(QString("127.0.0.1:%1").arg(m_sim.tcpPort()));
        quirel::ui::SetModalHandler([](QDialog& search) {
            search.show();
            auto* list = search.findChild<QTreeWidget*>("searchResults");
            if (!list || !QTest::qWaitFor([list] { return list->topLevelItemCount() > 0; }))
                return int(QDialog::Rejected);
            list->setCurrentItem(list->topLevelItem(0));
            search.accept();
            return search.result();
        });
        dialog.findChild<QPushButton*>("search")->click();
        quirel::ui::SetModalHandler({});
        QCOMPARE(dialog.findChild<QLineEdit*>("slaveId")->text(), QString("1"));
        dialog.findChild<QPushButton*>("test")->click();
        QCOMPARE(result->text(), QString("Slave 1 answered.\nVendor: Tolvane International Ltd\nProduct: "
                                         "AHF-100\nRevision: V2.14"));
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
        store->WriteInt(s, "Tries", 99); // beyond what the master does: the default stays
        CMemorySettingsStore* settings = store.get();
        auto app = StartApp(std::move(store));
        bool seen = false;
        quirel::test::OnModal<DlgCommSettings>([&seen](DlgCommSettings* dialog) {
            seen = true;
            QCOMPARE(dialog->findChild<QComboBox*>("port")->currentText(), QString("/dev/ttyUSB0"));
            dialog->findChild<QComboBox*>("baudRate")->setCurrentText("115200");
            dialog->findChild<QRadioButton*>("protocolTcp")->click();
            dialog->findChild<QLineEdit*>("host")->setText("192.168.7.2");
            dialog->findChild<QLineEdit*>("slaveId")->setText("3");
            QCOMPARE(dialog->findChild<QSpinBox*>("tries")->value(), 11);
            dialog->findChild<QSpinBox*>("tries")->setValue(4);
            dialog->findChild<QSpinBox*>("replyTimeout")->setValue(300);
            dialog->accept();
        });
        app->Action(Command::kSettings)->trigger();
        QVERIFY(seen);
        QCOMPARE(app->Controller().GetTries(), 4);
        QCOMPARE(app->Controller().GetTimeout(), 300);
        const CControllerModbus& c = app->Controller();
        QCOMPARE(c.GetProtocol(), 0);
        QCOMPARE(c.GetHost(), std::string("192.168.7.2"));
        QCOMPARE(c.GetSlaveId(), 3);
        QCOMPARE(c.GetBaudRate(), 19200u);
        QCOMPARE(c.GetPortName(), std::string("/dev/ttyUSB0"));
        // The settings are written from the controller at once, the serial values kept.
        QCOMPARE(settings->GetInt(s, "Protocol", -1), 0);
        QCOMPARE(settings->GetInt(s, "Tries", -1), 4);
        QCOMPARE(settings->GetString(s, "Parity", ""), std::string("E"));

        // Cancel changes nothing.
        quirel::test::OnModal<DlgCommSettings>([](DlgCommSettings* dialog) {
            dialog->findChild<QRadioButton*>("protocolRtu")->click();
            dialog->reject();
        });
        app->Action(Command::kSettings)->trigger();
        QCOMPARE(c.GetProtocol(), 0);
        QCOMPARE(settings->GetInt(s, "Protocol", -1), 0);
        Finish(app);
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
            store.WriteInt(s, "ReplyTimeout", 250);
            store.WriteInt(s, "Tries", 3);
            store.Flush();
        }
        const QByteArray original = quirel::test::FileBytes(QString::fromStdString(path));

        CQSettingsStore store(path);
        CControllerModbus controller;
        quirel::ui::ExchangeCommSettings(store, controller, true);
        QCOMPARE(controller.GetProtocol(), 0);
        QCOMPARE(controller.GetPortName(), std::string("/dev/ttyUSB1"));
        // Written back from the controller: the same bytes only if every value was taken as stored.
        quirel::ui::ExchangeCommSettings(store, controller, false);

        const QByteArray saved = quirel::test::FileBytes(QString::fromStdString(path));
        QCOMPARE(saved, original);
        QVERIFY(saved.contains("[ModbusCommunicationController]") && saved.contains("ComPort=/dev/ttyUSB1"));
    }

    // Connecting enables what needs a connection and greys what must not change meanwhile.
    void connectionDrivesCommandsAndPanes() {
        auto app = StartApp(quirel::test::SimulatorStore(m_sim.tcpPort()));
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

    // Connect waits for the device's answer with the windows painted and the message pane saying what is
    // tried; no other command runs meanwhile.
    void connectKeepsTheWindowPainted() {
        quirel::sim::SimulatorThread slow;
        quirel::sim::SimulatorOptions options = quirel::test::TestSimulatorOptions();
        options.tcp = false;
        options.pty = true;
        options.faultCommands = QStringList{"delay 600"};
        QString error;
        QVERIFY2(slow.start(options, error), qPrintable(error));
        auto store = std::make_unique<CMemorySettingsStore>();
        store->WriteString("ModbusCommunicationController", "ComPort", slow.rtuPath().toStdString());
        auto app = StartApp(std::move(store));
        CMainFrame* frame = app->Frames().at(0);
        // What the timer saw can only have been seen with the event loop turning during the connect.
        QString shown;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { shown = frame->statusBar()->currentMessage(); });
        timer.start(50);
        app->OnConnect(); // the probe's answer takes 600 ms
        timer.stop();
        QVERIFY(app->Controller().IsConnected());
        QCOMPARE(shown, QString("Connecting to %1 at 38400 baud ...").arg(slow.rtuPath()));
        QCOMPARE(frame->statusBar()->currentMessage(), QString());
        Finish(app);
        slow.stop();
    }

    // A device whose revision differs from the catalogue's offers its catalogue: Cancel disconnects, OK
    // downloads it, makes it the catalogue and ends the program; the next start finds the revisions equal.
    void connectOffersTheDeviceCatalogue() {
        quirel::sim::SimulatorThread newer;
        quirel::sim::SimulatorOptions options = quirel::test::TestSimulatorOptions();
        options.revision = "V2.15";
        QString error;
        QVERIFY2(newer.start(options, error), qPrintable(error));
        int offers = 0;
        int answer = QDialog::Rejected;
        quirel::ui::SetModalHandler([&](QDialog& dialog) {
            offers += dynamic_cast<CNewParaFound*>(&dialog) != nullptr;
            return answer;
        });
        auto settings = [&] { return quirel::test::SimulatorStore(newer.tcpPort()); };
        auto app = StartApp(settings(), true);
        QCOMPARE(offers, 1);
        QVERIFY(!app->Controller().IsConnected());
        QCOMPARE(app->Controller().JobsRun(), uint64_t(0)); // nothing was read with the unfitting catalogue
        QVERIFY(app->GetRevisionDiffers());
        QCOMPARE(app->FindParametersView()->window()->windowTitle(),
                 QString("Device parameters - Quirel Viewer Velorin - Firmware V2.15"));

        const std::string target = quirel::test::TestFileFolder() + "/dlParameters.ini";
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
        AppOptions restart = quirel::test::TestAppOptions();
        restart.catalogue.clear(); // the setting names it
        auto restarted = std::make_unique<CKestrelApp>(std::move(store), restart);
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

    // A host that answers in another protocol (a web server) is no connection: one message names what
    // came back.
    void hostOfAnotherProtocolIsNoConnection() {
        QTcpServer web;
        QVERIFY(web.listen(QHostAddress::LocalHost, 0));
        connect(&web, &QTcpServer::newConnection, [&web] {
            QTcpSocket* socket = web.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                socket->readAll();
                socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
            });
        });
        auto app = StartApp(quirel::test::SimulatorStore(web.serverPort()), true);
        QVERIFY(!app->Controller().IsConnected());
        QCOMPARE(app->FrameOf(app->FindParametersView())->StatusPaneText(1), QString("No connection"));
        QCOMPARE(m_boxes.size(), size_t(1));
        QCOMPARE(m_boxes[0].caption, std::string("Modbus error"));
        QVERIFY2(
            m_boxes[0].text.rfind("Invalid frame error\nReceived: \"HTTP/1.1 400 Bad Request\\r\\n", 0) == 0,
            m_boxes[0].text.c_str());
        Finish(app);
    }

    // Cancel ends a connect to a device that does not answer at once and without a message, in the probe
    // of a serial line and in the identification read over TCP; each wait says what it waits for.
    void cancelEndsAConnectToASilentDevice() {
        const int pty = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(pty >= 0 && ::grantpt(pty) == 0 && ::unlockpt(pty) == 0);
        const QString line = ::ptsname(pty);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        const QString waits[] = {"Connecting to " + line + " at 38400 baud ...",
                                 "Reading the device identification ..."};
        for (const QString& wait : waits) {
            m_boxes.clear();
            auto store = wait == waits[0] ? std::make_unique<CMemorySettingsStore>()
                                          : quirel::test::SimulatorStore(silent.serverPort());
            store->WriteString("ModbusCommunicationController", "ComPort", line.toStdString());
            auto app = StartApp(std::move(store));
            QString label;
            QTimer user;
            connect(&user, &QTimer::timeout, [&] {
                QProgressDialog* progress = quirel::test::ShownProgress();
                if (auto* cancel = progress ? progress->findChild<QPushButton*>() : nullptr;
                    cancel && cancel->isEnabled()) {
                    label = progress->labelText();
                    cancel->click();
                }
            });
            user.start(100);
            app->OnConnect();
            user.stop();
            // Ended by Cancel, not by running out of tries: those would say so in a box.
            QCOMPARE(label, wait);
            QVERIFY(!app->Controller().IsConnected());
            QVERIFY2(m_boxes.empty(), m_boxes.empty() ? "" : m_boxes[0].text.c_str());
            Finish(app);
        }
        ::close(pty);
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
        // The device answers on this thread: a request still open when the program ends waits out its
        // time-out.
        auto store = quirel::test::SimulatorStore(device.serverPort());
        store->WriteInt("ModbusCommunicationController", "ReplyTimeout", 200);
        store->WriteInt("ModbusCommunicationController", "Tries", 1);
        auto app = StartApp(std::move(store), true);
        QVERIFY(app->Controller().IsConnected());
        QVERIFY(app->GetIdentificationUnreadable());
        QVERIFY(app->Action(Command::kReadParameterSet)->isEnabled());
        QVERIFY(!app->Action(Command::kSendParameterSet)->isEnabled());
        // (The device has no registers either: its refusals of the reads and of the overview's trigger
        // query, whichever ran before the end, are the only boxes.)
        for (const Box& box : m_boxes)
            QVERIFY2(box.caption == "Read parameter" || box.caption == "Query trigger state",
                     box.caption.c_str());
        Finish(app);
    }
};

QUIREL_UI_TEST(ViewerConnectionTest)
#include "ViewerConnectionTest.moc"
