// Opening a continuous measurement of 10 x 1 000 000 values (a .nbtc of 80 MB) in its window and showing
// it: reading the file, the chart's own copy with its summaries, the first paint. Prints the median of
// three openings in milliseconds.
#include "ChartBench.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    auto app = MakeApplication(argc, argv);
    ChartBench bench;
    bench.Fill(1000000);
    const std::string path =
        (std::filesystem::temp_directory_path() / "quirel-bench-chart-open.nbtc").string();
    if (bench.doc->WriteFile(path, true) != MeasurementFileResult::kOk)
        return 1;
    std::vector<double> times;
    for (int r = 0; r < 3; ++r) {
        bench.doc->InitMeasurement(1, {}, CMeasStart());
        bench.Show();
        const auto start = std::chrono::steady_clock::now();
        if (!bench.doc->OpenMeasurementFile(path))
            return 1;
        bench.Show();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::filesystem::remove(path);
    std::printf("chart_open_10x1M_ms=%.1f\n", Median(times));
    return 0;
}
