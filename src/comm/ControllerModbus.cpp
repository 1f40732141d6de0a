#include "comm/ControllerModbus.h"

#include "base/StringTable.h"
#include "comm/CommStringIds.h"
#include "modbus/MbusMasterFunctions.h"
#include "parameters/ParameterManager.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The one data type code that is written as a coil (function 5); it has no register form.
constexpr uint32_t kDataTypeCoil = 1;
// What a request may read at once (function 3).
constexpr int kMaxReadRegisters = 125;
// What a master that has closed its own connection returns for every later call: its reconnect after a
// failed exchange was refused, so the connection is lost.
constexpr int kLostConnection = MBUS_CONNECT_ERROR;

// Integer codes: 16 or 32 bits, signed or not.
bool IsIntegerType(uint32_t t) {
    switch (PARAMVALUE::KindOf(t)) {
    case PARAMVALUE::Kind::Int16:
    case PARAMVALUE::Kind::UInt16:
    case PARAMVALUE::Kind::Int32:
    case PARAMVALUE::Kind::UInt32:
        return true;
    default:
        return false;
    }
}

// What the master could not use in the last call on this thread, kept for the message of the failure
// that CheckResult raises next on the same thread.
thread_local std::vector<uint8_t> t_unusableReply;

} // namespace

// ---------------------------------------------------------------------------------------------------

void CAutoResetEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
    }
    m_cv.notify_one();
}

void CAutoResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_signalled = false;
}

bool CAutoResetEvent::Wait(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_signalled; }))
        return false;
    m_signalled = false;
    return true;
}

// ---------------------------------------------------------------------------------------------------

CControllerModbus::CControllerModbus(CParameterManager* parameterManager, IUiPort* uiPort)
    : m_parameterManager(parameterManager), m_uiPort(uiPort) {}

CControllerModbus::~CControllerModbus() {
    StopThread();
    // A job blocked beyond the bound (an unanswered box, a long retry series) still refers to this
    // object, so the thread is joined in any case: a transfer still waiting on the device is cut off, and
    // the UI port answers boxes at once during shutdown.
    if (!WaitForThreadStop(m_stopWaitMs)) {
        AbortTransfers();
        std::unique_lock lock(m_wakeMutex);
        m_idleCv.wait(lock, [this] { return !m_workerAlive; });
    }
    if (m_thread.joinable())
        m_thread.join();
    bool hasMaster;
    {
        std::lock_guard lock(m_masterMutex);
        hasMaster = m_master != nullptr;
    }
    if (hasMaster)
        Disconnect();
    // The queues delete whatever is still waiting, the transfer queue included.
}

// --- settings --------------------------------------------------------------------------------------

void CControllerModbus::SetSerialSettings(const std::string& portName, uint32_t baudRate, int16_t dataBits,
                                          int16_t stopBits, const std::string& parity) {
    m_portName = portName;
    m_baudRate = baudRate;
    m_dataBits = dataBits;
    m_stopBits = stopBits;
    m_parity = parity;
    m_protocol = kProtocolRtu;
}

void CControllerModbus::SetTcpSettings(const std::string& host) {
    m_host = host;
    m_protocol = kProtocolTcp;
}

bool CControllerModbus::SetTimeout(int timeoutMs) {
    if (timeoutMs < 1 || timeoutMs > kMaxTimeoutMs)
        return false;
    m_timeoutMs = timeoutMs;
    return true;
}

bool CControllerModbus::SetTries(int tries) {
    if (tries < 1 || tries > kMaxTries)
        return false;
    m_tries = tries;
    return true;
}

void CControllerModbus::SetTrafficObserver(MbusTrafficObserver* observer) {
    std::lock_guard lock(m_abortMutex);
    m_trafficObserver = observer;
    if (m_abortTarget)
        m_abortTarget->setTrafficObserver(observer);
}

void CControllerModbus::SetAuxText(int index, const std::string& text) {
    if (index == 0 || index == 1)
        m_auxText[index] = text;
}

std::string CControllerModbus::GetAuxText(int index) const {
    return index == 0 || index == 1 ? m_auxText[index] : std::string();
}

// --- user-interface port ---------------------------------------------------------------------------

