#pragma once

#include "base/UiPort.h"
#include "comm/JobAbstract.h"
#include "comm/JobQueue.h"
#include "comm/ModbusException.h"
#include "parameters/ParamValue.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CParameterManager;
class MbusMasterFunctions;
class MbusTrafficObserver;

// A signal that wakes one waiter and then resets itself; a Set with nobody waiting is kept until the
// next Wait.
class CAutoResetEvent {
public:
    void Set();
    void Reset();
    // True when signalled within `timeoutMs`.
    bool Wait(int timeoutMs);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_signalled = false;
};

// The single gateway between the user interface and the device. It holds the connection settings,
// owns the Modbus master while a connection exists and runs one worker thread that takes jobs from three
// queues: transfer (50) before user (100) before poll (400).
//
// Threads: settings, Connect, Disconnect, Add*Job and the queue operations belong to the user-interface
// thread; jobs run on the worker. The master is guarded by a mutex held for one Modbus request at a
// time, so the user-interface thread's direct reads (identification, file records) interleave safely
// with a running job, and a message box shown by a job never holds it.
class CControllerModbus {
public:
    static constexpr int kPollCapacity = 400;
    static constexpr int kUserCapacity = 100;
    static constexpr int kTransferCapacity = 50;
    static constexpr int kDisconnectWaitMs = 1000; // "JobDone" handshake
    static constexpr int kStopWaitMs = 5000;       // "StopCommController" handshake at exit
    static constexpr int kRetryCount = 10;
    static constexpr int kTimeoutMs = 1000;
    // A request is tried once and repeated up to the retry count; the master allows 0 to 10 retries.
    static constexpr int kTries = kRetryCount + 1;
    static constexpr int kMaxTries = 11;
    static constexpr int kMaxTimeoutMs = 100000;
    static constexpr int kProtocolTcp = 0;
    static constexpr int kProtocolRtu = 1;

    explicit CControllerModbus(CParameterManager* parameterManager = nullptr, IUiPort* uiPort = nullptr);
    // Stops the worker (waiting for it), disconnects and deletes every job still queued.
    virtual ~CControllerModbus();
    CControllerModbus(const CControllerModbus&) = delete;
    CControllerModbus& operator=(const CControllerModbus&) = delete;

    // Function 20 with byte count 7; the result goes through CheckResult. Any thread.
    virtual void ReadFileRecord(int fileNumber, int recordNumber, int recordLength, uint8_t* buffer);
    // The same, returning the result code unchecked.
    int ReadFileRecordNoCheck(int fileNumber, int recordNumber, int recordLength, uint8_t* buffer);
    // Function 43/14, read code 1, object 0, into `size` bytes of `buffer`; through CheckReply. Any thread.
    void ReadDeviceIdentification(int size, uint8_t* buffer);

    // --- wiring (before StartThread) ---
    void SetParameterManager(CParameterManager* manager) { m_parameterManager = manager; }
    CParameterManager* GetParameterManager() const { return m_parameterManager; }
    // Where state changes, document updates and message boxes go; null drops them (boxes answer IDOK).
    void SetUiPort(IUiPort* port) { m_uiPort = port; }
    IUiPort* GetUiPort() const { return m_uiPort; }

    // --- settings (user-interface thread, while not connected) ---
    // Stores all five and selects Modbus RTU.
    void SetSerialSettings(const std::string& portName, uint32_t baudRate, int16_t dataBits, int16_t stopBits,
                           const std::string& parity);
    // Stores the host ("name", "a.b.c.d" or either with ":port") and selects Modbus TCP.
    void SetTcpSettings(const std::string& host);
    void SetPortName(const std::string& portName) { m_portName = portName; }
    void SetSlaveId(int id) { m_slaveId = id; }
    void SetModem(int modem) { m_modem = modem; }
    // The Modbus time-out of the next connection (1 to 100000 ms; 1000 unless set), for links slower or
    // faster than a device on its own serial line or network. False, changing nothing, outside the range.
    bool SetTimeout(int timeoutMs);
    int GetTimeout() const { return m_timeoutMs; }
    // How often the next connection tries a request that gets no usable reply (1 to 11; 11 unless set).
    // False, changing nothing, outside the range.
    bool SetTries(int tries);
    int GetTries() const { return m_tries; }
    // Sees the traffic of every connection from now on (null: none); any thread. The observer must
    // outlive the controller: an exchange under way may still report to the one it replaces.
    void SetTrafficObserver(MbusTrafficObserver* observer);
    // Two texts kept for the connection settings dialog; index 0 or 1, others ignored.
    void SetAuxText(int index, const std::string& text);
    void SetProtocol(int protocol) { m_protocol = protocol; }

