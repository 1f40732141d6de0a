#include "ui/common/QtUiPort.h"

#include "ui/common/MessageBoxes.h"
#include "ui/common/UiText.h"

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace quirel::ui {
namespace {

struct PendingAnswer {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    int result = IDCANCEL;
};

} // namespace

// The calls wait in a queue of our own, under our own lock, and a queued invocation by name only wakes
// the user-interface thread to run them: the event that carries it is made and read inside Qt alone. (A
// queued functor or an event of our own is written on one thread and read or deleted on the other with
// only Qt's uninstrumented locks between them, which a thread checker cannot follow.)
void CQtUiPort::Post(std::function<void()> call) {
    bool wake;
    {
        std::lock_guard lock(m_postMutex);
        wake = m_posted.empty();
        m_posted.push_back(std::move(call));
    }
    if (wake)
        QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
}

void CQtUiPort::RunPosted() {
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(m_postMutex);
        calls.swap(m_posted);
    }
    for (const auto& call : calls)
        call();
}

CQtUiPort::CQtUiPort(DocumentUpdateHandler onDocumentUpdate, ConnectionStateHandler onConnectionState,
                     QObject* parent)
    : QObject(parent), m_onDocumentUpdate(std::move(onDocumentUpdate)),
      m_onConnectionState(std::move(onConnectionState)) {}

void CQtUiPort::PostDocumentUpdate(CDocument* doc, int64_t hint) {
    if (m_closed)
        return;
    {
        std::lock_guard lock(m_pendingMutex);
        if (!m_pendingUpdates.emplace(doc, hint).second)
            return;
    }
    Post([this, doc, hint] {
        // Taken off before it runs: a change posted while the views update gets an update of its own.
        {
            std::lock_guard lock(m_pendingMutex);
            m_pendingUpdates.erase({doc, hint});
        }
        if (!m_closed && m_onDocumentUpdate)
            m_onDocumentUpdate(doc, hint);
    });
}

void CQtUiPort::PostConnectionState(int state) {
    if (m_closed)
        return;
    Post([this, state] {
        if (!m_closed && m_onConnectionState)
            m_onConnectionState(state);
    });
}

int CQtUiPort::ShowBox(const std::string& text, const std::string& caption, MbIcon icon, MbButtons buttons) {
    const QPointer<QProgressDialog> progress = m_progressDialog;
    const bool stepAside = progress && progress->isVisible();
    if (stepAside)
        progress->hide();
    // The window that started the work owns the box, not whatever happens to be active.
    const int result =
        ShowMessageBox(m_busy ? m_progressParent.data() : nullptr, text, caption, icon, buttons);
    bool reported;
    {
        std::lock_guard lock(m_progressMutex);
        reported = m_progress.reported;
    }
    if (stepAside && progress && reported)
        progress->show();
    return result;
}

int CQtUiPort::MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                          MbButtons buttons) {
    if (QThread::currentThread() == thread())
        return m_closed ? IDCANCEL : ShowBox(text, caption, icon, buttons);
    if (m_closed)
        return IDCANCEL;

    // A blocking queued call would hang the worker for good if the user-interface thread stopped
    // listening (at exit it waits for the worker); waiting on our own answer lets Close() release it.
    auto pending = std::make_shared<PendingAnswer>();
    Post([this, pending, text, caption, icon, buttons] {
        const int result = m_closed ? IDCANCEL : ShowBox(text, caption, icon, buttons);
        std::lock_guard<std::mutex> lock(pending->mutex);
        pending->result = result;
        pending->done = true;
        pending->answered.notify_all();
    });

    std::unique_lock<std::mutex> lock(pending->mutex);
    while (!pending->done) {
        if (m_closed)
            return IDCANCEL;
        pending->answered.wait_for(lock, std::chrono::milliseconds(20));
    }
    return pending->result;
}

void CQtUiPort::Close() {
    m_closed = true;
    m_progressCancelled = true;
}

