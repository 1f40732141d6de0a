// capture, record, show, spectrum: the oscilloscope's measurements from a shell.
#include "CliCommon.h"
#include "CliSession.h"

#include "analysis/LimitCheck.h"
#include "base/StringTable.h"
#include "comm/JobUpdateDocMeasurementCont.h"
#include "comm/SingleMeasurementRun.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementCsv.h"
#include "measurement/MeasurementSetup.h"
#include "measurement/MeasurementTexts.h"
#include "measurement/Spectrum.h"
#include "parameters/ParameterException.h"
#include "report/ReportTexts.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace quirel::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollPeriod = std::chrono::milliseconds(1000);
constexpr auto kTick = std::chrono::milliseconds(20);
constexpr unsigned kIdsConnectionTooSlow = 137;
constexpr unsigned kIdsFileForeign = 1204;

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        items.push_back(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos)
            return items;
        from = comma + 1;
    }
}

// A number as a script writes it: a decimal point or the decimal comma, nothing else after it.
bool ParseLevel(std::string text, double& out) {
    std::replace(text.begin(), text.end(), ',', '.');
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

// Channels by identifier (capture) or by identifier or name (record); each must be in the catalogue.
bool ResolveChannels(CliSession& s, const std::string& list, bool byName, std::vector<uint32_t>& ids,
                     int& rc) {
    for (const std::string& key : SplitList(list)) {
        long id = 0;
        const CParameterDescription* d = nullptr;
        if (ParseInt(key, 1, INT32_MAX, id))
            d = s.Catalogue().FindDescription(static_cast<int32_t>(id));
        else if (byName && !key.empty())
            d = s.Catalogue().FindDescription(key);
        else {
            rc = s.Usage("--channels takes " + std::string(byName ? "identifiers or names" : "identifiers") +
                         ", separated by commas");
            return false;
        }
        if (!d) {
            rc = s.Fail(quirel::loadString(155) + key);
            return false;
        }
        ids.push_back(static_cast<uint32_t>(d->GetId()));
    }
    if (ids.size() > static_cast<size_t>(MeasurementSetup::kMaxChannels)) {
        rc = s.Usage("at most 10 channels");
        return false;
    }
    return true;
}

// Waits one tick, letting the posted document updates reach their views meanwhile.
void Tick(CliSession& s) {
    std::this_thread::sleep_for(kTick);
    s.Ui().ProcessPosted();
}

// ---- capture ----

// Drives the single measurement's run as the window does, and tells each change of the trigger state.
class CaptureView : public CView {
public:
    CaptureView(CliSession& s, CDocMeasurementSingle& doc) : m_s(s), m_doc(doc), m_run(doc, s.Controller()) {
        m_doc.AddView(this);
    }
    ~CaptureView() override { m_doc.RemoveView(this); }

    void OnUpdate(CView*, int64_t hint) override {
        if (hint == UpdateHint::kTriggerState && m_doc.GetTriggerState() != m_lastState) {
            m_lastState = m_doc.GetTriggerState();
            std::fprintf(m_s.Err(), "state %u: %s\n", m_lastState,
                         MeasurementSetup::TriggerStateText(m_lastState).c_str());
            std::fflush(m_s.Err());
        }
        if (m_run.OnHint(hint) == CSingleMeasurementRun::Reaction::kEnded)
            m_ended = true;
    }

    CSingleMeasurementRun& Run() { return m_run; }
    // The device dropped the armed trigger: no traces will come.
    bool Ended() const { return m_ended; }

private:
    CliSession& m_s;
    CDocMeasurementSingle& m_doc;
    CSingleMeasurementRun m_run;
    uint32_t m_lastState = CDocMeasurementSingle::kNoTrigger;
    bool m_ended = false;
};

// The window's Cancel, then what is still queued is done before the program goes on.
void CancelCapture(CliSession& s, CaptureView& view) {
    view.Run().Cancel();
    s.Drain();
}

int Capture(CliSession& s, const std::vector<std::string>& args) {
    std::vector<std::pair<std::string, std::string>> options;
    if (std::string why = ParseOptions(
            args, {"--channels", "--trigger", "--level", "--mode", "--divider", "--delay", "--timeout", "-o"},
            options);
        !why.empty())
        return s.Usage(why);
    std::string channels, trigger, level, output;
    MeasurementSetup::SingleSettings settings;
    long timeout = 0, n = 0;
    for (const auto& [name, value] : options) {
        if (name == "--channels") {
            channels = value;
        } else if (name == "--trigger") {
            trigger = value;
        } else if (name == "--level") {
            level = value;
        } else if (name == "-o") {
            output = value;
        } else if (name == "--mode") {
            if (value != "more" && value != "less")
                return s.Usage("--mode is more or less");
            settings.mode = value == "more" ? 0 : 1;
        } else if (name == "--divider") {
            if (!ParseInt(value, 1, CTrigger::kMaxDivider, n))
                return s.Usage("--divider is 1 to 32000");
            settings.divider = static_cast<int>(n);
        } else if (name == "--delay") {
            if (!ParseInt(value, 0, CTrigger::kMaxDelay, n))
                return s.Usage("--delay is 0 to 512");
            settings.delay = static_cast<int>(n);
        } else if (!ParseInt(value, 1, 86400 * 365, timeout)) {
            return s.Usage("--timeout is a number of seconds");
        }
    }
    if (channels.empty() || trigger.empty() || level.empty() || output.empty())
        return s.Usage("capture needs --channels, --trigger, --level and -o");
    if (LowerExtension(output) != "nbts")
        return s.Usage("-o names a .nbts file");
    if (!ParseLevel(level, settings.level))
        return s.Usage("--level needs a number");
    long triggerId = 0;
    if (!ParseInt(trigger, 1, INT32_MAX, triggerId))
        return s.Usage("--trigger needs a parameter identifier");
    int rc = kOk;
    std::vector<uint32_t> ids;
    if (!ResolveChannels(s, channels, false, ids, rc))
        return rc;
    // The trigger as the window builds it from its list entry "ID name".
    settings.triggerText = trigger;
    CTrigger built;
    try {
        built = MeasurementSetup::BuildTrigger(s.Catalogue(), settings);
    } catch (const CParameterException& e) {
        return s.Fail(e.GetMessage());
    }

    // The file is tried before the device is: a capture that cannot be saved is not worth arming.
    if (!CDocMeasurementBase::CanWriteFile(output))
        return s.Fail(quirel::loadString(kIdsCannotOpenFile) + " " + output);
    if ((rc = s.Connect()) != kOk)
        return rc;

    CDocMeasurementSingle doc(&s.Catalogue(), &s.Ui());
    rc = [&]() -> int {
        CaptureView view(s, doc);
        CSingleMeasurementRun& run = view.Run();
        InterruptGuard interrupts(s.Ui());
        const CSingleMeasurementRun::Started started = run.Start(built, ids, CMeasStart::Now());
        if (started.refusal)
            return s.Fail(quirel::loadString(started.refusal));
        CControllerModbus& c = s.Controller();
        const int errorsBefore = s.Ui().GetErrorCount();
        const auto start = Clock::now();
        auto nextPoll = start + std::chrono::milliseconds(CSingleMeasurementRun::kPollMs);
        for (;;) {
            if (s.Ui().ProgressCancelled()) {
                CancelCapture(s, view);
                return kInterrupted;
            }
            if (timeout > 0 && Clock::now() - start >= std::chrono::seconds(timeout)) {
                CancelCapture(s, view);
                return s.Fail("Time-out after " + std::to_string(timeout) + " s: the trigger was cancelled.");
            }
            if (!c.IsConnected())
                return kNoConnection; // the job that lost it has said why
            if (s.Ui().GetErrorCount() > errorsBefore) {
                CancelCapture(s, view);
                return kFailed;
            }
            if (view.Ended())
                return s.Fail(MeasurementSetup::TriggerStateText(CDocMeasurementSingle::kNoTrigger));
            if (run.IsReadingTraces() && !doc.IsRunning())
                break;
            if (run.IsPolling() && Clock::now() >= nextPoll) {
                run.Poll(); // a full queue skips one look
                nextPoll += std::chrono::milliseconds(CSingleMeasurementRun::kPollMs);
            }
            Tick(s);
        }
        return doc.SaveMeasurementFile(output) ? kOk : kFailed;
    }();
    return s.Finish(rc); // before the document goes: no job may still use it
}

// ---- record ----

int Record(CliSession& s, const std::vector<std::string>& args) {
    std::vector<std::pair<std::string, std::string>> options;
    if (std::string why =
            ParseOptions(args, {"--channels", "--interval", "--count", "--duration", "-o"}, options);
        !why.empty())
        return s.Usage(why);
    std::string channels, output;
    long interval = -1, count = 0, duration = 0;
    for (const auto& [name, value] : options) {
        if (name == "--channels")
            channels = value;
        else if (name == "-o")
            output = value;
        else if (name == "--interval" && !ParseInt(value, 0, UINT32_MAX, interval))
            return s.Usage("--interval is a whole number of seconds");
        else if (name == "--count" && !ParseInt(value, 1, INT32_MAX, count))
            return s.Usage("--count is a positive number");
        else if (name == "--duration" && !ParseInt(value, 1, INT32_MAX, duration))
            return s.Usage("--duration is a positive number of seconds");
    }
    if (channels.empty() || interval < 0 || output.empty() || (count > 0) == (duration > 0))
        return s.Usage("record needs --channels, --interval, one of --count and --duration, and -o");
    if (LowerExtension(output) != "nbtc")
        return s.Usage("-o names a .nbtc file");
    int rc = kOk;
    std::vector<uint32_t> ids;
    if (!ResolveChannels(s, channels, true, ids, rc))
        return rc;
    // The checks that need no device come before any traffic.
    if (unsigned refused = MeasurementSetup::CheckContinuousStart(ids.size(), interval, true))
        return s.Fail(quirel::loadString(refused));
    if (!CDocMeasurementBase::CanWriteFile(output))
        return s.Fail(quirel::loadString(kIdsCannotOpenFile) + " " + output);
    if ((rc = s.Connect()) != kOk)
        return rc;
    const long samples = count > 0 ? count : (duration + interval - 1) / interval;

    CDocMeasurementContinuous doc(&s.Catalogue(), &s.Ui());
    rc = [&]() -> int {
        InterruptGuard interrupts(s.Ui());
        CControllerModbus& c = s.Controller();
        c.ClearPollQueue();
        doc.InitMeasurement(static_cast<uint32_t>(interval), ids, CMeasStart::Now());
        doc.SetRunning(true);
        int code = kOk;
        const auto start = Clock::now();
        for (long k = 0; k < samples && code == kOk; ++k) {
            // Sampling runs on a fixed schedule from the start, so waiting for the device never shifts it.
            const auto due = start + std::chrono::seconds(interval * k);
            while (code == kOk && Clock::now() < due) {
                if (s.Ui().ProgressCancelled())
                    code = kInterrupted;
                else if (!doc.IsRunning())
                    code = kFailed; // a sample failed and said why
                else
                    Tick(s);
            }
            if (code == kOk && !doc.IsRunning())
                code = kFailed;
            if (code == kOk && !c.AddUserJob(std::make_unique<CJobUpdateDocMeasurementCont>(&doc))) {
                doc.SetRunning(false);
                s.Ui().MessageBox(quirel::loadString(kIdsConnectionTooSlow), std::string(), MbIcon::Error,
                                  MbButtons::Ok);
                code = kFailed;
            }
        }
        // The last sample completes (or fails) before the measurement ends.
        while (code == kOk && !c.WaitForIdle(50)) {
            if (s.Ui().ProgressCancelled())
                code = kInterrupted;
            else if (!c.IsConnected())
                break;
        }
        s.Ui().ProcessPosted();
        if (code == kOk && (!doc.IsRunning() || !c.IsConnected()))
            code = kFailed;
        doc.SetRunning(false);
        c.ClearUserQueue();
        s.Drain();
        // What was recorded is kept, whatever ended the recording.
        if (!doc.SaveMeasurementFile(output) && code == kOk)
            code = kFailed;
        return code;
    }();
    return s.Finish(rc);
}

// ---- show ----

int Show(CliSession& s, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return s.Usage("show needs one FILE");
    const std::string& path = args[0];
    const std::string ext = LowerExtension(path);
    std::unique_ptr<CDocMeasurementBase> doc;
    if (ext == "nbts" || ext == "bts")
        doc = std::make_unique<CDocMeasurementSingle>(&s.Catalogue(), nullptr);
    else if (ext == "nbtc" || ext == "btc")
        doc = std::make_unique<CDocMeasurementContinuous>(&s.Catalogue(), nullptr);
    else
        return s.Usage("show reads .nbts, .nbtc, .bts and .btc files");
    const MeasurementFileResult result = doc->ReadFile(path, ext == doc->GetFileExtension());
    if (result == MeasurementFileResult::kCannotOpen)
        return s.Fail(quirel::loadString(kIdsCannotOpenFile) + " " + path);
    if (result == MeasurementFileResult::kForeign)
        return s.Fail(quirel::loadString(kIdsFileForeign) + " " + path);
    WriteMeasurementCsv(*doc, s.Out());
    if (result == MeasurementFileResult::kDamaged)
        return s.Fail(quirel::loadString(kIdsFileDamaged));
    return kOk;
}

// ---- spectrum ----

std::string Number(double v, std::chars_format format, int precision) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, format, precision);
    return std::string(buffer, r.ptr);
}

