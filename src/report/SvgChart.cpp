#include "report/SvgChart.h"

#include "base/DecimalNumber.h"
#include "report/Markup.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace quirel::report {
namespace {

constexpr int kLeft = 58, kRight = 14, kBottom = 36, kLegendRow = 18;
constexpr double kCharWidth = 6.2; // of the 11 px labels, for laying out the legend
const char* const kFont = "font-family=\"Liberation Sans, Arial, Helvetica, sans-serif\"";
const char* const kGrid = "#e1e5ea";
const char* const kAxis = "#5b6570";
const char* const kInk = "#2b3138";

// Coordinates with a decimal point whatever locale the process runs in (a Qt program sets the user's).
std::string Num(double v) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, std::round(v * 10.0) / 10.0,
                                 std::chars_format::fixed, 1);
    return std::string(buffer, r.ptr);
}

struct Axis {
    double low = 0.0, high = 1.0, step = 0.2;
    int decimals = 0;
};

// Round steps of 1, 2, 2.5 or 5 times a power of ten, about `ticks` of them over the range.
Axis NiceAxis(double low, double high, int ticks, bool includeZero) {
    if (includeZero) {
        low = std::min(low, 0.0);
        high = std::max(high, 0.0);
    }
    if (!(high > low)) {
        const double pad = std::abs(high) > 0.0 ? std::abs(high) * 0.1 : 1.0;
        low -= pad;
        high += pad;
    }
    const double raw = (high - low) / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    Axis a;
    a.step = step;
    a.low = std::floor(low / step + 1e-9) * step;
    a.high = std::ceil(high / step - 1e-9) * step;
    const double digits = -std::floor(std::log10(step) + 1e-9);
    a.decimals = std::max(0, static_cast<int>(digits) + (std::abs(step / power - 2.5) < 1e-9 ? 1 : 0));
    return a;
}

std::string Label(double v, int decimals) {
    std::string text = formatDecimalComma(std::abs(v) < 1e-12 ? 0.0 : v, decimals);
    return text;
}

class Svg {
public:
    Svg(int width, int height) : m_width(width), m_height(height) {
        m_text = "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.2\" baseProfile=\"tiny\" width=\"" +
                 std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
                 std::to_string(width) + " " + std::to_string(height) + "\">\n";
        Rect(0, 0, width, height, "#ffffff");
    }
    void Rect(double x, double y, double w, double h, const std::string& fill) {
        m_text += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(w) + "\" height=\"" +
                  Num(h) + "\" fill=\"" + fill + "\"/>\n";
    }
    void Line(double x1, double y1, double x2, double y2, const std::string& stroke, double width = 1.0,
              const char* dash = nullptr) {
        m_text += "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" +
                  Num(y2) + "\" stroke=\"" + stroke + "\" stroke-width=\"" + Num(width) + "\"" +
                  (dash ? std::string(" stroke-dasharray=\"") + dash + "\"" : "") + "/>\n";
    }
    void Polyline(const std::vector<std::pair<double, double>>& points, const std::string& stroke,
                  double width, const char* dash = nullptr) {
        if (points.empty())
            return;
        m_text += "<polyline fill=\"none\" stroke=\"" + stroke + "\" stroke-width=\"" + Num(width) +
                  "\" stroke-linejoin=\"round\"" +
                  (dash ? std::string(" stroke-dasharray=\"") + dash + "\"" : "") + " points=\"";
        for (const auto& [x, y] : points)
            m_text += Num(x) + "," + Num(y) + " ";
        m_text.back() = '"';
        m_text += "/>\n";
    }
    void Text(double x, double y, const std::string& text, const char* anchor = "start", int size = 11,
              const char* fill = kInk, bool bold = false, bool vertical = false) {
        m_text += "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" " + kFont + " font-size=\"" +
                  std::to_string(size) + "\" fill=\"" + fill + "\" text-anchor=\"" + anchor + "\"" +
                  (bold ? " font-weight=\"bold\"" : "") +
                  (vertical ? " transform=\"rotate(-90 " + Num(x) + " " + Num(y) + ")\"" : "") + ">" +
                  EscapeMarkup(text) + "</text>\n";
    }
    // Swatches and labels in rows from the top left; returns the height used.
    int Legend(const std::vector<std::pair<std::string, std::string>>& entries,
               const std::string& dashed = {}) {
        double x = kLeft;
        int rows = entries.empty() && dashed.empty() ? 0 : 1;
        auto place = [&](const std::string& label) {
            const double w = 22 + kCharWidth * static_cast<double>(label.size()) + 16;
            if (x + w > m_width - kRight && x > kLeft) {
                x = kLeft;
                ++rows;
            }
            const double y = 6 + (rows - 1) * kLegendRow;
            const double at = x;
            x += w;
            return std::pair{at, y};
        };
        for (const auto& [label, colour] : entries) {
            const auto [at, y] = place(label);
            Rect(at, y + 2, 14, 8, colour);
            Text(at + 20, y + 10, label);
        }
        if (!dashed.empty()) {
            const auto [at, y] = place(dashed);
            Line(at, y + 6, at + 14, y + 6, "#c0392b", 2.0, "5,3");
            Text(at + 20, y + 10, dashed);
        }
        return rows * kLegendRow + 6;
    }
    // Horizontal grid and value labels of the y axis over [top, bottom].
    void YAxis(const Axis& a, double top, double bottom, const std::string& title) {
        const double span = a.high - a.low;
        for (double v = a.low; v <= a.high + a.step * 1e-6; v += a.step) {
            const double y = bottom - (v - a.low) / span * (bottom - top);
            Line(kLeft, y, m_width - kRight, y, std::abs(v) < a.step * 1e-6 ? "#9aa3ad" : kGrid);
            Text(kLeft - 5, y + 4, Label(v, a.decimals), "end", 10, kAxis);
        }
        Text(13, (top + bottom) / 2, title, "middle", 11, kAxis, false, true);
    }
    std::string Finish() { return m_text + "</svg>\n"; }
    int Width() const { return m_width; }

private:
    int m_width, m_height;
    std::string m_text;
};

} // namespace

