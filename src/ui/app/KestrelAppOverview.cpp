// The application's side of the overview and the event log: opening their windows, the New command, and
// what the overview asks of the application while it polls.

#include "ui/app/KestrelApp.h"

#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobQueryTrigger.h"
#include "eventlog/DocErrorMemory.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "parameters/document/DocParameters.h"
#include "ui/app/AppWindows.h"
#include "ui/app/MainFrame.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/QtUiPort.h"
#include "ui/common/UiText.h"
#include "ui/common/WindowPlacement.h"
#include "ui/eventlog/ViewErrorMemory.h"
#include "ui/measurement/ViewMeasurementBase.h"
#include "ui/parameters/ViewParameters.h"
#include "ui/schematic/SchematicFrame.h"
#include "ui/schematic/ViewSchematic.h"

#include <QApplication>

using quirel::ui::Tx;

bool CKestrelApp::IsMeasurementRunning() const {
    return (m_docMeasurementSingle && m_docMeasurementSingle->IsRunning()) ||
           (m_docMeasurementContinuous && m_docMeasurementContinuous->IsRunning());
}

void CKestrelApp::OnNew() {
    // With an active window, New starts its document afresh; without one it opens the overview (which is
    // how the program starts).
    QWidget* active = QApplication::activeWindow();
    for (CMainFrame* frame : Frames()) {
        if (frame != active || !frame->View())
            continue;
        CDocument* doc = nullptr;
        if (dynamic_cast<CViewErrorMemory*>(frame->View())) {
            m_docErrorMemory->OnNewDocument();
            doc = m_docErrorMemory.get();
        } else if (auto* measurement = dynamic_cast<CViewMeasurementBase*>(frame->View())) {
            measurement->Document().OnNewDocument();
            doc = &measurement->Document();
        } else if (dynamic_cast<CViewParameters*>(frame->View()) ||
                   dynamic_cast<CViewSchematic*>(frame->View())) {
            m_docParameters->OnNewDocument();
            doc = m_docParameters.get();
        }
        if (doc) {
            doc->UpdateAllViews(nullptr, UpdateHint::kReset);
            return;
        }
    }
    OpenOverview();
}

void CKestrelApp::OpenOverview() {
    if (!m_docParameters->OnNewDocument()) {
        quirel::ui::ShowMessageBox(nullptr, Tx("Failed to create empty document.").toStdString(),
                                   std::string(), MbIcon::Error);
        return;
    }
    CViewSchematic::Hooks hooks;
    hooks.pollingPaused = [this] { return IsMeasurementRunning() || m_uiPort->IsBusy(); };
    hooks.catalogueRevisionDiffers = [this] { return m_revisionDiffers; };
    // The trigger state shows in the status bar from the connection on.
    hooks.makeTriggerQuery = [this] {
        return std::unique_ptr<CJobAbstract>(
            std::make_unique<CJobQueryTrigger>(m_docMeasurementSingle.get()));
    };
    auto* view = new CViewSchematic(*m_docParameters, *m_settings, std::move(hooks));
    auto* frame = new CSchematicFrame(*this, view);
    m_frames.push_back(frame);
    view->OnInitialUpdate();
    UpdateCommandUi();
    frame->show();
    // Opened again while connected, it polls as it would have from the connection on.
    if (m_controller->IsConnected())
        view->OnConnectionState(kConnected);
}

void CKestrelApp::OnEventLog() {
    if (CViewErrorMemory* view = FindEventLogView()) {
        quirel::ui::BringToFront(view->window());
        return;
    }
    // The log read or opened before stays: the document keeps its text until a read or an open replaces it.
    m_docErrorMemory->SetTitle(quirel::loadString(CDocErrorMemory::kIdsTitle));
    auto* view = new CViewErrorMemory(*m_docErrorMemory, *m_controller, *m_uiPort, *m_settings);
    auto* frame = new CMainFrame(*this, view);
    connect(view, &CViewErrorMemory::closeRequested, frame, &QWidget::close);
    m_frames.push_back(frame);
    view->OnInitialUpdate();
    UpdateCommandUi();
    frame->show();
}

CViewSchematic* CKestrelApp::FindSchematicView() const {
    return FindView<CViewSchematic>(Frames());
}

CViewErrorMemory* CKestrelApp::FindEventLogView() const {
    return FindView<CViewErrorMemory>(Frames());
}

bool CKestrelApp::IsEventLogActive() const {
    CViewErrorMemory* view = FindEventLogView();
    return view && view->window() == QApplication::activeWindow();
}
