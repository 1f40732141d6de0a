#pragma once

#include <cstdint>
#include <string>

class CDocument;

// Message box choices, with the results numbered as the desktop's own message boxes number them.
enum class MbIcon { None, Error, Warning, Information, Question };
enum class MbButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum MbResult : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Connection states the controller reports.
enum ConnectionState : int { kNotConnected = 0, kConnected = 1, kConnectFailed = 2, kDisconnecting = 3 };

// How the worker thread reaches the user interface. Post* return at once: the user-interface thread
// handles them later, in the order posted. MessageBox blocks the calling thread until it is answered.
class IUiPort {
public:
    virtual ~IUiPort() = default;
    // Document update (message 0x8000): the document updates all its views with `hint`.
    virtual void PostDocumentUpdate(CDocument* doc, int64_t hint) = 0;
    // Connection state (message 0x8030).
    virtual void PostConnectionState(int state) = 0;
    virtual int MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                           MbButtons buttons = MbButtons::Ok) = 0;

    // Progress of a long operation the user waits for (a parameter-set transfer, the event-log read, a
    // catalogue download, a firmware update), from any thread. `caption` names the operation, `text` says
    // what happens now, `pos` runs from 0 to `max`. The first call shows the progress, EndProgress takes
    // it away. A window shows a progress dialog, the CLI a line on stderr, a test records the calls.
    virtual void Progress(const std::string& caption, const std::string& text, int pos, int max) {
        (void)caption, (void)text, (void)pos, (void)max;
    }
    virtual void EndProgress() {}
    // True once the user has asked to stop the operation shown (a Cancel button, Ctrl-C).
    virtual bool ProgressCancelled() { return false; }
};
