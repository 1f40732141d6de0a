#pragma once

#include <QMainWindow>

class CKestrelApp;
class QLabel;

namespace quirel::ui {
class IFrameView;
}

// The top-level frame every feature window uses: the application's menu and toolbar, a status bar with
// the message pane and four state panes, and the view in the middle. On closing (unless minimised) it
// stores its rectangle in the settings section named after its view's class.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 1200;
    static constexpr int kDefaultHeight = 800;

    // `view` is a QWidget that implements IFrameView; the frame takes it over.
    CMainFrame(CKestrelApp& app, QWidget* view);

    quirel::ui::IFrameView* View() const { return m_view; }
    // Device state, connection, trigger, continuous measurement.
    void SetStatusPanes(const QString& deviceState, const QString& connection, const QString& trigger,
                        const QString& continuous);
    QString StatusPaneText(int pane) const;
    // True once the frame has accepted closing (its deletion is then pending).
    bool IsClosing() const { return m_closing; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CKestrelApp& m_app;
    quirel::ui::IFrameView* m_view = nullptr;
    QLabel* m_panes[4] = {};
    bool m_closing = false;
};
