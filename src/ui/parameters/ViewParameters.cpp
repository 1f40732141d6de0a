#include "ui/parameters/ViewParameters.h"

#include "base/DecimalNumber.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobWriteParameter.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/SettingsStore.h"
#include "ui/common/UiText.h"
#include "ui/parameters/DlgEditParams.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

constexpr unsigned kIdsTitle = 172;       // "Device parameters - Quirel Viewer Velorin"
constexpr unsigned kIdsModbusError = 178; // "Modbus error"
constexpr unsigned kIdsFirstHeader = 194; // "ID", "Name", "Value", "Unit", "Description"
constexpr int kDefaultWidths[CViewParameters::kColumnCount] = {30, 140, 100, 60, 600};
constexpr int kSectionRole = Qt::UserRole;

int32_t RowId(const QTreeWidgetItem* row) {
    return quirel::parseLong(row->text(0).toStdString());
}

} // namespace

CViewParameters::CViewParameters(CDocParameters& doc, quirel::ui::ISettingsStore& settings,
                                 std::string firmwareRevision, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_catalogue(doc.GetCatalogue()), m_controller(doc.GetController()),
      m_settings(settings), m_revision(std::move(firmwareRevision)) {
    setObjectName(kClassName);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName("folderTree");
    m_tree->setHeaderHidden(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_tree->setRootIsDecorated(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName("parameterList");
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    m_list->setColumnCount(kColumnCount);
    QStringList headers;
    for (int c = 0; c < kColumnCount; ++c)
        headers << quirel::ui::ResourceText(kIdsFirstHeader + c);
    m_list->setHeaderLabels(headers);
    m_list->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    m_list->header()->setStretchLastSection(false);

    m_close = new QPushButton(Tx("Close"), this);
    connect(m_close, &QPushButton::clicked, this, &CViewParameters::closeRequested);

    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(new QLabel(Tx("  Folder"), left));
    leftLayout->addWidget(m_tree);

    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(new QLabel(Tx("  Parameters"), right));
    rightLayout->addWidget(m_list);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_close);
    rightLayout->addLayout(buttons);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 900});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);

    connect(m_tree, &QTreeWidget::currentItemChanged, this, &CViewParameters::OnFolderChanged);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { EditRow(m_list->indexOfTopLevelItem(item)); });

    m_doc.AddView(this);
}

CViewParameters::~CViewParameters() {
    for (int c = 0; c < kColumnCount; ++c)
        m_settings.WriteInt(kClassName, "c" + std::to_string(c), m_list->columnWidth(c));
    // A closed window no longer shows its rows, so they should not be read on its behalf any more.
    ReleaseRows();
    m_doc.RemoveView(this);
}

void CViewParameters::SetFirmwareRevision(const std::string& revision) {
    m_revision = revision;
    QString title = quirel::ui::ResourceText(kIdsTitle);
    if (!m_revision.empty())
        title += QString(" - Firmware %1").arg(Qs(m_revision));
    window()->setWindowTitle(title);
}

void CViewParameters::OnInitialUpdate() {
    SetFirmwareRevision(m_revision);

    const int x = m_settings.GetInt(kClassName, "x", 0);
    const int y = m_settings.GetInt(kClassName, "y", 0);
    const int cx = m_settings.GetInt(kClassName, "cx", 0);
    const int cy = m_settings.GetInt(kClassName, "cy", 0);
    if (cx != 0 && cy != 0) {
        window()->move(std::max(x, 0), std::max(y, 0));
        window()->resize(cx, cy);
    }

    FillTree();
    for (int c = 0; c < kColumnCount; ++c)
        m_list->setColumnWidth(c, m_settings.GetInt(kClassName, "c" + std::to_string(c), kDefaultWidths[c]));
}

void CViewParameters::FillTree() {
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    struct Filler {
        const QIcon& icon;
        void Add(QTreeWidgetItem* item, const FolderTreeEntry& entry) const {
            item->setText(0, Qs(entry.displayName));
            item->setData(0, kSectionRole, Qs(entry.sectionName));
            item->setIcon(0, icon);
            for (const FolderTreeEntry& child : entry.children)
                Add(new QTreeWidgetItem(item), child);
        }
    } filler{closed};
    m_tree->clear();
    for (const FolderTreeEntry& entry : m_catalogue.GetFolderTree())
        filler.Add(new QTreeWidgetItem(m_tree), entry);
}

bool CViewParameters::SelectFolder(const std::string& sectionName) {
    const QString name = Qs(sectionName);
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if ((*it)->data(0, kSectionRole).toString() == name) {
            m_tree->setCurrentItem(*it);
            return true;
        }
    }
    return false;
}

void CViewParameters::OnFolderChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    // The selected folder shows the open image; one branch is open at a time.
    if (previous) {
        previous->setIcon(0, style()->standardIcon(QStyle::SP_DirClosedIcon));
        bool ancestor = false;
        for (QTreeWidgetItem* p = current; p; p = p->parent())
            ancestor = ancestor || p == previous;
        if (!ancestor)
            for (QTreeWidgetItem* p = previous; p; p = p->parent()) {
                bool onPath = false;
                for (QTreeWidgetItem* q = current; q; q = q->parent())
                    onPath = onPath || q == p;
                if (!onPath)
                    p->setExpanded(false);
            }
    }
    if (current) {
        current->setIcon(0, style()->standardIcon(QStyle::SP_DirOpenIcon));
        current->setExpanded(true);
    }
    m_savedTop = 0;
    m_savedSelection = -1;
    RebuildList();
    m_doc.UpdateVisible();
}

