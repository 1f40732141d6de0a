#pragma once

#include "base/UiPort.h"
#include "firmware/BootLoaderUi.h"
#include "firmware/SerialBootLoader.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class CFileDownload;
class CUpdateFirmwareMenue;
class QSocketNotifier;
class QWidget;

namespace quirel::ui {

// "Update Device Firmware" in the window program: the service dialog, then the bootloader procedure on a
// thread of its own while this (the user-interface) thread keeps every window painted and the wait and
// progress windows moving. Nothing else can be done meanwhile: the wait and progress windows and the boxes
// are modal, and user input to any other window is dropped in between. The application holds one for the
// program's lifetime, so the port chosen last is offered again.
class CFirmwareUpdate : public QObject, private IUiPort, private IFirmwareDialogs, private IClock {
    Q_OBJECT
public:
    explicit CFirmwareUpdate(QObject* parent = nullptr);
    ~CFirmwareUpdate() override;

    // Shows the service dialog over `parent`; after OK calls `beforeStart` and runs the update to its end.
    // False when the dialog was cancelled (or an update is running already).
    bool Run(QWidget* parent, const std::function<void()>& beforeStart = {});
    bool IsRunning() const { return m_running; }
    const CSerialBootLoader& Procedure() const { return *m_loader; }

    // The waits' clock (tests shorten them; null restores real time) and, in place of the open dialog, a
    // function that names the firmware file. Only while no update runs.
    void SetClock(IClock* clock) { m_clock = clock ? clock : &m_steadyClock; }
    void SetFileChooser(std::function<std::string()> chooser) { m_fileChooser = std::move(chooser); }

    // The wait and progress windows while they are shown, else null.
    CUpdateFirmwareMenue* WaitWindow() const;
    CFileDownload* ProgressWindow() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the procedure's thread asks for; each call reaches this thread.
    void PostDocumentUpdate(CDocument*, int64_t) override {}
    void PostConnectionState(int) override {}
    int MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons) override;
    void Progress(const std::string& caption, const std::string& text, int pos, int max) override;
    void EndProgress() override;
    bool ProgressCancelled() override { return m_progressCancelled.load(); }
    std::string AskFirmwareFile() override;
    void ShowWaitWindow() override;
    bool WaitWindowCancelled() override { return m_waitCancelled.load(); }
    void CloseWaitWindow() override;
    void Sleep(int ms) override { m_clock->Sleep(ms); }

    // Hands `request` to the user-interface thread, from any thread. The requests wait behind a standard
    // mutex and an eventfd wakes that thread up; (blocking) queued calls of functors would do the same, but
    // hand over through locks the thread sanitizer cannot see.
    void Post(std::function<void()> request);
    void RunRequests();
    // Runs `call` there and waits for its result.
    template <class R> R Call(std::function<R()> call);
    void UpdateProgressWindow();
    QWidget* BoxParent() const;

    CSerialPort m_port;
    CSteadyClock m_steadyClock;
    IClock* m_clock = &m_steadyClock;
    std::unique_ptr<CSerialBootLoader> m_loader;
    std::function<std::string()> m_fileChooser;
    QPointer<QWidget> m_owner;
    bool m_running = false;

    std::atomic<bool> m_waitCancelled{false};
    QPointer<CUpdateFirmwareMenue> m_waitWindow;

    int m_wakeUp = -1;
    QSocketNotifier* m_wakeUpNotifier = nullptr;
    std::mutex m_requestMutex;
    std::deque<std::function<void()>> m_requests;

    std::mutex m_progressMutex;
    int m_progressPosition = 0;
    std::string m_progressText;
    std::atomic<bool> m_progressCancelled{false};
    bool m_progressShown = false;
    bool m_progressPending = false; // an update is posted and not yet shown
    QPointer<CFileDownload> m_progressWindow;
};

} // namespace quirel::ui
