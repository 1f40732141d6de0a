#pragma once

#include "measurement/Spectrum.h"

#include <optional>
#include <string>
#include <vector>

class CDocMeasurementBase;
class CDocMeasurementSingle;
class CMeasStart;

// The texts the measurement windows write beside their charts, in the user-interface language and with
// the decimal comma, whatever the language.
namespace MeasurementTexts {

// "Time [ms]" or "Zeit [s]": the time axis title of the kind's chart.
std::string TimeAxisTitle(const CDocMeasurementBase& doc);
// The legend of channel i: "ID name [unit] x1,00 +0,00 (YLeft)", or "ID -- [--] x... +..." for a
// parameter the catalogue does not know; "INVALID" for an index that is no channel.
std::string Legend(const CDocMeasurementBase& doc, int i);
// A line of the information panel for channel i at a cursor: the channel's title, its plotted value
// (fixed, width 6, the parameter's precision) and the unit, joined without separators; for a parameter
// the catalogue does not know: the identifier, " -- ", the value without decimals, " -- ". No value
// (the channel ends before the cursor) shows "--" in the value's place.
std::string CursorLine(const CDocMeasurementBase& doc, int i, std::optional<double> value);
// "dt = 1,2500 ms".
std::string DtLine(double dt, const std::string& unit);
// The trigger of a single measurement: "Trigger:", channel, level, mode, sample rate and delay; "No
// trigger" alone when the catalogue does not know the trigger channel.
std::vector<std::string> TriggerLines(const CDocMeasurementSingle& doc);
// "Measurement interval: 5 s".
std::string IntervalLine(unsigned interval);
// "Measurement start: 2024-03-01 08:00:00".
std::string StartLine(const CMeasStart& start);

// Why a spectrum could not be computed; empty when it was.
std::string SpectrumRefusal(const Spectrum::Result& result);

} // namespace MeasurementTexts
