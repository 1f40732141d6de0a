// Appending one sample to each of ten channels and showing it, with the whole time range in view:
// 10 x 10 000 values against 10 x 1 000 000. The chart takes over only the new values and draws the
// min/max per pixel column, so the cost must not grow with the recording. Prints the median time for
// 1 000 000 values (goal under 20 ms), then the ratio of the two medians (goal at most 2.0), then the
// 1 000 000 case against a bare QCustomPlot of the same size redrawing ten graphs that hold exactly the
// points the chart draws (goal at most 1.5). The rounds of the three take turns.
#include "ChartBench.h"

#include "ui/measurement/MeasurementChart.h"

#include <cstdio>

namespace {

// A plain QCustomPlot with QCustomPlot's defaults (antialiased lines of one pixel), holding the points
// the chart draws and showing its ranges.
std::unique_ptr<QCustomPlot> BareCopy(CMeasurementChart& chart) {
    auto bare = std::make_unique<QCustomPlot>();
    bare->resize(chart.size());
    for (int i = 0; i < chart.graphCount(); ++i) {
        QCPGraph* g = bare->addGraph();
        g->setPen(chart.graph(i)->pen().color());
        g->data()->set(*chart.graph(i)->data());
    }
    bare->xAxis->setRange(chart.xAxis->range());
    bare->yAxis->setRange(chart.yAxis->range());
    bare->show();
    bare->replot(QCustomPlot::rpImmediateRefresh);
    return bare;
}

} // namespace

int main(int argc, char** argv) {
    auto app = MakeApplication(argc, argv);
    // Two windows, so that the rounds of all three take turns and a change of the machine's load
    // meanwhile touches each alike.
    ChartBench smallBench, largeBench;
    smallBench.Fill(10000);
    smallBench.Show();
    largeBench.Fill(1000000);
    largeBench.Show();
    const auto plain = BareCopy(*largeBench.view->Chart());
    constexpr int kRounds = 101;
    std::vector<double> small, large, bare;
    for (int r = 0; r < kRounds; ++r) {
        small.push_back(smallBench.AppendAndShow());
        large.push_back(largeBench.AppendAndShow());
        const auto start = std::chrono::steady_clock::now();
        plain->replot(QCustomPlot::rpImmediateRefresh);
        bare.push_back(MsSince(start));
        QApplication::processEvents();
    }
    std::printf("chart_append_10k_ms=%.3f\n", Median(small));
    std::printf("chart_append_1M_ms=%.3f\n", Median(large));
    std::printf("chart_bare_1M_ms=%.3f\n", Median(bare));
    std::printf("chart_append_1M_over_10k=%.3f\n", Median(large) / Median(small));
    std::printf("chart_1M_over_bare=%.3f\n", Median(large) / Median(bare));
    return 0;
}
