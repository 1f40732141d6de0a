#pragma once

#include "base/UiPort.h"

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
};
