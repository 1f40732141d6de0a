#include "report/ReportGather.h"

#include "analysis/DerivedFile.h"
#include "app/CatalogueDownload.h"
#include "base/StringTable.h"
#include "base/UiPort.h"
#include "comm/ControllerModbus.h"
#include "comm/SingleMeasurementRun.h"
#include "eventlog/DocErrorMemory.h"
#include "eventlog/EventLogReader.h"
#include "measurement/DocMeasurementSingle.h"
#include "modbus/MbusMasterFunctions.h"
#include "parameters/ParameterManager.h"
#include "parameters/ValueText.h"
#include "parameters/document/DocParameters.h"
#include "paramset/ParamSetFile.h"
#include "paramset/ParamSetTransfer.h"
#include "report/ReportAnalysis.h"
#include "report/ReportTexts.h"
#include "schematic/SchematicItems.h"

#include <chrono>
#include <ctime>
#include <filesystem>

namespace quirel::report {
namespace {

using Clock = std::chrono::steady_clock;
using paramset::TransferResult;

constexpr unsigned kIdsNoConnection = 135;
constexpr unsigned kIdsCannotOpenFile = 188;
constexpr unsigned kIdsFileDamaged = 20001;
constexpr unsigned kIdsFileForeign = 1204;
constexpr int kTickMs = 20;

std::string NowText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// One gathering: the steps in order, each recording what it could not have.
class Gatherer {
public:
    Gatherer(IReportHost& host, const GatherRequest& request, ServiceReport& report)
        : m_host(host), m_ui(host.Ui()), m_request(request), m_report(report), m_catalogue(host.Catalogue()) {
    }

    GatherOutcome Run() {
        const GatherOutcome outcome = Steps();
        m_ui.EndProgress();
        m_report.connectionLost = m_lost;
        return outcome;
    }

private:
    GatherOutcome Steps() {
        m_report.createdAt = NowText();
        m_report.limits = m_request.limits;
        m_report.cataloguePath = m_catalogue.GetCataloguePath();
        m_report.catalogueRevision = app::ReadCatalogueRevision(m_report.cataloguePath);
        if (m_request.device) {
            m_c = &m_host.Controller();
            m_report.connection = ConnectionText(*m_c);
            for (auto step : {&Gatherer::Identification, &Gatherer::Overview, &Gatherer::ParameterSet,
                              &Gatherer::EventLog, &Gatherer::Capture}) {
                if (m_cancelled || (m_cancelled = m_ui.ProgressCancelled()))
                    return GatherOutcome::kCancelled;
                (this->*step)();
            }
        }
        for (const std::string& path : m_request.measurementFiles) {
            if (m_cancelled || m_ui.ProgressCancelled())
                return GatherOutcome::kCancelled;
            Show(95, Text(kAnalysing) + " " + path);
            AddMeasurementFile(path, m_catalogue, m_request.limits, m_report);
        }
        if (m_cancelled)
            return GatherOutcome::kCancelled;
        return m_lost                     ? GatherOutcome::kConnectionLost
               : m_report.missing.empty() ? GatherOutcome::kComplete
                                          : GatherOutcome::kIncomplete;
    }

    void Show(int pos, const std::string& text) { m_ui.Progress(Text(kGatheringCaption), text, pos, 100); }
    void Miss(const std::string& what, const std::string& why) { m_report.missing.push_back({what, why}); }
    // Before a step that needs the device: false (and the part said missing) once the connection is gone.
    bool Connected(const std::string& what) {
        if (!m_lost && !m_c->IsConnected())
            m_lost = true;
        if (m_lost)
            Miss(what, m_everConnected ? Text(kSkippedAfterLoss) : loadString(kIdsNoConnection));
        return !m_lost;
    }
    void AfterStep(TransferResult r) {
        m_cancelled = m_cancelled || r == TransferResult::Cancelled;
        m_lost = m_lost || r == TransferResult::ConnectionLost || !m_c->IsConnected();
    }

    void Identification() {
        m_everConnected = m_c->IsConnected();
        if (!Connected(Text(kIdentificationPart)))
            return;
        Show(2, Text(kReadingIdentification));
        DeviceIdentification id;
        std::string error;
        if (app::UpdateDeviceIdentification(*m_c, id, &error))
            m_report.device = id;
        else
            Miss(Text(kIdentificationPart), error);
        m_lost = !m_c->IsConnected();
    }

