#include "ui/app/DlgLoadParams.h"

#include "ui/common/UiText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

using quirel::ui::ResourceText;
using quirel::ui::Tx;

namespace {

constexpr unsigned kIdsColumnId = 194;
constexpr unsigned kIdsColumnName = 195;

} // namespace

CDlgLoadParams::CDlgLoadParams(QString text, QWidget* parent) : QDialog(parent), m_text(std::move(text)) {
    Build(nullptr);
}

CDlgLoadParams::CDlgLoadParams(QString text, const std::vector<SendConfirmationRow>& rows, QWidget* parent)
    : QDialog(parent), m_text(std::move(text)) {
    Build(&rows);
}

void CDlgLoadParams::Build(const std::vector<SendConfirmationRow>* rows) {
    setObjectName("CDlgLoadParams");
    setWindowTitle(Tx("Data to filter"));
    auto* layout = new QVBoxLayout(this);
    if (!rows) {
        auto* edit = new QPlainTextEdit(m_text, this);
        edit->setObjectName("textEdit");
        edit->setReadOnly(true);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(edit);
        resize(640, 420);
    } else {
        int sent = 0, differing = 0, notSent = 0;
        m_table = new QTreeWidget(this);
        m_table->setObjectName("sendTable");
        m_table->setRootIsDecorated(false);
        m_table->setUniformRowHeights(true);
        m_table->setColumnCount(4);
        m_table->setHeaderLabels({ResourceText(kIdsColumnId), ResourceText(kIdsColumnName),
                                  Tx("Value to send"), Tx("On the device now")});
        const QColor changed(255, 236, 179), refused(255, 205, 210);
        for (const SendConfirmationRow& r : *rows) {
            auto* item = new QTreeWidgetItem(m_table);
            item->setText(0, QString::number(r.number));
            item->setText(1, r.name);
            item->setText(2, r.value);
            item->setText(3, r.device);
            item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
            item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
            if (r.marked) {
                ++notSent;
                item->setText(2, r.value + "  (" + Tx("will not be sent") + ")");
                for (int c = 0; c < 4; ++c) {
                    item->setBackground(c, refused);
                    item->setToolTip(c, r.reason);
                }
            } else {
                ++sent;
                if (r.differs) {
                    ++differing;
                    QFont bold = item->font(2);
                    bold.setBold(true);
                    for (int c = 0; c < 4; ++c) {
                        item->setBackground(c, changed);
                        item->setFont(c, bold);
                    }
                }
            }
        }
        auto* summary = new QLabel(Tx("To send: %1 values, %2 of which change what the device holds now. "
                                      "Not to be sent: %3.")
                                       .arg(sent)
                                       .arg(differing)
                                       .arg(notSent),
                                   this);
        summary->setObjectName("summary");
        summary->setWordWrap(true);
        layout->addWidget(summary);
        layout->addWidget(m_table);
        m_table->header()->setStretchLastSection(false);
        m_table->header()->setSectionResizeMode(1, QHeaderView::Stretch);
        for (int c : {0, 2, 3})
            m_table->resizeColumnToContents(c);
        // Tall enough for the rows, up to a size that leaves the screen room.
        const int rowHeight = m_table->sizeHintForRow(0) > 0 ? m_table->sizeHintForRow(0) : 20;
        resize(820, std::clamp(160 + rowHeight * static_cast<int>(rows->size()), 300, 640));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Tx("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(Tx("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