// The header line's verdict and the harmonic rows held against the limits. Without whole mains periods
// (no rows) or a fundamental there is nothing to judge: verdict "-", kFailed.
int AppendLimitRows(std::string& text, const Spectrum::Harmonics& h, const report::LimitChoice& limits) {
    const analysis::LimitCheck check = limits.Check(h);
    const bool judged = check.overall != analysis::Verdict::kNone;
    text += std::string(" limits=") + limits.set.name +
            " verdict=" + analysis::VerdictText(judged ? check.overall : analysis::Verdict::kNone);
    if (check.distortionName == "TDD")
        text += " tdd_percent=" + (!judged || std::isnan(check.distortionPercent)
                                       ? std::string()
                                       : Number(check.distortionPercent, std::chars_format::fixed, 4));
    text += "\r\norder,f_hz,amplitude,percent,limit_percent,verdict\r\n";
    for (const analysis::LimitCheck::Order& o :
         judged ? check.orders : std::vector<analysis::LimitCheck::Order>()) {
        text += std::to_string(o.order) + ',' + Number(o.frequencyHz, std::chars_format::general, 10) + ',' +
                Number(o.amplitude, std::chars_format::general, 10) + ',' +
                (std::isnan(o.percent) ? "" : Number(o.percent, std::chars_format::general, 10)) + ',' +
                (o.limitPercent ? Number(*o.limitPercent, std::chars_format::general, 10) : "") + ',' +
                analysis::VerdictText(o.verdict) + "\r\n";
    }
    return judged ? kOk : kFailed;
}

