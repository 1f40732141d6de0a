#include "ChartBench.h"

#include "ui/measurement/MeasurementChart.h"

#include <algorithm>
#include <cmath>

namespace {

using Clock = std::chrono::steady_clock;

PARAMVALUE Sample(int channel, size_t j) {
    PARAMVALUE cell(8, 0);
    const double t = static_cast<double>(j);
    cell.SetFloat(static_cast<float>(100.0 * (channel + 1) + 10.0 * std::sin(t * 0.001 * (channel + 1)) +
                                     std::sin(t * 0.37) * 0.5));
    return cell;
}

} // namespace

std::unique_ptr<QApplication> MakeApplication(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

ChartBench::ChartBench() {
    catalogue.Load(QUIREL_RESOURCES_DIR "/Parameters.ini");
    ui = std::make_unique<quirel::ui::CQtUiPort>(
        [](CDocument* d, int64_t h) { d->UpdateAllViews(nullptr, h); }, [](int) {});
    controller = std::make_unique<CControllerModbus>(&catalogue, ui.get());
    doc = std::make_unique<CDocMeasurementContinuous>(&catalogue, ui.get());
    for (const std::string& choice : MeasurementSetup::ChannelChoices(catalogue))
        if (const int32_t id = MeasurementSetup::ChannelId(choice); id > 0 && ids.size() < kChannels)
            ids.push_back(static_cast<uint32_t>(id));
    view = std::make_unique<CViewMeasurementContinuous>(*doc, *controller, *ui, settings);
    view->resize(1200, 800);
    view->show();
    view->OnInitialUpdate();
}

void ChartBench::Fill(size_t values) {
    doc->InitMeasurement(1, ids, CMeasStart::Now());
    std::vector<PARAMVALUE> cells(values);
    for (int c = 0; c < kChannels; ++c) {
        for (size_t j = 0; j < values; ++j)
            cells[j] = Sample(c, j);
        doc->AddValues(c, cells.data(), cells.size(), doc->GetRun());
    }
    next = values;
}

double ChartBench::Show() {
    const auto start = Clock::now();
    doc->UpdateAllViews(nullptr, UpdateHint::kDataChanged);
    view->FlushRedraw();
    view->Chart()->replot(QCustomPlot::rpImmediateRefresh);
    const double ms = MsSince(start);
    QApplication::processEvents(); // the queued replots the redraw asked for, outside the timing
    return ms;
}

double ChartBench::AppendAndShow() {
    const auto start = Clock::now();
    for (int c = 0; c < kChannels; ++c)
        doc->AddValue(c, Sample(c, next));
    ++next;
    const double append = MsSince(start);
    return append + Show();
}
