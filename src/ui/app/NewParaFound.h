#pragma once

#include <QDialog>

// The offer made at connect when the device's firmware revision differs from the loaded catalogue's:
// download the device's catalogue and restart (OK), or stay with the loaded one and disconnect (Cancel).
class CNewParaFound : public QDialog {
    Q_OBJECT
public:
    explicit CNewParaFound(QWidget* parent = nullptr);
};
