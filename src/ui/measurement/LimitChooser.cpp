#include "ui/measurement/LimitChooser.h"

#include "ui/common/UiText.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>

using quirel::ui::Qs;
using quirel::ui::Tx;
namespace analysis = quirel::analysis;

CLimitChooser::CLimitChooser(Kinds kinds, const QString& label, QWidget* parent) : QWidget(parent) {
    m_set = new QComboBox(this);
    m_set->setObjectName("limitSet");
    m_set->addItem(Tx("None"), QString());
    for (const std::string& name : analysis::LimitSetNames()) {
        const std::optional<analysis::LimitSet> set = analysis::FindLimitSet(name);
        const bool currents = set && set->reference == analysis::LimitSet::Reference::kDemand;
        if (!set || (kinds == Kinds::kVoltages && currents) || (kinds == Kinds::kCurrents && !currents))
            continue;
        const std::string table = set->table.substr(0, set->table.find(" - "));
        m_set->addItem(
            QString("%1, %2 (%3)").arg(Qs(set->edition), Qs(table), Tx(currents ? "currents" : "voltages")),
            Qs(name));
    }
    m_ratio = new QComboBox(this);
    m_ratio->setObjectName("limitRatio");
    m_il = new QDoubleSpinBox(this);
    m_il->setObjectName("limitDemandCurrent");
    m_kv = new QDoubleSpinBox(this);
    m_kv->setObjectName("limitBusVoltage");
    for (QDoubleSpinBox* box : {m_il, m_kv}) {
        box->setLocale(QLocale(QLocale::German, QLocale::Germany));
        box->setDecimals(box == m_il ? 1 : 3);
        box->setRange(box == m_il ? 0.1 : 0.001, box == m_il ? 1e6 : 1000.0);
    }
    m_il->setValue(100.0);
    m_il->setSuffix(" A");
    m_kv->setValue(0.4);
    m_kv->setSuffix(" kV");
    m_ratioLabel = new QLabel("Isc/IL", this);
    m_ilLabel = new QLabel("IL", this);
    m_kvLabel = new QLabel(Tx("Bus voltage"), this);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel(label.isEmpty() ? Tx("Limits") : label, this), 0, 0);
    grid->addWidget(m_set, 0, 1, 1, 3);
    grid->addWidget(m_ratioLabel, 1, 0);
    grid->addWidget(m_ratio, 1, 1);
    grid->addWidget(m_ilLabel, 1, 2);
    grid->addWidget(m_il, 1, 3);
    grid->addWidget(m_kvLabel, 2, 0);
    grid->addWidget(m_kv, 2, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    connect(m_set, &QComboBox::currentIndexChanged, this, [this] {
        ShowFields();
        emit changed();
    });
    connect(m_ratio, &QComboBox::currentIndexChanged, this, &CLimitChooser::changed);
    connect(m_il, &QDoubleSpinBox::valueChanged, this, &CLimitChooser::changed);
    connect(m_kv, &QDoubleSpinBox::valueChanged, this, &CLimitChooser::changed);
    ShowFields();
}

void CLimitChooser::ShowFields() {
    const std::optional<analysis::LimitSet> set =
        analysis::FindLimitSet(m_set->currentData().toString().toStdString());
    const bool byRatio = set && set->reference == analysis::LimitSet::Reference::kDemand;
    const bool byVoltage = set && !set->columnUpToKv.empty();
    if (byRatio) {
        const QString kept = m_ratio->currentText();
        m_ratio->blockSignals(true);
        m_ratio->clear();
        for (const std::string& column : set->columns)
            m_ratio->addItem(Qs(column));
        m_ratio->setCurrentIndex(std::max(0, m_ratio->findText(kept)));
        m_ratio->blockSignals(false);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{m_ratio, m_ratioLabel, m_il, m_ilLabel})
        w->setVisible(byRatio);
    m_kv->setVisible(byVoltage);
    m_kvLabel->setVisible(byVoltage);
}

void CLimitChooser::Select(const std::string& name) {
    m_set->setCurrentIndex(std::max(0, m_set->findData(Qs(name))));
}

std::optional<quirel::report::LimitChoice> CLimitChooser::Choice(std::string* why) const {
    quirel::report::LimitRequest request;
    request.name = m_set->currentData().toString().toStdString();
    if (request.name.empty())
        return std::nullopt;
    const std::optional<analysis::LimitSet> set = analysis::FindLimitSet(request.name);
    if (set && set->reference == analysis::LimitSet::Reference::kDemand) {
        request.ratio = m_ratio->currentText().toStdString();
        request.il = m_il->value();
    }
    if (set && !set->columnUpToKv.empty())
        request.kv = m_kv->value();
    return quirel::report::MakeLimitChoice(request, why);
}
