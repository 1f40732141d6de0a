#include "ui/commlog/ViewCommLog.h"

#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "base/UiPort.h"
#include "comm/ControllerModbus.h"
#include "modbus/MbusTrafficRecorder.h"
#include "ui/commlog/CommLogModel.h"
#include "ui/commlog/RawRegisterPanel.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/ModalDialogs.h"
#include "ui/common/UiText.h"
#include "ui/common/WindowPlacement.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

using quirel::ui::Tx;

namespace {

QString ChooseFile(QWidget* parent) {
    return QString::fromStdString(quirel::ui::AskFileName(
        parent, quirel::ui::FileDialogMode::Save, Tx("Save as text..."), Tx("Text files (*.txt)"), "txt"));
}

} // namespace

CViewCommLog::CViewCommLog(MbusTrafficRecorder& recorder, CControllerModbus& controller,
                           quirel::ui::CQtUiPort& ui, quirel::ui::ISettingsStore& settings, QWidget* parent)
    : QWidget(parent), m_recorder(recorder), m_controller(controller), m_settings(settings),
      m_chooseFile(ChooseFile) {
    setObjectName(kClassName);
    m_model = new CCommLogModel(this);
    m_shown = new QSortFilterProxyModel(this);
    m_shown->setSourceModel(m_model);
    m_shown->setFilterRole(CCommLogModel::kErrorRole);
    m_shown->setFilterKeyColumn(0);

    m_table = new QTableView(this);
    m_table->setObjectName("trafficList");
    m_table->setModel(m_shown);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->setShowGrid(false);
    m_table->verticalHeader()->hide();
    // Fixed row heights: the view never measures 20 000 rows.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(CCommLogModel::kTime, fontMetrics().horizontalAdvance("00:00:00.000") + 16);
    m_table->setColumnWidth(CCommLogModel::kDirection, fontMetrics().horizontalAdvance("TX") + 24);
    m_table->setColumnWidth(CCommLogModel::kBytes, 460);

    auto* pause = new QPushButton(Tx("Pause"), this);
    pause->setObjectName("pause");
    pause->setCheckable(true);
    auto* clear = new QPushButton(Tx("Clear"), this);
    clear->setObjectName("clear");
    auto* errorsOnly = new QCheckBox(Tx("Errors only"), this);
    errorsOnly->setObjectName("errorsOnly");
    auto* save = new QPushButton(Tx("Save as text..."), this);
    save->setObjectName("saveText");
    m_droppedLabel = new QLabel(this);
    m_droppedLabel->setObjectName("dropped");
    connect(pause, &QPushButton::toggled, this, &CViewCommLog::SetPaused);
    connect(clear, &QPushButton::clicked, this, &CViewCommLog::OnClear);
    connect(errorsOnly, &QCheckBox::toggled, this, &CViewCommLog::SetErrorsOnly);
    connect(save, &QPushButton::clicked, this, &CViewCommLog::OnSave);
    auto* bar = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{pause, clear, errorsOnly, save})
        bar->addWidget(w);
    bar->addStretch(1);
    bar->addWidget(m_droppedLabel);

    m_raw = new CRawRegisterPanel(controller, ui, this);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_table);
    split->addWidget(m_raw);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addWidget(split, 1);

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CViewCommLog::TakeRecorded);
    timer->start(kRefreshMs);
    ShowDropped();
    m_raw->SetConnected(m_controller.IsConnected());
    m_controller.SetTrafficObserver(&m_recorder);
}

CViewCommLog::~CViewCommLog() {
    m_controller.SetTrafficObserver(nullptr);
    std::vector<MbusTrafficRecord> rest;
    m_recorder.take(rest); // not for the next window
}

void CViewCommLog::OnInitialUpdate() {
    window()->setWindowTitle(Tx("Communication log"));
    quirel::ui::RestoreWindowPlacement(window(), m_settings, kClassName);
}

void CViewCommLog::OnConnectionState(int state) {
    m_raw->SetConnected(state == kConnected && m_controller.IsConnected());
}

void CViewCommLog::SetPaused(bool paused) {
    // Paused, nothing is recorded: the table stands still, and the line is not watched at all.
    TakeRecorded();
    m_controller.SetTrafficObserver(paused ? nullptr : &m_recorder);
}

void CViewCommLog::OnClear() {
    std::vector<MbusTrafficRecord> waiting;
    m_recorder.take(waiting);
    m_model->Clear();
    ShowDropped();
}

void CViewCommLog::SetErrorsOnly(bool on) {
    m_shown->setFilterFixedString(on ? QStringLiteral("true") : QString());
}

void CViewCommLog::TakeRecorded() {
    std::vector<MbusTrafficRecord> records;
    const std::uint64_t dropped = m_recorder.take(records);
    if (records.empty() && dropped == 0)
        return;
    // The newest rows stay in sight while the user has not scrolled away from them.
    QScrollBar* scroll = m_table->verticalScrollBar();
    const bool atEnd = scroll->value() >= scroll->maximum();
    m_model->Append(std::move(records), dropped);
    ShowDropped();
    if (atEnd)
        m_table->scrollToBottom();
}

void CViewCommLog::ShowDropped() {
    m_droppedLabel->setText(Tx("Dropped: %1").arg(m_model->Dropped()));
}

void CViewCommLog::OnSave() {
    const QString path = m_chooseFile(this);
    if (path.isEmpty())
        return;
    std::string text;
    for (int r = 0; r < m_shown->rowCount(); ++r)
        text += m_model->Line(m_shown->mapToSource(m_shown->index(r, 0)).row()) + "\n";
    if (!quirel::writeFileAtomically(path.toStdString(), text))
        quirel::ui::ShowFileNotWritten(window(), path.toStdString());
}
