// The application's service report: what to include, the gathering, the file, print and PDF.
#include "ui/app/KestrelApp.h"

#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "measurement/DocMeasurementSingle.h"
#include "parameters/ParameterManager.h"
#include "paramset/ParamSetTransfer.h"
#include "report/ReportGather.h"
#include "report/ReportHtml.h"
#include "report/ReportTexts.h"
#include "ui/app/AppWindows.h"
#include "ui/app/DlgServiceReport.h"
#include "ui/app/MainFrame.h"
#include "ui/app/ReportPrint.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/ModalDialogs.h"
#include "ui/common/QtUiPort.h"
#include "ui/common/UiText.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

#include <chrono>
#include <thread>

using namespace quirel::report;
using quirel::ui::Qs;
using quirel::ui::Tx;

// What the gathering borrows from the program; it runs beside the event loop, which takes the posted
// updates meanwhile, so waiting is sleeping.
class CKestrelApp::ReportHost : public IReportHost {
public:
    explicit ReportHost(CKestrelApp& app) : m_app(app) {}
    const CParameterManager& Catalogue() override { return *m_app.m_catalogue; }
    CControllerModbus& Controller() override { return *m_app.m_controller; }
    IUiPort& Ui() override { return *m_app.m_uiPort; }
    CDocParameters& Parameters() override { return *m_app.m_docParameters; }
    CDocMeasurementSingle& CaptureDocument() override { return *m_app.m_reportCapture; }
    void Wait(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

private:
    CKestrelApp& m_app;
};

void CKestrelApp::OnServiceReport() {
    if (IsBusy())
        return;
    QWidget* parent = DialogParent(*this);
    CDlgServiceReport options(m_controller->IsConnected(), parent);
    if (quirel::ui::ExecModal(options) != QDialog::Accepted)
        return;
    std::optional<GatherRequest> request = options.Request();
    if (!request)
        return;
    // The parameter set and a capture would run into the measurement's traffic.
    if (request->device && RefusedWhileTracing(*this, quirel::paramset::TraceRunningReadText(m_language)))
        return;
    const std::string path = quirel::ui::AskFileName(
        parent, quirel::ui::FileDialogMode::Save, Tx("Save service report"), "HTML (*.html *.htm)", "html");
    if (path.empty())
        return;
    // A report that cannot be written is not worth asking the device for.
    quirel::AtomicFileWriter file;
    if (!file.Open(path)) {
        quirel::ui::ShowFileNotWritten(parent, path);
        return;
    }
    if (request->capture && !m_reportCapture)
        m_reportCapture = std::make_unique<CDocMeasurementSingle>(m_catalogue.get(), m_uiPort.get());

    ReportHost host(*this);
    auto report = std::make_shared<ServiceReport>();
    GatherOutcome outcome = GatherOutcome::kCancelled;
    m_uiPort->RunWithProgress(
        parent, Text(kGatheringCaption), [&] { outcome = GatherReport(host, *request, *report); }, true);
    UpdateCommandUi();
    if (outcome == GatherOutcome::kCancelled)
        return; // nothing written: the file is left as it was
    if (!file.Write(WriteReportHtml(*report, ChartEmbedding::kInline).html) || !file.Commit()) {
        quirel::ui::ShowFileNotWritten(parent, path);
        return;
    }
    ShowStatusMessage(Qs(Text(kSavedText) + path));

    QString text = Qs(Text(kSavedText)) + Qs(path);
    if (!report->missing.empty())
        text += "\n\n" + Qs(Text(kPartsMissing, {std::to_string(report->missing.size())}));
    auto print = [report, parent] {
        QPrinter printer(QPrinter::HighResolution);
        QPrintDialog dialog(&printer, parent);
        if (dialog.exec() == QDialog::Accepted)
            quirel::ui::PrintReport(*report, printer);
    };
    auto pdf = [report, parent] {
        const std::string target = quirel::ui::AskFileName(parent, quirel::ui::FileDialogMode::Save,
                                                           Tx("Save as PDF"), "PDF (*.pdf)", "pdf");
        if (target.empty())
            return;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(Qs(target));
        quirel::ui::PrintReport(*report, printer);
        if (QFileInfo(Qs(target)).size() == 0)
            quirel::ui::ShowFileNotWritten(parent, target);
    };
    auto open = [path] { QDesktopServices::openUrl(QUrl::fromLocalFile(Qs(path))); };
    CDlgReportSaved saved(text, print, pdf, open, parent);
    quirel::ui::ExecModal(saved);
}
