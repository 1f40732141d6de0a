// The firmware update as a user meets it in the viewer: the command's enabling, the service dialog, the
// wait window's Cancel, and a whole update against the simulator's bootloader during which the windows keep
// painting and no other command runs.

#include "AppTestSupport.h"
#include "FirmwareTestSupport.h"
#include "comm/ControllerModbus.h"
#include "ui/app/MainFrame.h"
#include "ui/firmware/DlgSerialBootLoader.h"
#include "ui/firmware/FileDownload.h"
#include "ui/firmware/FirmwareUpdate.h"
#include "ui/firmware/UpdateFirmwareMenue.h"

#include <pty.h>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

// The protocol's waits, cut to at most 100 ms.
class ShortWaits : public IClock {
public:
    void Sleep(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 100))); }
};

// Accepts the service dialog with `port` as soon as it is up.
void AcceptServiceDialogWith(const QString& port) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, port] {
        if (auto* dialog = qobject_cast<CDlgSerialBootLoader*>(QApplication::activeModalWidget())) {
            dialog->PortList()->setEditText(port);
            dialog->accept();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

bool HasLabel(QWidget* window, const QString& text) {
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->text() == text)
            return true;
    return false;
}

} // namespace

class FirmwareWindowsTest : public QObject {
    Q_OBJECT

private:
    std::vector<std::string> m_boxes;
    std::function<void(const std::string&)> m_onBox;
    ShortWaits m_clock;

private slots:
    void initTestCase() {
        quirel::ui::SetMessageBoxHandler([this](QWidget*, const std::string& text, const std::string&, MbIcon,
                                                MbButtons buttons) {
            m_boxes.push_back(text);
            if (m_onBox)
                m_onBox(text);
            return buttons == MbButtons::YesNo || buttons == MbButtons::YesNoCancel ? int(IDYES) : int(IDOK);
        });
    }
    void init() {
        m_boxes.clear();
        m_onBox = nullptr;
        quirel::setUiLanguage(quirel::kLanguageEnglish);
    }

    // The port list offers a stored name that the system does not list instead of losing it; a name with a
    // prefix before "COM" is taken from "COM" on. German texts in a German run.
    void serviceDialogKeepsATypedPort() {
        for (const auto& [stored, shown] :
             {std::pair{"/dev/pts/77", "/dev/pts/77"}, std::pair{"\\\\.\\COM12", "COM12"}}) {
            CDlgSerialBootLoader dialog(stored);
            QCOMPARE(dialog.PortList()->currentText(), QString(shown));
            QCOMPARE(dialog.PortName(), std::string(shown));
        }
        quirel::setUiLanguage(quirel::kLanguageGerman);
        CDlgSerialBootLoader german("");
        QCOMPARE(german.windowTitle(), QString("Achtung: Nur für SERVICE"));
        QVERIFY(HasLabel(&german, "2. Baudrate (Parameter 231) auf 38400b/s stellen"));
    }

