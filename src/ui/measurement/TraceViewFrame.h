#pragma once

#include "ui/app/MainFrame.h"

#include <map>

class CDiagramControl;
class CViewMeasurementBase;
class QAction;
class QDockWidget;

// The frame of the two measurement windows: besides the application's menu and toolbar, four toolbars
// in one row (file: Open, Save, Print, About; measurement: Configure, Start, Cancel; view: Left, Right,
// Up, Down, Zoom in, Zoom out, Full screen; analysis: Figures, Derived channels, and in the single window
// Filter effectiveness), the figures docked below the chart and the floating diagram control. Start is
// offered while the measurement does not run, Cancel while it does; Open only while it does not, because the
// running measurement would go on writing into the opened file's channels. Its "Exit" menu item is "Close".
class CTraceViewFrame : public CMainFrame {
    Q_OBJECT
public:
    // Command identifiers of the three toolbars.
    enum : int {
        kOpen = 57601,
        kSave = 32802,
        kPrint = 57607,
        kAbout = 57664,
        kConfigure = 1130,
        kStart = 32793,
        kCancel = 32794,
        kLeft = 32795,
        kRight = 32796,
        kUp = 32797,
        kDown = 32798,
        kZoomIn = 32799,
        kZoomOut = 32800,
        kFullScreen = 32801,
        kClose = 57602,
        kFigures = 32850,
        kDerived = 32851,
        kEffectiveness = 32852,
    };

    CTraceViewFrame(CKestrelApp& app, CViewMeasurementBase* view);

    CViewMeasurementBase* MeasurementView() const { return m_view; }
    CDiagramControl* DiagramControl() const { return m_control; }
    QDockWidget* FiguresDock() const { return m_figures; }
    QAction* Command(int id) const;

private:
    void OnRunningChanged(bool running);

    CViewMeasurementBase* m_view;
    CDiagramControl* m_control = nullptr;
    QDockWidget* m_figures = nullptr;
    std::map<int, QAction*> m_commands;
};