    void Overview() {
        std::vector<int32_t> ids;
        for (int32_t id : CSchematicItems::kShownParameters)
            if (m_catalogue.FindDescription(id))
                ids.push_back(id);
        if (ids.empty() || !Connected(Text(kOverview)))
            return;
        CDocParameters& doc = m_host.Parameters();
        const TransferResult r =
            paramset::CParamSetTransfer(doc, m_ui).ReadValues(ids, Text(kReadingOverview));
        AfterStep(r);
        for (int32_t id : ids) {
            const CParameterDescription& d = *m_catalogue.FindDescription(id);
            ReportValue v{id, d.GetName(), "", d.GetUnit(), false};
            if (r == TransferResult::Done && doc.IsKnown(id) && doc.HasValue(id)) {
                v.text = CParameterValue::FormatText(d, doc.GetValue(id).GetValue());
                v.read = true;
            } else if (r == TransferResult::Done) {
                Miss(Text(kOverviewPart, {std::to_string(id), d.GetName()}), Text(kNoValueReason));
            }
            m_report.overview.push_back(std::move(v));
        }
        if (r == TransferResult::ConnectionLost)
            Miss(Text(kOverview), Text(kConnectionLostReason));
    }

    void ParameterSet() {
        if (!Connected(Text(kParameterSet)))
            return;
        CDocParameters& doc = m_host.Parameters();
        std::vector<std::vector<CParameterDescription>> sections;
        const TransferResult r = paramset::CParamSetTransfer(doc, m_ui).ReadSections(sections);
        AfterStep(r);
        if (r != TransferResult::Done) {
            if (r == TransferResult::ConnectionLost)
                Miss(Text(kParameterSet), Text(kConnectionLostReason));
            return;
        }
        for (size_t s = 0; s < sections.size(); ++s)
            for (const CParameterDescription& d : sections[s])
                m_report.parameters.push_back(Parameter(paramset::kSections[s], d, doc));
    }

    ReportParameter Parameter(const char* section, const CParameterDescription& d,
                              const CDocParameters& doc) {
        ReportParameter p;
        p.section = section;
        p.id = d.GetId();
        p.name = d.GetName();
        p.unit = d.GetUnit();
        std::optional<PARAMVALUE> value;
        if (doc.IsKnown(p.id) && doc.HasValue(p.id)) {
            value = doc.GetValue(p.id).GetValue();
            p.text = CParameterValue::FormatText(d, *value);
            p.read = true;
        } else {
            Miss(Text(kParameterPart, {std::to_string(p.id), p.name}), Text(kNoValueReason));
        }
        // The factory value in the form the value is shown in, so "0,95" and "0,950" are one value.
        if (!d.GetDefaultText().empty()) {
            const PARAMVALUE current = value.value_or(PARAMVALUE(static_cast<uint32_t>(d.GetDataType()), 0));
            const ParsedValueText parsed =
                ParseValueText(d, current, d.GetDefaultText(), ValueTextSource::File);
            p.defaultText = parsed.value ? CParameterValue::FormatText(d, *parsed.value) : d.GetDefaultText();
            p.changed = p.read && parsed.value && p.defaultText != p.text;
        }
        return p;
    }

    void EventLog() {
        if (!Connected(Text(kEventLogPart)))
            return;
        Show(70, Text(kReadingEventLog));
        CEventLogReader::Result read = CEventLogReader(*m_c, m_ui).Run(EventLogScope::Latest);
        if (read.status != CEventLogReader::Status::Ok) {
            std::string why = Text(kEventLogFailedReason);
            if (read.lastCode != 0)
                why += " " + std::string(MbusMasterFunctions::getErrorText(read.lastCode));
            Miss(Text(kEventLogPart), why);
            m_lost = m_lost || CControllerModbus::IsConnectionLost(read.lastCode) || !m_c->IsConnected();
            return;
        }
        CDocErrorMemory doc;
        doc.OnNewDocument();
        doc.TakeLog(std::move(read.text));
        for (EventLogRow& row : EventLogRowsOf(doc))
            if (!row.kindText.empty()) // not the list's "No entries available." row
                m_report.events.push_back(std::move(row));
        m_report.eventsRead = true;
    }

