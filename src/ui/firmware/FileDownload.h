#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress window of the transfer, "Download: RUNNING !": a line that says what happens (the erase,
// record or block n of m), the bar from 0 to 2000 and Cancel. It blocks the program's other windows while it
// is shown. Cancel only asks: the procedure stops where stopping is safe and says what became of the device;
// the window itself cannot be closed.
class CFileDownload : public QDialog {
    Q_OBJECT
public:
    explicit CFileDownload(QWidget* parent = nullptr);

    void SetProgress(int position, const QString& text);
    QProgressBar* Bar() const { return m_bar; }
    QLabel* Label() const { return m_label; }
    QPushButton* CancelButton() const { return m_cancel; }

signals:
    void cancelled();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

private:
    QLabel* m_label = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
};
