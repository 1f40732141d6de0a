// The application's part of the measurements: it owns both documents for the whole run, carries the
// last measurement of each kind from one run to the next and opens the two measurement windows.
#include "ui/app/KestrelApp.h"

#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/LastMeasurement.h"
#include "parameters/ParameterManager.h"
#include "ui/app/AppWindows.h"
#include "ui/app/MainFrame.h"
#include "ui/common/QtUiPort.h"
#include "ui/common/WindowPlacement.h"
#include "ui/measurement/TraceViewFrame.h"
#include "ui/measurement/ViewMeasurementContinuous.h"
#include "ui/measurement/ViewMeasurementSingle.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

void CKestrelApp::CreateMeasurementDocuments() {
    m_docMeasurementSingle = std::make_unique<CDocMeasurementSingle>(m_catalogue.get(), m_uiPort.get());
    m_docMeasurementContinuous =
        std::make_unique<CDocMeasurementContinuous>(m_catalogue.get(), m_uiPort.get());
    m_docMeasurementSingle->OnNewDocument();
    m_docMeasurementContinuous->OnNewDocument();
    ExchangeLastMeasurement(0, false);
    ExchangeLastMeasurement(1, false);
}

std::string CKestrelApp::ProgramFileFolder() const {
    if (!m_options.fileFolder.empty())
        return m_options.fileFolder;
    const QString program = QCoreApplication::applicationDirPath();
    if (QFileInfo(program).isWritable())
        return program.toStdString();
    // An installed program's folder is not the user's to write into.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data.toStdString();
}

void CKestrelApp::ExchangeLastMeasurement(int kind, bool store) {
    CDocMeasurementBase* doc = kind == 0
                                   ? static_cast<CDocMeasurementBase*>(m_docMeasurementSingle.get())
                                   : static_cast<CDocMeasurementBase*>(m_docMeasurementContinuous.get());
    if (doc)
        ::ExchangeLastMeasurement(*doc, ProgramFileFolder(), store);
}

void CKestrelApp::StoreLastMeasurements() {
    ExchangeLastMeasurement(0, true);
    ExchangeLastMeasurement(1, true);
}

// ---- the measurement windows ----

CViewMeasurementSingle* CKestrelApp::FindSingleMeasurementView() const {
    return FindView<CViewMeasurementSingle>(Frames());
}

CViewMeasurementContinuous* CKestrelApp::FindContinuousMeasurementView() const {
    return FindView<CViewMeasurementContinuous>(Frames());
}

bool CKestrelApp::IsMeasurementWindowActive() const {
    for (CMainFrame* frame : Frames())
        if (frame == QApplication::activeWindow() && dynamic_cast<CViewMeasurementBase*>(frame->View()))
            return true;
    return false;
}

// One window per document: a second choice of the command brings the first back (restored if minimised).
void CKestrelApp::OnSingleMeasurement() {
    if (CViewMeasurementSingle* view = FindSingleMeasurementView()) {
        quirel::ui::BringToFront(view->window());
        return;
    }
    auto* view = new CViewMeasurementSingle(*m_docMeasurementSingle, *m_controller, *m_uiPort, *m_settings);
    auto* frame = new CTraceViewFrame(*this, view);
    m_frames.push_back(frame);
    view->OnInitialUpdate();
    UpdateCommandUi();
    frame->show();
}

void CKestrelApp::OnContinuousMeasurement() {
    if (CViewMeasurementContinuous* view = FindContinuousMeasurementView()) {
        quirel::ui::BringToFront(view->window());
        return;
    }
    auto* view =
        new CViewMeasurementContinuous(*m_docMeasurementContinuous, *m_controller, *m_uiPort, *m_settings);
    auto* frame = new CTraceViewFrame(*this, view);
    m_frames.push_back(frame);
    view->OnInitialUpdate();
    UpdateCommandUi();
    frame->show();
}
