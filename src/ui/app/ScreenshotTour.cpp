#include "ui/app/ScreenshotTour.h"

#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobWriteParameter.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "ui/app/DlgCommSettings.h"
#include "ui/app/DlgLoadParams.h"
#include "ui/app/DlgServiceReport.h"
#include "ui/app/KestrelApp.h"
#include "ui/app/MainFrame.h"
#include "ui/app/NewParaFound.h"
#include "ui/commlog/RawRegisterPanel.h"
#include "ui/commlog/ViewCommLog.h"
#include "ui/common/EventPump.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/ModalDialogs.h"
#include "ui/common/UiText.h"
#include "ui/eventlog/ViewErrorMemory.h"
#include "ui/firmware/DlgSerialBootLoader.h"
#include "ui/firmware/FileDownload.h"
#include "ui/firmware/UpdateFirmwareMenue.h"
#include "ui/measurement/LimitChooser.h"
#include "ui/measurement/MeasurementScreenshots.h"
#include "ui/parameters/DlgEditParams.h"
#include "ui/parameters/ViewParameters.h"
#include "ui/schematic/SchematicFrame.h"
#include "ui/schematic/ViewSchematic.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace {

using quirel::ui::PumpEvents;
using quirel::ui::Qs;

void Report(const QString& what) {
    std::fprintf(stderr, "quirel-viewer: screenshot tour: %s\n", qPrintable(what));
    std::fflush(stderr);
}

// The answer of a box closed by its close button.
int ClosedAnswer(MbButtons buttons) {
    switch (buttons) {
    case MbButtons::Ok:
        return IDOK;
    case MbButtons::YesNo:
        return IDNO;
    default:
        return IDCANCEL;
    }
}

void Save(QWidget* w, const QString& path) {
    w->grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

// The parameter-set commands as a user meets them: the progress of a read, the report, the confirmation
// of a send with values that change the device and one that is not sent, the values not sent, and the
// offer of the device's catalogue.
void TourParameterSets(CKestrelApp& app, const QString& directory, const QString& lang) {
    QTemporaryDir temp;
    const std::string saved = QDir(temp.path()).filePath("saved.btp").toStdString();
    const std::string edited = QDir(temp.path()).filePath("edited.btp").toStdString();
    quirel::writeFileAtomically(edited, "[Commissioning]\r\nParam0=300=1;mainside\r\nParam1=310=750\r\n"
                                        "Param2=311=1;5 A\r\nParam3=401=0,95\r\nParam4=405=Aus\r\n"
                                        "Param5=410=0;ON\r\nParam6=547=1;BW 2\r\n");
    std::string next = saved;
    quirel::ui::SetFileDialogHandler([&](quirel::ui::FileDialogMode, const QString&) { return next; });
    quirel::ui::SetModalHandler([&](QDialog& dialog) {
        dialog.show();
        PumpEvents(400);
        QString name = "paramset-report";
        if (auto* list = dynamic_cast<CDlgLoadParams*>(&dialog))
            name = list->Table() ? "send-confirm" : "send-not-sent";
        Save(&dialog, QDir(directory).filePath(name + "-" + lang + ".png"));
        return int(QDialog::Accepted);
    });
    QTimer::singleShot(500, &app, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "progressDialog" && w->isVisible())
                Save(w, QDir(directory).filePath("progress-" + lang + ".png"));
    });
    app.OnReadParameterSet();
    app.OnOpenParameterSet();
    next = edited;
    app.OnSendParameterSet();
    quirel::ui::SetModalHandler({});
    quirel::ui::SetFileDialogHandler({});

    CNewParaFound offer(app.FindParametersView());
    offer.show();
    PumpEvents(300);
    Save(&offer, QDir(directory).filePath("newparafound-" + lang + ".png"));
}

} // namespace

CTourBoxGuard::CTourBoxGuard(int patienceMs) : m_patienceMs(patienceMs) {
    quirel::ui::SetMessageBoxHandler(
        [this](QWidget*, const std::string& text, const std::string& caption, MbIcon, MbButtons buttons) {
            ++m_count;
            Report(QString("message box \"%1\": %2").arg(Qs(caption), Qs(text)));
            return ClosedAnswer(buttons);
        });
    // Dialogs run with exec() where no handler reaches them; their nested event loop still runs timers.
    connect(&m_watch, &QTimer::timeout, this, &CTourBoxGuard::CloseModalDialog);
    m_watch.start(100);
}

CTourBoxGuard::~CTourBoxGuard() {
    quirel::ui::SetMessageBoxHandler({});
}

void CTourBoxGuard::CloseModalDialog() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != m_modal) {
        m_modal = modal;
        m_since.start();
        return;
    }
    auto* dialog = qobject_cast<QDialog*>(modal);
    // A progress window belongs to work that ends by itself.
    if (!dialog || qobject_cast<QProgressDialog*>(dialog) || m_since.elapsed() < m_patienceMs)
        return;
    m_modal = nullptr;
    ++m_count;
    QStringList texts;
    for (const QLabel* label : dialog->findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << label->text();
    Report(QString("dialog \"%1\": %2").arg(dialog->windowTitle(), texts.join(' ')));
    dialog->reject();
}

