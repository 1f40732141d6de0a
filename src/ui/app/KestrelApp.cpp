#include "ui/app/KestrelApp.h"

#include "Simulator.h"
#include "app/ProgramFiles.h"
#include "base/BuildInfo.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "eventlog/DocErrorMemory.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementSetup.h"
#include "modbus/MbusTrafficRecorder.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "ui/app/AppWindows.h"
#include "ui/app/CommSettings.h"
#include "ui/app/DlgCommSettings.h"
#include "ui/app/MainFrame.h"
#include "ui/commlog/CommLogModel.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/QtUiPort.h"
#include "ui/common/SettingsStore.h"
#include "ui/common/UiText.h"
#include "ui/common/WindowPlacement.h"
#include "ui/firmware/FirmwareUpdate.h"
#include "ui/parameters/ViewParameters.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTranslator>
#include <QVBoxLayout>
#include <QWindow>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

constexpr int kParameterDeviceState = 20;

} // namespace

CKestrelApp::CKestrelApp(std::unique_ptr<quirel::ui::ISettingsStore> settings, AppOptions options)
    : m_settings(std::move(settings)), m_options(std::move(options)) {
    m_uiPort = std::make_unique<quirel::ui::CQtUiPort>(
        [this](CDocument* doc, int64_t hint) { HandleDocumentUpdate(doc, hint); },
        [this](int state) { HandleConnectionState(state); });
    m_catalogue = std::make_unique<CParameterManager>();
    m_traffic = std::make_unique<MbusTrafficRecorder>(CCommLogModel::kCapacity);
    m_controller = std::make_unique<CControllerModbus>(m_catalogue.get(), m_uiPort.get());
    m_firmwareUpdate = std::make_unique<quirel::ui::CFirmwareUpdate>();
}

CKestrelApp::~CKestrelApp() {
    // Closed frames wait for their deferred deletion; they must go before the objects they use.
    for (const QPointer<CMainFrame>& frame : m_frames)
        delete frame.data();
    // A worker waiting for a message box must not wait for an event loop that has ended.
    m_uiPort->Close();
    m_controller->StopThread();
    m_controller->WaitForThreadStop(kStopWaitMs);
    m_controller.reset();
    m_docParameters.reset();
    m_docErrorMemory.reset();
    m_docMeasurementSingle.reset();
    m_docMeasurementContinuous.reset();
    m_reportCapture.reset();
    if (m_simulator)
        m_simulator->stop();
}

