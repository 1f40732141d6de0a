#pragma once

#include <QObject>
#include <QPointer>

#include <map>
#include <memory>
#include <string>
#include <vector>

class CControllerModbus;
class CDocErrorMemory;
class CDocMeasurementContinuous;
class CDocMeasurementSingle;
class CDocParameters;
class CDocument;
class CMainFrame;
class CParameterManager;
class MbusTrafficRecorder;
class CViewCommLog;
class CViewErrorMemory;
class CViewParameters;
class CViewMeasurementBase;
class CViewMeasurementContinuous;
class CViewMeasurementSingle;
class CViewSchematic;
class QAction;
class QMenuBar;
class QToolBar;
class QTranslator;

namespace quirel::ui {
class CFirmwareUpdate;
class CQtUiPort;
class ISettingsStore;
} // namespace quirel::ui
namespace quirel::sim {
class SimulatorThread;
}

// Command identifiers of the menu and toolbar.
namespace Command {
constexpr int kReadParameterSet = 32803;
constexpr int kSendParameterSet = 32804;
constexpr int kOpenParameterSet = 32815;
constexpr int kFirmwareUpdate = 32808;
constexpr int kExit = 57665;
constexpr int kConnect = 32771;
constexpr int kDisconnect = 32772;
constexpr int kSettings = 32773;
constexpr int kDeviceParameters = 32774;
constexpr int kSingleMeasurement = 32792;
constexpr int kContinuousMeasurement = 32791;
constexpr int kEventLog = 32776;
constexpr int kGerman = 32806;
constexpr int kEnglish = 32807;
constexpr int kAbout = 57664;
constexpr int kHelp = 32788;
constexpr int kToolConnect = 32781;
constexpr int kToolDisconnect = 32782;
constexpr int kToolSettings = 32783;
constexpr int kToolDeviceParameters = 32786;
constexpr int kRefresh = 32813;
constexpr int kNew = 57600;
constexpr int kCommLog = 32830;
constexpr int kServiceReport = 32840;
} // namespace Command

struct AppOptions {
    // Start an in-process simulator and connect this run to it; the saved connection stays untouched.
    bool demo = false;
    // Connect once the first window is open.
    bool connectAtStart = false;
    // Catalogue file to load instead of the IniFile setting (empty: the setting).
    std::string catalogue;
    // Folder of the files kept next to the program ("last.nbts", "last.nbtc", the downloaded catalogue;
    // catalogues are looked for there first); empty: the program's folder.
    std::string fileFolder;
    // Folder of the HTML manual (<folder>/<en|de>/index.html) to open instead of the installed one.
    std::string manualFolder;
};

// The application object: owns the controller, the catalogue and the documents for the whole run,
// keeps the settings, handles every menu and toolbar command whichever frame is active, and passes the
// worker's messages on to the documents and views.
class CKestrelApp : public QObject {
    Q_OBJECT
public:
    static constexpr int kStopWaitMs = 5000;

    CKestrelApp(std::unique_ptr<quirel::ui::ISettingsStore> settings, AppOptions options = {});
    // Stops the worker (waiting at most 5000 ms), then deletes the documents.
    ~CKestrelApp() override;

    // Start-up: language, connection settings, worker, catalogue, documents, first window. False when
    // the program cannot start (the demo simulator failed).
    bool InitInstance();
    // Closes every window and saves the connection settings.
    void ExitInstance();

    // Load (true) or save (false) the connection settings.
    void ExchangeCommSettings(bool load);
    std::string GetCatalogueFileName();
    void SetCatalogueFileName(const std::string& name);

    int GetLanguage() const { return m_language; }
    CControllerModbus& Controller() { return *m_controller; }
    CParameterManager& Catalogue() { return *m_catalogue; }
    CDocParameters& DocParameters() { return *m_docParameters; }
    CDocErrorMemory& DocErrorMemory() { return *m_docErrorMemory; }
    quirel::ui::CQtUiPort& UiPort() { return *m_uiPort; }
    CDocMeasurementSingle& DocMeasurementSingle() { return *m_docMeasurementSingle; }
    CDocMeasurementContinuous& DocMeasurementContinuous() { return *m_docMeasurementContinuous; }

    // The last measurements: kind 0 "last.nbts" (single), kind 1 "last.nbtc" (continuous), loaded at
    // start-up and stored when the overview closes and at exit; a missing or damaged file never stops
    // the program.
    void ExchangeLastMeasurement(int kind, bool store);
    // Where files kept next to the program go: the program's folder when it is writable, else the
    // user's data folder of the program.
    std::string ProgramFileFolder() const;
    quirel::ui::ISettingsStore& Settings() { return *m_settings; }
    const std::string& GetRevision() const { return m_revision; }
    // Set at connect when the device identification could not be read (sending a set is then refused).
    bool GetIdentificationUnreadable() const { return m_identificationUnreadable; }
    // Set at connect when the device's Revision differs from the loaded catalogue's.
    bool GetRevisionDiffers() const { return m_revisionDiffers; }
    // True while a command waits for device work behind its progress dialog (connect, disconnect, ...).
    bool IsBusy() const;
    // The port of the demo simulator (0 without one).
    int DemoPort() const;