    // Cancel in the wait window ends the wait for a power-cycled device.
    void waitWindowCancelStopsTheWait() {
        int master = -1, slave = -1;
        char name[64] = {};
        QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0); // nobody answers on this line
        quirel::setUiLanguage(quirel::kLanguageGerman);
        quirel::ui::CFirmwareUpdate update;
        update.SetClock(&m_clock);
        bool germanWindow = false;
        auto* clicker = new QTimer;
        connect(clicker, &QTimer::timeout, clicker, [&] {
            CUpdateFirmwareMenue* wait = update.WaitWindow();
            if (wait && wait->isVisible()) {
                germanWindow = HasLabel(wait, "Bitte warten!") && wait->CancelButton()->text() == "Abbrechen";
                QTest::mouseClick(wait->CancelButton(), Qt::LeftButton);
                clicker->deleteLater();
            }
        });
        clicker->start(20);
        AcceptServiceDialogWith(name);
        QVERIFY(update.Run(nullptr));
        QVERIFY(germanWindow);
        QCOMPARE(m_boxes.back(), std::string("Menue Debug Roadworks"));
        QVERIFY(!update.Procedure().IsForcedStart());
        ::close(slave);
        ::close(master);
    }

    // Connected: the command is offered; it ends the connection, loads the firmware while the progress
    // window moves and the frames take no command, and leaves the flash as the file says.
    void updateKeepsPaintingAndBlocksOtherCommands() {
        quirel::test::TempDir dir;
        quirel::sim::SimulatorThread sim;
        quirel::sim::SimulatorOptions options = quirel::test::TestSimulatorOptions();
        options.pty = true;
        options.revision = "2.2.0.8"; // the newest firmware this bootloader update is offered for
        options.bootLoader.version = "1.1";
        options.bootLoader.flashOut = QString::fromStdString(dir.File("flash.bin"));
        QString error;
        QVERIFY2(sim.start(options, error), qPrintable(error));

        // Enough blocks that the transfer takes a while.
        std::vector<std::uint8_t> image = quirel::test::ScatteredImage();
        for (std::size_t i = 0x20000; i < 0x60000; ++i)
            image[i] = static_cast<std::uint8_t>(i * 13 + (i >> 8));
        QVERIFY(quirel::test::WriteTextFile(dir.File("fw.srec"), quirel::test::SRecordFile(image, 32)));

        // The catalogue of that firmware, so the check at connect finds the revisions equal.
        QByteArray catalogue = quirel::test::FileBytes(QUIREL_RESOURCES_DIR "/Parameters.ini");
        QVERIFY(catalogue.contains("Revision=V2.14"));
        QVERIFY(quirel::test::WriteFileBytes(QString::fromStdString(dir.File("Parameters.ini")),
                                             catalogue.replace("Revision=V2.14", "Revision=2.2.0.8")));
        AppOptions appOptions = quirel::test::TestAppOptions();
        appOptions.catalogue = dir.File("Parameters.ini");
        auto app = std::make_unique<CKestrelApp>(quirel::test::SimulatorStore(sim.tcpPort()), appOptions);
        QVERIFY(app->InitInstance());
        QAction* command = app->Action(Command::kFirmwareUpdate);
        QVERIFY(!command->isEnabled());
        app->OnConnect();
        QVERIFY(command->isEnabled());

        app->FirmwareUpdate().SetClock(&m_clock);
        app->FirmwareUpdate().SetFileChooser([&] { return dir.File("fw.srec"); });
        int commands = 0;
        QAction* other = app->Action(Command::kToolDeviceParameters);
        connect(other, &QAction::triggered, this, [&] { ++commands; });
        QWidget* button = app->Frames().at(0)->findChild<QToolBar*>()->widgetForAction(other);
        QVERIFY(button);
        m_onBox = [&](const std::string& text) {
            // Between the update's windows no window is modal, and still a toolbar button does nothing.
            if (text == "Attention: Firmware will be downloaded!")
                QTest::mouseClick(button, Qt::LeftButton);
        };
        std::set<int> positions;
        QString text;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            if (CFileDownload* progress = app->FirmwareUpdate().ProgressWindow()) {
                positions.insert(progress->Bar()->value());
                text = progress->Label()->text().startsWith("Block") ? progress->Label()->text() : text;
            }
        });
        sampler.start(5);
        AcceptServiceDialogWith(sim.rtuPath());
        command->trigger();
        sampler.stop();

        QVERIFY(!app->Controller().IsConnected());
        QCOMPARE(m_boxes.back(), std::string("Download successfully!"));
        QCOMPARE(commands, 0);
        QVERIFY2(positions.size() >= 3, qPrintable(QString::number(positions.size())));
        QVERIFY2(QRegularExpression("^Block \\d+ of \\d+ \\(\\d+ %\\)$").match(text).hasMatch(),
                 qPrintable(text));
        QVERIFY(!app->FirmwareUpdate().IsRunning());
        QVERIFY(app->FirmwareUpdate().ProgressWindow() == nullptr);
        QVERIFY(quirel::test::ReadBinaryFile(dir.File("flash.bin")) == image);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(commands, 1); // the same click works once the update is over

        // Cancel during the transfer: no success, and the user learns that the device waits in its
        // bootloader.
        connect(&sampler, &QTimer::timeout, this, [&] {
            CFileDownload* progress = app->FirmwareUpdate().ProgressWindow();
            if (progress && progress->Label()->text().startsWith("Block") &&
                progress->CancelButton()->isEnabled())
                QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
        });
        sampler.start(5);
        AcceptServiceDialogWith(sim.rtuPath());
        QVERIFY(app->FirmwareUpdate().Run(app->Frames().at(0)));
        sampler.stop();
        QCOMPARE(m_boxes.at(m_boxes.size() - 2), std::string("Download UNSUCCESSFULLY!"));
        QVERIFY(m_boxes.back().rfind("The device stays in its bootloader", 0) == 0);
        QVERIFY(app->FirmwareUpdate().Procedure().LastReport().cancelled);

        app->ExitInstance();
        app.reset();
        sim.stop();
    }
};

QUIREL_UI_TEST(FirmwareWindowsTest)
#include "FirmwareWindowsTest.moc"
