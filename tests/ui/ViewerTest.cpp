// The viewer as a user first meets it: what a start with nothing stored gives, the language, the menus,
// the help, boxes beside progress windows, the screenshot tour's boxes and a catalogue that cannot be
// found.

#include "ViewerFixture.h"
#include "base/BuildInfo.h"
#include "comm/ControllerModbus.h"
#include "ui/app/CommSettings.h"
#include "ui/app/MainFrame.h"
#include "ui/app/ScreenshotTour.h"
#include "ui/common/QtUiPort.h"

#include <map>

namespace {

using quirel::ui::CMemorySettingsStore;

// Takes what the program hands to the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

} // namespace

class ViewerTest : public QObject, private quirel::test::ViewerFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(StartSimulator()); }
    void init() { m_boxes.clear(); }

    // A first start with nothing stored: English, "Parameters.ini", Modbus RTU on COM1 38400 8N1, slave 1.
    void emptySettingsGiveDefaults() {
        auto emptyIni = std::make_unique<CMemorySettingsStore>();
        emptyIni->WriteString("General", "IniFile", "");
        CMemorySettingsStore* written = emptyIni.get();
        auto app = StartApp(std::move(emptyIni));
        QCOMPARE(app->GetLanguage(), 9);
        QCOMPARE(app->GetCatalogueFileName(), std::string("Parameters.ini"));

        // Exit writes the connection section back: the defaults under their own keys. "COM1" names
        // nothing here: the first port the system lists, else the usual USB adapter.
        QVERIFY(quirel::ui::DefaultSerialPort().rfind("/dev/", 0) == 0);
        app->ExitInstance();
        const std::map<std::string, std::string> expected = {
            {"Protocol", "1"},     {"Host", "0.0.0.0"},
            {"SlaveId", "1"},      {"ComPort", quirel::ui::DefaultSerialPort()},
            {"BaudRate", "38400"}, {"DataBits", "8"},
            {"StopBits", "1"},     {"Parity", "N"},
            {"Modem", "0"},        {"ReplyTimeout", "1000"},
            {"Tries", "11"}};
        std::map<std::string, std::string> comm;
        for (const auto& [key, value] : written->Values())
            if (key.first == "ModbusCommunicationController")
                comm[key.second] = value;
        QCOMPARE(comm, expected);
        QVERIFY(written->Has("CViewParameters", "c4"));
        Finish(app);
    }

    // Language 7: German window texts and messages (the menus are checked item by item below).
    void germanStart() {
        auto store = quirel::test::SimulatorStore(m_sim.tcpPort(), 7);
        CMemorySettingsStore* settings = store.get();
        auto app = StartApp(std::move(store));
        CMainFrame* frame = app->FrameOf(app->FindParametersView());
        QCOMPARE(frame->StatusPaneText(1), QString("Keine Verbindung"));
        QCOMPARE(frame->windowTitle(), QString("Geräteparameter - Quirel Viewer Velorin"));

        QCOMPARE(app->FindParametersView()->List()->headerItem()->text(2), QString("Wert"));

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
        const QStringList english =
            QString("&File|&Read parameter set from device|&Send parameter set to device|&Open parameter set|"
                    "&Update Device Firmware|-|Service report ...|-|E&xit|Connection|Connect to "
                    "device|Disconnect|Settings...|-|"
                    "Communication log|Parameter|Device parameters|Oscilloscope|Single measurement ...|"
                    "Continuous measurement ...|Eventlog|Show eventlog ...|Language|German|English|&Help|"
                    "&About Quirel Viewer Velorin...|Quirel Viewer Velorin Help")
                .split('|');
        const QStringList german =
            QString(
                "&Datei|Parameter von Gerät &lesen ...|Parameter in Gerät &senden ...|"
                "&Parameter Datei öffnen|&Update Geräte Firmware|-|Servicebericht ...|-|&Beenden|Verbindung|"
                "Verbindung mit Gerät herstellen|Verbindung trennen|Einstellungen...|-|"
                "Kommunikationsprotokoll|Parameter|Geräteparameter|Oszilloskop|Einzelmessung ...|"
                "Dauermessung ...|Ereignisspeicher|Ereignisspeicher anzeigen ...|Sprache|Deutsch|Englisch|"
                "&Hilfe|&Info über Quirel Viewer Velorin...|Quirel Viewer Velorin Hilfe")
                .split('|');
        for (int language : {9, 7}) {
            auto app = StartApp(quirel::test::SimulatorStore(m_sim.tcpPort(), language));
            QStringList items;
            for (QAction* menu : app->Frames().at(0)->menuBar()->actions()) {
                items << menu->text();
                for (QAction* item : menu->menu()->actions())
                    items << (item->isSeparator() ? QString("-") : item->text());
            }
            QCOMPARE(items, language == 9 ? english : german);
            for (int id : {Command::kExit, Command::kDeviceParameters, Command::kToolDeviceParameters,
                           Command::kEventLog, Command::kCommLog, Command::kGerman, Command::kEnglish,
                           Command::kAbout, Command::kHelp})
                QVERIFY(app->Action(id)->isEnabled());
            QCOMPARE(app->Action(Command::kGerman)->isChecked(), language == 7);
            QCOMPARE(app->Action(Command::kEnglish)->isChecked(), language == 9);
            if (language == 9) {
                // About shows the build's version with four numbers.
                QString version;
                quirel::test::OnModal<QDialog>([&version](QDialog* about) {
                    QCOMPARE(about->objectName(), QString("aboutDialog"));
                    version = about->findChild<QLineEdit*>("versionField")->text();
                    about->accept();
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
            bool browser = true;
        };
        const Case cases[] = {
            {quirel::kLanguageEnglish, false, QString(), manual + "/en/index.html"},
            {quirel::kLanguageGerman, false, QString(), manual + "/de/index.html"},
            {quirel::kLanguageGerman, true, QString(), pdf},
            {quirel::kLanguageEnglish, false, noManual.path(), QString()},
            {quirel::kLanguageEnglish, false, QString(), QString(), false},
        };
        for (const Case& c : cases) {
            m_boxes.clear();
            opened.urls.clear();
            if (!c.browser) // the offscreen desktop has nothing that opens a file
                QDesktopServices::unsetUrlHandler("file");
            if (c.pdfInCurrentFolder)
                QVERIFY(quirel::test::WriteFileBytes(pdf, QByteArray()));
            auto store = std::make_unique<CMemorySettingsStore>();
            store->WriteInt("General", "Language", c.language);
            AppOptions options = quirel::test::TestAppOptions();
            options.manualFolder = c.manualFolder.toStdString();
            auto app = std::make_unique<CKestrelApp>(std::move(store), options);
            QVERIFY(app->InitInstance());
            app->OnHelp();
            if (!c.browser) {
                QCOMPARE(m_boxes.size(), size_t(1));
                QCOMPARE(m_boxes[0].text,
                         "No program to show the manual was found. The manual is here: " +
                             QFileInfo(manual + "/en/index.html").canonicalFilePath().toStdString());
            } else if (c.opens.isEmpty()) {
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

    // A box never shares the screen with a progress window, neither with that of its work (the window
    // that started the work owns the box) nor with that of work just ended.
    void boxesNeverShowOverAProgressWindow() {
        quirel::ui::CQtUiPort port({}, {});
        QWidget owner;
        std::vector<QWidget*> parents;
        int progressShown = 0;
        quirel::ui::SetMessageBoxHandler(
            [&](QWidget* p, const std::string&, const std::string&, MbIcon, MbButtons) {
                parents.push_back(p);
                progressShown += quirel::test::ShownProgress() != nullptr;
                return int(IDOK);
            });
        for (const bool boxInside : {true, false})
            port.RunWithProgress(&owner, "Work", [&] {
                port.Progress("Work", "Step", 1, 2);
                QThread::msleep(2 * quirel::ui::CQtUiPort::kProgressDelayMs);
                port.EndProgress();
                if (boxInside)
                    port.MessageBox("Failed", std::string(), MbIcon::Error);
            });
        port.MessageBox("After", std::string(), MbIcon::Error);
        RecordBoxes();
        QCOMPARE(progressShown, 0);
        QCOMPARE(parents, (std::vector<QWidget*>{&owner, nullptr}));
    }

    // A screenshot tour has nobody to answer: boxes and dialogs that open are closed and counted.
    void tourClosesWhatNobodyAnswers() {
        {
            CTourBoxGuard guard(200);
            QCOMPARE(quirel::ui::ShowMessageBox(nullptr, "Send?", std::string(), MbIcon::Question,
                                                MbButtons::YesNo),
                     int(IDNO));
            QDialog dialog;
            QCOMPARE(dialog.exec(), int(QDialog::Rejected));
            QCOMPARE(guard.Count(), 2);
        }
        RecordBoxes();
    }

    // A catalogue that cannot be found is reported at start; the program still starts.
    void missingCatalogueIsReported() {
        AppOptions options = quirel::test::TestAppOptions();
        options.catalogue = "No-such-catalogue.ini";
        auto app = std::make_unique<CKestrelApp>(std::make_unique<CMemorySettingsStore>(), options);
        QVERIFY(app->InitInstance());
        QCOMPARE(m_boxes.size(), size_t(1));
        QVERIFY2(
            m_boxes[0].text.rfind("The parameter catalogue was not found: \"No-such-catalogue.ini\"", 0) == 0,
            m_boxes[0].text.c_str());
        Finish(app);
    }
};

QUIREL_UI_TEST(ViewerTest)
#include "ViewerTest.moc"
