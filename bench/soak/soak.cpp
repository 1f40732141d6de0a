// soak [--minutes M]: the viewer in demo mode with the overview and the parameters window open, for M
// minutes (default 10). Every minute a continuous measurement of three values at 1 s runs for 30 s (the
// overview pauses meanwhile), then is cancelled, and for 30 s the overview polls every two seconds while
// the parameters window is refreshed every five. Prints the resident memory once everything runs and
// each minute, the jobs the worker ran and the failures and message boxes seen. The last line is
// soak_rss_growth_kb=<end - start>.
#include "comm/ControllerModbus.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/MeasurementSetup.h"
#include "ui/app/KestrelApp.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/SettingsStore.h"
#include "ui/measurement/ViewMeasurementContinuous.h"
#include "ui/parameters/ViewParameters.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Runs the event loop for `ms`.
void Run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The offscreen platform's notes on window hints say nothing about the run.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith("This plugin does not support"))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication qapp(argc, argv);
    qInstallMessageHandler(QuietOffscreen);
    QCommandLineParser parser;
    const QCommandLineOption minutesOption("minutes", "Length of the run (default 10).", "M", "10");
    parser.addOption(minutesOption);
    parser.addHelpOption();
    parser.process(qapp);
    bool ok = false;
    const double minutes = parser.value(minutesOption).toDouble(&ok);
    if (!ok || minutes <= 0) {
        std::fprintf(stderr, "soak: --minutes takes a positive number\n");
        return 64;
    }

    long boxes = 0;
    quirel::ui::SetMessageBoxHandler(
        [&boxes](QWidget*, const std::string& text, const std::string&, MbIcon, MbButtons) {
            ++boxes;
            std::fprintf(stderr, "message: %s\n", text.c_str());
            return int(IDOK);
        });

    AppOptions options;
    options.demo = true;
    options.catalogue = QUIREL_RESOURCES_DIR "/Parameters.ini";
    QTemporaryDir folder;
    options.fileFolder = folder.path().toStdString();
    auto store = std::make_unique<quirel::ui::CMemorySettingsStore>();
    store->WriteInt("General", "Language", 9);
    CKestrelApp app(std::move(store), options);
    if (!app.InitInstance())
        return 1;
    QElapsedTimer connecting;
    connecting.start();
    while (!app.Controller().IsConnected() && connecting.elapsed() < 10000)
        Run(50);
    if (!app.Controller().IsConnected()) {
        std::fprintf(stderr, "soak: the demo simulator did not connect\n");
        return 1;
    }

    app.OnDeviceParameters();
    app.OnContinuousMeasurement();
    CViewMeasurementContinuous* view = app.FindContinuousMeasurementView();
    const std::vector<std::string> choices = MeasurementSetup::ChannelChoices(app.Catalogue());
    MeasurementSetup::ContinuousSettings settings;
    settings.interval = 1;
    settings.channelText.fill("--");
    size_t next = 0;
    for (int32_t id : {100, 110, 120})
        for (const std::string& choice : choices)
            if (MeasurementSetup::ChannelId(choice) == id)
                settings.channelText[next++] = choice;
    view->ApplySettings(settings);
    CViewParameters* parameters = app.FindParametersView();
    if (!parameters) {
        std::fprintf(stderr, "soak: the parameters window did not open\n");
        return 1;
    }

    long stops = 0; // a measurement that did not run its half minute
    // One minute's work: measure, cancel, then poll and refresh.
    const auto cycle = [&](qint64 ms) {
        view->OnStart();
        if (!app.DocMeasurementContinuous().IsRunning()) {
            std::fprintf(stderr, "soak: the continuous measurement did not start\n");
            ++stops;
        }
        Run(static_cast<int>(ms / 2));
        if (!app.DocMeasurementContinuous().IsRunning())
            ++stops;
        view->OnCancel();
        for (qint64 done = 0; done < ms / 2; done += 5000) {
            parameters->OnRefresh();
            Run(static_cast<int>(std::min<qint64>(5000, ms / 2 - done)));
        }
    };

    // The windows, caches and a first cycle settle before the start is taken.
    cycle(20000);
    const long startKb = ResidentKb();
    const uint64_t startJobs = app.Controller().JobsRun();
    std::printf("rss_start_kb=%ld\n", startKb);
    std::fflush(stdout);

    QElapsedTimer clock;
    clock.start();
    const auto length = static_cast<qint64>(minutes * 60000);
    while (clock.elapsed() + 1000 < length) {
        cycle(std::min<qint64>(60000, length - clock.elapsed()));
        std::printf("minute=%.1f rss_kb=%ld jobs=%llu\n", clock.elapsed() / 60000.0, ResidentKb(),
                    static_cast<unsigned long long>(app.Controller().JobsRun() - startJobs));
        std::fflush(stdout);
    }
    const long endKb = ResidentKb();
    const bool connected = app.Controller().IsConnected();
    const uint64_t failures = app.Controller().Failures();
    std::printf("rss_end_kb=%ld\n", endKb);
    std::printf("jobs=%llu\n", static_cast<unsigned long long>(app.Controller().JobsRun() - startJobs));
    const auto errors = static_cast<unsigned long long>(failures + boxes + stops + (connected ? 0 : 1));
    std::printf("errors=%llu\n", errors);
    app.ExitInstance();
    std::printf("soak_rss_growth_kb=%ld\n", endKb - startKb);
    return errors == 0 ? 0 : 1;
}
