#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

// The report of "Open parameter set": the file's sections and values with names and units, read-only,
// with OK and a button that saves the report as a text file.
class CDialog_ParameterSet : public QDialog {
    Q_OBJECT
public:
    explicit CDialog_ParameterSet(QString text, QWidget* parent = nullptr);

    const QString& Text() const { return m_text; }
    QPlainTextEdit* Edit() const { return m_edit; }
    // Asks for a file and writes the report there (Windows-1252, CRLF); false when cancelled or failed.
    bool SaveAsText();

private:
    QString m_text;
    QPlainTextEdit* m_edit = nullptr;
};
