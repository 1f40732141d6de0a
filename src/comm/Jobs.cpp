#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateDocMeasurementCont.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "measurement/DocMeasurementContinuous.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"

#include <stdexcept>

namespace {

constexpr unsigned kIdsReadParameter = 186;
constexpr unsigned kIdsErrorWritingParameter = 189;

void ShowError(CControllerModbus& controller, const std::string& text, const std::string& caption) {
    controller.ShowMessage(text, caption, MbIcon::Error);
}

} // namespace

// Catalogue errors are reported like communication errors: an unknown parameter must not take the
// worker thread down.

void CJobWriteParameter::Execute(CControllerModbus& controller) {
    const std::string caption =
        quirel::loadString(kIdsErrorWritingParameter) + std::to_string(static_cast<int32_t>(m_value.GetId()));
    try {
        controller.WriteParameter(static_cast<int32_t>(m_value.GetId()), m_value.GetValue());
    } catch (const CModbusException& e) {
        ShowError(controller, e.GetMessage(), caption);
    } catch (const CParameterException& e) {
        ShowError(controller, e.GetMessage(), caption);
    }
}

void CJobUpdateVisibleParameter::Execute(CControllerModbus& controller) {
    try {
        bool filled = false;
        const PARAMVALUE cell = controller.ReadParameter(m_parameterId, &filled);
        // A garbled reply passes without a message; the value shown stays the last one read, not a 0
        // the device never sent.
        if (!filled)
            return;
        m_store(m_parameterId, cell);
        controller.PostDocumentUpdate(m_target, m_parameterId);
    } catch (const CModbusException& e) {
        ShowError(controller, e.GetMessage(), quirel::loadString(kIdsReadParameter));
    } catch (const CParameterException& e) {
        ShowError(controller, e.GetMessage(), quirel::loadString(kIdsReadParameter));
    }
}

void CJobUpdateDocMeasurementCont::Execute(CControllerModbus& controller) {
    if (!m_document->IsRunning())
        return; // stopped since the job was queued
    // A document started anew meanwhile is another measurement: this sample does not belong to it.
    const uint64_t generation = m_document->GetGeneration();
    std::string error;
    try {
        const int channels = m_document->GetChannelCount();
        for (int i = 0; i < channels; ++i) {
            // By the channel's identifier: a name may stand for more than one parameter of a catalogue.
            const PARAMVALUE cell =
                controller.ReadParameter(static_cast<int32_t>(m_document->GetParameterId(i)));
            if (!m_document->AddValues(i, &cell, 1, generation))
                return;
        }
        controller.PostDocumentUpdate(m_document, UpdateHint::kDataChanged);
        return;
    } catch (const CModbusException& e) {
        error = e.GetMessage();
    } catch (const CParameterException& e) {
        error = e.GetMessage();
    } catch (const std::invalid_argument&) {
        return; // the channels went away with a new measurement
    }
    m_document->SetRunning(false); // posts the running hint
    ShowError(controller, error, quirel::loadString(kIdsReadParameter));
}
