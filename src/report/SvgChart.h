#pragma once

#include <optional>
#include <string>
#include <vector>

// The report's charts as SVG text of our own drawing: presentation attributes only (no style sheet, no
// script, nothing outside), within what SVG Tiny 1.2 renderers draw, so a browser shows them inline and
// Qt's renderer draws the same text for printing.
namespace quirel::report {

struct ChartSeries {
    std::string label, colour;
    std::vector<double> x, y;
};

// Waveforms over time.
struct LineChart {
    int width = 720, height = 200;
    std::string xTitle, yTitle;
    std::vector<ChartSeries> series;
};

struct BarGroup {
    std::string label, colour;
    std::vector<double> values; // one per category; NaN draws none
};

// Harmonic orders side by side, with a limit drawn as a step line over them where one is given.
struct BarChart {
    int width = 720, height = 210;
    std::string xTitle, yTitle, limitLabel;
    std::vector<int> categories;
    std::vector<BarGroup> groups;
    std::vector<std::optional<double>> limit; // per category, or empty
};

std::string DrawLineChart(const LineChart& chart);
std::string DrawBarChart(const BarChart& chart);

// A colour per phase (IEC 60445 conductor colours, L1 brown, L2 black, L3 grey), and a palette for the rest.
std::string PhaseColour(int phase, size_t index);

} // namespace quirel::report
