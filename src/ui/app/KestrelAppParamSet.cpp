// The application's parameter-set commands and the check it runs after every connect.
#include "ui/app/KestrelApp.h"

#include "app/CatalogueDownload.h"
#include "app/ConnectCheck.h"
#include "app/ProgramFiles.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "paramset/ParamSetReport.h"
#include "paramset/ParamSetTransfer.h"
#include "ui/app/AppWindows.h"
#include "ui/app/DlgLoadParams.h"
#include "ui/app/DlgParameterSet.h"
#include "ui/app/MainFrame.h"
#include "ui/app/NewParaFound.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/ModalDialogs.h"
#include "ui/common/QtUiPort.h"
#include "ui/common/UiText.h"
#include "ui/parameters/ViewParameters.h"

using namespace quirel::paramset;
using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

constexpr unsigned kIdsPleaseWait = 1100;
constexpr unsigned kIdsValuesUnread = 1114;
const char kFilter[] = "Quirel Viewer Velorin Setup Parameters (*.btp)";
const char kSuffix[] = "btp";

std::string AskParameterSetFile(QWidget* parent, quirel::ui::FileDialogMode mode) {
    const bool save = mode == quirel::ui::FileDialogMode::Save;
    return quirel::ui::AskFileName(parent, mode, Tx(save ? "Save parameter set" : "Open parameter set"),
                                   kFilter, kSuffix);
}

// Asks for an existing parameter set and reads it; false when cancelled, or unreadable (which is said).
bool OpenParameterSetFile(QWidget* parent, CParamSetFile& file) {
    const std::string path = AskParameterSetFile(parent, quirel::ui::FileDialogMode::Open);
    if (path.empty())
        return false;
    std::string why;
    if (file.Load(path, &why))
        return true;
    quirel::ui::ShowMessageBox(parent, FileNotReadText(path, why), std::string(), MbIcon::Error);
    return false;
}

} // namespace

void CKestrelApp::OnReadParameterSet() {
    if (!m_controller->IsConnected() || IsBusy())
        return;
    if (RefusedWhileTracing(*this, TraceRunningReadText(m_language)))
        return;
    const std::string path = AskParameterSetFile(DialogParent(*this), quirel::ui::FileDialogMode::Save);
    if (path.empty())
        return;
    // The reads take seconds: they run beside the event loop, which keeps every window painted and the
    // progress moving, while the modal progress window keeps other commands out.
    TransferResult result = TransferResult::Done;
    int unread = 0;
    m_uiPort->RunWithProgress(
        DialogParent(*this), quirel::loadString(kIdsPleaseWait),
        [&] { result = CParamSetTransfer(*m_docParameters, *m_uiPort).ReadAndSave(path, &unread); }, true);
    if (result == TransferResult::Done)
        ShowStatusMessage(Qs(SavedText(path)));
    // A saved set with holes must not pass for a complete backup.
    if (result == TransferResult::Done && unread > 0)
        quirel::ui::ShowMessageBox(
            DialogParent(*this),
            QString::fromStdString(quirel::loadString(kIdsValuesUnread)).arg(unread).toStdString(),
            std::string(), MbIcon::Warning);
    UpdateCommandUi();
}

void CKestrelApp::OnOpenParameterSet() {
    if (IsBusy())
        return;
    CParamSetFile file;
    if (!OpenParameterSetFile(DialogParent(*this), file))
        return;
    CDialog_ParameterSet report(Qs(BuildReport(file, *m_catalogue)), DialogParent(*this));
    quirel::ui::ExecModal(report);
}