void RunScreenshotTour(CKestrelApp& app, const QString& directory) {
    // The connect at start runs behind its own event loop; the tour starts once it has returned, so that
    // nothing of it is on the stack while the pictures are taken.
    if (app.IsBusy()) {
        QTimer::singleShot(50, &app, [&app, directory] { RunScreenshotTour(app, directory); });
        return;
    }
    QDir().mkpath(directory);
    const QString lang = app.GetLanguage() == quirel::kLanguageEnglish ? "en" : "de";

    QDeadlineTimer connectDeadline(10000);
    while (!app.Controller().IsConnected() && !connectDeadline.hasExpired())
        PumpEvents(50);

    // The overview, with the mains currents (CT position "load side") and then the load currents.
    CViewSchematic* overview = app.FindSchematicView();
    if (!overview) {
        Report("the overview window is not open");
        QApplication::exit(1);
        return;
    }
    if (!app.Controller().IsConnected())
        Report("not connected to the simulator: the pictures show no live values");
    QWidget* overviewFrame = overview->window();
    overviewFrame->resize(CSchematicFrame::kWidth, CSchematicFrame::kHeight);
    auto setCtPosition = [&](uint32_t position) {
        app.Controller().AddUserJob(std::make_unique<CJobWriteParameter>(CParameterValue(300, 6, position)));
        app.Controller().WaitForIdle(3000);
        PumpEvents(2 * CViewSchematic::kPollMs + 500);
    };
    setCtPosition(0);
    Save(overviewFrame, QDir(directory).filePath("overview-" + lang + ".png"));
    setCtPosition(1);
    Save(overviewFrame, QDir(directory).filePath("overview-load-" + lang + ".png"));
    setCtPosition(0);

    app.OnDeviceParameters();
    CViewParameters* view = app.FindParametersView();
    if (!view) {
        Report("the device parameters window did not open");
        QApplication::exit(1);
        return;
    }
    QWidget* frame = view->window();
    frame->resize(CMainFrame::kDefaultWidth, CMainFrame::kDefaultHeight);
    if (!view->SelectFolder("MeasuredMains"))
        view->SelectFolder("MeasuredValues");
    PumpEvents(1500);
    view->OnRefresh();
    PumpEvents(1500);
    Save(frame, QDir(directory).filePath("parameters-" + lang + ".png"));

    // The settings with the answer of their Test, then their search a while after it found the simulator.
    DlgCommSettings settings(CommDialogValues::From(app.Controller()), frame);
    settings.show();
    PumpEvents(300);
    settings.findChild<QPushButton*>("test")->click();
    PumpEvents(300);
    Save(&settings, QDir(directory).filePath("settings-" + lang + ".png"));
    quirel::ui::SetModalHandler([&](QDialog& search) {
        search.show();
        PumpEvents(2000);
        Save(&search, QDir(directory).filePath("search-" + lang + ".png"));
        search.reject();
        return int(QDialog::Rejected);
    });
    settings.findChild<QPushButton*>("search")->click();
    quirel::ui::SetModalHandler({});
    settings.close();

    // An enumerated writable parameter shows the value list.
    for (int32_t id : app.DocParameters().GetIds()) {
        const CParameterDescription* d = app.Catalogue().FindDescription(id);
        if (!d || d->GetAccessType() != kAccessRW || !d->HasValueTexts())
            continue;
        CDlgEditParams edit(app.Catalogue(), app.DocParameters().GetValue(id), *d, frame);
        edit.show();
        PumpEvents(300);
        Save(&edit, QDir(directory).filePath("edit-" + lang + ".png"));
        edit.close();
        break;
    }

    // The event log after reading all records.
    app.OnEventLog();
    if (CViewErrorMemory* log = app.FindEventLogView()) {
        log->window()->resize(CMainFrame::kDefaultWidth, CMainFrame::kDefaultHeight);
        log->OnUpdateAll();
        PumpEvents(500);
        Save(log->window(), QDir(directory).filePath("eventlog-" + lang + ".png"));
    }
    // The communication log while the overview polls, a read of the mains voltage L1 in its request line.
    app.OnCommLog();
    if (CViewCommLog* log = app.FindCommLogView()) {
        log->window()->resize(CMainFrame::kDefaultWidth, CMainFrame::kDefaultHeight);
        if (const CParameterDescription* d = app.Catalogue().FindDescription(110)) {
            log->RawPanel()->AddressBox()->setValue(d->GetModbusAddress() - 1);
            log->RawPanel()->CountBox()->setValue(2);
            log->RawPanel()->OnSend();
        }
        PumpEvents(2 * CViewSchematic::kPollMs + 500);
        Save(log->window(), QDir(directory).filePath("commlog-" + lang + ".png"));
        log->window()->close();
    }
    PhotographMeasurements(app, directory, lang);
    CDlgServiceReport report(app.Controller().IsConnected(), frame);
    report.AddFile("/home/service/site-42/" +
                   QString(lang == "en" ? "after-commissioning.nbts" : "nach-inbetriebnahme.nbts"));
    report.VoltageLimits()->Select("en50160");
    report.CurrentLimits()->Select("ieee519");
    report.CurrentLimits()->Ratio()->setCurrentText("20-50");
    report.CurrentLimits()->DemandCurrent()->setValue(160);
    report.show();
    PumpEvents(300);
    Save(&report, QDir(directory).filePath("report-dialog-" + lang + ".png"));
    report.close();
    CDlgSerialBootLoader service("/dev/ttyUSB0", frame);
    service.show();
    PumpEvents(300);
    Save(&service, QDir(directory).filePath("firmware-service-" + lang + ".png"));
    service.close();
    CUpdateFirmwareMenue wait(frame);
    wait.show();
    PumpEvents(300);
    Save(&wait, QDir(directory).filePath("firmware-wait-" + lang + ".png"));
    wait.DisableCancel();
    wait.close();
    CFileDownload progress(frame);
    progress.SetProgress(1300, lang == "en" ? "Block 1040 of 1600 (65 %)" : "Block 1040 von 1600 (65 %)");
    progress.show();
    PumpEvents(300);
    Save(&progress, QDir(directory).filePath("firmware-progress-" + lang + ".png"));
    progress.hide();
    TourParameterSets(app, directory, lang);
    QApplication::exit(0);
}
