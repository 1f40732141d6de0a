#pragma once

// The viewer started and ended as the window tests need it: the demo catalogue, the first window open,
// and the language put back afterwards, since the string table's language is the process's. Also the
// simulated filter it talks to, and the message boxes it shows.
#include "Simulator.h"
#include "base/StringTable.h"
#include "ui/app/KestrelApp.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/SettingsStore.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quirel::test {

// The simulated filter with the demo catalogue on loopback TCP; a test adds faults, a revision or a
// serial line.
inline quirel::sim::SimulatorOptions TestSimulatorOptions() {
    quirel::sim::SimulatorOptions options;
    options.tcp = true;
    options.cataloguePath = QUIREL_RESOURCES_DIR "/Parameters.ini";
    return options;
}

// Every message box from now on is recorded by its text and answered OK.
inline void RecordMessageBoxTexts(std::vector<std::string>& texts) {
    quirel::ui::SetMessageBoxHandler(
        [&texts](QWidget*, const std::string& text, const std::string&, MbIcon, MbButtons) {
            texts.push_back(text);
            return int(IDOK);
        });
}

// Where a test's program keeps last.nbts and last.nbtc unless the test names a folder: one of the test
// process's own, removed when it ends, so that nothing lands beside the test program.
inline std::string TestFileFolder() {
    static QTemporaryDir folder;
    return folder.path().toStdString();
}

// The program's options in a test: the demo catalogue, last.nbts and last.nbtc in TestFileFolder.
inline AppOptions TestAppOptions() {
    AppOptions options;
    options.catalogue = QUIREL_RESOURCES_DIR "/Parameters.ini";
    options.fileFolder = TestFileFolder();
    return options;
}

// Null when the program cannot start. `beforeConnect` runs once the first window is open (for example to
// open another window); `fileFolder` keeps last.nbts/last.nbtc (empty: TestFileFolder).
inline std::unique_ptr<CKestrelApp>
StartTestApp(std::unique_ptr<quirel::ui::ISettingsStore> store, bool connect,
             const std::string& fileFolder = std::string(),
             const std::function<void(CKestrelApp&)>& beforeConnect = {}) {
    AppOptions options = TestAppOptions();
    if (!fileFolder.empty())
        options.fileFolder = fileFolder;
    auto app = std::make_unique<CKestrelApp>(std::move(store), options);
    if (!app->InitInstance())
        return nullptr;
    if (beforeConnect)
        beforeConnect(*app);
    if (connect)
        app->OnConnect();
    return app;
}

inline void FinishTestApp(std::unique_ptr<CKestrelApp>& app) {
    app->ExitInstance();
    app.reset();
    quirel::setUiLanguage(quirel::kLanguageEnglish);
}

} // namespace quirel::test
