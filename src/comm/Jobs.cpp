#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateDocMeasurementCont.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"

#include <functional>

namespace {

constexpr unsigned kIdsReadParameter = 186;
constexpr unsigned kIdsErrorWritingParameter = 189;

void ShowError(CControllerModbus& controller, const std::string& text, const std::string& caption) {
    controller.ShowMessage(text, caption, MbIcon::Error);
}

// Catalogue errors are reported like communication errors: an unknown parameter must not take the
// worker thread down.

// Reads one parameter into a document through `store` and posts the identifier as hint. A garbled reply
// passes without a message: the value shown stays the last one read, not a 0 the device never sent. A
// type without a register form (10, undefined codes) reads nothing, and its zero value is what it shows.
void ReadIntoDocument(CControllerModbus& controller, int32_t id, CDocument* target,
                      const std::function<void(int32_t, const PARAMVALUE&)>& store) {
    try {
        bool filled = false;
        const PARAMVALUE cell = controller.ReadParameter(id, &filled);
        const auto kind = cell.GetKind();
        if (!filled && kind != PARAMVALUE::Kind::Nothing && kind != PARAMVALUE::Kind::Undefined)
            return;
        store(id, cell);
        controller.PostDocumentUpdate(target, id);
    } catch (const CModbusException& e) {
        ShowError(controller, e.GetMessage(), quirel::loadString(kIdsReadParameter));
    } catch (const CParameterException& e) {
        ShowError(controller, e.GetMessage(), quirel::loadString(kIdsReadParameter));
    }
}

} // namespace

void CJobWriteParameter::Execute(CControllerModbus& controller) {
    const int32_t id = static_cast<int32_t>(m_value.GetId());
    const std::string caption = quirel::loadString(kIdsErrorWritingParameter) + std::to_string(id);
    bool written = false;
    try {
        controller.WriteParameter(id, m_value.GetValue());
        written = m_written = true;
    } catch (const CModbusException& e) {
        ShowError(controller, e.GetMessage(), caption);
    } catch (const CParameterException& e) {
        ShowError(controller, e.GetMessage(), caption);
    }
    if (m_target)
        ReadBack(controller, written);
}

void CJobWriteParameter::ReadBack(CControllerModbus& controller, bool written) {
    // A lost connection has been reported once; every display shows "--" now.
    if (!controller.IsConnected())
        return;
    const int32_t id = static_cast<int32_t>(m_value.GetId());
    const CParameterManager* catalogue = controller.GetParameterManager();
    const CParameterDescription* d = catalogue ? catalogue->FindDescription(id) : nullptr;
    if (d && IsReadable(d->GetAccessType())) {
        ReadIntoDocument(controller, id, m_target, m_store);
    } else if (!written) {
        m_forget(id);
        controller.PostDocumentUpdate(m_target, id);
    }
}

void CJobUpdateVisibleParameter::Execute(CControllerModbus& controller) {
    ReadIntoDocument(controller, m_parameterId, m_target, m_store);
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
                throw CParameterException(155, name);
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
    ShowError(controller, error, quirel::loadString(kIdsReadParameter));
}
