#include "ui/schematic/SchematicFrame.h"

#include "schematic/SchematicAspect.h"
#include "ui/app/KestrelApp.h"

#include <QCloseEvent>
#include <QResizeEvent>

CSchematicFrame::CSchematicFrame(CKestrelApp& app, QWidget* view) : CMainFrame(app, view), m_app(app) {
    setObjectName("CSchematicFrame");
    m_expected = QSize(kWidth, kHeight);
    resize(kWidth, kHeight);
}

void CSchematicFrame::resizeEvent(QResizeEvent* event) {
    CMainFrame::resizeEvent(event);
    using namespace SchematicAspect;
    const QSize now = event->size();
    if (now == m_expected || !event->oldSize().isValid() || isMaximized() || isFullScreen() ||
        windowState() & Qt::WindowMinimized)
        return;
    Drag drag;
    if (!DragBetween({event->oldSize().width(), event->oldSize().height()}, {now.width(), now.height()},
                     drag))
        return;
    const Size kept = Apply(drag, {now.width(), now.height()});
    m_expected = QSize(kept.width, kept.height);
    if (m_expected != now)
        resize(m_expected);
}

void CSchematicFrame::closeEvent(QCloseEvent* event) {
    m_app.StoreLastMeasurements();
    CMainFrame::closeEvent(event);
}
