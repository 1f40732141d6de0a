#include "ui/measurement/DlgDerivedChannels.h"

#include "analysis/AnalysisTexts.h"
#include "analysis/DocumentDerived.h"
#include "measurement/DocMeasurementBase.h"
#include "report/ChannelRoles.h"
#include "report/ReportTexts.h"
#include "ui/common/UiText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

using quirel::analysis::DerivedChannel;
using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

// Identifiers of derived channels start here, far above the catalogue's.
constexpr int kFirstDerivedId = 9001;

QString Describe(const DerivedChannel& d) {
    static const char* const kSigns[] = {"+", "\xE2\x88\x92", "\xC3\x97"};
    QString formula;
    if (d.op == DerivedChannel::Op::kScale)
        formula = QString("%1 \xC3\x97 [%2]").arg(d.factor).arg(d.a) +
                  (d.offset != 0.0 ? QString(" + %1").arg(d.offset) : QString());
    else
        formula = QString("[%1] %2 [%3]").arg(d.a).arg(kSigns[static_cast<int>(d.op)]).arg(d.b);
    return QString("%1 %2 = %3 [%4]").arg(d.id).arg(Qs(d.name), formula, Qs(d.unit));
}

} // namespace

CDlgDerivedChannels::CDlgDerivedChannels(const CDocMeasurementBase& doc, Apply apply, QWidget* parent)
    : QDialog(parent), m_doc(doc), m_apply(std::move(apply)) {
    setObjectName("dlgDerivedChannels");
    setWindowTitle(Tx("Derived channels"));

    m_list = new QListWidget(this);
    m_list->setObjectName("derivedList");
    m_list->setMaximumHeight(7 * m_list->fontMetrics().height());
    m_removeButton = new QPushButton(Tx("Remove"), this);
    m_removeButton->setObjectName("removeDerived");
    connect(m_removeButton, &QPushButton::clicked, this, &CDlgDerivedChannels::RemoveSelected);

    m_op = new QComboBox(this);
    m_op->setObjectName("operation");
    m_op->addItems({Tx("Sum a + b"), Tx("Difference a \xE2\x88\x92 b"), Tx("Product a \xC3\x97 b"),
                    Tx("Scaled k \xC3\x97 a + offset")});
    m_a = new QComboBox(this);
    m_a->setObjectName("sourceA");
    m_b = new QComboBox(this);
    m_b->setObjectName("sourceB");
    m_factor = new QDoubleSpinBox(this);
    m_factor->setObjectName("factor");
    m_offset = new QDoubleSpinBox(this);
    m_offset->setObjectName("offset");
    for (QDoubleSpinBox* box : {m_factor, m_offset}) {
        box->setLocale(QLocale(QLocale::German, QLocale::Germany));
        box->setDecimals(6);
        box->setRange(-1e9, 1e9);
    }
    m_factor->setValue(1.0);
    m_unit = new QLineEdit(this);
    m_unit->setObjectName("unit");
    m_name = new QLineEdit(this);
    m_name->setObjectName("name");
    m_id = new QSpinBox(this);
    m_id->setObjectName("id");
    m_id->setRange(1, 2147483647);
    m_refusal = new QLabel(this);
    m_refusal->setObjectName("refusal");
    m_refusal->setWordWrap(true);
    m_refusal->setStyleSheet("color: #b00020;");
    auto* add = new QPushButton(Tx("Add"), this);
    add->setObjectName("addDerived");
    connect(add, &QPushButton::clicked, this, &CDlgDerivedChannels::AddFromForm);

    auto* form = new QFormLayout;
    form->addRow(Tx("Operation"), m_op);
    form->addRow("a", m_a);
    form->addRow("b", m_b);
    form->addRow("k", m_factor);
    form->addRow(Tx("Offset"), m_offset);
    form->addRow(Tx("Unit"), m_unit);
    form->addRow(Tx("Name"), m_name);
    form->addRow(Tx("Identifier"), m_id);
    auto* box = new QGroupBox(Tx("New derived channel"), this);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addLayout(form);
    boxLayout->addWidget(m_refusal);
    boxLayout->addWidget(add, 0, Qt::AlignRight);

    auto* note =
        new QLabel(Tx("Derived channels are computed from the values as stored, drawn and exported like "
                      "captured ones, and saved beside the measurement file in FILE.derived, never "
                      "in the measurement file itself."),
                   this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_list, 1);
    listRow->addWidget(m_removeButton, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Tx("Derived channels of this measurement"), this));
    layout->addLayout(listRow);
    layout->addWidget(box);
    layout->addWidget(note);
    layout->addWidget(buttons);

    for (QComboBox* combo : {m_op, m_a, m_b})
        connect(combo, &QComboBox::currentIndexChanged, this, &CDlgDerivedChannels::OnFormChanged);
    connect(m_name, &QLineEdit::textEdited, this, [this] { m_nameEdited = true; });
    connect(m_unit, &QLineEdit::textEdited, this, [this] { m_unitEdited = true; });
    Refresh();
    resize(520, sizeHint().height());
}

