// The sections of one measurement in the report: waveforms, figures, harmonics with limits, the filter's
// effectiveness.
#include "analysis/AnalysisTexts.h"
#include "report/ReportAnalysis.h"
#include "report/ReportHtmlParts.h"
#include "report/ReportTexts.h"
#include "report/SvgChart.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quirel::report {
namespace {

using analysis::LimitCheck;
using analysis::Verdict;

// Channels drawn and tabled together: one quantity (a phase each), or the rest by unit.
struct Group {
    ReportText title;
    std::string unit;
    std::vector<const ReportChannel*> channels;
};

ReportText GroupTitle(ChannelRole::Quantity q) {
    switch (q) {
    case ChannelRole::kMainsVoltage:
        return kVoltages;
    case ChannelRole::kMainsCurrent:
        return kMainsCurrents;
    case ChannelRole::kFilterCurrent:
        return kFilterCurrents;
    case ChannelRole::kLoadCurrent:
        return kLoadCurrents;
    default:
        return kOtherChannels;
    }
}

std::vector<Group> Groups(const ReportMeasurement& m) {
    std::vector<Group> groups;
    for (const ReportChannel& c : m.channels) {
        const ReportText title = GroupTitle(c.role.quantity);
        auto it = std::find_if(groups.begin(), groups.end(),
                               [&](const Group& g) { return g.title == title && g.unit == c.unit; });
        if (it == groups.end())
            it = groups.insert(groups.end(), Group{title, c.unit, {}});
        it->channels.push_back(&c);
    }
    return groups;
}

std::string GroupName(const Group& g) {
    return Text(g.title) + (g.title == kOtherChannels && !g.unit.empty() ? " [" + g.unit + "]" : "");
}

// A derived channel's identifier is a name of the side file (or none, for the report's own): not shown.
std::string ChannelLabel(const ReportChannel& c) {
    return c.derived ? c.name : std::to_string(c.id) + " " + c.name;
}

// In a chart or table of one quantity the phase says which channel it is.
std::string ShortLabel(const ReportChannel& c) {
    return c.role.phase > 0 ? "L" + std::to_string(c.role.phase) : ChannelLabel(c);
}

std::string Colour(const ReportChannel& c, size_t index) {
    return PhaseColour(c.role.phase, index);
}

std::string VerdictWord(Verdict v) {
    return v == Verdict::kPass ? Text(kPass) : v == Verdict::kFail ? Text(kFail) : Text(kNoVerdict);
}

std::string VerdictClass(Verdict v) {
    return v == Verdict::kPass ? "pass" : v == Verdict::kFail ? "fail" : "";
}

std::string Percent(double v) {
    return FormatFixed(v, std::abs(v) < 10.0 ? 2 : 1);
}

void WriteWaveforms(HtmlOut& out, const ReportMeasurement& m, const std::vector<Group>& groups) {
    out.Element("h3", Text(kWaveforms));
    for (const Group& g : groups) {
        LineChart chart;
        chart.xTitle = Text(kTime);
        chart.yTitle = g.unit.empty() ? GroupName(g) : "[" + g.unit + "]";
        for (size_t k = 0; k < g.channels.size(); ++k) {
            const ReportChannel& c = *g.channels[k];
            ChartSeries s{ShortLabel(c), Colour(c, k), {}, c.values};
            for (size_t j = 0; j < c.values.size(); ++j)
                s.x.push_back(m.firstTimeMs + static_cast<double>(j) * m.samplePeriodMs);
            chart.series.push_back(std::move(s));
        }
        out.Chart(DrawLineChart(chart), chart.width, chart.height, GroupName(g));
    }
}

void WriteFigures(HtmlOut& out, const ReportMeasurement& m) {
    out.Element("h3", Text(kFigures));
    out << "<table>\n<thead><tr>";
    out.Element("th", Text(kChannel)).Element("th", Text(kUnit));
    for (ReportText t : {kRms, kPeak, kMean, kFrequency, kThd, kPeriods})
        out.Element("th", Text(t), "class=\"num\"");
    out << "</tr></thead>\n";
    for (const ReportChannel& c : m.channels) {
        const analysis::TraceFigures& f = c.figures;
        out << "<tr>";
        out.Element("td", ChannelLabel(c)).Element("td", c.unit);
        for (const std::string& v :
             {FormatFigure(f.rms), FormatFigure(f.peak), FormatFigure(f.mean), FormatFixed(f.frequencyHz, 3),
              FormatFixed(f.thdPercent, 2), std::to_string(f.periods)})
            out.Element("td", v, "class=\"num\"");
        out << "</tr>\n";
    }
    out << "</table>\n";
    if (m.phases.empty())
        return;
    out << "<table>\n<thead><tr>";
    out.Element("th", Text(kPhase));
    for (ReportText t : {kPhaseAngle, kDpf, kPf, kActivePower, kReactivePower, kApparentPower})
        out.Element("th", Text(t), "class=\"num\"");
    out << "</tr></thead>\n";
    for (const ReportPhase& p : m.phases) {
        const analysis::PairFigures& f = p.figures;
        out << "<tr>";
        out.Element("td", "L" + std::to_string(p.phase));
        for (const std::string& v :
             {FormatFixed(f.phaseDeg, 1), FormatFixed(f.displacementPowerFactor, 3),
              FormatFixed(f.powerFactor, 3), FormatFigure(f.activePowerW / 1000.0),
              FormatFigure(f.reactivePowerVar / 1000.0), FormatFigure(f.apparentPowerVA / 1000.0)})
            out.Element("td", v, "class=\"num\"");
        out << "</tr>\n";
    }
    out << "</table>\n";
}

// The percent of order `order` of a channel: against its limit set's reference where it is checked, of
// its fundamental otherwise.
double OrderPercent(const ReportChannel& c, int order, Verdict* verdict = nullptr) {
    if (c.check) {
        for (const LimitCheck::Order& o : c.check->orders)
            if (o.order == order) {
                if (verdict)
                    *verdict = o.verdict;
                return o.percent;
            }
        return analysis::kNotAvailable;
    }
    for (const analysis::HarmonicRow& h : c.figures.harmonics)
        if (h.order == order)
            return h.percent;
    return analysis::kNotAvailable;
}

// One cell of a harmonic table: the channel's percent, marked where it fails its limit.
struct Cell {
    std::string text;
    bool fail = false;
};

// The cells of one row: the limit, each channel's percent, the row's verdict (with limits).
void WriteCells(HtmlOut& out, const std::string& label, const LimitChoice* limits,
                std::optional<double> limit, const std::vector<Cell>& cells, Verdict verdict) {
    out.Element("td", label, "class=\"num first\"");
    if (limits)
        out.Element("td", limit ? Percent(*limit) : std::string("\xE2\x80\x93"), "class=\"num\"");
    for (const Cell& c : cells)
        out.Element("td", c.text, c.fail ? "class=\"num failcell\"" : "class=\"num\"");
    if (limits)
        out.Element("td", VerdictWord(verdict), "class=\"" + VerdictClass(verdict) + "\"");
}

void WriteHarmonicGroup(HtmlOut& out, const ServiceReport& report, const Group& g) {
    std::vector<const ReportChannel*> channels;
    for (const ReportChannel* c : g.channels)
        if (c->figures.HasFundamental())
            channels.push_back(c);
    if (channels.empty())
        return;
    const LimitChoice* limits = nullptr;
    for (const ReportChannel* c : channels)
        if (c->check && !limits)
            limits = &report.limits[static_cast<size_t>(c->limitIndex)];
    int highest = 0;
    for (const ReportChannel* c : channels)
        highest = std::max(highest, static_cast<int>(c->figures.harmonics.size()));
    out << "<div class=\"keep\">"; // the heading stays with its chart
    out.Element("h4", GroupName(g));
    if (limits) {
        Verdict overall = Verdict::kNone;
        for (const ReportChannel* c : channels)
            if (c->check && (c->check->overall == Verdict::kFail || overall == Verdict::kNone))
                overall = c->check->overall;
        out << "<p>";
        out.Esc(limits->Title() + " \xE2\x80\x93 " + limits->set.table + ": ");
        out.Element("span", VerdictWord(overall), "class=\"" + VerdictClass(overall) + "\"") << "</p>\n";
    }

    BarChart chart;
    chart.xTitle = Text(kHarmonicOrder);
    chart.yTitle = Text(kPercentAxis);
    chart.limitLabel = Text(kLimit);
    for (int order = 2; order <= highest; ++order) {
        chart.categories.push_back(order);
        chart.limit.push_back(limits ? limits->set.LimitPercent(order, limits->column) : std::nullopt);
    }
    for (size_t k = 0; k < channels.size(); ++k) {
        BarGroup bars{ShortLabel(*channels[k]), Colour(*channels[k], k), {}};
        for (int order = 2; order <= highest; ++order)
            bars.values.push_back(OrderPercent(*channels[k], order));
        chart.groups.push_back(std::move(bars));
    }
    const std::string reference = Text(limits && limits->ForCurrents() ? kOfDemandCurrent : kOfFundamental);
    out.Chart(DrawBarChart(chart), chart.width, chart.height, GroupName(g) + ": " + reference);
    out << "</div>\n";

    // The row of an order, or of the distortion (order 0).
    auto row = [&](int order, std::optional<double>& limit, Verdict& verdict) {
        std::vector<Cell> cells;
        verdict = Verdict::kNone;
        limit = limits ? (order == 0 ? limits->set.distortionLimits[static_cast<size_t>(limits->column)]
                                     : limits->set.LimitPercent(order, limits->column))
                       : std::nullopt;
        for (const ReportChannel* c : channels) {
            Verdict v = Verdict::kNone;
            double percent = analysis::kNotAvailable;
            if (order > 0)
                percent = OrderPercent(*c, order, &v);
            else if (c->check)
                percent = c->check->distortionPercent, v = c->check->distortionVerdict;
            else
                percent = c->figures.thdPercent;
            if (v == Verdict::kFail || (v == Verdict::kPass && verdict == Verdict::kNone))
                verdict = v;
            cells.push_back({Percent(percent), v == Verdict::kFail});
        }
        return cells;
    };
    auto head = [&](bool secondHalf) {
        out.Element("th", Text(kOrder), secondHalf ? "class=\"num first\"" : "class=\"num\"");
        if (limits)
            out.Element("th", Text(kLimit), "class=\"num\"");
        for (const ReportChannel* c : channels)
            out.Element("th", ShortLabel(*c), "class=\"num\"");
        if (limits)
            out.Element("th", Text(kVerdict));
    };
    // The fundamental and the distortion, then the orders in two halves side by side: forty rows of a
    // few narrow numbers would run over a page, twenty fit beside the chart's page.
    out << "<table class=\"harmonics\">\n<thead><tr>";
    head(false);
    out << "</tr></thead>\n<tr>";
    std::vector<Cell> fundamentals;
    for (const ReportChannel* c : channels)
        fundamentals.push_back(
            {FormatFigure(c->figures.harmonics.front().amplitude / std::numbers::sqrt2) + " " + c->unit,
             false});
    WriteCells(out, Text(kFundamentalRms), limits, std::nullopt, fundamentals, Verdict::kNone);
    out << "</tr>\n<tr>";
    std::optional<double> limit;
    Verdict verdict;
    std::vector<Cell> distortion = row(0, limit, verdict);
    WriteCells(out, limits ? limits->set.distortionName : std::string("THD"), limits, limit, distortion,
               verdict);
    out << "</tr>\n</table>\n<table class=\"harmonics\">\n<thead><tr>";
    head(false);
    head(true);
    out << "</tr></thead>\n";
    const int orders = highest - 1, half = (orders + 1) / 2;
    for (int r = 0; r < half; ++r) {
        out << "<tr>";
        for (int order : {2 + r, 2 + r + half}) {
            if (order > highest) {
                out << "<td class=\"first\" colspan=\"" << std::to_string(channels.size() + (limits ? 3 : 1))
                    << "\"></td>";
                continue;
            }
            std::vector<Cell> cells = row(order, limit, verdict);
            WriteCells(out, std::to_string(order), limits, limit, cells, verdict);
        }
        out << "</tr>\n";
    }
    out << "</table>\n";
    if (limits)
        out.Element("p", analysis::IndicativeNoteText() + " " + limits->set.notes, "class=\"note\"");
}

void WriteEffectiveness(HtmlOut& out, const ReportMeasurement& m) {
    if (m.effectiveness.empty())
        return;
    out.Element("h3", Text(kEffectiveness));
    // The phases at a glance, then each phase's orders.
    out << "<table>\n<thead><tr>";
    out.Element("th", Text(kPhase));
    for (const std::string& t :
         {Text(kLoadBefore) + ": THD [%]", Text(kMainsAfter) + ": THD [%]",
          Text(kLoadBefore) + ": " + Text(kRms) + " [A]", Text(kMainsAfter) + ": " + Text(kRms) + " [A]"})
        out.Element("th", t, "class=\"num\"");
    out << "</tr></thead>\n";
    for (const ReportEffectiveness& e : m.effectiveness) {
        out << "<tr>";
        out.Element("td", "L" + std::to_string(e.phase));
        for (const std::string& v :
             {FormatFixed(e.figures.before.thdPercent, 1), FormatFixed(e.figures.after.thdPercent, 1),
              FormatFigure(e.figures.before.rms), FormatFigure(e.figures.after.rms)})
            out.Element("td", v, "class=\"num\"");
        out << "</tr>\n";
    }
    out << "</table>\n";
    for (const ReportEffectiveness& e : m.effectiveness) {
        const analysis::Effectiveness& f = e.figures;
        if (!f.before.HasFundamental())
            continue;
        out << "<div class=\"keep\">";
        out.Element("h4", Text(kPhase) + " L" + std::to_string(e.phase));
        int highest = 13;
        for (const analysis::Effectiveness::Order& o : f.orders)
            if (o.significant)
                highest = std::max(highest, o.order);
        BarChart chart;
        chart.height = 180;
        chart.xTitle = Text(kHarmonicOrder);
        chart.yTitle = Text(kHarmonicCurrent);
        BarGroup before{Text(kLoadBefore), "#d9822b", {}}, after{Text(kMainsAfter), "#1f6fb2", {}};
        for (const analysis::Effectiveness::Order& o : f.orders) {
            if (o.order > highest)
                break;
            chart.categories.push_back(o.order);
            before.values.push_back(o.before / std::numbers::sqrt2);
            after.values.push_back(o.after / std::numbers::sqrt2);
        }
        chart.groups = {before, after};
        out.Chart(DrawBarChart(chart), chart.width, chart.height,
                  Text(kThdSummary, {std::to_string(e.phase), FormatFixed(f.before.thdPercent, 1),
                                     FormatFixed(f.after.thdPercent, 1)}));
        out << "</div>\n<table>\n<thead><tr>";
        out.Element("th", Text(kOrder), "class=\"num\"");
        for (const std::string& t :
             {Text(kLoadBefore) + " [A]", Text(kMainsAfter) + " [A]", Text(kReduction) + " [%]"})
            out.Element("th", t, "class=\"num\"");
        out << "</tr></thead>\n";
        for (const analysis::Effectiveness::Order& o : f.orders) {
            if (!o.significant)
                continue;
            out << "<tr>";
            for (const std::string& v :
                 {std::to_string(o.order), FormatFigure(o.before / std::numbers::sqrt2, 3),
                  FormatFigure(o.after / std::numbers::sqrt2, 3), FormatFixed(o.reductionPercent, 1)})
                out.Element("td", v, "class=\"num\"");
            out << "</tr>\n";
        }
        out << "</table>\n";
    }
    out.Element("p", Text(kSmallOrdersLeftOut), "class=\"note\"");
}

} // namespace

