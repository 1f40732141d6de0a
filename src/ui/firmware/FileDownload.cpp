#include "ui/firmware/FileDownload.h"

#include "firmware/SerialBootLoader.h"
#include "ui/common/UiText.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CFileDownload::CFileDownload(QWidget* parent) : QDialog(parent) {
    setObjectName("fileDownload");
    setWindowTitle(quirel::firmware::kProgressCaption);
    setWindowModality(Qt::ApplicationModal);
    setMinimumWidth(420);
    auto* layout = new QVBoxLayout(this);
    m_label = new QLabel(this);
    m_label->setObjectName("text");
    layout->addWidget(m_label);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName("progress");
    m_bar->setRange(0, quirel::firmware::kProgressRange);
    m_bar->setValue(0);
    layout->addWidget(m_bar);
    m_cancel = new QPushButton(quirel::ui::Tx("Cancel"), this);
    m_cancel->setObjectName("cancel");
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancel->setEnabled(false); // asked once; the procedure answers with its message
        emit cancelled();
    });
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_cancel);
    layout->addLayout(row);
}

void CFileDownload::SetProgress(int position, const QString& text) {
    m_bar->setValue(position);
    m_label->setText(text);
}

void CFileDownload::closeEvent(QCloseEvent* event) {
    if (event->spontaneous())
        event->ignore();
    else
        QDialog::closeEvent(event);
}
