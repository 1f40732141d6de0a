#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

class CKestrelApp;

// Nobody is there to answer during a tour. From construction on, every message box, and every other
// modal dialog that stays open longer than `patienceMs` (the tour photographs its own within a moment), is
// written to stderr (caption and text) and closed as its close button would close it, so that the tour
// goes on instead of waiting for ever; Count says how many there were.
class CTourBoxGuard : public QObject {
public:
    explicit CTourBoxGuard(int patienceMs = 3000);
    // Message boxes are shown again.
    ~CTourBoxGuard() override;
    int Count() const { return m_count; }

private:
    void CloseModalDialog();
    int m_patienceMs;
    QTimer m_watch;
    QPointer<QWidget> m_modal; // the modal widget seen last, open since m_since
    QElapsedTimer m_since;
    int m_count = 0;
};

// Photographs the program's windows with real values into `directory` and then ends the program:
// the overview (mains currents, then load currents), the device parameters window of a folder with live
// values, the connection settings dialog with a test's answer, the device search, the edit dialog, the
// event log with all records and the communication log. File names end in the language ("-en", "-de").
void RunScreenshotTour(CKestrelApp& app, const QString& directory);
