// The jobs that arm, query, read and cancel the device's trigger.
#include "base/StringTable.h"
#include "comm/CommStringIds.h"
#include "comm/ControllerModbus.h"
#include "comm/JobCancelTrigger.h"
#include "comm/JobQueryTrigger.h"
#include "comm/JobReadTrigger.h"
#include "comm/JobWriteTrigger.h"
#include "comm/TriggerRegisters.h"
#include "measurement/DocMeasurementSingle.h"
#include "modbus/MbusMasterFunctions.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"

#include <vector>

namespace {

using namespace TriggerRegister;

// Runs `body`; a communication or catalogue failure is shown with the job's caption and, when asked to,
// clears the running flag of the job's run (a run that has ended meanwhile is left alone).
template <class Body>
void Guarded(CControllerModbus& controller, CDocMeasurementSingle* doc, uint64_t run, unsigned caption,
             bool stopOnError, Body body) {
    std::string error;
    try {
        body();
        return;
    } catch (const CModbusException& e) {
        error = e.GetMessage();
    } catch (const CParameterException& e) {
        error = e.GetMessage();
    }
    if (stopOnError)
        doc->IfRun(run, [&] { doc->SetRunning(false); });
    controller.ShowMessage(error, quirel::loadString(caption), MbIcon::Error);
}

} // namespace

CJobWriteTrigger::CJobWriteTrigger(CDocMeasurementSingle* document)
    : m_document(document), m_run(document->GetRun()) {}
CJobCancelTrigger::CJobCancelTrigger(CDocMeasurementSingle* document)
    : m_document(document), m_run(document->GetRun()) {}
CJobQueryTrigger::CJobQueryTrigger(CDocMeasurementSingle* document)
    : m_document(document), m_run(document->GetRun()) {}
CJobReadTrigger::CJobReadTrigger(CDocMeasurementSingle* document)
    : m_document(document), m_run(document->GetRun()) {}

void CJobWriteTrigger::Execute(CControllerModbus& controller) {
    CTrigger trigger;
    std::vector<uint32_t> ids;
    if (!m_document->IfRun(m_run, [&] {
            trigger = m_document->GetTrigger();
            for (int i = 0; i < m_document->GetChannelCount(); ++i)
                ids.push_back(m_document->GetParameterId(i));
        }))
        return; // cancelled before it was armed: nothing reaches the device
    Guarded(controller, m_document, m_run, CommStringId::kWriteTrigger, true, [&] {
        // Channel registers end where the trigger control begins: more than ten would overwrite it.
        if (ids.size() > static_cast<size_t>(kMaxChannels))
            controller.CheckResult(MBUS_ILLEGAL_ARGUMENT);
        // Every channel is looked up before the first write, so that an unknown one leaves the device's
        // settings as they were rather than half rewritten.
        const CParameterManager* catalogue = controller.GetParameterManager();
        for (uint32_t id : ids)
            if (!catalogue || !catalogue->Exists(static_cast<int32_t>(id)))
                throw CParameterException(155, std::to_string(static_cast<int32_t>(id)));
        controller.WriteRawValue(kChannel, 6, trigger.GetParameterId());
        controller.WriteValue(kLevel, 8, trigger.GetLevel().GetValue().raw);
        controller.WriteRawValue(kMode, 6, trigger.GetMode());
        controller.WriteRawValue(kDelay, 3, static_cast<uint32_t>(trigger.GetDelay()));
        controller.WriteRawValue(kDivider, 6, trigger.GetDivider());
        controller.WriteRawValue(kChannelCount, 6, static_cast<uint32_t>(ids.size()));
        for (size_t i = 0; i < ids.size(); ++i)
            controller.WriteRawValue(kChannelList + static_cast<int>(i), 6, ids[i]);
        controller.WriteRawValue(kControl, 6, 1);
    });
}

void CJobCancelTrigger::Execute(CControllerModbus& controller) {
    Guarded(controller, m_document, m_run, CommStringId::kCancelTrigger, false, [&] {
        controller.WriteRawValue(kControl, 6, 0);
        if (m_document->IfRun(m_run, [&] { m_document->SetTriggerState(CDocMeasurementSingle::kNoTrigger); }))
            controller.PostDocumentUpdate(m_document, UpdateHint::kDataChanged);
    });
}

void CJobQueryTrigger::Execute(CControllerModbus& controller) {
    if (m_document->GetRun() != m_run)
        return;
    Guarded(controller, m_document, m_run, CommStringId::kQueryTriggerState, true, [&] {
        bool filled = false;
        const PARAMVALUE state = controller.ReadValue(kControl, 6, &filled);
        // A garbled reply tells nothing: read as 0 it would end the polling of an armed trigger.
        if (!filled)
            return;
        if (m_document->IfRun(m_run, [&] { m_document->SetTriggerState(state.raw & 0xFFFFu); }))
            controller.PostDocumentUpdate(m_document, UpdateHint::kTriggerState);
    });
}

void CJobReadTrigger::Execute(CControllerModbus& controller) {
    if (m_document->GetRun() != m_run)
        return;
    Guarded(controller, m_document, m_run, CommStringId::kReadTrigger, true, [&] {
        bool ok[5] = {};
        const PARAMVALUE channel = controller.ReadValue(kChannel, 6, &ok[0]);
        const PARAMVALUE level = controller.ReadValue(kLevel, 8, &ok[1]);
        const PARAMVALUE mode = controller.ReadValue(kMode, 6, &ok[2]);
        const PARAMVALUE delay = controller.ReadValue(kDelay, 3, &ok[3]);
        const PARAMVALUE divider = controller.ReadValue(kDivider, 6, &ok[4]);
        for (bool filled : ok)
            if (!filled)
                return; // a garbled reply: the trigger stays as it was rather than partly zero
        const uint32_t id = channel.raw & 0xFFFFu;
        // The level register holds the raw value in the trigger channel's own encoding; labelled with
        // that channel's type it reads as the level the user set, not as the float those bits would be.
        const CParameterManager* catalogue = controller.GetParameterManager();
        const CParameterDescription* d =
            catalogue ? catalogue->FindDescription(static_cast<int32_t>(id)) : nullptr;
        const uint32_t levelType = d ? static_cast<uint32_t>(d->GetDataType()) : 8u;
        m_document->IfRun(m_run, [&] {
            m_document->SetTrigger(static_cast<int16_t>(delay.raw & 0xFFFFu), mode.raw & 0xFFFFu,
                                   divider.raw & 0xFFFFu, id, levelType, level.raw);
        });
    });
}
