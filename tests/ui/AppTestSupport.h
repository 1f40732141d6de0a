#pragma once

// The viewer started and ended as the window tests need it: the demo catalogue, the first window open,
// and the language put back afterwards, since the string table's language is the process's. Also the
// simulated filter it talks to, the settings that point at it, and the message boxes and dialogs it shows.
#include "Simulator.h"
#include "UiTestMain.h"
#include "base/Document.h"
#include "base/StringTable.h"
#include "ui/app/KestrelApp.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/SettingsStore.h"

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

// Settings that connect over Modbus TCP to `port` on loopback, in `language` (9 English, 7 German).
inline std::unique_ptr<quirel::ui::CMemorySettingsStore> SimulatorStore(quint16 port, int language = 9) {
    auto store = std::make_unique<quirel::ui::CMemorySettingsStore>();
    store->WriteInt("General", "Language", language);
    store->WriteInt("ModbusCommunicationController", "Protocol", 0);
    store->WriteString("ModbusCommunicationController", "Host", "127.0.0.1:" + std::to_string(port));
    return store;
}

// Every message box from now on is recorded by its text and answered OK.
inline void RecordMessageBoxTexts(std::vector<std::string>& texts) {
    quirel::ui::SetMessageBoxHandler(
        [&texts](QWidget*, const std::string& text, const std::string&, MbIcon, MbButtons) {
            texts.push_back(text);
            return int(IDOK);
        });
}

// Once the event loop turns (inside the exec of a modal dialog about to open), `act` gets that dialog.
template <class Dialog> void OnModal(std::function<void(Dialog*)> act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        act(dialog);
    });
}

// The control `name` of `parent`; the test program stops where a window lacks it.
template <class T> T* Child(QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    if (!child)
        qFatal("no control %s", name);
    return child;
}

// Counts the updates that reach a document's views with the hints `counts` takes.
struct UpdateCounter : CView {
    explicit UpdateCounter(std::function<bool(int64_t)> takes) : counts(std::move(takes)) {}
    void OnUpdate(CView*, int64_t hint) override { updates += counts(hint); }
    std::function<bool(int64_t)> counts;
    int updates = 0;
};

// The bytes of the file `path`, empty when it cannot be read.
inline QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The progress window on the screen, if any.
inline QProgressDialog* ShownProgress() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* progress = qobject_cast<QProgressDialog*>(w); progress && progress->isVisible())
            return progress;
    return nullptr;
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

// A program that cannot start ends the test program. `beforeConnect` runs once the first window is open
// (for example to open another window); `fileFolder` keeps last.nbts/last.nbtc (empty: TestFileFolder).
inline std::unique_ptr<CKestrelApp>
StartTestApp(std::unique_ptr<quirel::ui::ISettingsStore> store, bool connect,
             const std::string& fileFolder = std::string(),
             const std::function<void(CKestrelApp&)>& beforeConnect = {}) {
    AppOptions options = TestAppOptions();
    if (!fileFolder.empty())
        options.fileFolder = fileFolder;
    auto app = std::make_unique<CKestrelApp>(std::move(store), options);
    if (!app->InitInstance())
        qFatal("the program did not start");
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
