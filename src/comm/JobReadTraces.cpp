#include "comm/JobReadTraces.h"

#include "base/StringTable.h"
#include "comm/CommStringIds.h"
#include "comm/ControllerModbus.h"
#include "comm/TriggerRegisters.h"
#include "measurement/DocMeasurementSingle.h"
#include "modbus/MbusMasterFunctions.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>

namespace {

using namespace TriggerRegister;

// A garbled reply, which the controller lets pass unfilled: here it would become values never recorded.
[[noreturn]] void ThrowGarbled() {
    throw CModbusException(MBUS_INVALID_REPLY, MbusMasterFunctions::getErrorText(MBUS_INVALID_REPLY));
}

} // namespace

CJobReadTraces::CJobReadTraces(CDocMeasurementSingle* document)
    : m_document(document), m_run(document->GetRun()) {}

void CJobReadTraces::Execute(CControllerModbus& controller) {
    const CParameterManager* catalogue = controller.GetParameterManager();
    // Queued for a run that has ended (cancelled, a file opened meanwhile): its document is not this one's.
    if (!m_document->IfRun(m_run, [&] { m_document->ClearValues(); }))
        return;
    auto stopped = [&] { return !m_document->IsRunning() || m_document->GetRun() != m_run; };

    const int channels = m_document->GetChannelCount();
    for (int c = 0; c < channels; ++c) {
        const int base = kTraceBase + kTraceStride * c;
        uint32_t count = 0;
        uint32_t type = 8;
        std::optional<std::string> countError;
        try {
            bool filled = false;
            count = controller.ReadValue(base, 7, &filled).raw;
            if (!filled)
                ThrowGarbled();
            const auto id = static_cast<int32_t>(m_document->GetParameterId(c));
            const CParameterDescription* d = catalogue ? catalogue->FindDescription(id) : nullptr;
            if (!d)
                throw CParameterException(155, std::to_string(id));
            type = static_cast<uint32_t>(d->GetDataType());
        } catch (const CModbusException& e) {
            countError = e.GetMessage();
        } catch (const CParameterException& e) {
            countError = e.GetMessage();
        } catch (const std::invalid_argument&) {
            return; // the channels went away with a new measurement
        }
        if (countError) {
            // Told twice: with the job's caption, then in the program's plain box.
            controller.ShowMessage(*countError, quirel::loadString(CommStringId::kNumberOfTraceValues),
                                   MbIcon::Error);
            controller.ShowMessage(*countError, std::string(), MbIcon::Warning);
            return;
        }
        const uint32_t readType = type == 8 ? 8u : 4u;
        // Values beyond the channel's register block would be the next channel's.
        const uint32_t n = std::min<uint32_t>(count, kMaxTraceValues);
        for (uint32_t k = 0; k < n; k += kBlockValues) {
            if (stopped())
                break;
            const int block = static_cast<int>(std::min<uint32_t>(kBlockValues, n - k));
            PARAMVALUE cells[125];
            for (PARAMVALUE& cell : cells)
                cell = PARAMVALUE(readType, 0);
            try {
                if (!controller.ReadValues(base + 2 + 2 * static_cast<int>(k), readType, cells, block))
                    ThrowGarbled();
            } catch (const CModbusException& e) {
                const std::string& what = quirel::loadString(CommStringId::kErrorReadingValues);
                char range[64];
                std::snprintf(range, sizeof range, " %d - %d", static_cast<int>(k),
                              static_cast<int>(k) + block);
                controller.ShowMessage(e.GetMessage() + "\n" + what + range,
                                       quirel::loadString(CommStringId::kReadTraceValues), MbIcon::Error);
                return;
            }
            for (int v = 0; v < block; ++v)
                cells[v].dataType = type;
            try {
                if (!m_document->AddValues(c, cells, static_cast<size_t>(block), m_run))
                    break;
            } catch (const std::invalid_argument&) {
                return;
            }
        }
    }

    try {
        controller.WriteRawValue(kControl, 6, 0);
    } catch (const CModbusException& e) {
        controller.ShowMessage(e.GetMessage(), quirel::loadString(CommStringId::kClearTrigger),
                               MbIcon::Error);
        return;
    }
    if (!m_document->IfRun(m_run, [&] {
            m_document->SetTriggerState(CDocMeasurementSingle::kNoTrigger);
            m_document->SetRunning(false);
        }))
        return;
    controller.PostDocumentUpdate(m_document, UpdateHint::kDataChanged);
}
