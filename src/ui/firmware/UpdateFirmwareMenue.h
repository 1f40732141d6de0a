#pragma once

#include <QDialog>

class QPushButton;

// The wait window while the device is power-cycled: "Wait please!" and a Cancel button that stops the
// wait. It blocks the program's other windows while it is shown.
class CUpdateFirmwareMenue : public QDialog {
    Q_OBJECT
public:
    explicit CUpdateFirmwareMenue(QWidget* parent = nullptr);

    // Once the banner has come, Cancel has nothing left to stop.
    void DisableCancel();
    QPushButton* CancelButton() const { return m_cancel; }

signals:
    void cancelled();

protected:
    // The window's close button is Cancel while Cancel is possible.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QPushButton* m_cancel = nullptr;
};
