#include "ui/app/DlgCommSettings.h"

#include "comm/ControllerModbus.h"
#include "ui/app/ConnectionTest.h"
#include "ui/app/DlgDeviceSearch.h"

#include "base/DecimalNumber.h"
#include "ui/common/ModalDialogs.h"
#include "ui/common/SerialPortList.h"
#include "ui/common/UiText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

QComboBox* MakeCombo(QWidget* parent, const char* name, bool editable, const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(editable);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    return combo;
}

// The entry equal to `text`, else the first one.
void SelectOrFirst(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(index >= 0 ? index : (combo->count() > 0 ? 0 : -1));
}

} // namespace

DlgCommSettings::DlgCommSettings(const CommDialogValues& values, QWidget* parent)
    : QDialog(parent), m_values(values) {
    setObjectName("DlgCommSettings");
    setWindowTitle(Tx("Connection to filter"));

    m_tcp = new QRadioButton("Modbus TCP", this);
    m_tcp->setObjectName("protocolTcp");
    m_rtu = new QRadioButton(Tx("Modbus RTU (serial)"), this);
    m_rtu->setObjectName("protocolRtu");
    auto* typeBox = new QGroupBox(Tx("Connection type"), this);
    auto* typeLayout = new QVBoxLayout(typeBox);
    typeLayout->addWidget(m_tcp);
    typeLayout->addWidget(m_rtu);

    m_host = new QLineEdit(this);
    m_host->setObjectName("host");
    auto* tcpBox = new QGroupBox("TCP", this);
    auto* tcpLayout = new QFormLayout(tcpBox);
    tcpLayout->addRow("Hostname", m_host);

    m_slaveId = new QLineEdit(this);
    m_slaveId->setObjectName("slaveId");

    // Serial ports as the system lists them; a typed device path (a pseudo-terminal, which is not
    // listed) is accepted as well.
    m_port = MakeCombo(this, "port", true, {});
    quirel::ui::FillSerialPortList(m_port, m_values.port);
    QStringList bauds = {"2400", "9600", "19200", "38400", "57600", "64800", "115200"};
    bauds.removeAll("2400");
    bauds.removeAll("64800");
    m_baud = MakeCombo(this, "baudRate", false, bauds);
    m_dataBits = MakeCombo(this, "dataBits", true, {"8"});
    m_stopBits = MakeCombo(this, "stopBits", true, {"1", "2"});
    m_parity = MakeCombo(this, "parity", true, {"E", "N", "O"}); // a sorted list
    auto* comBox = new QGroupBox("COM-Port", this);
    auto* comLayout = new QFormLayout(comBox);
    comLayout->addRow("Port", m_port);
    comLayout->addRow("Baudrate", m_baud);
    comLayout->addRow(Tx("Data Bits"), m_dataBits);
    comLayout->addRow(Tx("Stop Bits"), m_stopBits);
    comLayout->addRow(Tx("Parity"), m_parity);

    m_modem = new QCheckBox("Modem", this);
    m_modem->setObjectName("modem");

    auto* idLayout = new QFormLayout;
    idLayout->addRow("Slave ID", m_slaveId);
    // Both protocols wait and repeat alike; the boxes take only what the master accepts.
    m_timeout = new QSpinBox(this);
    m_timeout->setObjectName("replyTimeout");
    m_timeout->setRange(1, CControllerModbus::kMaxTimeoutMs);
    m_timeout->setValue(m_values.timeoutMs);
    m_tries = new QSpinBox(this);
    m_tries->setObjectName("tries");
    m_tries->setRange(1, CControllerModbus::kMaxTries);
    m_tries->setValue(m_values.tries);
    idLayout->addRow(Tx("Reply time-out (ms)"), m_timeout);
    idLayout->addRow(Tx("Tries"), m_tries);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(Tx("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(Tx("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* search = new QPushButton(Tx("Search ..."), this);
    search->setObjectName("search");
    search->setAutoDefault(false);
    connect(search, &QPushButton::clicked, this, &DlgCommSettings::OnSearch);
    auto* test = new QPushButton(Tx("Test"), this);
    test->setObjectName("test");
    test->setAutoDefault(false);
    connect(test, &QPushButton::clicked, this, &DlgCommSettings::OnTest);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(search);
    buttonRow->addWidget(test);
    buttonRow->addWidget(buttons, 1);
    m_testResult = new QLabel(this);
    m_testResult->setObjectName("testResult");
    m_testResult->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* leftColumn = new QVBoxLayout;
    leftColumn->addWidget(typeBox);
    leftColumn->addWidget(tcpBox);
    leftColumn->addLayout(idLayout);
    leftColumn->addWidget(m_modem);
    leftColumn->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addLayout(leftColumn);
    columns->addWidget(comBox);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(m_testResult);
    layout->addLayout(buttonRow);

    // Initial state from the values.
    (m_values.protocol == 0 ? m_tcp : m_rtu)->setChecked(true);
    ApplyEnabling();
    connect(m_tcp, &QRadioButton::clicked, this, &DlgCommSettings::ApplyEnabling);
    connect(m_rtu, &QRadioButton::clicked, this, &DlgCommSettings::ApplyEnabling);
    m_host->setText(Qs(m_values.host));
    m_slaveId->setText(QString::number(m_values.slaveId));

    SelectOrFirst(m_baud, QString::number(m_values.baudRate));
    SelectOrFirst(m_dataBits, QString::number(m_values.dataBits));
    SelectOrFirst(m_stopBits, QString::number(m_values.stopBits));
    SelectOrFirst(m_parity, Qs(m_values.parity));
    m_modem->setChecked(m_values.modem);
}

void DlgCommSettings::ApplyEnabling() {
    const bool tcp = m_tcp->isChecked();
    m_host->setEnabled(tcp);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_slaveId, m_port, m_baud, m_dataBits, m_stopBits, m_parity})
        w->setEnabled(!tcp);
}

