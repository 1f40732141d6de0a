#pragma once

#include "report/ServiceReport.h"

#include <string>
#include <vector>

namespace quirel::report {

// How the charts go into the HTML. One layout, two embeddings: inline <svg> for a browser, or
// <img src="NAME"> with the SVG texts handed out beside it for a renderer that cannot draw inline SVG
// (Qt's text document draws images registered under a name).
enum class ChartEmbedding { kInline, kImages };

struct ReportChart {
    std::string name; // as the <img> refers to it: "chart1.svg"
    std::string svg;
    int width = 0, height = 0;
};

struct ReportDocument {
    std::string html;                // UTF-8, one self-contained page: no script, nothing from outside
    std::vector<ReportChart> charts; // filled with kImages only
};

// The report as one HTML page, printable on A4, in the user-interface language. Every text that came from
// a device or a file is escaped.
ReportDocument WriteReportHtml(const ServiceReport& report, ChartEmbedding embedding);

} // namespace quirel::report