    const std::string& GetPortName() const { return m_portName; }
    uint32_t GetBaudRate() const { return m_baudRate; }
    int16_t GetDataBits() const { return m_dataBits; }
    int16_t GetStopBits() const { return m_stopBits; }
    const std::string& GetParity() const { return m_parity; }
    const std::string& GetHost() const { return m_host; }
    int GetModem() const { return m_modem; }
    std::string GetAuxText(int index) const;
    int GetProtocol() const { return m_protocol; }
    int GetSlaveId() const { return m_slaveId; }

    // --- worker thread ---
    // Sets running and starts the worker unless one is still alive (which then simply goes on).
    void StartThread();
    // Clears running: the worker ends once its current job has finished, after deleting the waiting poll
    // and user jobs, and signals "StopCommController".
    void StopThread();
    // Waits up to `timeoutMs` for the worker to end ("StopCommController"); true when it has (or none ran).
    bool WaitForThreadStop(int timeoutMs = kStopWaitMs);
    // How long Disconnect waits for the running job's acknowledgement, and the end for the worker, before
    // cutting the transfer under way off (kDisconnectWaitMs and kStopWaitMs unless set).
    void SetHandshakeWaits(int disconnectMs, int stopMs) {
        m_disconnectWaitMs = disconnectMs;
        m_stopWaitMs = stopMs;
    }
    // Cuts off the Modbus transfer under way (and any later one on this connection) with an I/O error,
    // without waiting for it; any thread. Exit uses it once the worker has overrun its bound.
    void AbortTransfers();
    bool IsThreadRunning() const;

    // --- connection (user-interface thread) ---
    // Never throws. True when connected afterwards. Failures are shown in a "Modbus error" box.
    bool Connect();
    // The user's Cancel of a Connect under way on another thread: its wait for the device is cut off and
    // it returns false, not connected, without a message. Does nothing when no Connect runs. Any thread.
    void CancelConnect();
    void Disconnect();
    bool IsConnected() const { return m_state.load() == kConnected; }
    int GetState() const { return m_state.load(); }

    // --- queues (user-interface thread) ---
    // False when not connected or the queue is full; a refused job is deleted here. Poll jobs are also
    // refused while polling is held.
    bool AddPollJob(std::unique_ptr<CJobAbstract> job);
    // While the device is being checked after a connect, nothing is polled: values read then would be
    // decoded with a catalogue that may not fit the device.
    void HoldPolling(bool hold) { m_pollingHeld.store(hold); }
    bool AddUserJob(std::unique_ptr<CJobAbstract> job);
    bool AddTransferJob(std::unique_ptr<CJobAbstract> job);
    bool IsPollQueueEmpty() const { return m_pollQueue.IsEmpty(); }
    bool IsUserQueueEmpty() const { return m_userQueue.IsEmpty(); }
    bool IsTransferQueueEmpty() const { return m_transferQueue.IsEmpty(); }
    void ClearPollQueue() { m_pollQueue.Clear(); }
    void ClearUserQueue() { m_userQueue.Clear(); }
    // Poll and user queues; the transfer queue is never cleared.
    void ClearQueues();
    // Waits until all three queues are empty and no job runs; false after `timeoutMs`.
    bool WaitForIdle(int timeoutMs);
    // For long runs: the jobs the worker has executed, and the Modbus failures the controller raised.
    uint64_t JobsRun() const { return m_jobsRun.load(std::memory_order_relaxed); }
    uint64_t Failures() const { return m_failures.load(std::memory_order_relaxed); }

    // --- device access (worker thread; every Modbus result goes through CheckResult) ---
    // 0 and 131 pass; 64-127, 129, 130 and 132 disconnect first and throw; anything else throws. The
    // message of a reply that could not be used names what came back.
    void CheckResult(int code);
    // A result that means the connection is lost: an input/output or connection failure (64-127), no reply
    // at all (132), or, after every retry, only replies that were no Modbus frame for this request (129,
    // 130): a peer that speaks another protocol, or another device, answers nothing this program can use.
    static bool IsConnectionLost(int code) {
        return (code >= 64 && code <= 127) || code == 129 || code == 130 || code == 132;
    }
    // The request Connect sends to learn whether the device answers on a serial line: function 4, two input
    // registers from reference 10. The device scan sends the same, so what it finds, Connect reaches.
    static int SendConnectProbe(MbusMasterFunctions& master, int slave);
    // The text of a failing result as the "Modbus error" box shows it, naming what came back for a reply
    // that could not be used (the master's getLastUnusableReply).
    static std::string DescribeResult(int code, const std::vector<uint8_t>& unusable);
    // The box text of an open or connect of `target` that failed with `rc`, with the system's reason.
    static std::string DescribeOpenFailure(int rc, const std::string& target,
                                           const MbusMasterFunctions& master);
    // CheckResult for an access whose success is reported on: a write, or an answer taken as it came. A
    // garbled reply (131) then throws too, since nothing says the device did what was asked.
    void CheckReply(int code);
    // `count` values of one data type from consecutive registers starting at the 1-based `reference`.
    // False when nothing was filled in: a garbled reply (131, which does not throw) or a type without a
    // register form; the cells then keep what they held.
    bool ReadValues(int reference, uint32_t dataType, PARAMVALUE cells[], int count);
    // `filled` (when given) tells whether the returned cell holds a value read from the device.
    PARAMVALUE ReadValue(int reference, uint32_t dataType, bool* filled = nullptr);
    // Catalogue lookup and access check (a "wo" parameter throws 163 without traffic).
    PARAMVALUE ReadParameter(int32_t parameterId, bool* filled = nullptr);
    // Access check (not rw/wo throws 65 with "No write access to this parameter."), then WriteValue.
    void WriteParameter(int32_t parameterId, const PARAMVALUE& value);
    // Through CheckReply.
    void WriteValue(int reference, uint32_t dataType, uint32_t raw);
    // One call of the master with the device's slave id, under the master lock as every access above;
    // any thread. Returns the result code unchecked.
    int CallMaster(const std::function<int(MbusMasterFunctions& master, int slave)>& call);
    // Also writes coils (type 1); types without a register form show "Data type not supported. ".
    void WriteRawValue(int reference, uint32_t dataType, uint32_t raw);

