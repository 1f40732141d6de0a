#pragma once

#include "report/LimitChoice.h"

#include <QWidget>

#include <optional>
#include <string>

class QComboBox;
class QDoubleSpinBox;
class QLabel;

// The choice of a limit set as a site needs it: the set built into the program, and what its table needs
// of the site: the short-circuit ratio Isc/IL and the maximum demand current IL for the current limits,
// the bus voltage for a set by voltage. Only what the chosen set needs is offered.
class CLimitChooser : public QWidget {
    Q_OBJECT
public:
    enum class Kinds { kAll, kVoltages, kCurrents };

    // `label` names the choice ("Limits" when empty).
    explicit CLimitChooser(Kinds kinds, const QString& label = QString(), QWidget* parent = nullptr);

    // Nothing when no set is chosen, or (with `why`) when the choice is incomplete.
    std::optional<quirel::report::LimitChoice> Choice(std::string* why = nullptr) const;
    // Chooses a set by name ("" for none).
    void Select(const std::string& name);

    QComboBox* Set() const { return m_set; }
    QComboBox* Ratio() const { return m_ratio; }
    QDoubleSpinBox* DemandCurrent() const { return m_il; }
    QDoubleSpinBox* BusVoltage() const { return m_kv; }

signals:
    void changed();

private:
    void ShowFields();

    QComboBox* m_set = nullptr;
    QComboBox* m_ratio = nullptr;
    QDoubleSpinBox* m_il = nullptr;
    QDoubleSpinBox* m_kv = nullptr;
    QLabel* m_ratioLabel = nullptr;
    QLabel* m_ilLabel = nullptr;
    QLabel* m_kvLabel = nullptr;
};
