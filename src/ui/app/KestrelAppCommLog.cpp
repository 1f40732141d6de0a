// The application's side of the communication log: opening its window.

#include "ui/app/KestrelApp.h"

#include "ui/app/AppWindows.h"
#include "ui/app/MainFrame.h"
#include "ui/commlog/ViewCommLog.h"
#include "ui/common/WindowPlacement.h"

void CKestrelApp::OnCommLog() {
    if (CViewCommLog* view = FindCommLogView()) {
        quirel::ui::BringToFront(view->window());
        return;
    }
    auto* view = new CViewCommLog(*m_traffic, *m_controller, *m_uiPort, *m_settings);
    auto* frame = new CMainFrame(*this, view);
    m_frames.push_back(frame);
    view->OnInitialUpdate();
    UpdateCommandUi();
    frame->show();
}

CViewCommLog* CKestrelApp::FindCommLogView() const {
    return FindView<CViewCommLog>(Frames());
}
