#include "base/StringTable.h"
#include "comm/CommStringIds.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateDocMeasurementCont.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"

namespace {

void ShowError(CControllerModbus& controller, const std::string& text, const std::string& caption) {
    controller.ShowMessage(text, caption, MbIcon::Error);
}

} // namespace

// Catalogue errors are reported like communication errors: an unknown parameter must not take the
// worker thread down.

void CJobWriteParameter::Execute(CControllerModbus& controller) {
    const std::string caption = quirel::loadString(CommStringId::kErrorWritingParameter) +
                                std::to_string(static_cast<int32_t>(m_value.GetId()));
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
        ShowError(controller, e.GetMessage(), quirel::loadString(CommStringId::kReadParameter));
    } catch (const CParameterException& e) {
        ShowError(controller, e.GetMessage(), quirel::loadString(CommStringId::kReadParameter));
    }
}

void CJobUpdateDocMeasurementCont::Execute(CControllerModbus& controller) {
    if (!m_document->IsRunning())
        return; // stopped since the job was queued
    std::string error;
    try {
        const CParameterManager* catalogue = controller.GetParameterManager();
        const int channels = m_document->GetChannelCount();
        for (int i = 0; i < channels; ++i) {
            const std::string name = m_document->GetChannelName(i);
            if (!catalogue)
                throw CParameterException(CommStringId::kParameterNotFound, name);
            const int32_t id = catalogue->GetDescription(name).GetId(); // the catalogue's own error
            m_document->AddValue(i, controller.ReadParameter(id));
        }
        controller.PostDocumentUpdate(m_document, UpdateHint::kDataChanged);
        return;
    } catch (const CModbusException& e) {
        error = e.GetMessage();
    } catch (const CParameterException& e) {
        error = e.GetMessage();
    }
    m_document->SetRunning(false);
    controller.PostDocumentUpdate(m_document, UpdateHint::kRunning);
    ShowError(controller, error, quirel::loadString(CommStringId::kReadParameter));
}
