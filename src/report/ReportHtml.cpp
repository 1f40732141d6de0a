#include "report/ReportHtml.h"

#include "analysis/AnalysisTexts.h"
#include "base/StringTable.h"
#include "report/ReportHtmlParts.h"
#include "report/ReportTexts.h"

#include <algorithm>
#include <filesystem>

namespace quirel::report {
namespace {

// Screen: a sheet on a grey desk. Print: A4, each main part on a page of its own, no table row or chart
// split across pages, table heads repeated.
const char kStyle[] = R"(
@page { size: A4; margin: 14mm 13mm 15mm 13mm; }
html { background: #e9edf1; }
body { font-family: "Liberation Sans", Arial, Helvetica, sans-serif; font-size: 10pt; line-height: 1.35;
  color: #1f262d; background: #ffffff; max-width: 186mm; margin: 8mm auto; padding: 12mm 14mm; }
header { border-bottom: 3pt solid #0f3d66; padding-bottom: 6pt; margin-bottom: 10pt; }
h1 { font-size: 21pt; margin: 0; color: #0f3d66; }
.subtitle { font-size: 11.5pt; color: #3d4750; margin: 3pt 0 0; }
h2 { font-size: 14pt; color: #0f3d66; border-bottom: 1pt solid #9fb3c8; padding-bottom: 2pt; margin: 14pt 0 6pt; }
h3 { font-size: 11.5pt; color: #0f3d66; margin: 12pt 0 4pt; }
h4 { font-size: 10pt; margin: 8pt 0 2pt; }
h2, h3, h4 { page-break-after: avoid; break-after: avoid; }
p { margin: 3pt 0 6pt; }
table { border-collapse: collapse; width: 100%; margin: 3pt 0 8pt; }
th, td { text-align: left; padding: 2.5pt 5pt; border-bottom: 0.6pt solid #d3dae1; vertical-align: top; }
th { background: #e6edf4; color: #173a5c; font-weight: bold; }
th.num, td.num { text-align: right; }
td.num { white-space: nowrap; }
tr { page-break-inside: avoid; break-inside: avoid; }
thead { display: table-header-group; }
table.facts th { background: none; color: #56606b; font-weight: normal; width: 30%; }
table.facts td { font-weight: bold; }
.pass { color: #1e7b34; font-weight: bold; }
.fail { color: #b3261e; font-weight: bold; }
td.verdict { text-align: center; text-transform: uppercase; width: 16%; }
td.verdict.pass { background: #dcefe0; } td.verdict.fail { background: #fbe1de; }
td.failcell { background: #fbe1de; color: #b3261e; font-weight: bold; }
table.harmonics { width: auto; min-width: 60%; }
table.harmonics th.first, table.harmonics td.first { border-left: 1.2pt solid #9fb3c8; }
table.harmonics tr > :first-child { border-left: none; }
table.params { table-layout: fixed; }
table.params col.mark { width: 4%; } table.params col.id { width: 8%; } table.params col.name { width: 38%; }
table.params col.value { width: 22%; } table.params col.unit { width: 9%; } table.params col.factory { width: 19%; }
tr.changed td { background: #fff4d6; }
tr.error td { color: #b3261e; }
.mark { color: #b26a00; font-weight: bold; }
.note { color: #56606b; font-size: 8.5pt; }
.box { border: 1pt solid #9fb3c8; background: #f4f7fa; padding: 5pt 8pt; margin: 6pt 0 10pt; }
.missing { border-color: #d08a00; background: #fff6e0; }
figure, .keep { page-break-inside: avoid; break-inside: avoid; }
figure { margin: 4pt 0 10pt; }
figure svg, figure img { display: block; width: 100%; height: auto; }
figcaption { font-size: 8.5pt; color: #56606b; margin-top: 1pt; }
section.page { page-break-before: always; break-before: page; }
@media print {
  html { background: none; }
  body { max-width: none; margin: 0; padding: 0; font-size: 9pt; }
}
)";

std::string CellClass(bool number) {
    return number ? " class=\"num\"" : "";
}

void Head(HtmlOut& out, std::initializer_list<std::pair<std::string, bool>> columns) {
    out << "<thead><tr>";
    for (const auto& [title, number] : columns)
        out.Element("th", title, number ? "class=\"num\"" : "");
    out << "</tr></thead>\n";
}

void Row(HtmlOut& out, std::initializer_list<std::pair<std::string, bool>> cells,
         std::string_view attrs = {}) {
    out << "<tr" << (attrs.empty() ? "" : " ") << attrs << ">";
    for (const auto& [text, number] : cells)
        out << "<td" << CellClass(number) << ">" << EscapeMarkup(text) << "</td>";
    out << "</tr>\n";
}

std::string DeviceLine(const ServiceReport& r) {
    if (!r.device)
        return std::string();
    std::string line = r.device->vendorName;
    for (const std::string* part : {&r.device->productCode, &r.device->revision})
        if (!part->empty())
            line += (line.empty() ? "" : " \xC2\xB7 ") + *part;
    return line;
}

void WriteFacts(HtmlOut& out, const ServiceReport& r) {
    out << "<table class=\"facts\">\n";
    Row(out, {{Text(kCreated), false}, {r.createdAt, false}});
    Row(out, {{Text(kConnection), false}, {r.connection.empty() ? Text(kNoDevice) : r.connection, false}});
    if (r.device) {
        Row(out, {{Text(kVendor), false}, {r.device->vendorName, false}});
        Row(out, {{Text(kProduct), false}, {r.device->productCode, false}});
        Row(out, {{Text(kRevision), false}, {r.device->revision, false}});
    }
    if (!r.catalogueRevision.empty() || !r.cataloguePath.empty()) {
        std::string revision = r.catalogueRevision;
        if (r.device)
            revision += " (" +
                        Text(r.device->revision == r.catalogueRevision ? kSameAsDevice : kDiffersFromDevice) +
                        ")";
        Row(out, {{Text(kCatalogueRevision), false}, {revision, false}});
        // Its name tells the demo, the installed and a downloaded catalogue apart; the folder is the PC's.
        Row(out, {{Text(kCatalogueFile), false},
                  {std::filesystem::path(r.cataloguePath).filename().string(), false}});
    }
    out << "</table>\n";
}

void WriteSummary(HtmlOut& out, const ServiceReport& r) {
    out << "<section>\n";
    out.Element("h2", Text(kSummary));
    WriteFacts(out, r);
    for (size_t k = 0; k < r.measurements.size(); ++k)
        WriteMeasurementSummary(out, r, r.measurements[k], static_cast<int>(k) + 1);
    if (!r.measurements.empty())
        out.Element("p", r.limits.empty() ? Text(kNoLimitsChosen) : analysis::IndicativeNoteText(),
                    "class=\"note\"");
    if (r.missing.empty()) {
        out.Element("p", Text(kNothingMissing), "class=\"box\"");
    } else {
        out << "<p class=\"box missing\"><a href=\"#missing\">"
            << EscapeMarkup(Text(kPartsMissing, {std::to_string(r.missing.size())})) << "</a></p>\n";
    }
    out << "</section>\n";
}

void WriteOverview(HtmlOut& out, const ServiceReport& r) {
    if (r.overview.empty())
        return;
    out << "<section class=\"page\">\n";
    out.Element("h2", Text(kOverview));
    out << "<table>\n";
    Head(out, {{Text(kChannel), false}, {Text(kValue), true}, {Text(kChannel), false}, {Text(kValue), true}});
    // Two values a row: the overview's thirty-odd values on half the paper.
    const size_t half = (r.overview.size() + 1) / 2;
    auto cells = [](const ReportValue& v) {
        return std::pair{v.name, v.read ? v.text + (v.unit.empty() ? "" : " " + v.unit)
                                        : std::string("\xE2\x80\x93")};
    };
    for (size_t k = 0; k < half; ++k) {
        const auto [n1, v1] = cells(r.overview[k]);
        std::pair<std::string, std::string> second;
        if (k + half < r.overview.size())
            second = cells(r.overview[k + half]);
        Row(out, {{n1, false}, {v1, true}, {second.first, false}, {second.second, true}});
    }
    out << "</table>\n</section>\n";
}

void WriteEvents(HtmlOut& out, const ServiceReport& r) {
    if (!r.eventsRead)
        return;
    out << "<section>\n"; // after the overview's half page
    out.Element("h2", Text(kEventLog));
    if (r.events.empty()) {
        out.Element("p", Text(kNoEvents));
    } else {
        out << "<table>\n";
        Head(out, {{Text(kKind), false},
                   {Text(kDate), false},
                   {Text(kTimeOfDay), false},
                   {Text(kDescription), false},
                   {Text(kOperatingHours), true}});
        for (const EventLogRow& e : r.events)
            Row(out,
                {{e.kindText, false},
                 {e.date, false},
                 {e.time, false},
                 {e.description, false},
                 {e.hours, true}},
                e.kind == EventKind::Error ? "class=\"error\"" : "");
        out << "</table>\n";
    }
    out << "</section>\n";
}

void WriteParameters(HtmlOut& out, const ServiceReport& r) {
    if (r.parameters.empty())
        return;
    out << "<section class=\"page\">\n";
    out.Element("h2", Text(kParameterSet));
    const auto changed = std::count_if(r.parameters.begin(), r.parameters.end(),
                                       [](const ReportParameter& p) { return p.changed; });
    out << "<p><span class=\"mark\">\xE2\x97\x8F</span> "
        << EscapeMarkup(Text(kChangedMark, {std::to_string(changed)})) << "</p>\n";
    std::string section;
    for (const ReportParameter& p : r.parameters) {
        if (p.section != section) {
            if (!section.empty())
                out << "</table>\n";
            section = p.section;
            out.Element("h3", section);
            out << "<table class=\"params\"><col class=\"mark\"><col class=\"id\"><col class=\"name\">"
                   "<col class=\"value\"><col class=\"unit\"><col class=\"factory\">\n";
            Head(out, {{"", false},
                       {"ID", true},
                       {Text(kChannel), false},
                       {Text(kValue), true},
                       {Text(kUnit), false},
                       {Text(kFactoryValue), true}});
        }
        out << "<tr"
            << (p.changed ? " class=\"changed\""
                : !p.read ? " class=\"error\""
                          : "")
            << "><td class=\"mark\">" << (p.changed ? "\xE2\x97\x8F" : "") << "</td>";
        out.Element("td", std::to_string(p.id), "class=\"num\"").Element("td", p.name);
        out.Element("td", p.read ? p.text : std::string("-error-"), "class=\"num\"").Element("td", p.unit);
        out.Element("td", p.defaultText, "class=\"num\"") << "</tr>\n";
    }
    out << "</table>\n</section>\n";
}

void WriteMissing(HtmlOut& out, const ServiceReport& r) {
    out << "<section id=\"missing\">\n";
    out.Element("h2", Text(kMissing));
    if (r.missing.empty()) {
        out.Element("p", Text(kNothingMissing));
    } else {
        out << "<table>\n";
        Head(out, {{Text(kWhat), false}, {Text(kWhy), false}});
        for (const MissingPart& m : r.missing)
            Row(out, {{m.what, false}, {m.why, false}});
        out << "</table>\n";
    }
    out << "</section>\n";
}

} // namespace

ReportDocument WriteReportHtml(const ServiceReport& r, ChartEmbedding embedding) {
    HtmlOut out(embedding);
    const std::string device = DeviceLine(r);
    out << "<!DOCTYPE html>\n<html lang=\"" << (uiLanguage() == kLanguageGerman ? "de" : "en")
        << "\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
        << EscapeMarkup(Text(kTitle) + (device.empty() ? "" : " \xE2\x80\x93 " + device) + " \xE2\x80\x93 " +
                        r.createdAt)
        << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n<header>\n";
    out.Element("h1", Text(kTitle)) << "\n";
    out.Element("p", device.empty() ? r.createdAt : device + " \xC2\xB7 " + r.createdAt, "class=\"subtitle\"")
        << "\n";
    out << "</header>\n";
    WriteSummary(out, r);
    for (size_t k = 0; k < r.measurements.size(); ++k)
        WriteMeasurementHtml(out, r, r.measurements[k], static_cast<int>(k) + 1);
    WriteOverview(out, r);
    WriteEvents(out, r);
    WriteParameters(out, r);
    WriteMissing(out, r);
    out << "</body>\n</html>\n";
    return out.Take();
}

} // namespace quirel::report
