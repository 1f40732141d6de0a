#pragma once

#include "analysis/Effectiveness.h"
#include "analysis/LimitCheck.h"
#include "analysis/PairFigures.h"
#include "analysis/TraceFigures.h"
#include "comm/DeviceIdentification.h"
#include "eventlog/EventLogRows.h"
#include "report/ChannelRoles.h"
#include "report/LimitChoice.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The content of a service report as data: what was read from the device and the files, what was worked
// out of it, and what could not be had and why. The HTML is written from this alone (ReportHtml.h).
// Texts are UTF-8, as read (never escaped here).
namespace quirel::report {

// Something the report was to hold and does not, with the reason in the user-interface language.
struct MissingPart {
    std::string what, why;
};

struct ReportValue {
    int32_t id = 0;
    std::string name, text, unit; // text: the value's text form; empty when none was read
    bool read = false;
};

// A value of the parameter set as `paramset save` reads it.
struct ReportParameter : ReportValue {
    std::string section;     // "DeviceData", "MeasuredValues" or "Commissioning"
    std::string defaultText; // the catalogue's factory value in the value's text form; empty: none known
    bool changed = false;    // read, a default known, and the value differs from it
};

// One channel of a measurement with its figures and, where a limit set applies to its quantity, the
// verdicts.
struct ReportChannel {
    uint32_t id = 0;
    std::string name, unit;
    bool derived = false;
    ChannelRole role;
    std::vector<double> values; // as stored, in time order
    analysis::TraceFigures figures;
    std::optional<analysis::LimitCheck> check;
    int limitIndex = -1; // into ServiceReport::limits, with check
};

struct ReportPhase {
    int phase = 0;
    uint32_t voltageId = 0, currentId = 0;
    analysis::PairFigures figures;
};

// The filter's effect on one phase: the load current (before the filter) beside the mains current.
struct ReportEffectiveness {
    int phase = 0;
    uint32_t mainsId = 0;
    uint32_t loadId = 0;   // 0: derived here as mains less filter current
    uint32_t filterId = 0; // the filter current it was derived from
    analysis::Effectiveness figures;
};

struct ReportMeasurement {
    std::string title;  // the file's name, or that it was captured for the report
    std::string source; // the file's path; empty for a capture
    std::string start;  // "Measurement start: ..."
    std::vector<std::string> triggerLines;
    double sampleRateHz = 0.0;
    double samplePeriodMs = 0.0;
    double firstTimeMs = 0.0; // time of the first value from the trigger instant
    int nominalHz = 50;       // the mains frequency the figures fall back on, 50 or 60
    std::vector<ReportChannel> channels;
    std::vector<ReportPhase> phases;
    std::vector<ReportEffectiveness> effectiveness;
    std::vector<std::string> notes;
};

struct ServiceReport {
    std::string createdAt;  // local date and time, "2026-03-01 08:00:00"
    std::string connection; // empty: no device was asked
    std::optional<DeviceIdentification> device;
    std::string catalogueRevision, cataloguePath;
    std::vector<ReportValue> overview;
    std::vector<ReportParameter> parameters;
    bool eventsRead = false;
    std::vector<EventLogRow> events;
    std::vector<LimitChoice> limits; // the sets the verdicts are taken against
    std::vector<ReportMeasurement> measurements;
    std::vector<MissingPart> missing;
    bool connectionLost = false;
};

} // namespace quirel::report
