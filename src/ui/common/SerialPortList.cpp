#include "ui/common/SerialPortList.h"

#include <QComboBox>
#include <QSerialPortInfo>

namespace quirel::ui {

void FillSerialPortList(QComboBox* box, const std::string& configured) {
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        box->addItem(info.systemLocation());
    QString port = QString::fromStdString(configured);
    const qsizetype com = port.indexOf("COM");
    if (com > 0)
        port = port.mid(com);
    const int index = box->findText(port, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        box->setCurrentIndex(index);
    } else if (!port.isEmpty()) {
        box->insertItem(0, port);
        box->setCurrentIndex(0);
    } else {
        box->setCurrentIndex(box->count() > 0 ? 0 : -1);
    }
}

} // namespace quirel::ui