void CDlgDerivedChannels::Refresh() {
    m_filling = true;
    m_list->clear();
    for (const DerivedChannel& d : quirel::analysis::DocumentDerived(m_doc))
        m_list->addItem(Describe(d));
    m_removeButton->setEnabled(m_list->count() > 0);
    for (QComboBox* combo : {m_a, m_b}) {
        const QVariant kept = combo->currentData();
        combo->clear();
        for (int i = 0; i < m_doc.GetShownChannelCount(); ++i)
            combo->addItem(Qs(m_doc.GetChannelTitle(i)), m_doc.GetParameterId(i));
        combo->setCurrentIndex(std::max(0, combo->findData(kept)));
    }
    if (m_b->currentIndex() == m_a->currentIndex() && m_b->count() > 1)
        m_b->setCurrentIndex(m_a->currentIndex() + 1 < m_b->count() ? m_a->currentIndex() + 1 : 0);
    int id = kFirstDerivedId;
    while (quirel::analysis::Holds(m_doc, static_cast<uint32_t>(id)))
        ++id;
    m_id->setValue(id);
    m_nameEdited = m_unitEdited = false;
    m_filling = false;
    OnFormChanged();
}

void CDlgDerivedChannels::OnFormChanged() {
    if (m_filling)
        return;
    const bool scale = m_op->currentIndex() == static_cast<int>(DerivedChannel::Op::kScale);
    m_b->setEnabled(!scale);
    m_factor->setEnabled(scale);
    m_offset->setEnabled(scale);
    m_refusal->clear();
    const DerivedChannel d = FormChannel();
    auto unitOf = [this](uint32_t id) {
        for (int i = 0; i < m_doc.GetShownChannelCount(); ++i)
            if (m_doc.GetParameterId(i) == id)
                return Qs(m_doc.GetChannelUnit(i)).trimmed();
        return QString();
    };
    // What the user has not written is proposed from the sources: the load current of a phase by its
    // name, a product of a voltage and a current as a power.
    if (!m_unitEdited) {
        QString unit = unitOf(d.a);
        if (d.op == DerivedChannel::Op::kProduct) {
            const QString b = unitOf(d.b);
            unit = (unit == "V" && b == "A") || (unit == "A" && b == "V") ? QString("W") : unit + b;
        }
        m_unit->setText(unit);
    }
    if (!m_nameEdited) {
        const quirel::report::ChannelRole role = quirel::report::RoleOfDerived(d);
        static const char* const kWords[] = {"Sum", "Difference", "Product", "Scaled"};
        m_name->setText(role.quantity == quirel::report::ChannelRole::kLoadCurrent
                            ? Tx("Load current L%1").arg(role.phase)
                            : QString("%1 %2").arg(Tx(kWords[static_cast<int>(d.op)])).arg(d.a) +
                                  (scale ? QString() : QString("/%1").arg(d.b)));
    }
}

DerivedChannel CDlgDerivedChannels::FormChannel() const {
    DerivedChannel d;
    d.id = static_cast<uint32_t>(m_id->value());
    d.op = static_cast<DerivedChannel::Op>(std::max(0, m_op->currentIndex()));
    d.a = m_a->currentData().toUInt();
    d.b = d.op == DerivedChannel::Op::kScale ? 0 : m_b->currentData().toUInt();
    if (d.op == DerivedChannel::Op::kScale) {
        d.factor = m_factor->value();
        d.offset = m_offset->value();
    }
    d.unit = m_unit->text().trimmed().toStdString();
    d.name = m_name->text().trimmed().toStdString();
    return d;
}

bool CDlgDerivedChannels::AddFromForm() {
    const DerivedChannel d = FormChannel();
    // Only what reads back from the side file as it was entered may be added.
    std::string why;
    const std::optional<DerivedChannel> again = DerivedChannel::Parse(d.ToText(), &why);
    if (m_a->count() == 0)
        why = quirel::analysis::UnknownSourceText(d.id, d.a);
    else if (!again || again->unit != d.unit || again->name != d.name)
        why = why.empty() ? quirel::analysis::DerivedSyntaxText(d.ToText()) : why;
    else
        why = quirel::analysis::RefuseDerived(m_doc, d);
    if (!why.empty()) {
        m_refusal->setText(Qs(why));
        return false;
    }
    std::vector<DerivedChannel> channels = quirel::analysis::DocumentDerived(m_doc);
    channels.push_back(d);
    m_apply(std::move(channels));
    Refresh();
    return true;
}

void CDlgDerivedChannels::RemoveSelected() {
    std::vector<DerivedChannel> channels = quirel::analysis::DocumentDerived(m_doc);
    const int row = m_list->currentRow() >= 0 ? m_list->currentRow() : m_list->count() - 1;
    if (row < 0 || row >= static_cast<int>(channels.size()))
        return;
    channels.erase(channels.begin() + row);
    m_apply(std::move(channels));
    Refresh();
}
