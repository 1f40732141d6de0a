#pragma once

#include "base/Document.h"
#include "eventlog/EventLogReader.h"
#include "eventlog/EventLogRows.h"
#include "ui/common/FrameView.h"

#include <QWidget>

#include <functional>

class CControllerModbus;
class CDocErrorMemory;
class CEventLogFilter;
class CEventLogModel;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolButton;

namespace quirel::ui {
class CQtUiPort;
class ISettingsStore;
} // namespace quirel::ui

// The event log window: reads the latest or all records from the device (the controller's worker
// stopped meanwhile, the window painted behind a progress dialog), lists them with sortable columns and a
// filter by kind and text, saves the log as text and opens such a file again.
class CViewErrorMemory : public QWidget, public CView, public quirel::ui::IFrameView {
    Q_OBJECT
public:
    static constexpr const char* kClassName = "CViewErrorMemory";
    // Asks for a file to save (true) or open (false); an empty answer cancels.
    using FileChooser = std::function<QString(QWidget* parent, bool save)>;

    CViewErrorMemory(CDocErrorMemory& doc, CControllerModbus& controller, quirel::ui::CQtUiPort& ui,
                     quirel::ui::ISettingsStore& settings, QWidget* parent = nullptr);
    ~CViewErrorMemory() override;

    // CView: every update shows the document anew.
    void OnUpdate(CView* sender, int64_t hint) override;
    // IFrameView
    const char* ViewClassName() const override { return kClassName; }
    void OnConnectionState(int) override {}
    bool OnRefresh() override { return false; }
    void OnInitialUpdate() override;

    // The buttons' commands.
    void OnUpdateLatest() { Read(EventLogScope::Latest); }
    void OnUpdateAll() { Read(EventLogScope::All); }
    void OnSave();
    void OnOpen();

    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    QTableView* Table() const { return m_table; }
    CEventLogModel* Model() const { return m_model; }
    CEventLogFilter* Filter() const { return m_filter; }
    QPushButton* UpdateLatestButton() const { return m_updateLatest; }
    QPushButton* UpdateAllButton() const { return m_updateAll; }
    QLineEdit* SearchField() const { return m_search; }
    QToolButton* KindButton(EventKind kind) const { return m_kindButtons[static_cast<int>(kind)]; }

signals:
    void closeRequested();

private:
    void Read(EventLogScope scope);
    void ShowDocument();
    void SetUpdateButtonsEnabled(bool enabled);

    CDocErrorMemory& m_doc;
    CControllerModbus& m_controller;
    quirel::ui::CQtUiPort& m_ui;
    quirel::ui::ISettingsStore& m_settings;
    FileChooser m_chooseFile;

    CEventLogModel* m_model = nullptr;
    CEventLogFilter* m_filter = nullptr;
    QTableView* m_table = nullptr;
    QLineEdit* m_search = nullptr;
    QToolButton* m_kindButtons[3] = {};
    QPushButton* m_updateLatest = nullptr;
    QPushButton* m_updateAll = nullptr;
};
