#pragma once

#include <cstdint>
#include <string>

class CControllerModbus;
class IUiPort;

// Which records a read fetches: file 1 holds the latest, files 20 to 31 hold all of them.
enum class EventLogScope { Latest, All };

// Reads the device's event log from its file records (function 20, 83-register blocks) with the
// controller's worker stopped, so that nothing else talks to the device meanwhile. A window runs Read on a
// thread of its own behind a progress dialog; the CLI runs it directly. Progress and messages go through
// the UI port.
class CEventLogReader {
public:
    static constexpr int kRetryBudget = 10; // failed reads one whole operation may cost
    static constexpr int kBlocksPerFile = 100;
    static constexpr int kBlockRegisters = 83;
    static constexpr size_t kBlockBytes = 2 * kBlockRegisters;
    static constexpr int kLatestFile = 1;
    static constexpr int kFirstAllFile = 20;
    static constexpr int kLastAllFile = 31;
    static constexpr size_t kMaxText = 200000;
    static constexpr int kStopSettleMs = 300; // lets a job that is still running finish its request
    static constexpr int kAllRecordsWaitMs = 500;

    enum class Status { Ok, NotConnected, Failed, Cancelled };
    struct Result {
        Status status = Status::Failed;
        std::string text; // the log, UTF-8; empty unless Ok
        int lastCode = 0; // the Modbus result of the last failed read, 0 when none failed
    };

    CEventLogReader(CControllerModbus& controller, IUiPort& ui) : m_controller(controller), m_ui(ui) {}

    // False, after the message "No connection to device!" (string 135, as text and caption), when the
    // controller is not connected.
    bool CheckConnected();
    // Clears the poll and user queues and stops the worker: clear, stop, clear, 300 ms, stop, clear.
    void StopWorker();
    // Reads with the worker stopped and starts it again, after a success and after a failure alike. A
    // failure (the retry budget used up, or the opening read of all records refused) shows "Please check
    // connection!" before the worker is started again and returns Failed with no text. The user's cancel
    // (the progress's Cancel) ends the read before the next block, without a message: Cancelled.
    Result ReadAndRestart(EventLogScope scope);
    // The whole operation in order: CheckConnected, StopWorker, ReadAndRestart.
    Result Run(EventLogScope scope);

    // The progress caption ("Please Wait ..." / "Bitte warten ...") in the current language.
    static std::string ProgressCaption();

private:
    // One file's text: blocks until the first zero byte followed by another zero byte (within a block or
    // across two), or 100 blocks. False once the retry budget is used up.
    bool ReadFile(int fileNumber, bool progressPerBlock, std::string& text);
    void ShowProgress(int pos);

    CControllerModbus& m_controller;
    IUiPort& m_ui;
    int m_budget = kRetryBudget;
    int m_lastCode = 0;
    bool m_cancelled = false;
};
