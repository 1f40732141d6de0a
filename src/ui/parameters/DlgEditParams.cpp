#include "ui/parameters/DlgEditParams.h"

#include "parameters/ParameterException.h"
#include "ui/common/MessageBoxes.h"
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
    m_pcTime->setVisible(DataTypeCode::IsClock(static_cast<uint32_t>(m_description.GetDataType())));
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

    // The value is what the user came to change: typing replaces it, and Enter sends what was typed.
    m_name->setFocusPolicy(Qt::ClickFocus);
    m_combo->setFocus();
    m_combo->lineEdit()->selectAll();
}

void CDlgEditParams::OnPcTime() {
    // Each clock type gets the form its own parser reads: a date and time, or a time of day.
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    const std::string text =
        ClockTextForType(static_cast<uint32_t>(m_value.GetValue().dataType), date.year(), date.month(),
                         date.day(), time.hour(), time.minute(), time.second());
    m_combo->removeItem(0);
    m_combo->addItem(Qs(text));
    m_combo->setCurrentIndex(m_combo->count() - 1);
}

void CDlgEditParams::accept() {
    // A text that is not a whole value of the parameter keeps the dialog open and writes nothing.
    std::string error;
    try {
        error = m_value.TakeText(m_description, m_combo->currentText().toStdString(), ValueTextSource::Typed);
    } catch (const CParameterException& e) {
        error = e.GetMessage();
    }
    if (!error.empty()) {
        quirel::ui::ShowMessageBox(this, error, Tx("Edit value").toStdString(), MbIcon::Warning);
        m_combo->setFocus();
        return;
    }
    QDialog::accept();
}