bool CKestrelApp::InitInstance() {
    // The language of this run: menus, dialogs, messages and the catalogue's texts.
    m_language = m_settings->GetInt("General", "Language", quirel::kLanguageEnglish);
    quirel::setUiLanguage(m_language);
    m_catalogue->SetLanguage(m_language);
    // Qt's own texts (standard buttons, file dialogs) follow the program's language, not the desktop's.
    m_qtTranslator = std::make_unique<QTranslator>();
    const QLocale qtLocale(m_language == quirel::kLanguageGerman ? QLocale::German : QLocale::English);
    if (m_qtTranslator->load(qtLocale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(m_qtTranslator.get());

    ExchangeCommSettings(true);

    if (m_options.demo) {
        m_simulator = std::make_unique<quirel::sim::SimulatorThread>();
        quirel::sim::SimulatorOptions sim;
        sim.tcp = true;
        sim.tcpPort = 0;
        if (!m_options.catalogue.empty())
            sim.cataloguePath = Qs(m_options.catalogue);
        QString error;
        if (!m_simulator->start(sim, error)) {
            quirel::ui::ShowMessageBox(
                nullptr, (Tx("The demo simulator could not be started: ") + error).toStdString(),
                std::string(), MbIcon::Error);
            return false;
        }
        m_controller->SetTcpSettings("127.0.0.1:" + std::to_string(m_simulator->tcpPort()));
        m_controller->SetSlaveId(1);
        m_commSettingsOverridden = true;
        m_options.connectAtStart = true;
    }

    m_controller->StartThread();

    // Start-up goes on without a catalogue, but the user learns why the tree stays empty.
    const std::string name = m_options.catalogue.empty() ? GetCatalogueFileName() : m_options.catalogue;
    const std::string catalogue = quirel::app::FindCatalogue(name, m_options.fileFolder);
    if (catalogue.empty())
        quirel::ui::ShowMessageBox(nullptr, quirel::app::CatalogueNotFoundText(name), std::string(),
                                   MbIcon::Error);
    m_catalogue->Load(catalogue.empty() ? name : catalogue);

    m_docParameters = std::make_unique<CDocParameters>(*m_catalogue, *m_controller);
    m_docParameters->OnNewDocument();
    // The status bar shows the device state, so the state is among the parameters read for display.
    if (m_catalogue->Exists(kParameterDeviceState))
        m_docParameters->AddVisible(kParameterDeviceState);
    m_docErrorMemory = std::make_unique<CDocErrorMemory>();
    m_docErrorMemory->OnNewDocument();
    CreateMeasurementDocuments();

    CreateActions();
    // Refresh depends on which window is active.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] { UpdateCommandUi(); });
    OnNew();
    // A continuous measurement never goes on by itself after a restart.
    m_docMeasurementContinuous->SetRunning(false);
    UpdateCommandUi();

    if (m_options.connectAtStart)
        QMetaObject::invokeMethod(
            this, [this] { OnConnect(); }, Qt::QueuedConnection);
    return true;
}

void CKestrelApp::ExitInstance() {
    // The overview stores them when it closes, but it may have been closed before the last measurement.
    StoreLastMeasurements();
    for (CMainFrame* frame : Frames())
        frame->close();
    for (const QPointer<CMainFrame>& frame : m_frames)
        delete frame.data();
    m_frames.clear();
    if (!m_commSettingsOverridden)
        ExchangeCommSettings(false);
    m_settings->Flush();
}

void CKestrelApp::ExchangeCommSettings(bool load) {
    quirel::ui::ExchangeCommSettings(*m_settings, *m_controller, load);
}

std::string CKestrelApp::GetCatalogueFileName() {
    if (m_catalogueFileName.empty())
        m_catalogueFileName = m_settings->GetString("General", "IniFile", "Parameters.ini");
    if (m_catalogueFileName.empty())
        m_catalogueFileName = "Parameters.ini";
    return m_catalogueFileName;
}

void CKestrelApp::SetCatalogueFileName(const std::string& name) {
    m_settings->WriteString("General", "IniFile", name);
    m_settings->Flush();
    m_catalogueFileName = name;
}

bool CKestrelApp::IsBusy() const {
    return m_uiPort->IsBusy();
}

int CKestrelApp::DemoPort() const {
    return m_simulator ? m_simulator->tcpPort() : 0;
}

// ---- commands ----

QAction* CKestrelApp::AddAction(int command, const char* text, const char* prompt) {
    auto* action = new QAction(Tx(text), this);
    action->setObjectName(QString("command%1").arg(command));
    action->setData(command);
    if (prompt) {
        const QStringList parts = Tx(prompt).split('\n');
        action->setStatusTip(parts.value(0));
        action->setToolTip(parts.value(1, parts.value(0)));
    }
    m_actions[command] = action;
    return action;
}

QAction* CKestrelApp::Action(int command) const {
    auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

void CKestrelApp::CreateActions() {
    using namespace Command;
    QStyle* style = QApplication::style();

    // Commands whose windows do not exist yet stay in the menu, greyed.
    connect(AddAction(kReadParameterSet, "&Read parameter set from device"), &QAction::triggered, this,
            &CKestrelApp::OnReadParameterSet);
    connect(AddAction(kSendParameterSet, "&Send parameter set to device"), &QAction::triggered, this,
            &CKestrelApp::OnSendParameterSet);
    connect(AddAction(kOpenParameterSet, "&Open parameter set"), &QAction::triggered, this,
            &CKestrelApp::OnOpenParameterSet);
    connect(AddAction(kFirmwareUpdate, "&Update Device Firmware"), &QAction::triggered, this,
            &CKestrelApp::OnUpdateFirmware);
    connect(AddAction(kServiceReport, "Service report ..."), &QAction::triggered, this,
            &CKestrelApp::OnServiceReport);
    connect(AddAction(kExit, "E&xit"), &QAction::triggered, this, &CKestrelApp::OnExit);

    connect(AddAction(kConnect, "Connect to device", "Establish connection to device.\nConnect"),
            &QAction::triggered, this, &CKestrelApp::OnConnect);
    connect(AddAction(kDisconnect, "Disconnect", "Close connection to device.\nDisconnect"),
            &QAction::triggered, this, &CKestrelApp::OnDisconnect);
    connect(AddAction(kSettings, "Settings...", "Change connection settings.\nSettings"), &QAction::triggered,
            this, &CKestrelApp::OnSettings);
    connect(AddAction(kDeviceParameters, "Device parameters", "Show device parameters.\nDevice parameters"),
            &QAction::triggered, this, &CKestrelApp::OnDeviceParameters);
    connect(AddAction(kSingleMeasurement, "Single measurement ..."), &QAction::triggered, this,
            &CKestrelApp::OnSingleMeasurement);
    connect(AddAction(kContinuousMeasurement, "Continuous measurement ..."), &QAction::triggered, this,
            &CKestrelApp::OnContinuousMeasurement);
    connect(AddAction(kEventLog, "Show eventlog ..."), &QAction::triggered, this, &CKestrelApp::OnEventLog);
    connect(AddAction(kCommLog, "Communication log"), &QAction::triggered, this, &CKestrelApp::OnCommLog);

    // The check mark is part of each language's menu: it marks the language of this run.
    QAction* german = AddAction(kGerman, "German");
    german->setCheckable(true);
    german->setChecked(m_language != quirel::kLanguageEnglish);
    connect(german, &QAction::triggered, this, [this, german] {
        german->setChecked(m_language != quirel::kLanguageEnglish);
        OnLanguage(quirel::kLanguageGerman);
    });
    QAction* english = AddAction(kEnglish, "English");
    english->setCheckable(true);
    english->setChecked(m_language == quirel::kLanguageEnglish);
    connect(english, &QAction::triggered, this, [this, english] {
        english->setChecked(m_language == quirel::kLanguageEnglish);
        OnLanguage(quirel::kLanguageEnglish);
    });
    connect(AddAction(kAbout, "&About Quirel Viewer Velorin..."), &QAction::triggered, this,
            &CKestrelApp::OnAbout);
    connect(AddAction(kHelp, "Quirel Viewer Velorin Help"), &QAction::triggered, this, &CKestrelApp::OnHelp);

    // Toolbar commands: the same actions as their menu twins.
    QAction* a = AddAction(kToolConnect, "Connect", "Establish connection to device.\nConnect");
    a->setIcon(style->standardIcon(QStyle::SP_DialogYesButton));
    connect(a, &QAction::triggered, this, &CKestrelApp::OnConnect);
    a = AddAction(kToolDisconnect, "Disconnect", "Close connection to device.\nDisconnect");
    a->setIcon(style->standardIcon(QStyle::SP_DialogNoButton));
    connect(a, &QAction::triggered, this, &CKestrelApp::OnDisconnect);
    a = AddAction(kToolSettings, "Settings", "Change connection settings.\nSettings");
    a->setIcon(style->standardIcon(QStyle::SP_FileDialogDetailedView));
    connect(a, &QAction::triggered, this, &CKestrelApp::OnSettings);
    a = AddAction(kToolDeviceParameters, "Device parameters", "Show device parameters.\nDevice parameters");
    a->setIcon(style->standardIcon(QStyle::SP_FileDialogListView));
    connect(a, &QAction::triggered, this, &CKestrelApp::OnDeviceParameters);
    a = AddAction(kRefresh, "Refresh", "Refresh screen.\nrefresh");
    a->setIcon(style->standardIcon(QStyle::SP_BrowserReload));
    connect(a, &QAction::triggered, this, &CKestrelApp::OnRefresh);

    a = AddAction(kNew, "New");
    a->setShortcut(QKeySequence::New);
    a->setShortcutContext(Qt::ApplicationShortcut);
    connect(a, &QAction::triggered, this, &CKestrelApp::OnNew);
}

void CKestrelApp::BuildMenu(QMenuBar* bar) {
    using namespace Command;
    QMenu* file = bar->addMenu(Tx("&File"));
    file->addAction(Action(kReadParameterSet));
    file->addAction(Action(kSendParameterSet));
    file->addAction(Action(kOpenParameterSet));
    file->addAction(Action(kFirmwareUpdate));
    file->addSeparator();
    file->addAction(Action(kServiceReport));
    file->addSeparator();
    file->addAction(Action(kExit));
    file->menuAction()->setObjectName("menuFile");
    QMenu* connection = bar->addMenu(Tx("Connection"));
    connection->addAction(Action(kConnect));
    connection->addAction(Action(kDisconnect));
    connection->addAction(Action(kSettings));
    connection->addSeparator();
    connection->addAction(Action(kCommLog));
    QMenu* parameter = bar->addMenu(Tx("Parameter"));
    parameter->addAction(Action(kDeviceParameters));
    QMenu* scope = bar->addMenu(Tx("Oscilloscope"));
    scope->addAction(Action(kSingleMeasurement));
    scope->addAction(Action(kContinuousMeasurement));
    QMenu* eventlog = bar->addMenu(Tx("Eventlog"));
    eventlog->addAction(Action(kEventLog));
    QMenu* language = bar->addMenu(Tx("Language"));
    language->addAction(Action(kGerman));
    language->addAction(Action(kEnglish));
    QMenu* help = bar->addMenu(Tx("&Help"));
    help->addAction(Action(kAbout));
    help->addAction(Action(kHelp));
    // The New shortcut works from every frame.
    bar->parentWidget()->addAction(Action(kNew));
}

void CKestrelApp::BuildToolBar(QToolBar* toolBar) {
    using namespace Command;
    toolBar->addAction(Action(kToolConnect));
    toolBar->addAction(Action(kToolDisconnect));
    toolBar->addAction(Action(kToolSettings));
    toolBar->addSeparator();
    toolBar->addAction(Action(kToolDeviceParameters));
    toolBar->addAction(Action(kRefresh));
}

void CKestrelApp::UpdateCommandUi() {
    using namespace Command;
    if (m_actions.empty())
        return;
    const bool connected = m_controller->IsConnected();
    for (int id : {kConnect, kToolConnect, kSettings, kToolSettings})
        Action(id)->setEnabled(!connected);
    for (int id : {kDisconnect, kToolDisconnect, kReadParameterSet})
        Action(id)->setEnabled(connected);
    Action(kRefresh)->setEnabled(connected && !IsEventLogActive() && !IsMeasurementWindowActive());
    Action(kSendParameterSet)->setEnabled(connected && !m_identificationUnreadable);
    Action(kFirmwareUpdate)->setEnabled(IsFirmwareUpdateEnabled());

    const QString deviceState = DeviceStateText();
    const QString connection = connected ? Tx("Connection established") : Tx("No connection");
    const QString trigger =
        connected ? Qs(MeasurementSetup::TriggerStateText(m_docMeasurementSingle->GetTriggerState()))
                  : Tx("No connection");
    const QString continuous =
        m_docMeasurementContinuous->IsRunning() ? Tx("Measurement running") : Tx("No running measurement");
    for (CMainFrame* frame : Frames())
        frame->SetStatusPanes(deviceState, connection, trigger, continuous);
}

QString CKestrelApp::DeviceStateText() const {
    // Without a connection the document holds nothing that was read from the device.
    if (!m_docParameters || !m_controller->IsConnected() || !m_docParameters->IsKnown(kParameterDeviceState))
        return Tx("Device state unknown");
    try {
        return Qs(m_docParameters->GetValue(kParameterDeviceState).GetText(*m_catalogue));
    } catch (const CParameterException&) {
        return Tx("Device state unknown");
    }
}

void CKestrelApp::OnConnect() {
    if (m_controller->IsConnected() || m_uiPort->IsBusy())
        return;
    // A device that does not answer takes its retries (many seconds over a serial line): the windows
    // keep painting and say what is being tried, and no other command starts meanwhile.
    const QString target = m_controller->GetProtocol() == CControllerModbus::kProtocolTcp
                               ? Tx("Connecting to %1 ...").arg(Qs(m_controller->GetHost()))
                               : Tx("Connecting to %1 at %2 baud ...")
                                     .arg(Qs(m_controller->GetPortName()))
                                     .arg(m_controller->GetBaudRate());
    ShowStatusMessage(target);
    // The check after connecting is part of the connect: the message pane says so until it is over, and
    // nothing is read for the windows before it has judged the device and the catalogue.
    m_connecting = true;
    m_controller->HoldPolling(true);
    m_uiPort->RunWithProgress(
        QApplication::activeWindow(), Tx("Connect to device").toStdString(),
        [this] { m_controller->Connect(); }, true, target.toStdString(),
        [this] { m_controller->CancelConnect(); });
    if (m_controller->IsConnected())
        RunCatalogueCheck();
    m_controller->HoldPolling(false);
    m_connecting = false;
    ShowStatusMessage(QString());
    if (m_controller->IsConnected())
        HandleConnectionState(kConnected);
    UpdateCommandUi();
}

void CKestrelApp::OnDisconnect() {
    if (m_uiPort->IsBusy())
        return;
    m_docMeasurementContinuous->SetRunning(false);
    // Disconnect waits for the running job (up to a second, then cuts its transfer off).
    ShowStatusMessage(Tx("Disconnecting ..."));
    m_uiPort->RunWithProgress(
        QApplication::activeWindow(), Tx("Disconnect").toStdString(), [this] { m_controller->Disconnect(); },
        false, Tx("Disconnecting ...").toStdString());
    ShowStatusMessage(QString());
    UpdateCommandUi();
}

void CKestrelApp::ShowStatusMessage(const QString& text) {
    for (CMainFrame* frame : Frames()) {
        if (text.isEmpty())
            frame->statusBar()->clearMessage();
        else
            frame->statusBar()->showMessage(text);
    }
}

void CKestrelApp::OnSettings() {
    if (m_controller->IsConnected())
        return;
    // A connect whose probe failed leaves the port open; the dialog's Test and Search need it.
    m_controller->Disconnect();
    DlgCommSettings dialog(CommDialogValues::From(*m_controller), QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const CommDialogValues& v = dialog.Values();
    m_controller->SetSlaveId(v.slaveId);
    m_controller->SetModem(v.modem ? 1 : 0);
    m_controller->SetTimeout(v.timeoutMs);
    m_controller->SetTries(v.tries);
    if (v.protocol == 0)
        m_controller->SetTcpSettings(v.host);
    else
        m_controller->SetSerialSettings(v.port, static_cast<uint32_t>(v.baudRate), v.dataBits, v.stopBits,
                                        v.parity);
    // What the user chose now is what the settings keep, in a demo run as well.
    m_commSettingsOverridden = false;
    ExchangeCommSettings(false);
}

void CKestrelApp::OnDeviceParameters() {
    if (CViewParameters* view = FindParametersView()) {
        quirel::ui::BringToFront(view->window());
        return;
    }
    m_docParameters->SetTitle(quirel::loadString(172));
    if (!m_docParameters->OnNewDocument()) {
        quirel::ui::ShowMessageBox(nullptr, Tx("Failed to create empty document.").toStdString(),
                                   std::string(), MbIcon::Error);
        return;
    }
    auto* view = new CViewParameters(*m_docParameters, *m_settings, m_revision);
    auto* frame = new CMainFrame(*this, view);
    connect(view, &CViewParameters::closeRequested, frame, &QWidget::close);
    m_frames.push_back(frame);
    view->OnInitialUpdate();
    UpdateCommandUi();
    frame->show();
}

void CKestrelApp::OnRefresh() {
    // The active window's view refreshes; without an active frame, the parameters window does.
    for (CMainFrame* frame : Frames())
        if (frame == QApplication::activeWindow() && frame->View() && frame->View()->OnRefresh())
            return;
    if (CViewParameters* view = FindParametersView())
        view->OnRefresh();
}

void CKestrelApp::OnLanguage(int language) {
    m_settings->WriteInt("General", "Language", language);
    m_settings->Flush();
    quirel::ui::ShowMessageBox(
        QApplication::activeWindow(),
        Tx("Please restart the application for the changes to take effect.").toStdString(), std::string(),
        MbIcon::Information);
}

void CKestrelApp::OnAbout() {
    QDialog about(QApplication::activeWindow());
    about.setObjectName("aboutDialog");
    about.setWindowTitle(Tx("About Quirel Viewer Velorin"));
    unsigned parts[4] = {0, 0, 0, 0};
    const QStringList numbers = QString::fromLatin1(quirel::programVersion()).split('.');
    for (int i = 0; i < 4 && i < numbers.size(); ++i)
        parts[i] = numbers[i].toUInt();
    auto* version = new QLineEdit(QString("Quirel Viewer Velorin Version %1.%2.%3.%4")
                                      .arg(parts[0])
                                      .arg(parts[1])
                                      .arg(parts[2])
                                      .arg(parts[3]),
                                  &about);
    version->setObjectName("versionField");
    version->setReadOnly(true);
    version->setMinimumWidth(320);
    auto* icon = new QLabel(&about);
    icon->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    auto* text = new QVBoxLayout;
    text->addWidget(version);
    text->addWidget(new QLabel(Tx("Service and diagnostics tool for active harmonic filters."), &about));
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(text);
    auto* layout = new QVBoxLayout(&about);
    layout->addLayout(row);
    layout->addWidget(buttons);
    about.exec();
}

void CKestrelApp::OnExit() {
    for (CMainFrame* frame : Frames())
        frame->close();
    QApplication::quit();
}

// ---- frames and messages ----

void CKestrelApp::OnFrameClosing(CMainFrame*) {
    QMetaObject::invokeMethod(
        this, [this] { UpdateCommandUi(); }, Qt::QueuedConnection);
}

std::vector<CMainFrame*> CKestrelApp::Frames() const {
    std::vector<CMainFrame*> frames;
    for (const QPointer<CMainFrame>& f : m_frames)
        if (f && !f->IsClosing())
            frames.push_back(f.data());
    return frames;
}

QWidget* DialogParent(const CKestrelApp& app) {
    const std::vector<CMainFrame*> frames = app.Frames();
    for (CMainFrame* frame : frames)
        if (frame->isActiveWindow())
            return frame;
    return frames.empty() ? nullptr : frames.front();
}

bool RefusedWhileTracing(const CKestrelApp& app, const std::string& text) {
    if (!app.IsMeasurementRunning())
        return false;
    quirel::ui::ShowMessageBox(DialogParent(app), text, std::string(), MbIcon::Information);
    return true;
}

CViewParameters* CKestrelApp::FindParametersView() const {
    return FindView<CViewParameters>(Frames());
}

CMainFrame* CKestrelApp::FrameOf(const QWidget* view) const {
    for (CMainFrame* frame : Frames())
        if (frame->centralWidget() == view)
            return frame;
    return nullptr;
}

void CKestrelApp::HandleDocumentUpdate(CDocument* doc, int64_t hint) {
    if (doc)
        doc->UpdateAllViews(nullptr, hint);
    // The updates a worker posts in a burst share one command-state update.
    if (m_commandUiPending)
        return;
    m_commandUiPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_commandUiPending = false;
            UpdateCommandUi();
        },
        Qt::QueuedConnection);
}

void CKestrelApp::HandleConnectionState(int state) {
    // A connection made by the connect command reaches the windows when the command hands it on, after
    // its check (OnConnect); a loss or a failure goes to them at once.
    if (state == kConnected && m_connecting)
        return;
    // A new connection may lead to another device: what the last one sent is not shown as this one's.
    // The displays show "--" until their values arrive; every shown value (the device state of the
    // status bar among them) is read now rather than at the next refresh, unless the device has another
    // catalogue revision: values decoded with a catalogue that does not fit it are not shown.
    const bool connected = state == kConnected && m_controller->IsConnected();
    if (connected && m_docParameters)
        m_docParameters->ForgetValues();
    for (CMainFrame* frame : Frames())
        if (frame->View())
            frame->View()->OnConnectionState(state);
    if (connected && m_docParameters && !m_revisionDiffers)
        m_docParameters->UpdateVisible();
    UpdateCommandUi();
}
