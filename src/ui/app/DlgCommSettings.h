#pragma once

#include "comm/DeviceScan.h"

#include <QDialog>

class CControllerModbus;

#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

// What the connection settings dialog edits.
struct CommDialogValues {
    int protocol = 1; // 0 Modbus TCP, 1 Modbus RTU
    std::string host;
    int slaveId = 1;
    std::string port;
    int32_t baudRate = 38400;
    int16_t dataBits = 8;
    int16_t stopBits = 1;
    std::string parity = "N";
    bool modem = false;
    int timeoutMs = 1000; // for each reply
    int tries = 11;       // of a request without a usable reply

    // What the controller holds now.
    static CommDialogValues From(const CControllerModbus& controller);
};

// "Connection to filter": Modbus TCP or Modbus RTU over a serial line, and the parameters of either.
class DlgCommSettings : public QDialog {
    Q_OBJECT
public:
    explicit DlgCommSettings(const CommDialogValues& values, QWidget* parent = nullptr);

    // The values as OK read them from the controls.
    const CommDialogValues& Values() const { return m_values; }
    void accept() override;

private:
    void ApplyEnabling();
    // "Search ..." and "Test": the scan over the lists the dialog offers, or one probe with what is entered.
    DeviceScanOptions ScanOptions(bool search) const;
    void OnSearch();
    void OnTest();

    CommDialogValues m_values;
    QRadioButton* m_tcp = nullptr;
    QRadioButton* m_rtu = nullptr;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_slaveId = nullptr;
    QComboBox* m_port = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_dataBits = nullptr;
    QComboBox* m_stopBits = nullptr;
    QComboBox* m_parity = nullptr;
    QCheckBox* m_modem = nullptr;
    QLabel* m_testResult = nullptr;
    QSpinBox* m_timeout = nullptr;
    QSpinBox* m_tries = nullptr;
};