std::string PhaseColour(int phase, size_t index) {
    static const char* const kPhases[] = {"#8b4a1c", "#1d1f22", "#8a8f96"};
    static const char* const kPalette[] = {"#1f6fb2", "#d9822b", "#2e8b57", "#8e44ad", "#c0392b", "#16a2b8"};
    if (phase >= 1 && phase <= 3)
        return kPhases[phase - 1];
    return kPalette[index % std::size(kPalette)];
}

std::string DrawLineChart(const LineChart& chart) {
    Svg svg(chart.width, chart.height);
    std::vector<std::pair<std::string, std::string>> legend;
    double xMin = std::numeric_limits<double>::infinity(), xMax = -xMin, yMin = xMin, yMax = -xMin;
    for (const ChartSeries& s : chart.series) {
        legend.emplace_back(s.label, s.colour);
        for (size_t k = 0; k < s.x.size() && k < s.y.size(); ++k) {
            xMin = std::min(xMin, s.x[k]);
            xMax = std::max(xMax, s.x[k]);
            yMin = std::min(yMin, s.y[k]);
            yMax = std::max(yMax, s.y[k]);
        }
    }
    const double top = svg.Legend(legend) + 4.0, bottom = chart.height - kBottom;
    const double left = kLeft, right = chart.width - kRight;
    if (!(xMax >= xMin)) {
        xMin = 0.0;
        xMax = 1.0;
        yMin = -1.0;
        yMax = 1.0;
    }
    const Axis ya = NiceAxis(yMin, yMax, 5, false);
    svg.YAxis(ya, top, bottom, chart.yTitle);
    if (xMax == xMin)
        xMax = xMin + 1.0;
    const Axis xa = NiceAxis(xMin, xMax, 8, false);
    auto px = [&](double x) { return left + (x - xMin) / (xMax - xMin) * (right - left); };
    auto py = [&](double y) { return bottom - (y - ya.low) / (ya.high - ya.low) * (bottom - top); };
    for (double v = xa.low; v <= xa.high + xa.step * 1e-6; v += xa.step) {
        if (v < xMin - xa.step * 1e-6 || v > xMax + xa.step * 1e-6)
            continue;
        svg.Line(px(v), top, px(v), bottom, kGrid);
        svg.Text(px(v), bottom + 14, Label(v, xa.decimals), "middle", 10, kAxis);
    }
    svg.Line(left, bottom, right, bottom, kAxis);
    svg.Text((left + right) / 2, chart.height - 6, chart.xTitle, "middle", 11, kAxis);
    const auto columns = static_cast<size_t>(right - left);
    for (const ChartSeries& s : chart.series) {
        const size_t n = std::min(s.x.size(), s.y.size());
        std::vector<std::pair<double, double>> points;
        // More values than pixel columns: each column's first, lowest and highest value keep the envelope.
        const size_t per = std::max<size_t>(1, n / (2 * columns));
        for (size_t k = 0; k < n; k += per) {
            const size_t end = std::min(n, k + per);
            if (per == 1) {
                points.emplace_back(px(s.x[k]), py(s.y[k]));
                continue;
            }
            const auto [lo, hi] =
                std::minmax_element(s.y.begin() + static_cast<long>(k), s.y.begin() + static_cast<long>(end));
            const bool lowFirst = lo < hi;
            points.emplace_back(px(s.x[k]), py(lowFirst ? *lo : *hi));
            points.emplace_back(px(s.x[end - 1]), py(lowFirst ? *hi : *lo));
        }
        svg.Polyline(points, s.colour, 1.4);
    }
    return svg.Finish();
}

