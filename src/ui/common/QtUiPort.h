#pragma once

#include "base/UiPort.h"

#include <QObject>

#include <atomic>
#include <functional>

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

    void PostDocumentUpdate(CDocument* doc, int64_t hint) override;
    void PostConnectionState(int state) override;
    int MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons = MbButtons::Ok) override;

    // Called before the worker is stopped at exit: from then on posted calls are dropped and a box asked
    // for by the worker is answered IDCANCEL at once, so the worker never waits for a user-interface
    // thread that no longer runs its event loop.
    void Close();
    bool IsClosed() const { return m_closed.load(); }

private:
    DocumentUpdateHandler m_onDocumentUpdate;
    ConnectionStateHandler m_onConnectionState;
    std::atomic<bool> m_closed{false};
};

} // namespace quirel::ui
