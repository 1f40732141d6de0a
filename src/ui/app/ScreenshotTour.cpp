#include "ui/app/ScreenshotTour.h"

#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "ui/app/DlgCommSettings.h"
#include "ui/app/DlgLoadParams.h"
#include "ui/app/KestrelApp.h"
#include "ui/app/MainFrame.h"
#include "ui/app/NewParaFound.h"
#include "ui/common/ModalDialogs.h"
#include "ui/parameters/DlgEditParams.h"
#include "ui/parameters/ViewParameters.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
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
        Pump(400);
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
    Pump(300);
    Save(&offer, QDir(directory).filePath("newparafound-" + lang + ".png"));
}

} // namespace

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
    TourParameterSets(app, directory, lang);
    QApplication::exit(0);
}
