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

// Runs `body`; a communication or catalogue failure clears the running flag when asked to and is shown
// with the job's caption.
template <class Body>
void Guarded(CControllerModbus& controller, CDocMeasurementSingle* doc, unsigned caption, bool stopOnError,
             Body body) {
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
        doc->SetRunning(false);
    controller.ShowMessage(error, quirel::loadString(caption), MbIcon::Error);
}

} // namespace

void CJobWriteTrigger::Execute(CControllerModbus& controller) {
    Guarded(controller, m_document, CommStringId::kWriteTrigger, true, [&] {
        const CTrigger trigger = m_document->GetTrigger();
        const int channels = m_document->GetChannelCount();
        // Channel registers end where the trigger control begins: more than ten would overwrite it.
        if (channels > kMaxChannels)
            controller.CheckResult(MBUS_ILLEGAL_ARGUMENT);
        // Every channel is looked up before the first write, so that an unknown one leaves the device's
        // settings as they were rather than half rewritten.
        const CParameterManager* catalogue = controller.GetParameterManager();
        std::vector<uint32_t> ids;
        for (int i = 0; i < channels; ++i) {
            const auto id = static_cast<int32_t>(m_document->GetParameterId(i));
            if (!catalogue || !catalogue->Exists(id))
                throw CParameterException(155, std::to_string(id));
            ids.push_back(static_cast<uint32_t>(id));
        }
        controller.WriteRawValue(kChannel, 6, trigger.GetParameterId());
        controller.WriteValue(kLevel, 8, trigger.GetLevel().GetValue().raw);
        controller.WriteRawValue(kMode, 6, trigger.GetMode());
        controller.WriteRawValue(kDelay, 3, static_cast<uint32_t>(trigger.GetDelay()));
        controller.WriteRawValue(kDivider, 6, trigger.GetDivider());
        controller.WriteRawValue(kChannelCount, 6, static_cast<uint32_t>(channels));
        for (int i = 0; i < channels; ++i)
            controller.WriteRawValue(kChannelList + i, 6, ids[static_cast<size_t>(i)]);
        controller.WriteRawValue(kControl, 6, 1);
    });
}

void CJobCancelTrigger::Execute(CControllerModbus& controller) {
    Guarded(controller, m_document, CommStringId::kCancelTrigger, false, [&] {
        controller.WriteRawValue(kControl, 6, 0);
        m_document->SetTriggerState(CDocMeasurementSingle::kNoTrigger);
        controller.PostDocumentUpdate(m_document, UpdateHint::kDataChanged);
    });
}

void CJobQueryTrigger::Execute(CControllerModbus& controller) {
    Guarded(controller, m_document, CommStringId::kQueryTriggerState, true, [&] {
        bool filled = false;
        const PARAMVALUE state = controller.ReadValue(kControl, 6, &filled);
        // A garbled reply tells nothing: read as 0 it would end the polling of an armed trigger.
        if (!filled)
            return;
        m_document->SetTriggerState(state.raw & 0xFFFFu);
        controller.PostDocumentUpdate(m_document, UpdateHint::kTriggerState);
    });
}

void CJobReadTrigger::Execute(CControllerModbus& controller) {
    Guarded(controller, m_document, CommStringId::kReadTrigger, true, [&] {
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
        m_document->SetTrigger(static_cast<int16_t>(delay.raw & 0xFFFFu), mode.raw & 0xFFFFu,
                               divider.raw & 0xFFFFu, id, levelType, level.raw);
    });
}
