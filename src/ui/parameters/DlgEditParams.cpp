#include "ui/parameters/DlgEditParams.h"

#include "parameters/ParameterException.h"
#include "ui/common/UiText.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using quirel::ui::Qs;
using quirel::ui::Tx;

CDlgEditParams::CDlgEditParams(const CParameterManager& catalogue, const CParameterValue& value,
                               const CParameterDescription& description, QWidget* parent)
    : QDialog(parent), m_catalogue(catalogue), m_value(value), m_description(description) {
    setObjectName("CDlgEditParams");
    setWindowTitle(Tx("Edit value"));

    m_name = new QLineEdit(Qs(m_description.GetName()), this);
    m_name->setObjectName("nameEdit");
    m_name->setReadOnly(true);
    m_combo = new QComboBox(this);
    m_combo->setObjectName("valueCombo");
    m_combo->setEditable(true);
    m_combo->setInsertPolicy(QComboBox::NoInsert);
    m_combo->setMinimumWidth(260);
    m_pcTime = new QPushButton(Tx("PC time"), this);
    m_pcTime->setObjectName("pcTimeButton");
    const int type = m_description.GetDataType();
    m_pcTime->setVisible(type == 11 || type == 12 || type == 13);
    connect(m_pcTime, &QPushButton::clicked, this, &CDlgEditParams::OnPcTime);

    std::string current;
    try {
        current = m_value.GetText(m_catalogue);
    } catch (const CParameterException&) {
    }
    if (m_description.HasValueTexts()) {
        for (const std::string& text : m_description.GetValueTexts())
            m_combo->addItem(Qs(text));
        const int index = m_description.FindValueText(current);
        m_combo->setCurrentIndex(index);
        if (index < 0)
            m_combo->setEditText(QString());
    } else {
        m_combo->addItem(Qs(current));
        m_combo->setCurrentIndex(0);
    }

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(Tx("Name:"), this), 0, 0);
    grid->addWidget(m_name, 0, 1, 1, 2);
    grid->addWidget(new QLabel(Tx("Value:"), this), 1, 0);
    grid->addWidget(m_combo, 1, 1);
    grid->addWidget(m_pcTime, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* note = new QLabel(Tx("The new value is being transfered to the filter by pressing 'OK'."), this);
    note->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(Tx("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(Tx("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

void CDlgEditParams::OnPcTime() {
    m_combo->removeItem(0);
    m_combo->addItem(QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss"));
    m_combo->setCurrentIndex(m_combo->count() - 1);
}

void CDlgEditParams::accept() {
    // Input the parser rejects leaves the value as it was; what is written is what was parsed.
    try {
        m_value.SetFromText(m_catalogue, m_combo->currentText().toStdString());
    } catch (const CParameterException&) {
    }
    QDialog::accept();
}
