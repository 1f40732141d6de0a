#pragma once

#include "base/UiPort.h"

#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>

// The UI port of a console program. Message boxes are written to a stream (stderr by default), the
// caption on one line and the text on the next, and answered at once with a fixed default. Posted
// document updates wait in a queue until the owning thread calls ProcessPosted, which lets the documents
// update their views there, as a window program's message loop would.
class ConsoleUiPort : public IUiPort {
public:
    explicit ConsoleUiPort(std::FILE* out = stderr, int defaultAnswer = IDOK);

    void PostDocumentUpdate(CDocument* doc, int64_t hint) override;
    void PostConnectionState(int state) override;
    int MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons) override;
    // One line per change of the text or of the whole percent, "caption: text (NN %)".
    void Progress(const std::string& caption, const std::string& text, int pos, int max) override;
    void EndProgress() override;
    bool ProgressCancelled() override;
    // Makes ProgressCancelled true (a signal handler may call it: it only stores a flag).
    void RequestCancel() { m_cancelRequested.store(true); }

    // Runs the posted document updates on the calling thread; returns how many ran.
    int ProcessPosted();
    // Boxes shown with the error icon so far.
    int GetErrorCount() const;
    // The connection state posted last (0 before any).
    int GetLastState() const;

private:
    struct Posted {
        CDocument* doc;
        int64_t hint;
    };
    std::FILE* m_out;
    int m_defaultAnswer;
    mutable std::mutex m_mutex;
    std::deque<Posted> m_posted;
    int m_errors = 0;
    int m_lastState = kNotConnected;
    std::string m_progressText;
    int m_progressPercent = -1;
    std::atomic<bool> m_cancelRequested{false};
};
