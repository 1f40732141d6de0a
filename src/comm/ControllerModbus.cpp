#include "comm/ControllerModbus.h"

#include "base/StringTable.h"
#include "modbus/MbusMasterFunctions.h"
#include "modbus/MbusRtuMasterProtocol.h"
#include "modbus/MbusTcpMasterProtocol.h"
#include "parameters/ParameterManager.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

constexpr unsigned kIdsModbusError = 178;
constexpr unsigned kIdsNoWriteAccess = 142;
constexpr unsigned kIdsParameterNotFound = 155;

// Register layouts by the cell's own classification of the data type codes.
bool Is16BitType(uint32_t t) {
    const auto k = PARAMVALUE::KindOf(t);
    return k == PARAMVALUE::Kind::Int16 || k == PARAMVALUE::Kind::UInt16;
}
bool Is32BitType(uint32_t t) {
    const auto k = PARAMVALUE::KindOf(t);
    return k == PARAMVALUE::Kind::Int32 || k == PARAMVALUE::Kind::UInt32;
}

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
    if (!WaitForThreadStop(kStopWaitMs)) {
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

void CControllerModbus::SetMaster(std::unique_ptr<MbusMasterFunctions> master) {
    std::lock_guard abortLock(m_abortMutex);
    m_abortTarget = master.get();
    m_master = std::move(master);
    ++m_connectionSerial;
}

std::unique_ptr<MbusMasterFunctions> CControllerModbus::TakeMaster() {
    std::lock_guard abortLock(m_abortMutex);
    m_abortTarget = nullptr;
    ++m_connectionSerial;
    return std::move(m_master);
}

void CControllerModbus::CloseMaster() {
    std::unique_ptr<MbusMasterFunctions> master;
    {
        std::lock_guard lock(m_masterMutex);
        master = TakeMaster();
    }
    if (master && master->isOpen())
        master->closeProtocol();
}

bool CControllerModbus::Connect() {
    m_state.store(kNotConnected);
    Disconnect();
    CloseMaster();

    if (m_protocol == kProtocolTcp) {
        auto tcp = std::make_unique<MbusTcpMasterProtocol>();
        tcp->setRetryCount(kRetryCount);
        tcp->setTimeout(kTimeoutMs);
        const int rc = tcp->openProtocol(m_host);
        if (rc != MBUS_SUCCESS) {
            tcp->closeProtocol();
            tcp.reset();
            SetState(kConnectFailed);
            ShowMessage(MbusMasterFunctions::getErrorText(rc), quirel::loadString(kIdsModbusError),
                        MbIcon::Error);
        } else {
            {
                std::lock_guard lock(m_masterMutex);
                SetMaster(std::move(tcp));
            }
            SetState(kConnected);
        }
    } else {
        auto rtu = std::make_unique<MbusRtuMasterProtocol>();
        rtu->setRetryCount(kRetryCount);
        int parity = 0;
        if (strcasecmp(m_parity.c_str(), "O") == 0)
            parity = 1;
        else if (strcasecmp(m_parity.c_str(), "E") == 0)
            parity = 2;
        // The port name is used as the device path as it is; Linux knows no device prefix.
        const int rc =
            rtu->openProtocol(m_portName, static_cast<long>(m_baudRate), m_dataBits, m_stopBits, parity);
        if (rc != MBUS_SUCCESS) {
            rtu->closeProtocol();
            rtu.reset();
            SetState(kConnectFailed);
            ShowMessage(MbusMasterFunctions::getErrorText(rc), quirel::loadString(kIdsModbusError),
                        MbIcon::Error);
        } else {
            int32_t probe = 0;
            int probeRc;
            {
                std::lock_guard lock(m_masterMutex);
                SetMaster(std::move(rtu));
                // Function 4 at reference 10: does anybody answer on this line?
                probeRc = m_master->readInputLongInts(m_slaveId, 10, &probe, 1);
            }
            if (probeRc != MBUS_SUCCESS) {
                // State stays 0; the port stays open until the next Connect or Disconnect.
                ShowMessage(MbusMasterFunctions::getErrorText(probeRc), quirel::loadString(kIdsModbusError),
                            MbIcon::Error);
            } else {
                SetState(kConnected);
            }
        }
    }
    const int state = m_state.load();
    PostState(state);
    return state == kConnected;
}

void CControllerModbus::Disconnect() {
    if (IsWorkerThread()) {
        DisconnectFromJob();
        return;
    }
    bool hasMaster;
    {
        // Not m_masterMutex: a job's request holds that for as long as its retries take.
        std::lock_guard lock(m_abortMutex);
        hasMaster = m_abortTarget != nullptr;
    }
    if (hasMaster) {
        m_pollQueue.Clear();
        if (IsThreadRunning()) {
            m_jobDone.Reset();
            SetState(kDisconnecting);
            // No answer within the handshake time: the worker is inside a job, perhaps in a series of
            // retries that could take many seconds. Its transfer is cut off (the job gets an I/O error)
            // rather than holding this thread until the master is free to close.
            if (!m_jobDone.Wait(kDisconnectWaitMs))
                AbortTransfers();
        } else {
            // No worker to acknowledge: drop what it would have dropped.
            m_state.store(kDisconnecting);
            m_userQueue.Clear();
        }
        SetState(kNotConnected);
        // Waits for a request in progress on another thread; the master is never closed under it.
        CloseMaster();
    }
    PostState(kNotConnected);
}

void CControllerModbus::DisconnectFromJob() {
    // Inside a job nobody can acknowledge: only the poll queue is emptied, and user and transfer jobs stay
    // for the next connection. All of it happens under the master lock and only to the connection the job
    // started on: one that the user interface has closed meanwhile, or already replaced by a new one, is
    // left alone, and no stale state reaches the user interface.
    std::unique_ptr<MbusMasterFunctions> master;
    {
        std::lock_guard lock(m_masterMutex);
        if (m_jobConnectionSerial != m_connectionSerial)
            return;
        m_pollQueue.Clear();
        m_state.store(kNotConnected);
        master = TakeMaster();
    }
    Notify();
    if (master && master->isOpen())
        master->closeProtocol();
    PostState(kNotConnected);
}

// --- device access ---------------------------------------------------------------------------------

template <class F> int CControllerModbus::WithMaster(F&& call) {
    std::lock_guard lock(m_masterMutex);
    if (!m_master || !m_master->isOpen())
        return MBUS_ILLEGAL_STATE;
    // A job must not carry on over a connection made after it started.
    if (IsWorkerThread() && m_jobConnectionSerial != m_connectionSerial)
        return MBUS_ILLEGAL_STATE;
    return call(*m_master);
}

void CControllerModbus::Throw(int code) {
    throw CModbusException(code, MbusMasterFunctions::getErrorText(code));
}

void CControllerModbus::CheckResult(int code) {
    if (code == MBUS_SUCCESS || code == MBUS_INVALID_REPLY)
        return;
    if ((code >= 64 && code <= 127) || code == MBUS_REPLY_TIMEOUT)
        Disconnect();
    Throw(code);
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

void CControllerModbus::ReadDeviceIdentification(int size, uint8_t* buffer) {
    const int slave = m_slaveId;
    CheckResult(WithMaster(
        [&](MbusMasterFunctions& m) { return m.readDeviceIdentification(slave, size, 1, 0, buffer); }));
}

bool CControllerModbus::ReadValues(int reference, uint32_t dataType, PARAMVALUE cells[], int count) {
    const int slave = m_slaveId;
    if (Is16BitType(dataType)) {
        if (count < 1 || count > 125)
            CheckResult(MBUS_ILLEGAL_ARGUMENT);
        std::vector<uint16_t> regs(static_cast<size_t>(count));
        const int rc = WithMaster([&](MbusMasterFunctions& m) {
            return m.readHoldingRegisters(slave, reference, regs.data(), count);
        });
        CheckResult(rc);
        if (rc != MBUS_SUCCESS)
            return false;
        for (int i = 0; i < count; ++i)
            cells[i].raw = (cells[i].raw & 0xFFFF0000u) | regs[static_cast<size_t>(i)];
        return true;
    } else if (Is32BitType(dataType)) {
        if (count < 1 || count > 62)
            CheckResult(MBUS_ILLEGAL_ARGUMENT);
        std::vector<int32_t> values(static_cast<size_t>(count));
        const int rc = WithMaster([&](MbusMasterFunctions& m) {
            return m.readHoldingLongInts(slave, reference, values.data(), count);
        });
        CheckResult(rc);
        if (rc != MBUS_SUCCESS)
            return false;
        for (int i = 0; i < count; ++i)
            cells[i].raw = static_cast<uint32_t>(values[static_cast<size_t>(i)]);
        return true;
    } else if (dataType == 8) {
        if (count < 1 || count > 62)
            CheckResult(MBUS_ILLEGAL_ARGUMENT);
        std::vector<float> values(static_cast<size_t>(count));
        const int rc = WithMaster([&](MbusMasterFunctions& m) {
            return m.readHoldingFloats(slave, reference, values.data(), count);
        });
        CheckResult(rc);
        if (rc != MBUS_SUCCESS)
            return false;
        for (int i = 0; i < count; ++i)
            cells[i].SetFloat(values[static_cast<size_t>(i)]);
        return true;
    } else if (dataType == 9) {
        // A text of up to 20 characters in ten registers, whatever count says; kept in the shared table.
        uint16_t regs[10] = {};
        const int rc = WithMaster(
            [&](MbusMasterFunctions& m) { return m.readHoldingRegisters(slave, reference, regs, 10); });
        CheckResult(rc);
        if (rc != MBUS_SUCCESS)
            return false;
        TextValueTable::Set(reference / 10, TextValueTable::DecodeRegisters(regs));
        return true;
    }
    // Coils, "nothing" and unknown codes have no register form: nothing is read.
    return false;
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
        throw CParameterException(kIdsParameterNotFound, std::to_string(parameterId));
    if (!IsReadable(d->GetAccessType()))
        CheckResult(MBUS_EXCEPTION_ILLEGAL_VALUE);
    return ReadValue(d->GetModbusAddress(), static_cast<uint32_t>(d->GetDataType()), filled);
}

void CControllerModbus::WriteParameter(int32_t parameterId, const PARAMVALUE& value) {
    const CParameterDescription* d =
        m_parameterManager ? m_parameterManager->FindDescription(parameterId) : nullptr;
    if (!d)
        throw CParameterException(kIdsParameterNotFound, std::to_string(parameterId));
    if (!IsWritable(d->GetAccessType()))
        throw CModbusException(MBUS_IO_ERROR, quirel::loadString(kIdsNoWriteAccess)); // no disconnect
    WriteValue(d->GetModbusAddress(), static_cast<uint32_t>(d->GetDataType()), value.raw);
}

void CControllerModbus::WriteValue(int reference, uint32_t dataType, uint32_t raw) {
    const int slave = m_slaveId;
    int rc;
    if (Is16BitType(dataType)) {
        const uint16_t reg = static_cast<uint16_t>(raw & 0xFFFFu);
        rc = WithMaster(
            [&](MbusMasterFunctions& m) { return m.writeMultipleRegisters(slave, reference, &reg, 1); });
    } else if (Is32BitType(dataType)) {
        const int32_t v = static_cast<int32_t>(raw);
        rc = WithMaster(
            [&](MbusMasterFunctions& m) { return m.writeMultipleLongInts(slave, reference, &v, 1); });
    } else if (dataType == 8) {
        const float f = PARAMVALUE(8, raw).GetFloat();
        rc = WithMaster(
            [&](MbusMasterFunctions& m) { return m.writeMultipleFloats(slave, reference, &f, 1); });
    } else {
        rc = MBUS_ILLEGAL_ARGUMENT;
    }
    CheckResult(rc);
}

void CControllerModbus::WriteRawValue(int reference, uint32_t dataType, uint32_t raw) {
    if (dataType == 1) {
        const int slave = m_slaveId;
        const int on = raw != 0 ? 1 : 0;
        CheckResult(
            WithMaster([&](MbusMasterFunctions& m) { return m.writeSingleCoil(slave, reference, on); }));
    } else if (Is16BitType(dataType) || Is32BitType(dataType)) {
        WriteValue(reference, dataType, raw);
    } else {
        ShowMessage("Data type not supported. ", quirel::loadString(kIdsModbusError), MbIcon::Error);
    }
}
