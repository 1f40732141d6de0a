#pragma once

// The viewer started and ended as the window tests need it: the demo catalogue, the first window open,
// and the language put back afterwards, since the string table's language is the process's.
#include "base/StringTable.h"
#include "ui/app/KestrelApp.h"
#include "ui/common/SettingsStore.h"

#include <functional>
#include <memory>
#include <string>

namespace quirel::test {

// Null when the program cannot start. `beforeConnect` runs once the first window is open (for example to
// open another window); `fileFolder` keeps last.nbts/last.nbtc (empty: the program's own folder).
inline std::unique_ptr<CKestrelApp>
StartTestApp(std::unique_ptr<quirel::ui::ISettingsStore> store, bool connect,
             const std::string& fileFolder = std::string(),
             const std::function<void(CKestrelApp&)>& beforeConnect = {}) {
    AppOptions options;
    options.catalogue = QUIREL_RESOURCES_DIR "/Parameters.ini";
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