void CQtUiPort::Progress(const std::string& caption, const std::string& text, int pos, int max) {
    bool post;
    {
        std::lock_guard lock(m_progressMutex);
        if (!m_progress.shown)
            m_progressCancelled = false; // a new operation
        m_progress.caption = caption;
        m_progress.text = text;
        m_progress.pos = pos;
        m_progress.max = max;
        m_progress.shown = true;
        m_progress.reported = true;
        post = !m_progress.pending;
        m_progress.pending = true;
    }
    if (QThread::currentThread() == thread()) {
        ShowProgress();
        // Code that runs on this thread by itself still gets its dialog painted.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    } else if (post && !m_closed) {
        Post([this] { ShowProgress(); });
    }
}

void CQtUiPort::EndProgress() {
    {
        std::lock_guard lock(m_progressMutex);
        m_progress.shown = false;
        m_progress.reported = false;
        if (m_progress.pending)
            return; // the posted update sees shown == false and closes the dialog
        m_progress.pending = true;
    }
    if (QThread::currentThread() == thread())
        ShowProgress();
    else if (!m_closed)
        Post([this] { ShowProgress(); });
}

void CQtUiPort::ShowProgress() {
    ProgressState state;
    {
        std::lock_guard lock(m_progressMutex);
        m_progress.pending = false;
        state = m_progress;
    }
    if (!state.shown && !m_busy) {
        CloseProgressDialog();
        return;
    }
    if (!m_progressDialog) {
        auto* dialog = new QProgressDialog(m_progressParent);
        dialog->setObjectName("progressDialog");
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setMinimumDuration(0);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        dialog->setMinimumWidth(420);
        if (!m_progressCancellable)
            dialog->setCancelButton(nullptr);
        // The dialog stays until its work has ended: hidden, it would no longer keep other commands out.
        disconnect(dialog, &QProgressDialog::canceled, dialog, &QProgressDialog::cancel);
        connect(dialog, &QProgressDialog::canceled, this, &CQtUiPort::OnCancelClicked);
        m_progressDialog = dialog;
    }
    if (!state.caption.empty())
        m_progressDialog->setWindowTitle(QString::fromStdString(state.caption));
    m_progressDialog->setLabelText(state.text.empty() ? Tx("Communicating with the device ...")
                                                      : QString::fromStdString(state.text));
    m_progressDialog->setMaximum(state.max > 0 ? state.max : 0);
    m_progressDialog->setValue(state.max > 0 ? std::min(state.pos, state.max) : 0);
    m_progressDialog->show();
}

void CQtUiPort::OnCancelClicked() {
    if (m_progressCancelled.exchange(true))
        return;
    if (m_progressDialog)
        if (auto* button = m_progressDialog->findChild<QPushButton*>())
            button->setEnabled(false); // once is enough; the work ends as soon as it can
    if (m_onCancel)
        m_onCancel();
}

void CQtUiPort::RunWithProgress(QWidget* parent, const std::string& caption,
                                const std::function<void()>& work, bool cancellable, const std::string& text,
                                const std::function<void()>& onCancel) {
    m_busy = true;
    m_progressParent = parent;
    m_progressCancellable = cancellable;
    m_progressCancelled = false;
    m_onCancel = onCancel;
    {
        std::lock_guard lock(m_progressMutex);
        m_progress = ProgressState{caption, text, 0, 0, true, false};
    }
    std::atomic<bool> done{false};
    QEventLoop loop;
    std::thread worker([&] {
        work();
        done = true;
        QCoreApplication::postEvent(&loop, new QEvent(QEvent::Quit)); // dropped should the loop be gone
    });
    // Short work (a disconnect that finds nothing running) shows no dialog at all; the window keeps
    // painting meanwhile, and clicks wait until the work is done.
    QTimer::singleShot(kProgressDelayMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done) {
        ShowProgress();
        if (!done)
            loop.exec();
    }
    worker.join();
    m_busy = false;
    m_progressCancellable = false;
    m_onCancel = nullptr;
    {
        std::lock_guard lock(m_progressMutex);
        m_progress.shown = false;
        m_progress.pending = false;
    }
    CloseProgressDialog();
}

void CQtUiPort::CloseProgressDialog() {
    if (!m_progressDialog)
        return;
    // Hidden now: its deletion waits for the outermost event loop, and a box or dialog that opens before
    // that must not find the window of finished work still on the screen.
    m_progressDialog->hide();
    m_progressDialog->deleteLater();
    m_progressDialog = nullptr;
}

} // namespace quirel::ui