int CControllerModbus::ShowMessage(const std::string& text, const std::string& caption, MbIcon icon,
                                   MbButtons buttons) {
    return m_uiPort ? m_uiPort->MessageBox(text, caption, icon, buttons) : IDOK;
}

void CControllerModbus::PostDocumentUpdate(CDocument* doc, int64_t hint) {
    if (m_uiPort)
        m_uiPort->PostDocumentUpdate(doc, hint);
}

void CControllerModbus::PostState(int state) {
    if (m_uiPort)
        m_uiPort->PostConnectionState(state);
}

void CControllerModbus::SetState(int state) {
    m_state.store(state);
    Notify();
}

void CControllerModbus::Notify() {
    {
        std::lock_guard lock(m_wakeMutex);
        ++m_wakeSeq;
    }
    m_wakeCv.notify_all();
}

// --- worker thread ---------------------------------------------------------------------------------

bool CControllerModbus::IsWorkerThread() const {
    return m_workerId.load() == std::this_thread::get_id();
}

void CControllerModbus::StartThread() {
    std::unique_lock lock(m_wakeMutex);
    m_running.store(true);
    ++m_wakeSeq;
    if (m_workerAlive) {
        // It has not decided to end yet (that decision is taken under this lock): it simply goes on.
        lock.unlock();
        m_wakeCv.notify_all();
        return;
    }
    std::thread finished = std::move(m_thread);
    m_workerAlive = true;
    lock.unlock();
    if (finished.joinable())
        finished.join(); // it has left its loop; only its return remains
    m_thread = std::thread([this] { WorkerLoop(); });
}

void CControllerModbus::StopThread() {
    {
        std::lock_guard lock(m_wakeMutex);
        m_running.store(false);
        ++m_wakeSeq;
    }
    m_wakeCv.notify_all();
}

bool CControllerModbus::WaitForThreadStop(int timeoutMs) {
    {
        std::unique_lock lock(m_wakeMutex);
        if (!m_idleCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_workerAlive; }))
            return false;
    }
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    return true;
}

bool CControllerModbus::IsThreadRunning() const {
    std::lock_guard lock(m_wakeMutex);
    return m_workerAlive;
}

void CControllerModbus::WorkerLoop() {
    m_workerId.store(std::this_thread::get_id());
    std::unique_lock lock(m_wakeMutex);
    for (;;) {
        if (!m_running.load()) {
            lock.unlock();
            m_pollQueue.Clear();
            m_userQueue.Clear();
            lock.lock();
            if (m_running.load())
                continue; // started again meanwhile
            m_workerId.store(std::thread::id());
            m_workerAlive = false; // "StopCommController"
            m_idleCv.notify_all();
            return;
        }
        const uint64_t seen = m_wakeSeq;
        const int state = m_state.load();
        if (state != kConnected) {
            if (state == kDisconnecting) {
                lock.unlock();
                m_pollQueue.Clear();
                m_userQueue.Clear();
                int expected = kDisconnecting;
                m_state.compare_exchange_strong(expected, kNotConnected);
                m_jobDone.Set();
                lock.lock();
                continue;
            }
            m_wakeCv.wait(lock, [&] { return m_wakeSeq != seen; });
            continue;
        }
        // Popped under the wake lock, so WaitForIdle never sees an empty queue without the running job.
        std::unique_ptr<CJobAbstract> job = m_transferQueue.Pop();
        if (!job)
            job = m_userQueue.Pop();
        if (!job)
            job = m_pollQueue.Pop();
        if (!job) {
            m_idleCv.notify_all();
            m_wakeCv.wait(lock, [&] { return m_wakeSeq != seen; });
            continue;
        }
        m_jobRunning = true;
        lock.unlock();
        {
            std::lock_guard masterLock(m_masterMutex);
            m_jobConnectionSerial = m_connectionSerial;
        }
        try {
            job->Execute(*this);
        } catch (...) {
            // A job reports its own failures; whatever still escapes must not end the worker.
        }
        job.reset();
        m_jobsRun.fetch_add(1, std::memory_order_relaxed);
        lock.lock();
        m_jobRunning = false;
        m_idleCv.notify_all();
    }
}