void WriteMeasurementSummary(HtmlOut& out, const ServiceReport& report, const ReportMeasurement& m,
                             int number) {
    out.Element("h3", Text(kSeeMeasurement, {std::to_string(number)}) + ": " + m.title);
    out << "<table>\n";
    for (size_t l = 0; l < report.limits.size(); ++l) {
        std::string checked;
        Verdict overall = Verdict::kNone;
        double worst = analysis::kNotAvailable;
        for (const ReportChannel& c : m.channels) {
            if (!c.check || c.limitIndex != static_cast<int>(l))
                continue;
            checked += (checked.empty() ? Text(GroupTitle(c.role.quantity)) + " " : ", ") + ShortLabel(c);
            if (c.check->overall == Verdict::kFail || overall == Verdict::kNone)
                overall = c.check->overall;
            if (!(worst >= c.check->distortionPercent))
                worst = c.check->distortionPercent;
        }
        if (checked.empty())
            continue;
        const LimitChoice& choice = report.limits[l];
        const std::optional<double> limit = choice.set.distortionLimits[static_cast<size_t>(choice.column)];
        out << "<tr>";
        out.Element("td", choice.Title());
        out.Element("td", checked + ": " + choice.set.distortionName + " " + Percent(worst) + " %" +
                              (limit ? " (" + Text(kLimit) + " " + Percent(*limit) + " %)" : std::string()));
        out.Element("td", VerdictWord(overall), "class=\"verdict " + VerdictClass(overall) + "\"")
            << "</tr>\n";
    }
    for (const ReportEffectiveness& e : m.effectiveness) {
        out << "<tr>";
        out.Element("td", Text(kEffectiveness));
        out.Element("td",
                    Text(kThdSummary, {std::to_string(e.phase), FormatFixed(e.figures.before.thdPercent, 1),
                                       FormatFixed(e.figures.after.thdPercent, 1)}),
                    "colspan=\"2\"");
        out << "</tr>\n";
    }
    out << "</table>\n";
}

