#include "ui/firmware/DlgSerialBootLoader.h"

#include "ui/common/SerialPortList.h"
#include "ui/common/UiText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using quirel::ui::Tx;

CDlgSerialBootLoader::CDlgSerialBootLoader(const std::string& portName, QWidget* parent) : QDialog(parent) {
    setObjectName("dlgSerialBootLoader");
    setWindowTitle(Tx("Attention: Only for SERVICE"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Tx("1. Switch Control to 'OFF' (Terminal or Parameter 202)"), this));
    layout->addWidget(new QLabel(Tx("2. Change Baudrate (Parameter 231) to 38400b/s"), this));

    auto* group = new QGroupBox(Tx("Please select an avaiable COM Port"), this);
    auto* groupLayout = new QVBoxLayout(group);
    m_port = new QComboBox(group);
    m_port->setObjectName("portList");
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_port->setMinimumWidth(260);
    groupLayout->addWidget(m_port);
    layout->addWidget(group);

    quirel::ui::FillSerialPortList(m_port, portName);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(Tx("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(Tx("C&ancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::string CDlgSerialBootLoader::PortName() const {
    return m_port->currentText().trimmed().toStdString();
}
