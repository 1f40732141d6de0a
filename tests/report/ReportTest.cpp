// The report's part of a measurement with known content, and its HTML: self-contained, every text from
// outside escaped, what is missing said; the gathering without a connection still makes a report.
#include "base/RecordingUiPort.h"
#include "comm/ControllerModbus.h"
#include "measurement/DocMeasurementSingle.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "report/ReportAnalysis.h"
#include "report/ReportGather.h"
#include "report/ReportHtml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <regex>

namespace {

using namespace quirel::report;
using quirel::analysis::Verdict;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Four periods of 50 Hz at divider 5: the mains voltage of L1 with 7 % of the 5th, the mains current
// 100 A lagging by 30 degrees with 3 A of the 5th, and the filter's current that took 27 A of the load's
// 30 A of the 5th (so the load current is the mains current less the filter current).
void FillKnownSignals(CDocMeasurementSingle& doc) {
    CTrigger trigger;
    trigger.Set(0, 0, 5, 183, 8, 0);
    doc.InitMeasurement(trigger, {183, 180, 186}, CMeasStart(2026, 3, 1, 8, 0, 0));
    const double pi = std::numbers::pi;
    for (int j = 0; j < 512; ++j) {
        const double w = 2 * pi * 50 * j / 6400.0;
        const double values[] = {325 * std::cos(w) + 22.75 * std::cos(5 * w),
                                 100 * std::cos(w - pi / 6) + 3 * std::cos(5 * w), -27 * std::cos(5 * w)};
        for (int c = 0; c < 3; ++c) {
            PARAMVALUE cell(8, 0);
            cell.SetFloat(static_cast<float>(values[c]));
            doc.AddValue(c, cell);
        }
    }
}

} // namespace

TEST(Report, MeasurementOfKnownSignalsWrittenSelfContained) {
    CDocMeasurementSingle doc(nullptr, nullptr);
    FillKnownSignals(doc);
    ServiceReport report;
    report.limits = {MakeLimitChoice({"en50160", "", NAN, NAN}, nullptr).value(),
                     MakeLimitChoice({"IEEE519", "lt20", 100.0, NAN}, nullptr).value()};
    // A side file's channel, named by whoever wrote the file.
    quirel::analysis::DerivedChannel scaled;
    scaled.id = 9001;
    scaled.op = quirel::analysis::DerivedChannel::Op::kScale;
    scaled.a = 183;
    scaled.factor = 0.001;
    scaled.name = "<script>alert(1)</script> & \"kV\"";
    ReportMeasurement m = AnalyseMeasurement(doc, std::vector{scaled}, report.limits, report.missing);

    // The load current is derived, the voltage fails EN 50160 at the 5th (7 % over 6 %), the current
    // passes IEEE 519 (2,12 % of IL at the 5th), and the filter took 90 % of the 5th.
    ASSERT_EQ(m.channels.size(), 5u);
    EXPECT_EQ(m.channels[4].role, (ChannelRole{ChannelRole::kLoadCurrent, 1}));
    ASSERT_TRUE(m.channels[0].check && m.channels[1].check);
    EXPECT_EQ(m.channels[0].check->overall, Verdict::kFail);
    EXPECT_EQ(m.channels[0].check->orders[4].verdict, Verdict::kFail);
    EXPECT_NEAR(m.channels[0].check->orders[4].percent, 7.0, 1e-3);
    EXPECT_EQ(m.channels[1].check->overall, Verdict::kPass);
    EXPECT_NEAR(m.channels[1].check->distortionPercent, 3 / std::numbers::sqrt2, 1e-3);
    EXPECT_FALSE(m.channels[2].check || m.channels[3].check || m.channels[4].check);
    ASSERT_EQ(m.phases.size(), 1u);
    EXPECT_NEAR(m.phases[0].figures.phaseDeg, 30.0, 1e-2);
    ASSERT_EQ(m.effectiveness.size(), 1u);
    EXPECT_NEAR(m.effectiveness[0].figures.orders[3].reductionPercent, 90.0, 1e-2);

    // Every text from a device or a file, hostile ones included, arrives as text.
    m.title = "a<b>.nbts";
    report.measurements.push_back(std::move(m));
    report.device = DeviceIdentification{"\"><img src=\"http://evil/x.png\">", "AHF & Co", "V<2>"};
    report.eventsRead = true;
    report.events.push_back({EventKind::Error, "Error", "01.12.2026", "07:13:02", "<iframe src=x>", "23816"});
    ReportParameter p;
    p.section = "Commissioning", p.id = 310, p.name = "CT 'primary'", p.text = "750", p.read = true;
    p.defaultText = "500", p.changed = true;
    report.parameters.push_back(p);
    report.missing.push_back({"Event log", "Reply <time-out>"});

    const ReportDocument inlined = WriteReportHtml(report, ChartEmbedding::kInline);
    const ReportDocument images = WriteReportHtml(report, ChartEmbedding::kImages);
    for (const std::string& html : {inlined.html, images.html}) {
        const std::string lower = Lower(html);
        EXPECT_EQ(Count(lower, "<script"), 0u);
        EXPECT_EQ(Count(lower, "<iframe"), 0u);
        EXPECT_EQ(Count(lower, "src=\"http"), 0u);
        EXPECT_EQ(Count(lower, "url("), 0u);
        EXPECT_EQ(Count(lower, "@import"), 0u);
        for (const char* escaped :
             {"&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;kV&quot;", "a&lt;b&gt;.nbts",
              "&quot;&gt;&lt;img src=&quot;http://evil/x.png&quot;&gt;", "AHF &amp; Co",
              "&lt;iframe src=x&gt;", "CT &#39;primary&#39;", "Reply &lt;time-out&gt;"})
            EXPECT_NE(html.find(escaped), std::string::npos) << escaped;
        EXPECT_NE(html.find("1 parts could not be read"), std::string::npos);
        EXPECT_NE(html.find("<tr class=\"changed\">"), std::string::npos);
    }
    // One layout, two embeddings: the same charts inline or as named images handed out beside the page.
    EXPECT_EQ(Count(images.html, "<svg"), 0u);
    ASSERT_GE(images.charts.size(), 6u); // 4 waveform groups, 2 harmonic groups, 1 effectiveness
    EXPECT_EQ(Count(images.html, "<img src=\"chart"), images.charts.size());
    EXPECT_EQ(Count(inlined.html, "<svg"), images.charts.size());
    EXPECT_TRUE(inlined.charts.empty());
    for (const ReportChart& chart : images.charts) {
        EXPECT_NE(images.html.find("src=\"" + chart.name + "\""), std::string::npos);
        EXPECT_NE(inlined.html.find(chart.svg), std::string::npos) << chart.name;
        EXPECT_EQ(Count(Lower(chart.svg), "<script"), 0u);
    }
}

