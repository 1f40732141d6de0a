#include "ui/firmware/FileDownload.h"

#include "firmware/SerialBootLoader.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QVBoxLayout>

CFileDownload::CFileDownload(QWidget* parent) : QDialog(parent) {
    setObjectName("fileDownload");
    setWindowTitle(quirel::firmware::kProgressCaption);
    setWindowModality(Qt::ApplicationModal);
    setMinimumWidth(420);
    auto* layout = new QVBoxLayout(this);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName("progress");
    m_bar->setRange(0, quirel::firmware::kProgressRange);
    m_bar->setValue(0);
    layout->addWidget(m_bar);
}

void CFileDownload::SetPosition(int position) {
    m_bar->setValue(position);
}

void CFileDownload::closeEvent(QCloseEvent* event) {
    if (event->spontaneous())
        event->ignore();
    else
        QDialog::closeEvent(event);
}