bool CControllerModbus::WaitForIdle(int timeoutMs) {
    std::unique_lock lock(m_wakeMutex);
    return m_idleCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return !m_jobRunning && m_transferQueue.IsEmpty() && m_userQueue.IsEmpty() && m_pollQueue.IsEmpty();
    });
}

// --- queues ----------------------------------------------------------------------------------------

bool CControllerModbus::AddJob(CJobQueue& queue, std::unique_ptr<CJobAbstract> job) {
    if (!job || !IsConnected() || queue.IsFull())
        return false;
    if (!queue.Push(job))
        return false;
    Notify();
    return true;
}

bool CControllerModbus::AddPollJob(std::unique_ptr<CJobAbstract> job) {
    if (m_pollingHeld.load())
        return false;
    return AddJob(m_pollQueue, std::move(job));
}
bool CControllerModbus::AddUserJob(std::unique_ptr<CJobAbstract> job) {
    return AddJob(m_userQueue, std::move(job));
}
bool CControllerModbus::AddTransferJob(std::unique_ptr<CJobAbstract> job) {
    return AddJob(m_transferQueue, std::move(job));
}

void CControllerModbus::ClearQueues() {
    m_pollQueue.Clear();
    m_userQueue.Clear();
}

// --- connection ------------------------------------------------------------------------------------

void CControllerModbus::AbortTransfers() {
    std::lock_guard lock(m_abortMutex);
    if (m_abortTarget)
        m_abortTarget->abortTransfers();
}

// --- device access ---------------------------------------------------------------------------------

template <class F> int CControllerModbus::WithMaster(F&& call) {
    std::lock_guard lock(m_masterMutex);
    if (!m_master)
        return MBUS_ILLEGAL_STATE;
    // A job must not carry on over a connection made after it started.
    if (IsWorkerThread() && m_jobConnectionSerial != m_connectionSerial)
        return MBUS_ILLEGAL_STATE;
    // The TCP master closes its socket when the reconnect after a failed exchange is refused. The
    // connection is then lost, whatever the state still says: the caller's CheckResult disconnects.
    if (!m_master->isOpen())
        return kLostConnection;
    const int rc = call(*m_master);
    if (rc == MBUS_CHECKSUM_ERROR || rc == MBUS_INVALID_FRAME)
        t_unusableReply = m_master->getLastUnusableReply();
    else
        t_unusableReply.clear();
    return rc != MBUS_SUCCESS && !m_master->isOpen() ? kLostConnection : rc;
}

void CControllerModbus::Throw(int code) {
    m_failures.fetch_add(1, std::memory_order_relaxed);
    std::string text = DescribeResult(code, t_unusableReply);
    t_unusableReply.clear();
    throw CModbusException(code, std::move(text));
}

void CControllerModbus::CheckResult(int code) {
    if (code == MBUS_SUCCESS || code == MBUS_INVALID_REPLY)
        return;
    if (IsConnectionLost(code))
        Disconnect();
    Throw(code);
}

void CControllerModbus::CheckReply(int code) {
    if (code == MBUS_INVALID_REPLY)
        Throw(code);
    CheckResult(code);
}

int CControllerModbus::ReadFileRecordNoCheck(int fileNumber, int recordNumber, int recordLength,
                                             uint8_t* buffer) {
    const int slave = m_slaveId;
    return WithMaster([&](MbusMasterFunctions& m) {
        return m.readFileRecord(slave, 7, fileNumber, recordNumber, recordLength, buffer);
    });
}

void CControllerModbus::ReadFileRecord(int fileNumber, int recordNumber, int recordLength, uint8_t* buffer) {
    CheckResult(ReadFileRecordNoCheck(fileNumber, recordNumber, recordLength, buffer));
}

int CControllerModbus::CallMaster(const std::function<int(MbusMasterFunctions&, int)>& call) {
    const int slave = m_slaveId;
    return WithMaster([&](MbusMasterFunctions& m) { return call(m, slave); });
}

void CControllerModbus::ReadDeviceIdentification(int size, uint8_t* buffer) {
    const int slave = m_slaveId;
    CheckReply(WithMaster(
        [&](MbusMasterFunctions& m) { return m.readDeviceIdentification(slave, size, 1, 0, buffer); }));
}

