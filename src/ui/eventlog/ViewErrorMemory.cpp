#include "ui/eventlog/ViewErrorMemory.h"

#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "eventlog/DocErrorMemory.h"
#include "eventlog/EventLogFile.h"
#include "ui/common/QtUiPort.h"
#include "ui/common/SettingsStore.h"
#include "ui/common/UiText.h"
#include "ui/common/WindowPlacement.h"
#include "ui/eventlog/EventKindIcons.h"
#include "ui/eventlog/EventLogFilter.h"
#include "ui/eventlog/EventLogModel.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

using quirel::ui::Tx;

namespace {

constexpr unsigned kIdsReading = 210;   // "Eventlog is being read ..."
constexpr unsigned kIdsNoEntries = 212; // "No entries available."

QString ChooseFile(QWidget* parent, bool save) {
    QFileDialog dialog(parent);
    dialog.setNameFilter("Text (*.txt)");
    dialog.setDefaultSuffix("txt");
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

CViewErrorMemory::CViewErrorMemory(CDocErrorMemory& doc, CControllerModbus& controller,
                                   quirel::ui::CQtUiPort& ui, quirel::ui::ISettingsStore& settings,
                                   QWidget* parent)
    : QWidget(parent), m_doc(doc), m_controller(controller), m_ui(ui), m_settings(settings),
      m_chooseFile(ChooseFile) {
    setObjectName(kClassName);

    m_model = new CEventLogModel(this);
    m_filter = new CEventLogFilter(this);
    m_filter->setSourceModel(m_model);

    m_table = new QTableView(this);
    m_table->setObjectName("eventList");
    m_table->setModel(m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->setIconSize(QSize(16, 16));
    QHeaderView* header = m_table->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorClearable(true); // a third click returns to the device's order
    header->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
    for (int c = 0; c < CEventLogModel::kColumnCount; ++c)
        m_table->setColumnWidth(c, CEventLogModel::kWidths[c]);
    header->setSectionResizeMode(CEventLogModel::kDescription,
                                 QHeaderView::Stretch); // the list follows the window

    // The filter bar: kinds to show and a search text.
    auto* filterBar = new QHBoxLayout;
    filterBar->setContentsMargins(0, 0, 0, 0);
    filterBar->addWidget(new QLabel(Tx("Show:"), this));
    for (EventKind kind : {EventKind::Error, EventKind::Status, EventKind::Info}) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString("show%1").arg(EventKindText(kind)));
        button->setText(Tx(EventKindText(kind))); // the list's kind column keeps the device's words
        button->setIcon(quirel::ui::EventKindIcon(kind));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setCheckable(true);
        button->setChecked(true);
        button->setAutoRaise(true);
        connect(button, &QToolButton::toggled, this,
                [this, kind](bool on) { m_filter->SetKindShown(kind, on); });
        m_kindButtons[static_cast<int>(kind)] = button;
        filterBar->addWidget(button);
    }
    filterBar->addSpacing(12);
    m_search = new QLineEdit(this);
    m_search->setObjectName("searchField");
    m_search->setPlaceholderText(Tx("Search"));
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::textChanged, m_filter, &CEventLogFilter::SetText);
    filterBar->addWidget(m_search, 1);

    auto* left = new QVBoxLayout;
    left->addLayout(filterBar);
    left->addWidget(m_table, 1);

    auto button = [this](const char* text, const char* name) {
        auto* b = new QPushButton(Tx(text), this);
        b->setObjectName(name);
        b->setMinimumHeight(b->sizeHint().height());
        return b;
    };
    m_updateLatest = button("Update\n(latest records)", "updateLatest");
    m_updateAll = button("Update\n(all records)", "updateAll");
    QPushButton* save = button("Save", "save");
    QPushButton* open = button("Open", "open");
    QPushButton* close = button("Close", "close");
    connect(m_updateLatest, &QPushButton::clicked, this, &CViewErrorMemory::OnUpdateLatest);
    connect(m_updateAll, &QPushButton::clicked, this, &CViewErrorMemory::OnUpdateAll);
    connect(save, &QPushButton::clicked, this, &CViewErrorMemory::OnSave);
    connect(open, &QPushButton::clicked, this, &CViewErrorMemory::OnOpen);
    connect(close, &QPushButton::clicked, this, &CViewErrorMemory::closeRequested);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {m_updateLatest, m_updateAll, save, open})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);

    m_doc.AddView(this);
}

CViewErrorMemory::~CViewErrorMemory() {
    m_doc.RemoveView(this);
}

void CViewErrorMemory::OnInitialUpdate() {
    window()->setWindowTitle(quirel::ui::ResourceText(CDocErrorMemory::kIdsTitle));
    quirel::ui::RestoreWindowPlacement(window(), m_settings, kClassName);
    ShowDocument();
}

void CViewErrorMemory::OnUpdate(CView*, int64_t) {
    ShowDocument();
}

void CViewErrorMemory::ShowDocument() {
    m_model->SetRows(EventLogRowsOf(m_doc));
}

void CViewErrorMemory::SetUpdateButtonsEnabled(bool enabled) {
    m_updateLatest->setEnabled(enabled);
    m_updateAll->setEnabled(enabled);
}

void CViewErrorMemory::Read(EventLogScope scope) {
    SetUpdateButtonsEnabled(false);
    CEventLogReader reader(m_controller, m_ui);
    // The buttons come back after every outcome: a user who connects, or whose cable was loose, can try
    // again without reopening the window.
    if (!reader.CheckConnected()) {
        SetUpdateButtonsEnabled(true);
        return;
    }
    EventLogRow reading;
    reading.description = quirel::loadString(kIdsReading);
    m_model->SetRows({reading});
    m_doc.DeleteContents();

    // The worker is stopped and the records read on a thread of their own, so that this window stays
    // painted and the progress moves; the modal progress dialog keeps every other command out meanwhile.
    CEventLogReader::Result result;
    m_ui.RunWithProgress(
        window(), CEventLogReader::ProgressCaption(),
        [&] {
            reader.StopWorker();
            result = reader.ReadAndRestart(scope);
        },
        true);
    if (result.status == CEventLogReader::Status::Ok)
        m_doc.TakeLog(std::move(result.text));
    // After a failure too, so that the list no longer says the log is being read.
    m_ui.PostDocumentUpdate(&m_doc, UpdateHint::kDataChanged);
    SetUpdateButtonsEnabled(true);
}

void CViewErrorMemory::OnSave() {
    if (m_doc.GetCount() == 0) {
        EventLogFile::Report(m_ui, EventLogFile::Result::NothingToSave);
        return;
    }
    const QString path = m_chooseFile(this, true);
    if (path.isEmpty())
        return;
    EventLogFile::Report(m_ui, EventLogFile::Save(path.toStdString(), m_doc), path.toStdString());
}

void CViewErrorMemory::OnOpen() {
    // The document changes only once a file has been accepted: a cancelled or refused Open keeps the log
    // that was read before.
    const QString path = m_chooseFile(this, false);
    if (path.isEmpty())
        return;
    std::string text, why;
    const EventLogFile::Result result = EventLogFile::Open(path.toStdString(), text, &why);
    if (result != EventLogFile::Result::Ok) {
        EventLogFile::Report(m_ui, result, path.toStdString(), why);
        return;
    }
    m_doc.TakeLog(std::move(text));
    m_ui.PostDocumentUpdate(&m_doc, UpdateHint::kDataChanged);
}
