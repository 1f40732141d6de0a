#pragma once

#include <QDialog>
#include <QString>

#include <vector>

class QTreeWidget;

// One value of a send as the confirmation shows it: what the file sends beside what the device holds now.
struct SendConfirmationRow {
    int number = 0;
    QString name;
    QString value;        // the text form that will be sent ("-error-" for none)
    QString device;       // the device's value now ("--" when it could not be read)
    bool marked = false;  // will not be sent
    bool differs = false; // the device holds another value now
    QString reason;       // why a marked value is not sent
};

// "Data to filter": a text with OK and Cancel (the values not sent after a send), or the confirmation of a
// send, where each value to send stands beside the device's value now and the values a send would change
// are marked.
class CDlgLoadParams : public QDialog {
    Q_OBJECT
public:
    explicit CDlgLoadParams(QString text, QWidget* parent = nullptr);
    CDlgLoadParams(QString text, const std::vector<SendConfirmationRow>& rows, QWidget* parent = nullptr);

    const QString& Text() const { return m_text; }
    // The confirmation's rows (null for the plain text dialog).
    QTreeWidget* Table() const { return m_table; }

private:
    void Build(const std::vector<SendConfirmationRow>* rows);

    QString m_text;
    QTreeWidget* m_table = nullptr;
};