void DlgCommSettings::accept() {
    // No range checks: what does not read as a number becomes 0, and connecting reports the consequence.
    m_values.protocol = m_tcp->isChecked() ? 0 : 1;
    m_values.host = m_host->text().toStdString();
    m_values.port = m_port->currentText().toStdString();
    m_values.baudRate = quirel::parseLong(m_baud->currentText().toStdString());
    m_values.dataBits = static_cast<int16_t>(quirel::parseLong(m_dataBits->currentText().toStdString()));
    m_values.stopBits = static_cast<int16_t>(quirel::parseLong(m_stopBits->currentText().toStdString()));
    m_values.parity = m_parity->currentText().toStdString();
    m_values.slaveId = quirel::parseLong(m_slaveId->text().toStdString());
    m_values.modem = m_modem->isChecked();
    m_values.timeoutMs = m_timeout->value();
    m_values.tries = m_tries->value();
    QDialog::accept();
}

DeviceScanOptions DlgCommSettings::ScanOptions(bool search) const {
    DeviceScanOptions options;
    options.tcp = m_tcp->isChecked();
    options.target = (options.tcp ? m_host->text() : m_port->currentText()).toStdString();
    if (search) {
        options.bauds.clear();
        for (int i = 0; i < m_baud->count(); ++i)
            options.bauds.push_back(static_cast<uint32_t>(m_baud->itemText(i).toUInt()));
        return options;
    }
    // As Connect reads them: a parity other than O or E is none, a slave address as the number it reads as.
    const QString parity = m_parity->currentText().toUpper();
    options.bauds = {static_cast<uint32_t>(quirel::parseLong(m_baud->currentText().toStdString()))};
    options.parities = parity == "O" || parity == "E" ? parity.toStdString() : "N";
    options.stopBits = {static_cast<int>(quirel::parseLong(m_stopBits->currentText().toStdString()))};
    options.dataBits = static_cast<int>(quirel::parseLong(m_dataBits->currentText().toStdString()));
    options.slaves = {static_cast<int>(quirel::parseLong(m_slaveId->text().toStdString()))};
    options.replyTimeoutMs = m_timeout->value(); // the time-out as entered, as Connect would wait
    return options;
}

void DlgCommSettings::OnSearch() {
    DlgDeviceSearch search(ScanOptions(true), this);
    if (quirel::ui::ExecModal(search) != QDialog::Accepted || !search.Chosen())
        return;
    const ScanAnswer& chosen = *search.Chosen();
    m_slaveId->setText(QString::number(chosen.at.slave));
    if (m_tcp->isChecked())
        return;
    SelectOrFirst(m_baud, QString::number(chosen.at.line.baud));
    SelectOrFirst(m_dataBits, "8");
    SelectOrFirst(m_stopBits, QString::number(chosen.at.line.stopBits));
    SelectOrFirst(m_parity, QString(QChar(chosen.at.line.parity)));
}

void DlgCommSettings::OnTest() {
    m_testResult->setText(RunConnectionTest(this, ScanOptions(false)));
}

CommDialogValues CommDialogValues::From(const CControllerModbus& c) {
    CommDialogValues values;
    values.protocol = c.GetProtocol();
    values.host = c.GetHost();
    values.slaveId = c.GetSlaveId();
    values.port = c.GetPortName();
    values.baudRate = static_cast<int32_t>(c.GetBaudRate());
    values.dataBits = c.GetDataBits();
    values.stopBits = c.GetStopBits();
    values.parity = c.GetParity();
    values.modem = c.GetModem() != 0;
    values.timeoutMs = c.GetTimeout();
    values.tries = c.GetTries();
    return values;
}
