#pragma once

#include "analysis/DerivedChannel.h"
#include "report/LimitChoice.h"
#include "report/ServiceReport.h"

#include <span>
#include <string>

class CDocMeasurementSingle;

namespace quirel::report {

// The report's part of a single measurement: every channel (captured, derived in the measurement's side
// file, and the load current of each phase whose mains and filter currents are there and whose load
// current is not) with its figures; per phase the voltage/current pair; the verdicts of each limit set on
// the channels of its quantity (voltage sets on mains voltages, current sets on mains currents; a channel
// the catalogue's roles do not name by its unit); and per phase the load current beside the mains
// current. A side file that cannot be computed is left out and said in `missing`.
ReportMeasurement AnalyseMeasurement(const CDocMeasurementSingle& doc,
                                     std::span<const analysis::DerivedChannel> derived,
                                     std::span<const LimitChoice> limits, std::vector<MissingPart>& missing,
                                     const std::string& derivedWhat = std::string());

// Whether a limit choice holds a channel of this role and unit.
bool LimitApplies(const LimitChoice& choice, const ChannelRole& role, const std::string& unit);

} // namespace quirel::report