// No device to ask: every part that needs one is said missing with the reason, the files still go in.
TEST(Report, WithoutAConnectionSaysWhatIsMissing) {
    class Host : public IReportHost {
    public:
        CParameterManager catalogue;
        CControllerModbus controller{&catalogue, nullptr};
        CDocParameters parameters{catalogue, controller};
        const CParameterManager& Catalogue() override { return catalogue; }
        CControllerModbus& Controller() override { return controller; }
        IUiPort& Ui() override { return ui; }
        RecordingUiPort ui;
        CDocParameters& Parameters() override { return parameters; }
        CDocMeasurementSingle& CaptureDocument() override {
            throw std::logic_error("no capture without a device");
        }
        void Wait(int) override {}
    } host;
    host.catalogue.Load(std::string(QUIREL_RESOURCES_DIR) + "/Parameters.ini");
    ServiceReport report;
    const GatherOutcome outcome =
        GatherReport(host, GatherRequest{true, true, {"/nonexistent/a.nbts"}, {}}, report);
    EXPECT_EQ(outcome, GatherOutcome::kConnectionLost);
    std::vector<std::string> missing;
    for (const MissingPart& m : report.missing)
        missing.push_back(m.what + ": " + m.why);
    EXPECT_EQ(missing,
              (std::vector<std::string>{
                  "Device identification: No connection to device!",
                  "Overview values: No connection to device!", "Parameter set: No connection to device!",
                  "Event log: No connection to device!", "Capture: No connection to device!",
                  "Measurement file /nonexistent/a.nbts: The specified file cannot be "
                  "opened."}));
    const std::string html = WriteReportHtml(report, ChartEmbedding::kInline).html;
    EXPECT_TRUE(std::regex_search(html, std::regex("Capture</td><td>No connection to device!")));
}
