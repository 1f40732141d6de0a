#include "comm/SingleMeasurementRun.h"

#include "base/Document.h"
#include "comm/ControllerModbus.h"
#include "comm/JobCancelTrigger.h"
#include "comm/JobQueryTrigger.h"
#include "comm/JobReadTraces.h"
#include "comm/JobReadTrigger.h"
#include "comm/JobWriteTrigger.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementSetup.h"

namespace {
constexpr unsigned kIdsModbusError = 178;
} // namespace

CSingleMeasurementRun::CSingleMeasurementRun(CDocMeasurementSingle& doc, CControllerModbus& controller)
    : m_doc(doc), m_controller(controller) {}

CSingleMeasurementRun::Started CSingleMeasurementRun::Start(const CTrigger& trigger,
                                                            const std::vector<uint32_t>& ids,
                                                            const CMeasStart& start) {
    Started started;
    started.refusal = MeasurementSetup::CheckSingleStart(ids.size(), m_controller.IsConnected(),
                                                         static_cast<int64_t>(trigger.GetDivider()));
    if (started.refusal)
        return started;
    m_controller.ClearPollQueue();
    m_doc.OnNewDocument();
    m_doc.InitMeasurement(trigger, ids, start);
    started.documentReset = true;
    m_latch = m_reading = false;
    if (!m_controller.AddUserJob(std::make_unique<CJobWriteTrigger>(&m_doc))) {
        started.refusal = kIdsModbusError;
        return started;
    }
    m_awaitingArm = true;
    m_doc.SetRunning(true);
    SetPolling(true);
    Poll();
    return started;
}

void CSingleMeasurementRun::Poll() {
    m_controller.AddPollJob(std::make_unique<CJobQueryTrigger>(&m_doc));
}

void CSingleMeasurementRun::Cancel() {
    SetPolling(false);
    m_latch = true;
    m_reading = m_awaitingArm = false;
    m_doc.NewRun();
    m_doc.SetRunning(false);
    // Created after the run moved on: it belongs to the cancelled document and marks it disarmed, unless
    // the document becomes another before it runs; the device is reset either way.
    m_controller.AddUserJob(std::make_unique<CJobCancelTrigger>(&m_doc));
}

CSingleMeasurementRun::Reaction CSingleMeasurementRun::OnHint(int64_t hint) {
    if (hint == UpdateHint::kTriggerState)
        return OnTriggerState();
    if (hint == UpdateHint::kRunning && !m_doc.IsRunning())
        SetPolling(false);
    return Reaction::kNone;
}

CSingleMeasurementRun::Reaction CSingleMeasurementRun::OnTriggerState() {
    switch (m_doc.GetTriggerState()) {
    case CDocMeasurementSingle::kNoTrigger:
        if (m_awaitingArm && !m_doc.WasArmed() && m_doc.IsRunning())
            return Reaction::kNone; // read before the trigger was written: keep polling
        SetPolling(false);
        // Running, yet the device holds no trigger (reset or switched off meanwhile): nothing will come.
        if (!m_doc.IsRunning() || m_latch)
            return Reaction::kNone;
        m_doc.NewRun();
        m_doc.SetRunning(false);
        return Reaction::kEnded;
    case CDocMeasurementSingle::kTriggerActive:
        if (!m_controller.IsConnected()) {
            SetPolling(false);
            m_doc.NewRun();
            m_doc.SetTriggerState(CDocMeasurementSingle::kNoTrigger);
            m_doc.SetRunning(false);
            return Reaction::kEnded;
        }
        // An armed trigger found in the device (after a start of the program, say): polled on.
        if (!m_doc.IsRunning())
            TakeUp();
        return Reaction::kNone;
    case CDocMeasurementSingle::kTraceReady:
        if (m_latch)
            return Reaction::kNone;
        SetPolling(false);
        if (!m_controller.AddPollJob(std::make_unique<CJobReadTrigger>(&m_doc)) ||
            !m_controller.AddPollJob(std::make_unique<CJobReadTraces>(&m_doc))) {
            SetPolling(true); // not queued now: the next answer of 3 tries again
            return Reaction::kNone;
        }
        m_latch = m_reading = true;
        return Reaction::kReadingTraces;
    default:
        return Reaction::kNone;
    }
}

CSingleMeasurementRun::Reaction CSingleMeasurementRun::Adopt() {
    const uint32_t state = m_doc.GetTriggerState();
    if (!m_doc.IsRunning() && state != CDocMeasurementSingle::kTriggerActive)
        return Reaction::kNone;
    if (m_controller.IsConnected() && state != CDocMeasurementSingle::kNoTrigger && TakeUp()) {
        Poll();
        return Reaction::kNone;
    }
    // Nothing armed, or no device to ask: nothing will come for it.
    m_doc.NewRun();
    m_doc.SetTriggerState(CDocMeasurementSingle::kNoTrigger);
    m_doc.SetRunning(false);
    return Reaction::kEnded;
}

bool CSingleMeasurementRun::TakeUp() {
    // A run of its own: jobs still queued for an earlier one touch nothing of it.
    m_doc.NewRun();
    if (!m_controller.AddPollJob(std::make_unique<CJobReadTrigger>(&m_doc)))
        return false;
    m_latch = m_reading = m_awaitingArm = false;
    m_doc.SetRunning(true);
    SetPolling(true);
    return true;
}

void CSingleMeasurementRun::SetPolling(bool polling) {
    if (polling == m_polling)
        return;
    m_polling = polling;
    if (m_pollingChanged)
        m_pollingChanged(polling);
}
