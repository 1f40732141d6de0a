#pragma once

#include "analysis/DerivedChannel.h"
#include "measurement/MeasurementSetup.h"

#include <cstdint>
#include <vector>

class CParameterManager;

namespace quirel::report {

// What a captured channel measures, as far as the report needs it to pair channels of one phase. The
// filter's traces are the instantaneous values of the catalogue's folder "40" (180 to 189): mains
// currents, mains voltages to neutral, filter currents and the DC link. A channel the table does not
// know is judged by its unit alone.
struct ChannelRole {
    enum Quantity { kUnknown, kMainsVoltage, kMainsCurrent, kFilterCurrent, kLoadCurrent, kOther };
    Quantity quantity = kUnknown;
    int phase = 0; // 1 to 3; 0 where the quantity has no phase

    bool operator==(const ChannelRole&) const = default;
};

ChannelRole RoleOfParameter(uint32_t id);

// The role of a derived channel: the filter injects the load's harmonics with the opposite sign, so the
// mains current less the filter current of one phase is that phase's load current (as the simulated
// device draws it too); any other definition has no role.
ChannelRole RoleOfDerived(const analysis::DerivedChannel& d);

// The load current of a phase from its mains and filter currents, as a derived channel would define it.
analysis::DerivedChannel LoadCurrentDefinition(uint32_t mainsId, uint32_t filterId, int phase);

// The capture a report takes, as the single-measurement window would: the mains voltages, mains currents
// and filter currents of the three phases the catalogue has, triggered by the first mains voltage rising
// through 0 and sampled at divider 5 (6.4 kHz: 512 values are four periods of 50 Hz, and the spectrum's
// 320 values three of 60 Hz), without pre-trigger values.
struct ReportCapture {
    CTrigger trigger;
    std::vector<uint32_t> ids;
};
// Nothing (no ids) when the catalogue lacks the voltage the trigger needs.
ReportCapture ReportCaptureSetup(const CParameterManager& catalogue);

} // namespace quirel::report
