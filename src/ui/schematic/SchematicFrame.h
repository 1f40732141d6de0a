#pragma once

#include "ui/app/MainFrame.h"

#include <QSize>

// The overview's frame: 1200 x 706 at first, and width = 1.7 x height while its border is dragged.
// Closing it stores the last measurements before it closes as every frame does.
class CSchematicFrame : public CMainFrame {
    Q_OBJECT
public:
    static constexpr int kWidth = 1200;
    static constexpr int kHeight = 706;

    CSchematicFrame(CKestrelApp& app, QWidget* view);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    CKestrelApp& m_app;
    QSize m_expected; // the size this frame asked for last, which is not a drag
};