QString CViewParameters::ValueText(int32_t id) const {
    // Only what the device sent (or was just sent) is shown; a value never read is not a zero.
    if (!m_controller.IsConnected() || !m_doc.IsKnown(id))
        return QStringLiteral("--");
    try {
        return Qs(m_doc.GetValue(id).GetText(m_catalogue));
    } catch (const CParameterException&) {
        return QString();
    }
}

void CViewParameters::ReleaseRows() {
    for (int row = 0; row < m_list->topLevelItemCount(); ++row)
        m_doc.RemoveVisible(RowId(m_list->topLevelItem(row)));
    m_list->clear();
}

void CViewParameters::RebuildList() {
    ReleaseRows();

    std::vector<CParameterDescription> parameters;
    if (QTreeWidgetItem* folder = m_tree->currentItem()) {
        try {
            m_catalogue.GetFolderParameters(folder->data(0, kSectionRole).toString().toStdString(),
                                            parameters);
        } catch (const CParameterException&) {
            parameters.clear();
        }
    }

    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(parameters.size()));
    for (const CParameterDescription& d : parameters) {
        auto* row = new QTreeWidgetItem;
        row->setText(0, QString::number(d.GetId()));
        row->setText(1, Qs(d.GetName()));
        row->setText(2, ValueText(d.GetId()));
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(3, Qs(d.GetUnit()));
        row->setText(4, Qs(d.GetHelpText()));
        rows << row;
        m_doc.AddVisible(d.GetId());
    }
    m_list->addTopLevelItems(rows);
    FitColumns();

    if (!rows.isEmpty()) {
        m_list->scrollToItem(rows.last());
        const int top = std::clamp(m_savedTop, 0, static_cast<int>(rows.size()) - 1);
        m_list->scrollToItem(rows[top], QAbstractItemView::PositionAtTop);
    }
    if (m_savedSelection >= 0 && m_savedSelection < m_list->topLevelItemCount()) {
        QTreeWidgetItem* selected = m_list->topLevelItem(m_savedSelection);
        m_list->setCurrentItem(selected);
        selected->setSelected(true);
    }
}

int CViewParameters::ContentWidth(int column) const {
    // QTreeView hides the size hint it computes; its base class offers it.
    const QAbstractItemView* view = m_list;
    return std::max(view->sizeHintForColumn(column), m_list->header()->sectionSizeHint(column)) + 8;
}

void CViewParameters::FitColumns() {
    // Columns grow to their contents ("degree Celsius", long names); a width the user made wider stays.
    for (int c = 0; c < kColumnCount - 1; ++c)
        m_list->setColumnWidth(c, std::max(m_list->columnWidth(c), ContentWidth(c)));
}

void CViewParameters::SaveListPosition() {
    const QModelIndex top = m_list->indexAt(QPoint(1, 1));
    m_savedTop = top.isValid() ? top.row() : 0;
    QTreeWidgetItem* current = m_list->currentItem();
    m_savedSelection = current && current->isSelected() ? m_list->indexOfTopLevelItem(current) : -1;
}

void CViewParameters::RefreshValue(int32_t id) {
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        if (RowId(item) == id) {
            item->setText(2, ValueText(id));
            if (m_list->columnWidth(2) < ContentWidth(2))
                FitColumns();
            return;
        }
    }
}

void CViewParameters::OnUpdate(CView*, int64_t hint) {
    if (hint == UpdateHint::kDataChanged || hint == UpdateHint::kReset) {
        RebuildList();
        return;
    }
    RefreshValue(static_cast<int32_t>(hint));
}

void CViewParameters::OnConnectionState(int) {
    SaveListPosition();
    RebuildList();
}

bool CViewParameters::OnRefresh() {
    m_controller.ClearPollQueue();
    SaveListPosition();
    RebuildList();
    m_doc.UpdateVisible();
    return true;
}

void CViewParameters::EditRow(int row) {
    if (row < 0 || row >= m_list->topLevelItemCount())
        return;
    const int32_t id = RowId(m_list->topLevelItem(row));
    const CParameterDescription* description = m_catalogue.FindDescription(id);
    if (!description || !IsWritable(description->GetAccessType()))
        return;

    CParameterValue value;
    try {
        value = m_doc.GetValue(id);
    } catch (const CParameterException&) {
        return;
    }
    CDlgEditParams dialog(m_catalogue, value, *description, this);
    if (dialog.exec() != QDialog::Accepted)
        return;

    const CParameterValue edited = dialog.GetValue();
    // The job reads the value back, so the row ends up showing what the device holds.
    if (m_controller.AddUserJob(std::make_unique<CJobWriteParameter>(edited, &m_doc))) {
        m_doc.SetValue(id, edited.GetValue());
        m_list->setCurrentItem(m_list->topLevelItem(row));
        SaveListPosition();
        m_doc.UpdateAllViews(nullptr);
    } else {
        quirel::ui::ShowMessageBox(this, quirel::loadString(kIdsModbusError), std::string(), MbIcon::Error);
    }
}
