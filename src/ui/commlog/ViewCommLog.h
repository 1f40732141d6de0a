#pragma once

#include "ui/common/FrameView.h"

#include <QWidget>

#include <functional>

class CCommLogModel;
class CControllerModbus;
class CRawRegisterPanel;
class MbusTrafficRecorder;
class QCheckBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace quirel::ui {
class CQtUiPort;
class ISettingsStore;
} // namespace quirel::ui

// "Communication log": every frame the program sends and receives, every byte it throws away and every
// time-out, as the master saw them, newest last. While the window is open (and not paused) the recorder
// watches the controller's connections; the table takes what it recorded a frame at a time, so that a
// busy line costs one update per frame, not one per event. Below it, the request line for raw registers.
class CViewCommLog : public QWidget, public quirel::ui::IFrameView {
    Q_OBJECT
public:
    static constexpr const char* kClassName = "CViewCommLog";
    static constexpr int kRefreshMs = 33;
    // Asks for the file to save; empty cancels.
    using FileChooser = std::function<QString(QWidget* parent)>;

    CViewCommLog(MbusTrafficRecorder& recorder, CControllerModbus& controller, quirel::ui::CQtUiPort& ui,
                 quirel::ui::ISettingsStore& settings, QWidget* parent = nullptr);
    // Stops watching the connection.
    ~CViewCommLog() override;

    // IFrameView
    const char* ViewClassName() const override { return kClassName; }
    void OnConnectionState(int state) override;
    bool OnRefresh() override { return false; }
    void OnInitialUpdate() override;

    void SetPaused(bool paused);
    void OnClear();
    void SetErrorsOnly(bool on);
    // The rows shown, as quirel-cli --trace writes them.
    void OnSave();
    // Takes what the recorder holds into the table (the timer calls it).
    void TakeRecorded();

    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    CCommLogModel* Model() const { return m_model; }
    QSortFilterProxyModel* Shown() const { return m_shown; }
    QTableView* Table() const { return m_table; }
    QLabel* DroppedLabel() const { return m_droppedLabel; }
    CRawRegisterPanel* RawPanel() const { return m_raw; }

private:
    void ShowDropped();

    MbusTrafficRecorder& m_recorder;
    CControllerModbus& m_controller;
    quirel::ui::ISettingsStore& m_settings;
    FileChooser m_chooseFile;
    CCommLogModel* m_model = nullptr;
    QSortFilterProxyModel* m_shown = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_droppedLabel = nullptr;
    CRawRegisterPanel* m_raw = nullptr;
};