int SpectrumCommand(CliSession& s, const std::vector<std::string>& args) {
    if (args.empty() || args[0].rfind("--", 0) == 0)
        return s.Usage("spectrum needs a FILE.nbts first");
    const std::string& path = args[0];
    const std::string ext = LowerExtension(path);
    if (ext != "nbts" && ext != "bts")
        return s.Usage("spectrum reads single measurements (.nbts, .bts)");
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> known = {"--channel", "--mains"};
    known.insert(known.end(), kLimitOptions.begin(), kLimitOptions.end());
    if (const std::string why = ParseOptions({args.begin() + 1, args.end()}, known, options); !why.empty())
        return s.Usage(why);
    long id = -1, mains = 0;
    for (const auto& [key, value] : options) {
        if (key == "--channel" && !ParseInt(value, 0, UINT32_MAX, id))
            return s.Usage("--channel takes a parameter identifier");
        if (key == "--mains" && (!ParseInt(value, 50, 60, mains) || (mains != 50 && mains != 60)))
            return s.Usage("--mains is 50 or 60");
    }
    if (id < 0 || mains == 0)
        return s.Usage("spectrum needs --channel ID and --mains 50|60");
    std::vector<report::LimitChoice> limits;
    if (const std::string why = ParseLimitOptions(options, 1, limits); !why.empty())
        return s.Usage(why);

    CDocMeasurementSingle doc(&s.Catalogue(), nullptr);
    const MeasurementFileResult result = doc.ReadFile(path, ext == "nbts");
    if (result == MeasurementFileResult::kCannotOpen)
        return s.Fail(quirel::loadString(kIdsCannotOpenFile) + " " + path);
    if (result == MeasurementFileResult::kForeign)
        return s.Fail(quirel::loadString(kIdsFileForeign) + " " + path);
    if (result == MeasurementFileResult::kDamaged)
        return s.Fail(quirel::loadString(kIdsFileDamaged));
    int channel = -1;
    for (int i = 0; i < doc.GetChannelCount() && channel < 0; ++i)
        if (doc.GetParameterId(i) == static_cast<uint32_t>(id))
            channel = i;
    if (channel < 0)
        return s.Fail("channel " + std::to_string(id) + " is not in " + path);

    // The channel as the window plots it.
    std::vector<double> y(doc.GetValueCount(channel));
    doc.ReadValues(channel, 0, y.size(), y.data());
    const double factor = doc.GetFactor(channel), offset = doc.GetOffset(channel);
    for (double& v : y)
        v = v * factor + offset;
    const uint32_t divider = doc.GetTrigger().GetDivider();
    const Spectrum::Result spectrum = Spectrum::Compute(y.data(), y.size(), static_cast<int>(mains), divider);
    if (const std::string refusal = MeasurementTexts::SpectrumRefusal(spectrum); !refusal.empty())
        return s.Fail(refusal);
    const std::string csv = Spectrum::ToCsv(spectrum);
    std::fwrite(csv.data(), 1, csv.size(), s.Out());
    std::fflush(s.Out());

    const Spectrum::Harmonics h = Spectrum::AnalyseHarmonics(spectrum, static_cast<int>(mains), divider);
    // Numbers with a decimal point whatever the locale, as in the CSV.
    const auto number = Number;
    std::string report = "# n=" + std::to_string(spectrum.length) + " divider=" + std::to_string(divider) +
                         " resolution_hz=" + number(spectrum.resolutionHz, std::chars_format::general, 10) +
                         " periods=" + number(h.periods, std::chars_format::general, 10) +
                         " whole_periods=" + (h.wholePeriods ? "1" : "0") + " thd_percent=" +
                         (std::isnan(h.thdPercent) ? "" : number(h.thdPercent, std::chars_format::fixed, 4));
    if (limits.empty()) {
        report += "\r\n" + Spectrum::HarmonicsCsv(h);
        std::fwrite(report.data(), 1, report.size(), s.Err());
        std::fflush(s.Err());
        return kOk;
    }
    const int rc = AppendLimitRows(report, h, limits.front());
    std::fwrite(report.data(), 1, report.size(), s.Err());
    std::fflush(s.Err());
    return rc == kOk ? kOk : s.Fail(report::Text(report::kNoSpectrumVerdict));
}

} // namespace

