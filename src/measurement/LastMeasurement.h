#pragma once

#include "measurement/DocMeasurementBase.h"

#include <string>

// The automatic files that carry the last measurement of each kind from one run to the next:
// "last.nbts" and "last.nbtc" in `folder`, always in the current format, without messages.
//
// Storing writes through a temporary file, so a failed store leaves the previous file whole. Loading a
// file that is missing or cannot be read leaves the document as it was. A damaged file, or one whose bytes
// go on where the format ends, leaves the document empty and is renamed "last-damaged.nbts" (or .nbtc), so
// that the next store does not destroy what it still holds and the user can open it to see what was readable.
MeasurementFileResult ExchangeLastMeasurement(CDocMeasurementBase& doc, const std::string& folder,
                                              bool store);

// "last-damaged.nbts" / "last-damaged.nbtc".
std::string DamagedLastFileName(const CDocMeasurementBase& doc);
