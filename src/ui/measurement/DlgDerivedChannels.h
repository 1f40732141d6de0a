#pragma once

#include "analysis/DerivedChannel.h"

#include <QDialog>

#include <functional>
#include <vector>

class CDocMeasurementBase;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

// "Derived channels": the channels the measurement computes from others, and a new one made of the sum,
// difference or product of two channels or of one channel scaled (k x a + offset), with its unit, name and
// identifier. Add and Remove take effect at once, through `apply` (the window's derived channels become
// the list given); what the measurement cannot compute is refused with the reason beside the form.
class CDlgDerivedChannels : public QDialog {
    Q_OBJECT
public:
    using Apply = std::function<void(std::vector<quirel::analysis::DerivedChannel>)>;

    CDlgDerivedChannels(const CDocMeasurementBase& doc, Apply apply, QWidget* parent = nullptr);

    // The form as a definition (the identifier, sources, operation and texts as entered).
    quirel::analysis::DerivedChannel FormChannel() const;
    // Adds the form's channel; false, with the reason shown, when the measurement cannot have it.
    bool AddFromForm();
    void RemoveSelected();

    QComboBox* Operation() const { return m_op; }
    QComboBox* SourceA() const { return m_a; }
    QComboBox* SourceB() const { return m_b; }
    QDoubleSpinBox* Factor() const { return m_factor; }
    QDoubleSpinBox* Offset() const { return m_offset; }
    QLineEdit* Unit() const { return m_unit; }
    QLineEdit* Name() const { return m_name; }
    QSpinBox* Id() const { return m_id; }
    QListWidget* List() const { return m_list; }
    QLabel* Refusal() const { return m_refusal; }

private:
    void Refresh();
    void OnFormChanged();

    const CDocMeasurementBase& m_doc;
    Apply m_apply;
    QListWidget* m_list = nullptr;
    QPushButton* m_removeButton = nullptr;
    QComboBox* m_op = nullptr;
    QComboBox* m_a = nullptr;
    QComboBox* m_b = nullptr;
    QDoubleSpinBox* m_factor = nullptr;
    QDoubleSpinBox* m_offset = nullptr;
    QLineEdit* m_unit = nullptr;
    QLineEdit* m_name = nullptr;
    QSpinBox* m_id = nullptr;
    QLabel* m_refusal = nullptr;
    bool m_nameEdited = false, m_unitEdited = false, m_filling = false;
};
