#pragma once

#include <QString>

class CKestrelApp;

// The measurement windows for the screenshot tour, with real values from the connected (simulated)
// device: a single capture of the mains currents and voltage with both cursors set, its spectrum, and a
// continuous measurement after some samples. Files end in `lang` ("-en", "-de").
void PhotographMeasurements(CKestrelApp& app, const QString& directory, const QString& lang);
