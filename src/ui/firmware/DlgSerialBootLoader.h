#pragma once

#include <QDialog>

#include <string>

class QComboBox;

// "Attention: Only for SERVICE": what to do on the device first, and the serial port its bootloader is
// reached through. The list holds the ports the system knows; a device path can be typed as well (pseudo-
// terminals and adapters the system does not list).
class CDlgSerialBootLoader : public QDialog {
    Q_OBJECT
public:
    // Selects `portName` as the connection settings select theirs (quirel::ui::FillSerialPortList).
    explicit CDlgSerialBootLoader(const std::string& portName, QWidget* parent = nullptr);

    // The list's text as OK leaves it.
    std::string PortName() const;
    QComboBox* PortList() const { return m_port; }

private:
    QComboBox* m_port = nullptr;
};
