#pragma once

#include "base/UiPort.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace quirel::ui {

// The worker's way to the user interface: posted calls run later on the thread that owns this object
// (the user-interface thread), in the order posted. A message box asked for by another thread is shown
// on the user-interface thread while the asking thread waits for the answer, so no further job runs
// meanwhile.
class CQtUiPort : public QObject, public IUiPort {
    Q_OBJECT
public:
    using DocumentUpdateHandler = std::function<void(CDocument* doc, int64_t hint)>;
    using ConnectionStateHandler = std::function<void(int state)>;

    CQtUiPort(DocumentUpdateHandler onDocumentUpdate, ConnectionStateHandler onConnectionState,
              QObject* parent = nullptr);

    // An update that repeats one still waiting (same document, same hint) is dropped: the waiting one
    // runs after it was posted and shows its change too. A worker appending fast so costs one update per
    // turn of the event loop, not one per value.
    void PostDocumentUpdate(CDocument* doc, int64_t hint) override;
    void PostConnectionState(int state) override;
    int MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons = MbButtons::Ok) override;
    // A window-modal progress dialog on the user-interface thread; calls from other threads are
    // coalesced, so a fast loop costs one repaint per event-loop turn, not one per call.
    void Progress(const std::string& caption, const std::string& text, int pos, int max) override;
    void EndProgress() override;
    bool ProgressCancelled() override { return m_progressCancelled.load(); }

    // Runs `work` on a thread of its own while this (the user-interface) thread goes on painting, behind
    // a modal progress dialog titled `caption` that blocks every other command until `work` returns.
    // Message boxes and Progress calls of `work` show meanwhile. With `cancellable` the dialog has a
    // Cancel button, which makes ProgressCancelled true and calls `onCancel` (when given) on this thread,
    // for work that is stopped from outside rather than by asking ProgressCancelled.
    // The dialog appears only when the work takes longer than kProgressDelayMs, with `text` (or, without
    // one, a general "Communicating with the device ...") as its label until the work's own Progress
    // calls say more.
    void RunWithProgress(QWidget* parent, const std::string& caption, const std::function<void()>& work,
                         bool cancellable = false, const std::string& text = std::string(),
                         const std::function<void()>& onCancel = {});
    static constexpr int kProgressDelayMs = 300;
    // True while RunWithProgress runs.
    bool IsBusy() const { return m_busy; }

    // Called before the worker is stopped at exit: from then on posted calls are dropped and a box asked
    // for by the worker is answered IDCANCEL at once, so the worker never waits for a user-interface
    // thread that no longer runs its event loop.
    void Close();
    bool IsClosed() const { return m_closed.load(); }

private slots:
    void RunPosted();

private:
    // Runs `call` later on the thread this object belongs to, after the calls posted before it.
    void Post(std::function<void()> call);
    struct ProgressState {
        std::string caption, text;
        int pos = 0, max = 0;
        bool shown = false;    // a dialog is wanted
        bool pending = false;  // an update is posted and not yet shown
        bool reported = false; // the work's own progress runs (Progress called, EndProgress not yet)
    };
    void ShowProgress();
    void CloseProgressDialog();
    // A box on this thread. A progress window steps aside while it is up, so that the box is neither
    // hidden behind it nor stacked over it, and comes back only while its work still reports progress.
    int ShowBox(const std::string& text, const std::string& caption, MbIcon icon, MbButtons buttons);
    void OnCancelClicked();

    DocumentUpdateHandler m_onDocumentUpdate;
    std::mutex m_pendingMutex;
    std::set<std::pair<CDocument*, int64_t>> m_pendingUpdates; // posted, not yet handled
    ConnectionStateHandler m_onConnectionState;
    std::atomic<bool> m_closed{false};
    std::mutex m_postMutex;
    std::deque<std::function<void()>> m_posted;
    std::mutex m_progressMutex;
    ProgressState m_progress;
    std::atomic<bool> m_progressCancelled{false};
    QPointer<QProgressDialog> m_progressDialog;
    QPointer<QWidget> m_progressParent;
    bool m_progressCancellable = false;
    std::function<void()> m_onCancel;
    bool m_busy = false;
};

} // namespace quirel::ui
