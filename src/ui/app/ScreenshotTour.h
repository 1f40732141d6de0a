#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class CKestrelApp;

// Nobody is there to answer during a tour. From construction on, every message box and every other modal
// dialog that opens is written to stderr (caption and text) and closed as its close button would close it,
// so that the tour goes on instead of waiting for ever; Count says how many there were.
class CTourBoxGuard : public QObject {
public:
    CTourBoxGuard();
    // Message boxes are shown again.
    ~CTourBoxGuard() override;
    int Count() const { return m_count; }

private:
    void CloseModalDialog();
    QTimer m_watch;
    int m_count = 0;
};

// Photographs the program's windows with real values into `directory` and then ends the program:
// the overview (mains currents, then load currents), the device parameters window of a folder with live
// values, the connection settings dialog, the edit dialog and the event log with all records. File names end
// in the language ("-en", "-de").
void RunScreenshotTour(CKestrelApp& app, const QString& directory);
