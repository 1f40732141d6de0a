#pragma once

#include "report/LimitChoice.h"
#include "report/ServiceReport.h"

#include <span>
#include <string>
#include <vector>

class CControllerModbus;
class CDocMeasurementSingle;
class CDocParameters;
class CParameterManager;
class IUiPort;

namespace quirel::report {

// What the program that gathers a report lends it. The documents belong to the program: jobs post updates
// of them to its user-interface thread, which may run after the gathering has ended, so they must outlive
// it (a window's own documents, or the command line's until its controller has stopped).
class IReportHost {
public:
    virtual ~IReportHost() = default;
    virtual const CParameterManager& Catalogue() = 0;
    // Connected (or not: then the device is not asked) before the gathering starts. Asked for, like the
    // documents, only when the request is for the device.
    virtual CControllerModbus& Controller() = 0;
    // Progress, Cancel, and the boxes the reads show.
    virtual IUiPort& Ui() = 0;
    virtual CDocParameters& Parameters() = 0;
    // Asked for only when a capture is wanted. The run starts it on the gathering's thread, which tells
    // its views at once: a document of the report's own, without views.
    virtual CDocMeasurementSingle& CaptureDocument() = 0;
    // Waits about `ms`. A console program lets its documents take the posted updates here; a window,
    // which gathers on a thread of its own, just sleeps.
    virtual void Wait(int ms) = 0;
};

struct GatherRequest {
    bool device = true;   // false: no connection was given; only the files go into the report
    bool capture = false; // take a capture for the report (ReportCaptureSetup)
    std::vector<std::string> measurementFiles;
    std::vector<LimitChoice> limits; // at most one for voltages and one for currents
};

enum class GatherOutcome {
    kComplete,       // everything asked for is in the report
    kIncomplete,     // something could not be read; `missing` says what and why
    kConnectionLost, // the connection was lost (or never came): what needed it is missing
    kCancelled       // the user cancelled; nothing should be written
};

// How long a capture may wait for its trigger: four mains periods trigger within 20 ms on a live mains.
constexpr int kCaptureTimeoutSeconds = 10;

// Gathers the report in the order a visit would: identification and the catalogue's revision, the
// overview values, the parameter set, the latest event-log records, the capture, then the measurement
// files. Device work goes through the controller as the windows' own commands do it (parameter-set read,
// event-log reader, single-measurement run), with progress and Cancel through the host's UI port. What
// fails is recorded with its reason and the gathering goes on; after a lost connection the device is not
// asked again.
GatherOutcome GatherReport(IReportHost& host, const GatherRequest& request, ServiceReport& report);

// The connection as the report names it: "Modbus TCP 192.168.1.20, slave 1".
std::string ConnectionText(const CControllerModbus& controller);

// A measurement file's part: read, its side file of derived channels, analysed. Unreadable: nothing, and
// the reason in `missing`.
bool AddMeasurementFile(const std::string& path, const CParameterManager& catalogue,
                        std::span<const LimitChoice> limits, ServiceReport& report);

} // namespace quirel::report