    // Commands.
    void OnNew();
    void OnConnect();
    void OnDisconnect();
    void OnSettings();
    void OnDeviceParameters();
    void OnRefresh();
    void OnLanguage(int language);
    void OnAbout();
    // The manual (KestrelAppHelp.cpp).
    void OnHelp();
    void OnExit();
    // The overview and the event log (KestrelAppOverview.cpp).
    void OpenOverview();
    void OnEventLog();
    CViewSchematic* FindSchematicView() const;
    CViewErrorMemory* FindEventLogView() const;
    // Whether a single or a continuous measurement is running (the measurement documents' running flags);
    // the overview's polling pauses and parameter-set transfers are refused meanwhile.
    bool IsMeasurementRunning() const;
    // Stores the last single and continuous measurements ("last.nbts", "last.nbtc"); the overview calls
    // it when it closes.
    void StoreLastMeasurements();
    // The two measurement windows (KestrelAppMeasurement.cpp): brought to the front when open, else opened.
    void OnSingleMeasurement();
    void OnContinuousMeasurement();
    CViewMeasurementSingle* FindSingleMeasurementView() const;
    CViewMeasurementContinuous* FindContinuousMeasurementView() const;
    // The communication log (KestrelAppCommLog.cpp): brought to the front when open, else opened.
    void OnCommLog();
    CViewCommLog* FindCommLogView() const;
    void OnUpdateFirmware();
    // "Update Device Firmware" is offered while connected to a device of revision "2.2.0.8" or older.
    bool IsFirmwareUpdateEnabled() const;
    quirel::ui::CFirmwareUpdate& FirmwareUpdate() { return *m_firmwareUpdate; }
    // Parameter sets (KestrelAppParamSet.cpp).
    void OnReadParameterSet();
    void OnSendParameterSet();
    void OnOpenParameterSet();
    // "File > Service report ..." (KestrelAppReport.cpp): what to include, the gathering behind a progress
    // window with Cancel, the HTML file, then print or PDF of the same page.
    void OnServiceReport();

    QAction* Action(int command) const;
    // Re-evaluates which commands are enabled and what the status panes say.
    void UpdateCommandUi();

    // Menus and toolbars of the frames; the actions are shared by all frames.
    void BuildMenu(QMenuBar* menuBar);
    void BuildToolBar(QToolBar* toolBar);
    void OnFrameClosing(CMainFrame* frame);

    std::vector<CMainFrame*> Frames() const;
    CViewParameters* FindParametersView() const;
    CMainFrame* FrameOf(const QWidget* view) const;

    // The worker's messages, as the user-interface thread handles them.
    void HandleDocumentUpdate(CDocument* doc, int64_t hint);
    void HandleConnectionState(int state);

private:
    // Creates both measurement documents and loads the last measurements into them.
    void CreateMeasurementDocuments();
    class ConnectCheckHost;
    class ReportHost;
    // The check after every successful connect: identification, revision, catalogue download.
    void RunCatalogueCheck();
    void CreateActions();
    QAction* AddAction(int command, const char* text, const char* prompt = nullptr);
    QString DeviceStateText() const;
    // Shows `text` in the message pane of every frame; empty brings the idle text back.
    void ShowStatusMessage(const QString& text);
    bool IsEventLogActive() const;
    // A measurement window is the active one: it has nothing to refresh.
    bool IsMeasurementWindowActive() const;

    std::unique_ptr<quirel::ui::ISettingsStore> m_settings;
    AppOptions m_options;
    int m_language = 9;
    std::string m_vendorName, m_productCode, m_revision;
    std::string m_catalogueFileName;
    bool m_identificationUnreadable = false;
    bool m_revisionDiffers = false;
    // While a demo run points the connection at its simulator, exit must not save that connection.
    bool m_commSettingsOverridden = false;

    std::unique_ptr<quirel::ui::CQtUiPort> m_uiPort;
    std::unique_ptr<CParameterManager> m_catalogue;
    // What the communication log shows; before the controller, whose connections may report to it.
    std::unique_ptr<MbusTrafficRecorder> m_traffic;
    std::unique_ptr<CControllerModbus> m_controller;
    std::unique_ptr<CDocParameters> m_docParameters;
    std::unique_ptr<CDocErrorMemory> m_docErrorMemory;
    // Filled by jobs: they go after the controller, whose worker may still hold them.
    std::unique_ptr<CDocMeasurementSingle> m_docMeasurementSingle;
    std::unique_ptr<CDocMeasurementContinuous> m_docMeasurementContinuous;
    // The service report's capture: a document without views, kept for the run, since jobs may post
    // updates of it after the gathering ended.
    std::unique_ptr<CDocMeasurementSingle> m_reportCapture;
    std::unique_ptr<quirel::sim::SimulatorThread> m_simulator;
    std::unique_ptr<QTranslator> m_qtTranslator;
    std::unique_ptr<quirel::ui::CFirmwareUpdate> m_firmwareUpdate;

    std::map<int, QAction*> m_actions;
    std::vector<QPointer<CMainFrame>> m_frames;
    // A command-state update is queued: the document updates of one burst share it.
    bool m_commandUiPending = false;
    // The connect command runs (connect and check): the windows learn of the connection once it is over.
    bool m_connecting = false;
};
