// report: the service report of a visit as one HTML file.
#include "CliCommon.h"
#include "CliSession.h"

#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "measurement/DocMeasurementSingle.h"
#include "parameters/document/DocParameters.h"
#include "report/ReportGather.h"
#include "report/ReportHtml.h"
#include "report/ReportTexts.h"

#include <chrono>
#include <memory>
#include <thread>

namespace quirel::cli {
namespace {

using namespace quirel::report;

constexpr unsigned kIdsFileNotWritten = 1105;

// The session lends the gathering its controller and the documents it reads into; posted updates are
// taken on this thread while it waits.
class CliReportHost : public IReportHost {
public:
    explicit CliReportHost(CliSession& s) : m_s(s) {}
    const CParameterManager& Catalogue() override { return m_s.Catalogue(); }
    CControllerModbus& Controller() override { return m_s.Controller(); }
    IUiPort& Ui() override { return m_s.Ui(); }
    CDocParameters& Parameters() override {
        if (!m_parameters) {
            m_parameters = std::make_unique<CDocParameters>(m_s.Catalogue(), m_s.Controller());
            m_parameters->OnNewDocument();
        }
        return *m_parameters;
    }
    CDocMeasurementSingle& CaptureDocument() override {
        if (!m_capture)
            m_capture = std::make_unique<CDocMeasurementSingle>(&m_s.Catalogue(), &m_s.Ui());
        return *m_capture;
    }
    void Wait(int ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        m_s.Ui().ProcessPosted();
    }

private:
    CliSession& m_s;
    std::unique_ptr<CDocParameters> m_parameters;
    std::unique_ptr<CDocMeasurementSingle> m_capture;
};

int Report(CliSession& s, const std::vector<std::string>& args) {
    // --capture is the one option without a value.
    GatherRequest request;
    std::vector<std::string> rest;
    for (const std::string& a : args) {
        if (a == "--capture")
            request.capture = true;
        else
            rest.push_back(a);
    }
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> known = {"-o", "--measurement"};
    known.insert(known.end(), kLimitOptions.begin(), kLimitOptions.end());
    if (const std::string why = ParseOptions(rest, known, options); !why.empty())
        return s.Usage(why);
    std::string output;
    for (const auto& [key, value] : options) {
        if (key == "-o" && !output.empty())
            return s.Usage("-o is given once");
        if (key == "-o")
            output = value;
        else if (key == "--measurement")
            request.measurementFiles.push_back(value);
    }
    if (output.empty())
        return s.Usage("report needs -o FILE.html");
    if (const std::string ext = LowerExtension(output); ext != "html" && ext != "htm")
        return s.Usage("-o names an .html file");
    if (const std::string why = ParseLimitOptions(options, 2, request.limits); !why.empty())
        return s.Usage(why);
    const GlobalOptions& o = s.Options();
    request.device = !o.tcp.empty() || !o.rtu.empty();
    if (request.capture && !request.device)
        return s.Usage("--capture needs a connection (--tcp or --rtu)");
    if (!request.device && request.measurementFiles.empty())
        return s.Usage("report needs a connection (--tcp or --rtu) or --measurement FILE");

    // The target first: a report that cannot be written is not worth asking the device for.
    AtomicFileWriter file;
    if (!file.Open(output))
        return s.Fail(loadString(kIdsFileNotWritten) + output);
    // A failed connect is said by the console port; the report then says what it cost.
    if (request.device && s.Connect() == kUsage)
        return kUsage;

    CliReportHost host(s);
    ServiceReport report;
    GatherOutcome outcome;
    {
        InterruptGuard interrupts(s.Ui());
        outcome = GatherReport(host, request, report);
    }
    int rc = outcome == GatherOutcome::kComplete         ? kOk
             : outcome == GatherOutcome::kIncomplete     ? kFailed
             : outcome == GatherOutcome::kConnectionLost ? kNoConnection
                                                         : kInterrupted;
    if (outcome != GatherOutcome::kCancelled) {
        const std::string html = WriteReportHtml(report, ChartEmbedding::kInline).html;
        if (!file.Write(html) || !file.Commit())
            rc = s.Fail(loadString(kIdsFileNotWritten) + output);
        else
            std::fprintf(s.Out(), "%s%s\n", Text(kSavedText).c_str(), output.c_str());
        for (const MissingPart& m : report.missing)
            std::fprintf(s.Err(), "%s: %s\n", m.what.c_str(), m.why.c_str());
    }
    std::fflush(s.Out());
    std::fflush(s.Err());
    return s.Finish(rc); // before the host's documents go: no job may still use them
}

} // namespace

void AddReportCommands(std::vector<CommandSpec>& commands) {
    commands.push_back(
        {"report",
         "  report -o FILE.html [--capture] [--measurement FILE.nbts ...] [--limits NAME ...]\n"
         "                        the service report as one self-contained HTML file (A4 when printed):\n"
         "                        identification, catalogue revision, overview values, the parameter set\n"
         "                        (changes from the catalogue's factory values marked), the latest\n"
         "                        event-log records, and per measurement waveforms, figures, harmonics\n"
         "                        with verdicts and the filter's effectiveness; --capture takes one\n"
         "                        capture of mains voltages, mains and filter currents; --limits as for\n"
         "                        spectrum, once for voltages and once for currents. What could not be\n"
         "                        read is said in the report and on stderr (exit 1; 2 when the\n"
         "                        connection was lost); without a connection only the files\n",
         true, Report});
}

} // namespace quirel::cli
