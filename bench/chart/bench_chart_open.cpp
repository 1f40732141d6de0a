// Opening a continuous measurement of 10 x 1 000 000 values (a .nbtc of 80 MB) in its window and showing
// it (reading the file, the chart's summaries of it, the first paint) against reading the
// same file into a document that no window shows. Rounds of the two are taken in turn; prints the median
// of the window's openings in milliseconds, of the bare readings, and their ratio (goal at most 1.5).
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
    CDocMeasurementContinuous alone(&bench.catalogue, bench.ui.get());
    std::vector<double> opened, read;
    for (int r = 0; r < 7; ++r) {
        bench.doc->InitMeasurement(1, {}, CMeasStart());
        bench.Show();
        auto start = std::chrono::steady_clock::now();
        if (!bench.doc->OpenMeasurementFile(path))
            return 1;
        // Show's own time: the replot it runs, without the one the redraw queued for later.
        const double reading = MsSince(start);
        opened.push_back(reading + bench.Show());

        alone.InitMeasurement(1, {}, CMeasStart());
        start = std::chrono::steady_clock::now();
        if (!alone.OpenMeasurementFile(path))
            return 1;
        read.push_back(MsSince(start));
    }
    std::filesystem::remove(path);
    std::printf("chart_open_10x1M_ms=%.1f\n", Median(opened));
    std::printf("chart_read_10x1M_ms=%.1f\n", Median(read));
    std::printf("chart_open_10x1M_over_read=%.3f\n", Median(opened) / Median(read));
    return 0;
}
