#pragma once

#include <QDialog>

class QProgressBar;

// The progress window of the transfer, "Download: RUNNING !", its bar running from 0 to 2000. It blocks
// the program's other windows while it is shown and cannot be closed by the user: a transfer stopped
// half-way leaves the device without firmware.
class CFileDownload : public QDialog {
    Q_OBJECT
public:
    explicit CFileDownload(QWidget* parent = nullptr);

    void SetPosition(int position);
    QProgressBar* Bar() const { return m_bar; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

private:
    QProgressBar* m_bar = nullptr;
};