    void Capture() {
        if (!m_request.capture || !Connected(Text(kCapturePart)))
            return;
        const ReportCapture setup = ReportCaptureSetup(m_catalogue);
        if (setup.ids.empty())
            return Miss(Text(kCapturePart), Text(kNoCaptureChannels));
        CDocMeasurementSingle& doc = m_host.CaptureDocument();
        CSingleMeasurementRun run(doc, *m_c);
        const CSingleMeasurementRun::Started started = run.Start(setup.trigger, setup.ids, CMeasStart::Now());
        if (started.refusal)
            return Miss(Text(kCapturePart), loadString(started.refusal));
        // The run is driven by the document's state alone, with no view: its updates may arrive on another
        // thread (a window's), while the run belongs to this one.
        const auto start = Clock::now();
        auto nextPoll = start + std::chrono::milliseconds(CSingleMeasurementRun::kPollMs);
        std::string why;
        uint32_t shownState = CDocMeasurementSingle::kNoTrigger;
        for (;;) {
            if (m_ui.ProgressCancelled()) {
                m_cancelled = true;
                break;
            }
            if (!m_c->IsConnected()) {
                run.Cancel(); // the document no longer runs; nothing reaches the device
                m_lost = true;
                Miss(Text(kCapturePart), Text(kConnectionLostReason));
                return;
            }
            if (Clock::now() - start >= std::chrono::seconds(kCaptureTimeoutSeconds) &&
                !run.IsReadingTraces()) {
                why = Text(kNoTriggerReason, {std::to_string(kCaptureTimeoutSeconds)});
                break;
            }
            const uint32_t state = doc.GetTriggerState();
            if (state != shownState &&
                (state != CDocMeasurementSingle::kNoTrigger || !run.IsReadingTraces())) {
                shownState = state;
                Show(80, Text(kCapturing) + ": " + MeasurementSetup::TriggerStateText(state));
            }
            run.OnHint(UpdateHint::kTriggerState);
            if (run.IsReadingTraces() && !doc.IsRunning())
                break; // read
            // Stopped before the traces, or every job done and the traces still not read: a job failed and
            // has said why.
            if (!doc.IsRunning() || (run.IsReadingTraces() && m_c->WaitForIdle(0) && doc.IsRunning())) {
                why = Text(kCaptureFailedReason);
                break;
            }
            if (run.IsPolling() && Clock::now() >= nextPoll) {
                run.Poll();
                nextPoll += std::chrono::milliseconds(CSingleMeasurementRun::kPollMs);
            }
            m_host.Wait(kTickMs);
        }
        if (m_cancelled || !why.empty()) {
            run.Cancel();
            while (!m_c->WaitForIdle(0) && m_c->IsConnected())
                m_host.Wait(kTickMs);
            if (!why.empty())
                Miss(Text(kCapturePart), why);
            return;
        }
        Show(90, Text(kAnalysing));
        ReportMeasurement m = AnalyseMeasurement(doc, {}, m_request.limits, m_report.missing);
        m.title = Text(kCapturedForReport);
        m_report.measurements.push_back(std::move(m));
    }

    IReportHost& m_host;
    IUiPort& m_ui;
    CControllerModbus* m_c = nullptr; // with a request for the device
    const GatherRequest& m_request;
    ServiceReport& m_report;
    const CParameterManager& m_catalogue;
    bool m_lost = false, m_cancelled = false, m_everConnected = false;
};

} // namespace

std::string ConnectionText(const CControllerModbus& c) {
    std::string text;
    if (c.GetProtocol() == CControllerModbus::kProtocolTcp) {
        text = "Modbus TCP " + c.GetHost();
    } else {
        const std::string parity = c.GetParity().empty() ? "N" : c.GetParity().substr(0, 1);
        text = "Modbus RTU " + c.GetPortName() + ", " + std::to_string(c.GetBaudRate()) + " baud, " +
               std::to_string(c.GetDataBits()) + parity + std::to_string(c.GetStopBits());
    }
    return text + ", slave " + std::to_string(c.GetSlaveId());
}

bool AddMeasurementFile(const std::string& path, const CParameterManager& catalogue,
                        std::span<const LimitChoice> limits, ServiceReport& report) {
    const std::string what = Text(kMeasurementFilePart, {path});
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& ch : ext)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    CDocMeasurementSingle doc(&catalogue, nullptr);
    const MeasurementFileResult result = ext == ".nbts" || ext == ".bts" ? doc.ReadFile(path, ext == ".nbts")
                                                                         : MeasurementFileResult::kForeign;
    if (result == MeasurementFileResult::kCannotOpen || result == MeasurementFileResult::kForeign) {
        report.missing.push_back(
            {what, loadString(result == MeasurementFileResult::kCannotOpen ? kIdsCannotOpenFile
                                                                           : kIdsFileForeign)});
        return false;
    }
    if (result == MeasurementFileResult::kDamaged)
        report.missing.push_back({what, loadString(kIdsFileDamaged)});
    const analysis::DerivedFileContent derived = analysis::ReadDerivedFile(path);
    if (!derived.error.empty())
        report.missing.push_back({Text(kDerivedPart, {path}), derived.error});
    ReportMeasurement m =
        AnalyseMeasurement(doc, derived.channels, limits, report.missing, Text(kDerivedPart, {path}));
    m.title = std::filesystem::path(path).filename().string();
    m.source = path;
    report.measurements.push_back(std::move(m));
    return true;
}

GatherOutcome GatherReport(IReportHost& host, const GatherRequest& request, ServiceReport& report) {
    return Gatherer(host, request, report).Run();
}

} // namespace quirel::report
