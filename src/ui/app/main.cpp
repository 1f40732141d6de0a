// quirel-viewer: the service and diagnostics program for active harmonic filters.

#include "app/ProgramFiles.h"
#include "ui/app/KestrelApp.h"
#include "ui/app/ScreenshotTour.h"
#include "ui/common/SettingsStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    QApplication::setOrganizationName(quirel::ui::kCompanyName);
    QApplication::setApplicationName(quirel::ui::kApplicationName);

    QCommandLineParser parser;
    parser.setApplicationDescription("Service and diagnostics tool for active harmonic filters.");
    parser.addHelpOption();
    QCommandLineOption demo("demo", "Start a simulated filter in the program and connect to it; the saved "
                                    "connection settings stay untouched.");
    QCommandLineOption connect("connect", "Connect to the configured device at start.");
    QCommandLineOption catalogue("catalogue", "Parameter catalogue to load instead of the IniFile setting.",
                                 "file");
    QCommandLineOption settings("settings", "Keep the settings in this INI file instead of the user's.",
                                "file");
    QCommandLineOption screenshots("screenshots", "Save pictures of the windows into the folder, then end.",
                                   "folder");
    screenshots.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({demo, connect, catalogue, settings, screenshots});
    parser.process(qapp);

    std::unique_ptr<quirel::ui::ISettingsStore> store;
    if (parser.isSet(settings))
        store = std::make_unique<quirel::ui::CQSettingsStore>(parser.value(settings).toStdString());
    else
        store = std::make_unique<quirel::ui::CQSettingsStore>();

    AppOptions options;
    options.demo = parser.isSet(demo);
    options.connectAtStart = parser.isSet(connect);
    options.catalogue = parser.value(catalogue).toStdString();
    // A demo run without a catalogue of its own uses the demo catalogue the simulator serves.
    if (options.demo && options.catalogue.empty() && !QFileInfo::exists("Parameters.ini"))
        options.catalogue = quirel::app::FindCatalogue("Parameters.ini");

    // From the start on: a box of the start-up or of the connect would wait for an answer as well.
    std::unique_ptr<CTourBoxGuard> tourGuard;
    if (parser.isSet(screenshots))
        tourGuard = std::make_unique<CTourBoxGuard>();
    CKestrelApp app(std::move(store), options);
    if (!app.InitInstance())
        return 1;
    if (parser.isSet(screenshots)) {
        const QString dir = parser.value(screenshots);
        QTimer::singleShot(0, &app, [&app, dir] { RunScreenshotTour(app, dir); });
    }
    int rc = QApplication::exec();
    app.ExitInstance();
    // The pictures of a tour that met a box may show a message rather than the window: it has failed.
    if (tourGuard && tourGuard->Count() > 0) {
        std::fprintf(stderr, "quirel-viewer: screenshot tour: %d message box(es) or dialog(s) appeared\n",
                     tourGuard->Count());
        rc = 1;
    }
    return rc;
}
