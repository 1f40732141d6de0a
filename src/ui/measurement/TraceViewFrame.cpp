#include "ui/measurement/TraceViewFrame.h"

#include "ui/app/KestrelApp.h"
#include "ui/common/UiText.h"
#include "ui/measurement/DiagramControl.h"
#include "ui/measurement/FiguresPanel.h"
#include "ui/measurement/TraceToolIcons.h"
#include "ui/measurement/ViewMeasurementBase.h"

#include <QAction>
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

using quirel::ui::Tx;
namespace Icons = TraceToolIcons;

namespace {

struct ToolCommand {
    int id;
    const char* text; // nullptr: a separator
    Icons::Kind icon;
};

} // namespace

CTraceViewFrame::CTraceViewFrame(CKestrelApp& app, CViewMeasurementBase* view)
    : CMainFrame(app, view), m_view(view) {
    setObjectName("CTraceViewFrame");

    // This frame is never the program's main window: its File menu closes it instead of ending the program.
    QAction* exit = app.Action(::Command::kExit);
    for (QAction* item : menuBar()->actions()) {
        QMenu* menu = item->menu();
        if (!exit || !menu || !menu->actions().contains(exit))
            continue;
        auto* close = new QAction(Tx("&Close"), this);
        close->setObjectName(QString("command%1").arg(kClose));
        connect(close, &QAction::triggered, this, &QWidget::close);
        menu->insertAction(exit, close);
        menu->removeAction(exit);
        m_commands[kClose] = close;
    }

    const std::vector<ToolCommand> bars[] = {
        {{kOpen, "Open", Icons::kOpen},
         {kSave, "Save", Icons::kSave},
         {0, nullptr, Icons::kOpen},
         {kPrint, "Print", Icons::kPrint},
         {kAbout, "About", Icons::kAbout}},
        {{kConfigure, "Configure measurement", Icons::kConfigure},
         {kStart, "Start", Icons::kStart},
         {kCancel, "Cancel", Icons::kCancel}},
        {{kLeft, "Left", Icons::kLeft},
         {kRight, "Right", Icons::kRight},
         {kUp, "Up", Icons::kUp},
         {kDown, "Down", Icons::kDown},
         {kZoomIn, "Zoom in", Icons::kZoomIn},
         {kZoomOut, "Zoom out", Icons::kZoomOut},
         {kFullScreen, "Full screen", Icons::kFull}},
    };
    const char* names[] = {"fileBar", "measurementBar", "viewBar"};
    const char* titles[] = {"Measurement file", "Measurement", "View"};
    // The application's toolbar keeps its row; the measurement's three share the next.
    addToolBarBreak(Qt::TopToolBarArea);
    for (int b = 0; b < 3; ++b) {
        auto* bar = new QToolBar(Tx(titles[b]), this);
        bar->setObjectName(names[b]);
        bar->setAllowedAreas(Qt::TopToolBarArea);
        bar->setIconSize(QSize(20, 20));
        // The measurement's own commands carry their names; the others are known by their pictures.
        bar->setToolButtonStyle(b == 1 ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
        for (const ToolCommand& c : bars[b]) {
            if (!c.text) {
                bar->addSeparator();
                continue;
            }
            QAction* action = new QAction(Icons::Icon(c.icon), Tx(c.text), this);
            action->setObjectName(QString("command%1").arg(c.id));
            action->setStatusTip(Tx(c.text));
            m_commands[c.id] = action;
            bar->addAction(action);
        }
        addToolBar(Qt::TopToolBarArea, bar);
    }

    connect(Command(kOpen), &QAction::triggered, view, &CViewMeasurementBase::OnOpen);
    connect(Command(kSave), &QAction::triggered, view, &CViewMeasurementBase::OnSave);
    connect(Command(kPrint), &QAction::triggered, view, &CViewMeasurementBase::OnPrint);
    connect(Command(kAbout), &QAction::triggered, &app, &CKestrelApp::OnAbout);
    connect(Command(kConfigure), &QAction::triggered, view, &CViewMeasurementBase::OnConfigure);
    connect(Command(kStart), &QAction::triggered, view, &CViewMeasurementBase::OnStart);
    connect(Command(kCancel), &QAction::triggered, view, &CViewMeasurementBase::OnCancel);
    const std::pair<int, int> steps[] = {{kLeft, 1},   {kRight, 0},   {kUp, 2},        {kDown, 3},
                                         {kZoomIn, 4}, {kZoomOut, 5}, {kFullScreen, 6}};
    for (const auto& [id, code] : steps)
        connect(Command(id), &QAction::triggered, view, [view, code = code] { view->OnNavigate(code); });

    // The analysis: its commands carry their names, as they have no pictures.
    auto* analysis = new QToolBar(Tx("Analysis"), this);
    analysis->setObjectName("analysisBar");
    analysis->setAllowedAreas(Qt::TopToolBarArea);
    analysis->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_figures = new QDockWidget(Tx("Figures"), this);
    m_figures->setObjectName("figuresDock");
    m_figures->setAllowedAreas(Qt::BottomDockWidgetArea | Qt::RightDockWidgetArea);
    m_figures->setWidget(view->Figures());
    view->Figures()->show();
    addDockWidget(Qt::BottomDockWidgetArea, m_figures);
    QAction* figures = m_figures->toggleViewAction();
    figures->setText(Tx("Figures"));
    figures->setObjectName(QString("command%1").arg(kFigures));
    m_commands[kFigures] = figures;
    for (auto [id, text] :
         {std::pair{kDerived, "Derived channels ..."}, {kEffectiveness, "Filter effectiveness ..."}}) {
        if (id == kEffectiveness && !view->HasEffectiveness())
            continue;
        auto* action = new QAction(Tx(text), this);
        action->setObjectName(QString("command%1").arg(id));
        action->setStatusTip(Tx(text));
        m_commands[id] = action;
    }
    analysis->addAction(figures);
    analysis->addAction(Command(kDerived));
    connect(Command(kDerived), &QAction::triggered, view, &CViewMeasurementBase::OnDerivedChannels);
    if (QAction* effectiveness = Command(kEffectiveness)) {
        analysis->addAction(effectiveness);
        connect(effectiveness, &QAction::triggered, view, &CViewMeasurementBase::OnEffectiveness);
    }
    addToolBar(Qt::TopToolBarArea, analysis);

    m_control = new CDiagramControl(this);
    addDockWidget(Qt::TopDockWidgetArea, m_control);
    m_control->setFloating(true);
    m_control->hide();
    view->SetDiagramControl(m_control);
    connect(view, &CViewMeasurementBase::diagramControlRequested, m_control, &CDiagramControl::ShowAt);
    connect(view, &CViewMeasurementBase::runningChanged, this, &CTraceViewFrame::OnRunningChanged);
    OnRunningChanged(false);
}

QAction* CTraceViewFrame::Command(int id) const {
    auto it = m_commands.find(id);
    return it == m_commands.end() ? nullptr : it->second;
}

void CTraceViewFrame::OnRunningChanged(bool running) {
    Command(kStart)->setEnabled(!running);
    Command(kCancel)->setEnabled(running);
    Command(kOpen)->setEnabled(!running);
}
