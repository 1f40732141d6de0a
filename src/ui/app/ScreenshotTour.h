#pragma once

#include <QString>

class CKestrelApp;

// Photographs the program's windows with real values into `directory` and then ends the program:
// the overview (mains currents, then load currents), the device parameters window of a folder with live
// values, the connection settings dialog, the edit dialog and the event log with all records. File names end
// in the language ("-en", "-de").
void RunScreenshotTour(CKestrelApp& app, const QString& directory);
