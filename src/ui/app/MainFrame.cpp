#include "ui/app/MainFrame.h"

#include "base/StringTable.h"
#include "ui/app/KestrelApp.h"
#include "ui/common/FrameView.h"
#include "ui/common/SettingsStore.h"
#include "ui/common/UiText.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

using quirel::ui::Tx;

CMainFrame::CMainFrame(CKestrelApp& app, QWidget* view)
    : m_app(app), m_view(dynamic_cast<quirel::ui::IFrameView*>(view)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("CMainFrame");
    resize(kDefaultWidth, kDefaultHeight);
    setDockOptions(QMainWindow::AnimatedDocks);

    app.BuildMenu(menuBar());

    auto* toolbar = new QToolBar("Toolbar", this);
    toolbar->setObjectName("toolbar");
    toolbar->setAllowedAreas(Qt::TopToolBarArea);
    toolbar->setMovable(true);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    app.BuildToolBar(toolbar);
    addToolBar(Qt::TopToolBarArea, toolbar);

    // The initial texts size the panes, as the padded originals do.
    const QString padding(10, QLatin1Char(' '));
    const QString initial[4] = {Tx("Device state unknown") + padding + ".",
                                Tx("No connection") + padding + ".", Tx("No trigger") + padding + ".",
                                Tx(quirel::uiLanguage() == quirel::kLanguageEnglish ? "No running measurement"
                                                                                    : "Measurement running") +
                                    padding + "."};
    const char* names[4] = {"paneDeviceState", "paneConnection", "paneTrigger", "paneContinuous"};
    for (int i = 0; i < 4; ++i) {
        m_panes[i] = new QLabel(initial[i], this);
        m_panes[i]->setObjectName(names[i]);
        m_panes[i]->setMinimumWidth(m_panes[i]->fontMetrics().horizontalAdvance(initial[i]) + 8);
        m_panes[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addPermanentWidget(m_panes[i]);
    }
    // The idle text is a normal item: prompts cover it while shown and it comes back when they go.
    auto* idle = new QLabel(Tx("Ready"), this);
    idle->setObjectName("paneMessage");
    statusBar()->addWidget(idle, 1);

    setCentralWidget(view);
}

void CMainFrame::SetStatusPanes(const QString& deviceState, const QString& connection, const QString& trigger,
                                const QString& continuous) {
    const QString texts[4] = {deviceState, connection, trigger, continuous};
    for (int i = 0; i < 4; ++i)
        if (m_panes[i]->text() != texts[i])
            m_panes[i]->setText(texts[i]);
}

QString CMainFrame::StatusPaneText(int pane) const {
    return pane >= 0 && pane < 4 ? m_panes[pane]->text() : QString();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_view && !isMinimized()) {
        quirel::ui::ISettingsStore& s = m_app.Settings();
        const char* section = m_view->ViewClassName();
        s.WriteInt(section, "x", pos().x());
        s.WriteInt(section, "y", pos().y());
        s.WriteInt(section, "cx", width());
        s.WriteInt(section, "cy", height());
    }
    m_closing = true;
    m_app.OnFrameClosing(this);
    event->accept();
}
