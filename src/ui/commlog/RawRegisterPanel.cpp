#include "ui/commlog/RawRegisterPanel.h"

#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/RawRegisters.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/QtUiPort.h"
#include "ui/common/UiText.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

constexpr unsigned kIdsModbusError = 178;     // "Modbus error"
constexpr unsigned kIdsReadBackFailed = 1607; // "The values were written, but reading them back failed: "

} // namespace

CRawRegisterPanel::CRawRegisterPanel(CControllerModbus& controller, quirel::ui::CQtUiPort& ui,
                                     QWidget* parent)
    : QGroupBox(Tx("Raw registers"), parent), m_controller(controller), m_ui(ui) {
    setObjectName("rawRegisters");
    m_function = new QComboBox(this);
    m_function->setObjectName("rawFunction");
    m_function->addItem(Tx("3 Read holding registers"), RawRegisterRequest::kReadHolding);
    m_function->addItem(Tx("4 Read input registers"), RawRegisterRequest::kReadInput);
    m_function->addItem(Tx("16 Write holding registers"), RawRegisterRequest::kWrite);
    m_address = new QSpinBox(this);
    m_address->setObjectName("rawAddress");
    m_address->setRange(0, 65535);
    m_count = new QSpinBox(this);
    m_count->setObjectName("rawCount");
    m_count->setRange(1, RawRegisterRequest::kMaxReadCount);
    m_values = new QLineEdit(this);
    m_values->setObjectName("rawValues");
    m_values->setPlaceholderText("1,2,-3");
    m_send = new QPushButton(Tx("Send"), this);
    m_send->setObjectName("rawSend");
    connect(m_function, &QComboBox::currentIndexChanged, this, &CRawRegisterPanel::ApplyFunction);
    connect(m_send, &QPushButton::clicked, this, &CRawRegisterPanel::OnSend);
    connect(m_values, &QLineEdit::returnPressed, this, &CRawRegisterPanel::OnSend);

    m_results = new QTableWidget(0, 4, this);
    m_results->setObjectName("rawResults");
    m_results->setHorizontalHeaderLabels({"address", "hex", "u16", "s16"});
    m_results->verticalHeader()->hide();
    m_results->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_results->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int c = 0; c < 4; ++c)
        m_results->setColumnWidth(c, fontMetrics().horizontalAdvance("address") + 40);

    auto* line = new QHBoxLayout;
    line->addWidget(new QLabel(Tx("Function"), this));
    line->addWidget(m_function);
    line->addWidget(new QLabel(Tx("Address"), this));
    line->addWidget(m_address);
    line->addWidget(new QLabel(Tx("Count"), this));
    line->addWidget(m_count);
    line->addWidget(new QLabel(Tx("Values"), this));
    line->addWidget(m_values, 1);
    line->addWidget(m_send);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(line);
    layout->addWidget(m_results, 1);
    ApplyFunction();
}

void CRawRegisterPanel::ApplyFunction() {
    const bool write = m_function->currentData().toInt() == RawRegisterRequest::kWrite;
    m_count->setEnabled(!write);
    m_values->setEnabled(write);
}

void CRawRegisterPanel::SetConnected(bool connected) {
    m_send->setEnabled(connected);
}

void CRawRegisterPanel::OnSend() {
    if (!m_send->isEnabled())
        return;
    RawRegisterRequest request;
    request.function = m_function->currentData().toInt();
    request.address = m_address->value();
    request.count = m_count->value();
    std::string error;
    if (request.IsWrite())
        error = ParseRawValues(m_values->text().toStdString(), request.values);
    if (error.empty())
        error = CheckRawRequest(request);
    if (!error.empty()) {
        quirel::ui::ShowMessageBox(window(), error, std::string(), MbIcon::Error);
        return;
    }
    if (request.IsWrite() && quirel::ui::ShowMessageBox(window(), RawWriteQuestion(request), std::string(),
                                                        MbIcon::Question, MbButtons::YesNo, IDNO) != IDYES)
        return;

    std::vector<std::uint16_t> values;
    bool written = false;
    std::string failure;
    m_ui.RunWithProgress(window(), Tx("Raw registers").toStdString(), [&] {
        try {
            values = RunRawRequest(m_controller, request, &written);
        } catch (const CModbusException& e) {
            failure = (written ? quirel::loadString(kIdsReadBackFailed) : std::string()) + e.GetMessage();
        }
    });
    if (!failure.empty()) {
        m_results->setRowCount(0);
        quirel::ui::ShowMessageBox(window(), failure, quirel::loadString(kIdsModbusError), MbIcon::Error);
        return;
    }
    ShowRegisters(request.address, values);
}

void CRawRegisterPanel::ShowRegisters(int address, const std::vector<std::uint16_t>& values) {
    const auto rows = RawRegisterRows(address, values);
    m_results->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        for (int c = 0; c < 4; ++c) {
            auto* item =
                new QTableWidgetItem(Qs(rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_results->setItem(r, c, item);
        }
    }
}