std::string DrawBarChart(const BarChart& chart) {
    Svg svg(chart.width, chart.height);
    std::vector<std::pair<std::string, std::string>> legend;
    double high = 0.0;
    for (const BarGroup& g : chart.groups) {
        legend.emplace_back(g.label, g.colour);
        for (double v : g.values)
            if (std::isfinite(v))
                high = std::max(high, v);
    }
    bool anyLimit = false;
    for (const std::optional<double>& l : chart.limit)
        if (l) {
            anyLimit = true;
            high = std::max(high, *l);
        }
    const double top = svg.Legend(legend, anyLimit ? chart.limitLabel : std::string()) + 4.0;
    const double bottom = chart.height - kBottom, left = kLeft, right = chart.width - kRight;
    const Axis ya = NiceAxis(0.0, high > 0.0 ? high * 1.05 : 1.0, 5, true);
    svg.YAxis(ya, top, bottom, chart.yTitle);
    auto py = [&](double y) { return bottom - (y - ya.low) / (ya.high - ya.low) * (bottom - top); };
    const size_t n = chart.categories.size();
    if (n == 0)
        return svg.Finish();
    const double slot = (right - left) / static_cast<double>(n);
    const double groups = static_cast<double>(std::max<size_t>(1, chart.groups.size()));
    const double barWidth = std::max(1.0, slot * 0.8 / groups);
    const bool everyLabel = slot >= 14.0;
    for (size_t c = 0; c < n; ++c) {
        const double x0 = left + slot * static_cast<double>(c);
        for (size_t g = 0; g < chart.groups.size(); ++g) {
            const std::vector<double>& values = chart.groups[g].values;
            if (c >= values.size() || !std::isfinite(values[c]) || values[c] <= 0.0)
                continue;
            const double x = x0 + slot * 0.1 + barWidth * static_cast<double>(g);
            svg.Rect(x, py(std::min(values[c], ya.high)), barWidth, bottom - py(std::min(values[c], ya.high)),
                     chart.groups[g].colour);
        }
        if (everyLabel || chart.categories[c] % 2 == 1)
            svg.Text(x0 + slot / 2, bottom + 14, std::to_string(chart.categories[c]), "middle", 10, kAxis);
    }
    svg.Line(left, bottom, right, bottom, kAxis);
    svg.Text((left + right) / 2, chart.height - 6, chart.xTitle, "middle", 11, kAxis);
    // The limit as steps: flat over each order's slot, joined where it changes, gaps where there is none.
    std::vector<std::pair<double, double>> run;
    auto flush = [&] {
        svg.Polyline(run, "#c0392b", 1.8, "5,3");
        run.clear();
    };
    for (size_t c = 0; c < n && c < chart.limit.size(); ++c) {
        if (!chart.limit[c]) {
            flush();
            continue;
        }
        const double x0 = left + slot * static_cast<double>(c), y = py(*chart.limit[c]);
        run.emplace_back(x0, y);
        run.emplace_back(x0 + slot, y);
    }
    flush();
    return svg.Finish();
}

} // namespace quirel::report
