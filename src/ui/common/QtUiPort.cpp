#include "ui/common/QtUiPort.h"

#include "ui/common/MessageBoxes.h"

#include <QThread>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace quirel::ui {
namespace {

struct PendingAnswer {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    int result = IDCANCEL;
};

} // namespace

CQtUiPort::CQtUiPort(DocumentUpdateHandler onDocumentUpdate, ConnectionStateHandler onConnectionState,
                     QObject* parent)
    : QObject(parent), m_onDocumentUpdate(std::move(onDocumentUpdate)),
      m_onConnectionState(std::move(onConnectionState)) {}

void CQtUiPort::PostDocumentUpdate(CDocument* doc, int64_t hint) {
    if (m_closed)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, doc, hint] {
            if (!m_closed && m_onDocumentUpdate)
                m_onDocumentUpdate(doc, hint);
        },
        Qt::QueuedConnection);
}

void CQtUiPort::PostConnectionState(int state) {
    if (m_closed)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, state] {
            if (!m_closed && m_onConnectionState)
                m_onConnectionState(state);
        },
        Qt::QueuedConnection);
}

int CQtUiPort::MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                          MbButtons buttons) {
    if (QThread::currentThread() == thread())
        return m_closed ? IDCANCEL : ShowMessageBox(nullptr, text, caption, icon, buttons);
    if (m_closed)
        return IDCANCEL;

    // A blocking queued call would hang the worker for good if the user-interface thread stopped
    // listening (at exit it waits for the worker); waiting on our own answer lets Close() release it.
    auto pending = std::make_shared<PendingAnswer>();
    QMetaObject::invokeMethod(
        this,
        [this, pending, text, caption, icon, buttons] {
            const int result = m_closed ? IDCANCEL : ShowMessageBox(nullptr, text, caption, icon, buttons);
            std::lock_guard<std::mutex> lock(pending->mutex);
            pending->result = result;
            pending->done = true;
            pending->answered.notify_all();
        },
        Qt::QueuedConnection);

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
}

} // namespace quirel::ui
