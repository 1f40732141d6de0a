#include "ui/firmware/UpdateFirmwareMenue.h"

#include "ui/common/UiText.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using quirel::ui::Tx;

CUpdateFirmwareMenue::CUpdateFirmwareMenue(QWidget* parent) : QDialog(parent) {
    setObjectName("updateFirmwareMenue");
    setWindowTitle(Tx("Update Firmware Dialog"));
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    auto* wait = new QLabel(Tx("Wait please!"), this);
    QFont bold = wait->font();
    bold.setBold(true);
    wait->setFont(bold);
    layout->addWidget(wait);
    layout->addWidget(
        new QLabel(Tx("If the last download was unsuccesfully, please power OFF and ON device!"), this));
    m_cancel = new QPushButton(Tx("Cancel"), this);
    m_cancel->setObjectName("cancel");
    connect(m_cancel, &QPushButton::clicked, this, &CUpdateFirmwareMenue::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_cancel);
    layout->addLayout(row);
}

void CUpdateFirmwareMenue::DisableCancel() {
    m_cancel->setEnabled(false);
}

void CUpdateFirmwareMenue::reject() {
    if (!m_cancel->isEnabled())
        return;
    emit cancelled();
    QDialog::reject();
}

void CUpdateFirmwareMenue::closeEvent(QCloseEvent* event) {
    if (event->spontaneous() && !m_cancel->isEnabled()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event); // through reject(), which says cancelled while Cancel is possible
}