void AddMeasurementCommands(std::vector<CommandSpec>& commands) {
    commands.push_back(
        {"capture",
         "  capture --channels ID[,ID...] --trigger ID --level X [--mode more|less] [--divider N]\n"
         "          [--delay N] [--timeout S] -o FILE.nbts\n"
         "                        a triggered single measurement of up to 10 channels: arms the trigger,\n"
         "                        polls it every second (\"state N: TEXT\" on stderr at each change), reads\n"
         "                        trigger and traces, saves FILE; X in the trigger channel's units (\"1.5\"\n"
         "                        or \"1,5\"), divider 1-32000 (x 0.03125 ms, default 1), delay 0-512 "
         "points\n"
         "                        (default 0); Ctrl-C or the time-out cancels the trigger in the device\n",
         true, Capture});
    commands.push_back(
        {"record",
         "  record --channels ID|NAME[,...] --interval S (--count N | --duration S) -o FILE.nbtc\n"
         "                        a continuous measurement: every S seconds (at least 1) one value per\n"
         "                        channel, N samples or those within the duration (duration / interval,\n"
         "                        rounded up); saved at the end, also after Ctrl-C or a failure\n",
         true, Record});
    commands.push_back(
        {"show",
         "  show FILE             a measurement file (.nbts, .nbtc, .bts, .btc) as CSV on stdout: a line\n"
         "                        \"# key=value ...\", then the time and one column per channel\n",
         true, Show});
    commands.push_back(
        {"spectrum",
         "  spectrum FILE.nbts --channel ID --mains 50|60\n"
         "          [--limits en50160 | --limits ieee519 --isc-il LT20|20-50|50-100|100-1000|GT1000 --il "
         "AMPS\n"
         "           | --limits ieee519-voltage --kv KV]\n"
         "                        the spectrum of a channel of a single measurement as the FFT window\n"
         "                        computes it: CSV \"f_hz,amplitude\" on stdout, one row per bin; the THD\n"
         "                        and the harmonics of the mains frequency on stderr; with --limits each\n"
         "                        harmonic with its limit and verdict, and the overall verdict (indicative:\n"
         "                        one capture, not the standards' 10-minute aggregation)\n",
         false, SpectrumCommand});
}

} // namespace quirel::cli
