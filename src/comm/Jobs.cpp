#include "base/StringTable.h"
#include "comm/CommStringIds.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateDocMeasurementCont.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "measurement/DocMeasurementContinuous.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"

#include <functional>
#include <stdexcept>
#include <vector>

namespace {

void ShowError(CControllerModbus& controller, const std::string& text, const std::string& caption) {
    controller.ShowMessage(text, caption, MbIcon::Error);
}

// Catalogue errors are reported like communication errors: an unknown parameter must not take the
// worker thread down.

// A reply that did not fill the cell, where a type with a register form expects one. A type without one
// (10, undefined codes) reads nothing, and its zero value is what it shows.
bool Garbled(const PARAMVALUE& cell, bool filled) {
    const auto kind = cell.GetKind();
    return !filled && kind != PARAMVALUE::Kind::Nothing && kind != PARAMVALUE::Kind::Undefined;
}

// Reads one parameter into a document through `store` and posts the identifier as hint. A garbled reply
// passes without a message: the value shown stays the last one read, not a 0 the device never sent.
void ReadIntoDocument(CControllerModbus& controller, int32_t id, CDocument* target,
                      const std::function<void(int32_t, const PARAMVALUE&)>& store) {
    try {
        bool filled = false;
        const PARAMVALUE cell = controller.ReadParameter(id, &filled);
        if (Garbled(cell, filled))
            return;
        store(id, cell);
        controller.PostDocumentUpdate(target, id);
    } catch (const CModbusException& e) {
        ShowError(controller, e.GetMessage(), quirel::loadString(CommStringId::kReadParameter));
    } catch (const CParameterException& e) {
        ShowError(controller, e.GetMessage(), quirel::loadString(CommStringId::kReadParameter));
    }
}

} // namespace

void CJobWriteParameter::Execute(CControllerModbus& controller) {
    const int32_t id = static_cast<int32_t>(m_value.GetId());
    const std::string caption = quirel::loadString(CommStringId::kErrorWritingParameter) + std::to_string(id);
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
    // A document started anew meanwhile is another measurement: this sample does not belong to it.
    const uint64_t run = m_document->GetRun();
    std::string error;
    try {
        // The sample is read whole before it is added, so that the channels stay of one length: a garbled
        // reply skips the sample rather than adding a 0 the device never sent.
        std::vector<PARAMVALUE> sample;
        const int channels = m_document->GetChannelCount();
        for (int i = 0; i < channels; ++i) {
            bool filled = false;
            // By the channel's identifier: a name may stand for more than one parameter of a catalogue.
            sample.push_back(
                controller.ReadParameter(static_cast<int32_t>(m_document->GetParameterId(i)), &filled));
            if (Garbled(sample.back(), filled))
                return;
        }
        if (m_document->IfRun(run, [&] {
                for (int i = 0; i < channels; ++i)
                    m_document->AddValue(i, sample[static_cast<size_t>(i)]);
            }))
            controller.PostDocumentUpdate(m_document, UpdateHint::kDataChanged);
        return;
    } catch (const CModbusException& e) {
        error = e.GetMessage();
    } catch (const CParameterException& e) {
        error = e.GetMessage();
    } catch (const std::invalid_argument&) {
        return; // the channels went away with a new measurement
    }
    m_document->IfRun(run, [&] { m_document->SetRunning(false); }); // posts the running hint
    ShowError(controller, error, quirel::loadString(CommStringId::kReadParameter));
}