void CKestrelApp::OnSendParameterSet() {
    if (!m_controller->IsConnected() || m_identificationUnreadable || IsBusy())
        return;
    if (RefusedWhileTracing(*this, TraceRunningWriteText(m_language)))
        return;
    CParamSetFile file;
    if (!OpenParameterSetFile(DialogParent(*this), file))
        return;
    SendList list = BuildSendList(file, *m_catalogue, m_language);
    if (list.items.size() > kMaxSendValues) {
        quirel::ui::ShowMessageBox(DialogParent(*this), TooManyValuesText(list.items.size()), std::string(),
                                   MbIcon::Warning);
        return;
    }

    // What the device holds now stands beside each value, so that the user sees what the send changes.
    CParamSetTransfer transfer(*m_docParameters, *m_uiPort);
    TransferResult result = TransferResult::Done;
    const std::string caption = quirel::loadString(kIdsPleaseWait);
    m_uiPort->RunWithProgress(
        DialogParent(*this), caption, [&] { result = transfer.ReadCurrentValues(list); }, true);
    if (result != TransferResult::Done) {
        UpdateCommandUi();
        return;
    }
    std::vector<SendConfirmationRow> rows;
    for (const SendItem& item : list.items) {
        const QString device =
            item.device
                ? Qs(CParameterValue::FormatExactText(m_catalogue->GetDescription(item.number), *item.device))
                : QString("--");
        rows.push_back({item.number, Qs(item.name), Qs(item.text), device, item.marked, item.Changes(),
                        Qs(item.refusal)});
    }
    CDlgLoadParams confirm(Qs(ConfirmationText(list)), rows, DialogParent(*this));
    if (quirel::ui::ExecModal(confirm) != QDialog::Accepted)
        return;

    m_uiPort->RunWithProgress(
        DialogParent(*this), caption, [&] { transfer.Send(list); }, true);
    ShowStatusMessage(Qs(SentText(list)));
    UpdateCommandUi();
    const std::string report = NotSentReport(list, m_language);
    if (!report.empty()) {
        CDlgLoadParams notSent(Qs(report), DialogParent(*this));
        quirel::ui::ExecModal(notSent);
    }
}

// ---- the check after a connect ----

class CKestrelApp::ConnectCheckHost : public quirel::app::IConnectCheckHost {
public:
    explicit ConnectCheckHost(CKestrelApp& app) : m_app(app) {}

    CControllerModbus& Controller() override { return *m_app.m_controller; }
    IUiPort& Ui() override { return *m_app.m_uiPort; }
    std::string LoadedCataloguePath() override { return m_app.m_catalogue->GetCataloguePath(); }
    std::string GetCatalogueFileName() override { return m_app.GetCatalogueFileName(); }
    void SetCatalogueFileName(const std::string& name) override { m_app.SetCatalogueFileName(name); }
    std::string DownloadTarget() override {
        const std::string& folder = m_app.m_options.fileFolder;
        return quirel::app::ProgramFilePathIn(folder.empty() ? quirel::app::ProgramFolder() : folder,
                                              quirel::app::kDownloadedCatalogueName);
    }
    void RunDeviceWork(const std::string& caption, const std::string& text, const std::function<void()>& work,
                       const std::function<void()>& onCancel) override {
        m_app.m_uiPort->RunWithProgress(DialogParent(m_app), caption, work, true, text, onCancel);
    }
    void SetIdentificationUnreadable(bool unreadable) override {
        m_app.m_identificationUnreadable = unreadable;
    }
    void SetDeviceIdentification(const DeviceIdentification& id) override {
        m_app.m_vendorName = id.vendorName;
        m_app.m_productCode = id.productCode;
        m_app.m_revision = id.revision;
        if (CViewParameters* view = m_app.FindParametersView())
            view->SetFirmwareRevision(id.revision);
    }
    void SetRevisionDiffers(bool differs) override { m_app.m_revisionDiffers = differs; }
    bool OfferDownload() override {
        CNewParaFound offer(DialogParent(m_app));
        return quirel::ui::ExecModal(offer) == QDialog::Accepted;
    }
    void DisconnectAsCommand() override { m_app.OnDisconnect(); }
    void ExitProgram() override { m_app.OnExit(); }

private:
    CKestrelApp& m_app;
};

void CKestrelApp::RunCatalogueCheck() {
    ConnectCheckHost host(*this);
    quirel::app::RunConnectCheck(host);
}
