#include "ui/app/DlgDeviceSearch.h"

#include "modbus/MbusMasterFunctions.h"
#include "ui/common/UiText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

// Columns of the list; a TCP search has no line settings to show.
enum Column { kBaud, kParity, kStop, kSlave, kAnswer, kVendor, kProduct, kRevision, kColumns };

QString AnswerText(int result) {
    return result == MBUS_SUCCESS ? Tx("Normal reply") : QString(MbusMasterFunctions::getErrorText(result));
}

} // namespace

// Hands what the scan reports on its thread over to the window's thread.
class DlgDeviceSearch::Relay : public IDeviceScanObserver {
public:
    explicit Relay(DlgDeviceSearch& dialog) : m_dialog(dialog) {}

    void OnProbe(const ScanTarget& next, std::size_t done, std::size_t total) override {
        {
            std::lock_guard lock(m_dialog.m_mutex);
            m_dialog.m_next = next;
            m_dialog.m_done = done;
            m_dialog.m_total = total;
            if (std::exchange(m_dialog.m_progressPosted, true))
                return;
        }
        m_dialog.Post([d = &m_dialog] { d->ShowProgress(); });
    }
    void OnFound(const ScanAnswer& answer) override {
        m_dialog.Post([d = &m_dialog, answer] { d->AddFound(answer); });
    }
    void OnLineRefused(const ScanLine&, const std::string& why) override {
        std::lock_guard lock(m_dialog.m_mutex);
        if (m_dialog.m_refused++ == 0)
            m_dialog.m_refusal = why;
    }

private:
    DlgDeviceSearch& m_dialog;
};

DlgDeviceSearch::DlgDeviceSearch(const DeviceScanOptions& options, QWidget* parent)
    : QDialog(parent), m_options(options) {
    setObjectName("DlgDeviceSearch");
    setWindowTitle(Tx("Search for devices"));
    m_status = new QLabel(Tx("Searching %1 ...").arg(Qs(options.target)), this);
    m_status->setObjectName("searchStatus");
    m_status->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_list = new QTreeWidget(this);
    m_list->setObjectName("searchResults");
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({"Baudrate", Tx("Parity"), Tx("Stop Bits"), "Slave ID", Tx("Answer"),
                             Tx("Vendor"), Tx("Product"), Tx("Revision")});
    for (const int column : {kBaud, kParity, kStop})
        m_list->setColumnHidden(column, options.tcp);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &DlgDeviceSearch::UpdateButtons);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox(this);
    m_stop = new QPushButton(Tx("Stop"), this);
    m_stop->setObjectName("stopSearch");
    m_stop->setAutoDefault(false);
    m_ok = buttons->addButton(Tx("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(Tx("Cancel"), QDialogButtonBox::RejectRole);
    connect(m_stop, &QPushButton::clicked, this, &DlgDeviceSearch::Stop);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addWidget(m_list);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(m_stop);
    buttonRow->addWidget(buttons, 1);
    layout->addLayout(buttonRow);
    resize(720, 360);
    UpdateButtons();

    m_worker = std::thread([this] {
        Relay relay(*this);
        const DeviceScanSummary summary = RunDeviceScan(m_options, relay, &m_cancel);
        Post([this, summary] { Finished(summary); });
    });
}

DlgDeviceSearch::~DlgDeviceSearch() {
    m_cancel.raise();
    if (m_worker.joinable())
        m_worker.join();
}

void DlgDeviceSearch::Post(std::function<void()> call) {
    bool wake;
    {
        std::lock_guard lock(m_mutex);
        wake = m_posted.empty();
        m_posted.push_back(std::move(call));
    }
    if (wake)
        QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
}

void DlgDeviceSearch::RunPosted() {
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(m_mutex);
        calls.swap(m_posted);
    }
    for (const auto& call : calls)
        call();
}

void DlgDeviceSearch::Stop() {
    m_cancel.raise();
}

void DlgDeviceSearch::done(int result) {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (result == QDialog::Accepted) {
        if (selected.isEmpty())
            return;
        m_chosen = m_found.at(static_cast<std::size_t>(m_list->indexOfTopLevelItem(selected.front())));
    }
    Stop();
    QDialog::done(result);
}

void DlgDeviceSearch::ShowProgress() {
    std::lock_guard lock(m_mutex);
    m_progressPosted = false;
    if (!m_running)
        return;
    const QString where = m_options.tcp ? QString() : Qs(LineText(m_next.line)) + ", ";
    m_status->setText(Tx("Searching %1 ...").arg(Qs(m_options.target)) + "\n" +
                      Tx("%1slave %2 (%3 of %4)")
                          .arg(where)
                          .arg(m_next.slave)
                          .arg(static_cast<qulonglong>(m_done + 1))
                          .arg(static_cast<qulonglong>(m_total)));
    m_progress->setRange(0, static_cast<int>(m_total));
    m_progress->setValue(static_cast<int>(m_done));
}

void DlgDeviceSearch::AddFound(const ScanAnswer& answer) {
    m_found.push_back(answer);
    auto* item = new QTreeWidgetItem(m_list);
    item->setText(kBaud, QString::number(answer.at.line.baud));
    item->setText(kParity, QString(QChar(answer.at.line.parity)));
    item->setText(kStop, QString::number(answer.at.line.stopBits));
    item->setText(kSlave, QString::number(answer.at.slave));
    item->setText(kAnswer, AnswerText(answer.result));
    item->setText(kVendor, Qs(answer.identification.vendorName));
    item->setText(kProduct, Qs(answer.identification.productCode));
    item->setText(kRevision, Qs(answer.identification.revision));
    if (m_list->topLevelItemCount() == 1)
        m_list->setCurrentItem(item);
}

void DlgDeviceSearch::Finished(const DeviceScanSummary& summary) {
    m_running = false;
    QString text;
    if (summary.end == ScanEnd::kNoPort)
        text = Qs(summary.failure);
    else
        text = (summary.end == ScanEnd::kCancelled ? Tx("Search stopped: %1 device(s) found.")
                                                   : Tx("Search finished: %1 device(s) found."))
                   .arg(static_cast<qulonglong>(summary.found));
    std::lock_guard lock(m_mutex);
    if (m_refused > 0 && summary.end != ScanEnd::kNoPort)
        text += "\n" + Tx("The port refused %1 line settings: %2").arg(m_refused).arg(Qs(m_refusal));
    m_status->setText(text);
    m_progress->setRange(0, 1);
    m_progress->setValue(summary.end == ScanEnd::kCompleted ? 1 : 0);
    UpdateButtons();
}

void DlgDeviceSearch::UpdateButtons() {
    m_stop->setEnabled(m_running);
    m_ok->setEnabled(!m_list->selectedItems().isEmpty());
}
