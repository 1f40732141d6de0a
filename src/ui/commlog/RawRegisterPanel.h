#pragma once

#include <QGroupBox>

class CControllerModbus;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace quirel::ui {
class CQtUiPort;
}

// The communication log's request line: registers the catalogue does not describe, read with function 3
// or 4 or written with function 16 (after a confirmation, then read back), shown as address, hex, u16 and
// s16. The request goes through the controller's device access behind a progress window.
class CRawRegisterPanel : public QGroupBox {
    Q_OBJECT
public:
    CRawRegisterPanel(CControllerModbus& controller, quirel::ui::CQtUiPort& ui, QWidget* parent = nullptr);

    void OnSend();
    void SetConnected(bool connected);

    QComboBox* FunctionBox() const { return m_function; }
    QSpinBox* AddressBox() const { return m_address; }
    QSpinBox* CountBox() const { return m_count; }
    QLineEdit* ValuesField() const { return m_values; }
    QPushButton* SendButton() const { return m_send; }
    QTableWidget* Results() const { return m_results; }

private:
    void ApplyFunction();
    void ShowRegisters(int address, const std::vector<std::uint16_t>& values);

    CControllerModbus& m_controller;
    quirel::ui::CQtUiPort& m_ui;
    QComboBox* m_function = nullptr;
    QSpinBox* m_address = nullptr;
    QSpinBox* m_count = nullptr;
    QLineEdit* m_values = nullptr;
    QPushButton* m_send = nullptr;
    QTableWidget* m_results = nullptr;
};
