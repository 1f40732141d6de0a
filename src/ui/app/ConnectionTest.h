#pragma once

#include "comm/DeviceScan.h"

#include <QString>

class QWidget;

// The connection settings' "Test": Connect's probe and the identification with `options` as entered,
// without connecting, while the window keeps painting (a progress window with Cancel appears when it takes
// longer than a moment). Returns what answered, with its identification, or what came back instead.
QString RunConnectionTest(QWidget* parent, const DeviceScanOptions& options);
