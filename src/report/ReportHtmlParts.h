#pragma once

#include "report/Markup.h"
#include "report/ReportHtml.h"

#include <string>
#include <string_view>

// Pieces the report's HTML is written with, shared by its files.
namespace quirel::report {

class HtmlOut {
public:
    explicit HtmlOut(ChartEmbedding embedding) : m_embedding(embedding) {}

    // Markup as it stands.
    HtmlOut& operator<<(std::string_view markup) {
        m_html += markup;
        return *this;
    }
    // Text, escaped.
    HtmlOut& Esc(std::string_view text) {
        m_html += EscapeMarkup(text);
        return *this;
    }
    // <tag attrs>text</tag>, the text escaped.
    HtmlOut& Element(std::string_view tag, std::string_view text, std::string_view attrs = {}) {
        m_html.append("<").append(tag);
        if (!attrs.empty())
            m_html.append(" ").append(attrs);
        m_html.append(">").append(EscapeMarkup(text)).append("</").append(tag).append(">");
        return *this;
    }
    // A figure holding one chart, inline or as a named image.
    void Chart(const std::string& svg, int width, int height, std::string_view caption) {
        m_html += "<figure>";
        if (m_embedding == ChartEmbedding::kInline) {
            m_html += svg;
        } else {
            ReportChart chart{"chart" + std::to_string(m_charts.size() + 1) + ".svg", svg, width, height};
            m_html += "<img src=\"" + chart.name + "\" width=\"" + std::to_string(width) + "\" height=\"" +
                      std::to_string(height) + "\" alt=\"" + EscapeMarkup(caption) + "\">";
            m_charts.push_back(std::move(chart));
        }
        if (!caption.empty())
            Element("figcaption", caption);
        m_html += "</figure>\n";
    }

    ReportDocument Take() { return {std::move(m_html), std::move(m_charts)}; }

private:
    ChartEmbedding m_embedding;
    std::string m_html;
    std::vector<ReportChart> m_charts;
};

// The sections of one measurement.
void WriteMeasurementHtml(HtmlOut& out, const ServiceReport& report, const ReportMeasurement& m, int number);
// The summary's lines of one measurement: a verdict per limit set, the currents' THD with and without the
// filter.
void WriteMeasurementSummary(HtmlOut& out, const ServiceReport& report, const ReportMeasurement& m,
                             int number);

} // namespace quirel::report