bool CControllerModbus::ReadValues(int reference, uint32_t dataType, PARAMVALUE cells[], int count) {
    const int width = PARAMVALUE::RegisterCount(dataType);
    if (width == 0)
        return false; // coils, "nothing" and unknown codes have no register form: nothing is read
    // A text is ten registers whatever count says, kept in the shared table rather than in a cell.
    const bool text = PARAMVALUE::KindOf(dataType) == PARAMVALUE::Kind::Text;
    if (!text && (count < 1 || count > kMaxReadRegisters / width))
        CheckResult(MBUS_ILLEGAL_ARGUMENT);
    const int registers = text ? width : count * width;
    std::vector<uint16_t> regs(static_cast<size_t>(registers));
    const int slave = m_slaveId;
    const int rc = WithMaster([&](MbusMasterFunctions& m) {
        return m.readHoldingRegisters(slave, reference, regs.data(), registers);
    });
    CheckResult(rc);
    if (rc != MBUS_SUCCESS)
        return false;
    if (text) {
        TextValueTable::Set(reference / 10, TextValueTable::DecodeRegisters(regs.data()));
        return true;
    }
    for (int i = 0; i < count; ++i) {
        const uint16_t* r = regs.data() + static_cast<size_t>(i) * static_cast<size_t>(width);
        // A 16-bit value leaves the upper half of its cell as it was.
        cells[i].raw =
            width == 1 ? (cells[i].raw & 0xFFFF0000u) | r[0] : PARAMVALUE::FromRegisters(dataType, r).raw;
    }
    return true;
}

PARAMVALUE CControllerModbus::ReadValue(int reference, uint32_t dataType, bool* filled) {
    PARAMVALUE cell(dataType, 0);
    const bool ok = ReadValues(reference, dataType, &cell, 1);
    if (filled)
        *filled = ok;
    return cell;
}

PARAMVALUE CControllerModbus::ReadParameter(int32_t parameterId, bool* filled) {
    const CParameterDescription* d =
        m_parameterManager ? m_parameterManager->FindDescription(parameterId) : nullptr;
    if (!d)
        throw CParameterException(CommStringId::kParameterNotFound, std::to_string(parameterId));
    if (!IsReadable(d->GetAccessType()))
        CheckResult(MBUS_EXCEPTION_ILLEGAL_VALUE);
    return ReadValue(d->GetModbusAddress(), static_cast<uint32_t>(d->GetDataType()), filled);
}

void CControllerModbus::WriteParameter(int32_t parameterId, const PARAMVALUE& value) {
    const CParameterDescription* d =
        m_parameterManager ? m_parameterManager->FindDescription(parameterId) : nullptr;
    if (!d)
        throw CParameterException(CommStringId::kParameterNotFound, std::to_string(parameterId));
    if (!IsWritable(d->GetAccessType()))
        throw CModbusException(MBUS_IO_ERROR,
                               quirel::loadString(CommStringId::kNoWriteAccess)); // no disconnect
    WriteValue(d->GetModbusAddress(), static_cast<uint32_t>(d->GetDataType()), value.raw);
}

void CControllerModbus::WriteValue(int reference, uint32_t dataType, uint32_t raw) {
    // 16-bit values as one register, 32-bit values and floats as two in the device's word order.
    uint16_t regs[2] = {};
    const int n = PARAMVALUE::IsWritableType(dataType) ? PARAMVALUE(dataType, raw).ToRegisters(regs) : 0;
    const int slave = m_slaveId;
    CheckReply(n == 0 ? MBUS_ILLEGAL_ARGUMENT : WithMaster([&](MbusMasterFunctions& m) {
        return m.writeMultipleRegisters(slave, reference, regs, n);
    }));
}

void CControllerModbus::WriteRawValue(int reference, uint32_t dataType, uint32_t raw) {
    if (dataType == kDataTypeCoil) {
        const int slave = m_slaveId;
        const int on = raw != 0 ? 1 : 0;
        CheckReply(
            WithMaster([&](MbusMasterFunctions& m) { return m.writeSingleCoil(slave, reference, on); }));
    } else if (IsIntegerType(dataType)) {
        WriteValue(reference, dataType, raw);
    } else {
        ShowMessage("Data type not supported. ", quirel::loadString(CommStringId::kModbusError),
                    MbIcon::Error);
    }
}