    // Message box through the UI port (IDOK without one).
    int ShowMessage(const std::string& text, const std::string& caption, MbIcon icon,
                    MbButtons buttons = MbButtons::Ok);
    void PostDocumentUpdate(CDocument* doc, int64_t hint);

private:
    enum class Queue { Poll, User, Transfer };
    bool AddJob(CJobQueue& queue, std::unique_ptr<CJobAbstract> job);
    void SetState(int state);
    void PostState(int state);
    void Notify();
    void WorkerLoop();
    bool IsWorkerThread() const;
    // Runs one master call under the master lock; 2 ("Illegal state error") without a master, or when the
    // worker's job outlived the connection it started on; 68 ("TCP/IP connection error", which disconnects)
    // when the master has closed its connection, before the call or in it.
    template <class F> int WithMaster(F&& call);
    void CloseMaster();
    // With m_masterMutex held.
    void SetMaster(std::unique_ptr<MbusMasterFunctions> master);
    std::unique_ptr<MbusMasterFunctions> TakeMaster();
    // Disconnect as a job's connection-class failure calls it on the worker thread.
    void DisconnectFromJob();
    [[noreturn]] void Throw(int code);

    // Settings.
    std::string m_portName = "COM1";
    uint32_t m_baudRate = 38400;
    int16_t m_dataBits = 8;
    int16_t m_stopBits = 1;
    std::string m_parity = "N";
    std::string m_host = "0.0.0.0";
    int m_modem = 0;
    std::string m_auxText[2];
    int m_protocol = kProtocolTcp;
    int m_slaveId = 1;
    int m_timeoutMs = kTimeoutMs;
    int m_tries = kTries;

    CParameterManager* m_parameterManager = nullptr;
    IUiPort* m_uiPort = nullptr;

    // The master and the connection it belongs to, under m_masterMutex.
    std::mutex m_masterMutex;
    std::unique_ptr<MbusMasterFunctions> m_master;
    // The same master for AbortTransfers and Disconnect, which must not wait for the request that holds
    // m_masterMutex. Changed only with both mutexes held.
    std::mutex m_abortMutex;
    MbusMasterFunctions* m_abortTarget = nullptr;
    MbusTrafficObserver* m_trafficObserver = nullptr; // handed to each master, under m_abortMutex
    uint64_t m_connectionSerial = 0;
    // A Connect under way, and the user's wish to stop it; under m_abortMutex.
    bool m_connectRunning = false;
    bool m_connectCancelled = false;
    uint64_t m_jobConnectionSerial = 0; // worker only: the connection the running job started on

    CJobQueue m_pollQueue{kPollCapacity};
    CJobQueue m_userQueue{kUserCapacity};
    CJobQueue m_transferQueue{kTransferCapacity};

    std::atomic<int> m_state{kNotConnected};
    std::atomic<uint64_t> m_jobsRun{0};
    std::atomic<uint64_t> m_failures{0};
    std::atomic<bool> m_running{true};
    std::atomic<bool> m_pollingHeld{false};

    // Worker wake-up and life, under m_wakeMutex.
    mutable std::mutex m_wakeMutex;
    std::condition_variable m_wakeCv;
    std::condition_variable m_idleCv; // a job ended, or the worker did ("StopCommController")
    uint64_t m_wakeSeq = 0;
    bool m_workerAlive = false;
    bool m_jobRunning = false;
    std::thread m_thread;
    std::atomic<std::thread::id> m_workerId{};

    CAutoResetEvent m_jobDone; // "JobDone"
    int m_disconnectWaitMs = kDisconnectWaitMs;
    int m_stopWaitMs = kStopWaitMs;
};
