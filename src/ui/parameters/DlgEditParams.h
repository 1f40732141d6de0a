#pragma once

#include "parameters/ParameterDescription.h"
#include "parameters/ParameterValue.h"

#include <QDialog>

class CParameterManager;
class QComboBox;
class QLineEdit;
class QPushButton;

// The modal "Edit value" dialog: the value is chosen from the parameter's value texts or typed, and on
// OK goes through the parameter's text parser into the edited value.
class CDlgEditParams : public QDialog {
    Q_OBJECT
public:
    CDlgEditParams(const CParameterManager& catalogue, const CParameterValue& value,
                   const CParameterDescription& description, QWidget* parent = nullptr);

    const CParameterValue& GetValue() const { return m_value; }

    QComboBox* ValueCombo() const { return m_combo; }
    QPushButton* PcTimeButton() const { return m_pcTime; }

    void accept() override;

private:
    void OnPcTime();

    const CParameterManager& m_catalogue;
    CParameterValue m_value;
    CParameterDescription m_description;
    QComboBox* m_combo = nullptr;
    QLineEdit* m_name = nullptr;
    QPushButton* m_pcTime = nullptr;
};
