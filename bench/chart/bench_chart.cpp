// Appending one sample to each of ten channels and showing it, with the whole time range in view:
// 10 x 10 000 values against 10 x 1 000 000. The chart takes over only the new values and draws the
// min/max per pixel column, so the cost must not grow with the recording. Prints the median time for
// 1 000 000 values (goal under 20 ms), then the ratio of the two medians (goal at most 2.0).
#include "ChartBench.h"

#include <cstdio>

namespace {

double MedianAppend(ChartBench& bench, size_t values, int rounds) {
    bench.Fill(values);
    bench.Show();
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r)
        times.push_back(bench.AppendAndShow());
    return Median(times);
}

} // namespace

int main(int argc, char** argv) {
    auto app = MakeApplication(argc, argv);
    ChartBench bench;
    constexpr int kRounds = 101;
    const double small = MedianAppend(bench, 10000, kRounds);
    const double large = MedianAppend(bench, 1000000, kRounds);
    std::printf("chart_append_10k_ms=%.3f\n", small);
    std::printf("chart_append_1M_ms=%.3f\n", large);
    std::printf("chart_append_1M_over_10k=%.3f\n", large / small);
    return 0;
}
