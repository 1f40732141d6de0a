#include "ui/app/NewParaFound.h"

#include "ui/common/UiText.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

using quirel::ui::Tx;

CNewParaFound::CNewParaFound(QWidget* parent) : QDialog(parent) {
    setObjectName("CNewParaFound");
    setWindowTitle("Quirel Viewer Velorin");
    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    auto* text = new QLabel(Tx("New Parameters.ini found. Download and restart the application?"), this);
    text->setWordWrap(true);
    text->setMinimumWidth(360);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Tx("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(Tx("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}
