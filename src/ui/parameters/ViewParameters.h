#pragma once

#include "base/Document.h"
#include "ui/common/FrameView.h"

#include <QWidget>

#include <string>

class CControllerModbus;
class CDocParameters;
class CParameterManager;
class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

namespace quirel::ui {
class ISettingsStore;
}

// The device parameters window's view: the catalogue's folders on the left, the selected folder's own
// parameters with their values on the right. Values are read when a folder is selected and on refresh;
// a double click on a writable parameter opens the edit dialog and queues the write.
class CViewParameters : public QWidget, public CView, public quirel::ui::IFrameView {
    Q_OBJECT
public:
    static constexpr const char* kClassName = "CViewParameters";
    static constexpr int kColumnCount = 5;

    CViewParameters(CDocParameters& doc, quirel::ui::ISettingsStore& settings, std::string firmwareRevision,
                    QWidget* parent = nullptr);
    // Stores the column widths and releases the rows it showed.
    ~CViewParameters() override;

    // CView
    void OnUpdate(CView* sender, int64_t hint) override;
    // IFrameView
    const char* ViewClassName() const override { return kClassName; }
    void OnConnectionState(int state) override;
    bool OnRefresh() override;
    void OnInitialUpdate() override;

    // Selects the folder with this section name (as a click in the tree does); false when there is none.
    bool SelectFolder(const std::string& sectionName);
    // Opens the edit dialog for the row (as a double click does).
    void EditRow(int row);
    // The revision the title names (" - Firmware %s"); a connect to another device changes it.
    void SetFirmwareRevision(const std::string& revision);

    QTreeWidget* Tree() const { return m_tree; }
    QTreeWidget* List() const { return m_list; }

signals:
    void closeRequested();

private:
    void FillTree();
    void RebuildList();
    void RefreshValue(int32_t id);
    QString ValueText(int32_t id) const;
    void SaveListPosition();
    void FitColumns();
    int ContentWidth(int column) const;
    void OnFolderChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void ReleaseRows();

    CDocParameters& m_doc;
    const CParameterManager& m_catalogue;
    CControllerModbus& m_controller;
    quirel::ui::ISettingsStore& m_settings;
    std::string m_revision;

    QTreeWidget* m_tree = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_close = nullptr;
    int m_savedTop = 0;
    int m_savedSelection = -1;
};