void WriteMeasurementHtml(HtmlOut& out, const ServiceReport& report, const ReportMeasurement& m, int number) {
    out << "<section class=\"page\">\n";
    out.Element("h2", Text(kSeeMeasurement, {std::to_string(number)}) + ": " + m.title);
    size_t values = 0;
    for (const ReportChannel& c : m.channels)
        values = std::max(values, c.values.size());
    std::string meta =
        m.start + " \xC2\xB7 " + Text(kSampleRate) + " " + FormatFigure(m.sampleRateHz, 5) + " Hz \xC2\xB7 " +
        Text(kSamples,
             {std::to_string(values), FormatFigure(static_cast<double>(values) * m.samplePeriodMs, 4)});
    out.Element("p", meta);
    // "Trigger:" and its settings on one line.
    std::string trigger;
    for (size_t k = 0; k < m.triggerLines.size(); ++k)
        trigger += (k == 0 ? "" : k == 1 ? " " : ", ") + m.triggerLines[k];
    out.Element("p", trigger, "class=\"note\"");
    if (!m.source.empty())
        out.Element("p", m.source, "class=\"note\"");
    for (const std::string& note : m.notes)
        out.Element("p", note, "class=\"note\"");
    const std::vector<Group> groups = Groups(m);
    WriteWaveforms(out, m, groups);
    WriteFigures(out, m);
    out.Element("h3", Text(kHarmonics));
    for (const Group& g : groups)
        if (g.title != kFilterCurrents)
            WriteHarmonicGroup(out, report, g);
    WriteEffectiveness(out, m);
    out << "</section>\n";
}

} // namespace quirel::report
