#include "ui/app/ScreenshotTour.h"

#include "comm/ControllerModbus.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "ui/app/DlgCommSettings.h"
#include "ui/app/KestrelApp.h"
#include "ui/app/MainFrame.h"
#include "ui/firmware/DlgSerialBootLoader.h"
#include "ui/firmware/FileDownload.h"
#include "ui/firmware/UpdateFirmwareMenue.h"
#include "ui/parameters/DlgEditParams.h"
#include "ui/parameters/ViewParameters.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QThread>
#include <QTreeWidget>

#include <cstdio>

namespace {

void Pump(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

void Save(QWidget* w, const QString& path) {
    w->grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

} // namespace

void RunScreenshotTour(CKestrelApp& app, const QString& directory) {
    QDir().mkpath(directory);
    const QString lang = app.GetLanguage() == 9 ? "en" : "de";

    QDeadlineTimer connectDeadline(10000);
    while (!app.Controller().IsConnected() && !connectDeadline.hasExpired())
        Pump(50);

    CViewParameters* view = app.FindParametersView();
    if (!view) {
        QApplication::exit(1);
        return;
    }
    QWidget* frame = view->window();
    frame->resize(CMainFrame::kDefaultWidth, CMainFrame::kDefaultHeight);
    if (!view->SelectFolder("MeasuredMains"))
        view->SelectFolder("MeasuredValues");
    Pump(1500);
    view->OnRefresh();
    Pump(1500);
    Save(frame, QDir(directory).filePath("parameters-" + lang + ".png"));

    DlgCommSettings settings(CommDialogValues::From(app.Controller()), frame);
    settings.show();
    Pump(300);
    Save(&settings, QDir(directory).filePath("settings-" + lang + ".png"));
    settings.close();

    // An enumerated writable parameter shows the value list.
    for (int32_t id : app.DocParameters().GetIds()) {
        const CParameterDescription* d = app.Catalogue().FindDescription(id);
        if (!d || d->GetAccessType() != kAccessRW || !d->HasValueTexts())
            continue;
        CDlgEditParams edit(app.Catalogue(), app.DocParameters().GetValue(id), *d, frame);
        edit.show();
        Pump(300);
        Save(&edit, QDir(directory).filePath("edit-" + lang + ".png"));
        edit.close();
        break;
    }

    CDlgSerialBootLoader service("/dev/ttyUSB0", frame);
    service.show();
    Pump(300);
    Save(&service, QDir(directory).filePath("firmware-service-" + lang + ".png"));
    service.close();
    CUpdateFirmwareMenue wait(frame);
    wait.show();
    Pump(300);
    Save(&wait, QDir(directory).filePath("firmware-wait-" + lang + ".png"));
    wait.DisableCancel();
    wait.close();
    CFileDownload progress(frame);
    progress.SetPosition(1300);
    progress.show();
    Pump(300);
    Save(&progress, QDir(directory).filePath("firmware-progress-" + lang + ".png"));
    progress.hide();
    QApplication::exit(0);
}
