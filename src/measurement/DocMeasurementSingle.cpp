#include "measurement/DocMeasurementSingle.h"

#include "base/BinaryArchive.h"
#include "base/StringTable.h"

namespace {
constexpr unsigned kIdsSingleMeasurement = 173;
} // namespace

CDocMeasurementSingle::CDocMeasurementSingle(const CParameterManager* catalogue, IUiPort* uiPort)
    : CDocMeasurementBase(catalogue, uiPort) {}

void CDocMeasurementSingle::DeleteContents() {
    std::lock_guard lock(m_mutex);
    CDocMeasurementBase::DeleteContents();
    m_trigger = CTrigger();
    m_triggerState.store(kNoTrigger);
    m_wasArmed.store(false);
}

std::string CDocMeasurementSingle::GetDefaultTitle() const {
    return quirel::loadString(kIdsSingleMeasurement);
}

void CDocMeasurementSingle::InitMeasurement(const CTrigger& trigger, const std::vector<uint32_t>& ids,
                                            CMeasStart start) {
    {
        std::lock_guard lock(m_mutex);
        m_trigger = trigger;
        SetMeasStart(start);
        AppendChannels(ids);
        NewGeneration();
    }
    UpdateAllViews(nullptr, UpdateHint::kDataChanged);
}

void CDocMeasurementSingle::SetTrigger(int32_t delay, uint32_t mode, uint32_t divider, uint32_t parameterId,
                                       uint32_t dataType, uint32_t raw) {
    std::lock_guard lock(m_mutex);
    m_trigger.Set(delay, mode, divider, parameterId, dataType, raw);
}

CTrigger CDocMeasurementSingle::GetTrigger() const {
    std::lock_guard lock(m_mutex);
    return m_trigger;
}

double CDocMeasurementSingle::GetX(size_t j) const {
    const CTrigger trigger = GetTrigger();
    return static_cast<double>(j) * trigger.GetSamplePeriodMs() - trigger.GetDelayMs();
}

void CDocMeasurementSingle::WriteKindPart(quirel::ArchiveWriter& ar, bool withMeasStart) const {
    m_trigger.Serialize(ar);
    ar.writeU32(m_triggerState.load());
    WriteMeasStart(ar, withMeasStart);
}

void CDocMeasurementSingle::ReadKindPart(quirel::ArchiveReader& ar, bool withMeasStart) {
    m_trigger.Deserialize(ar);
    m_triggerState.store(ar.readU32());
    ReadMeasStart(ar, withMeasStart);
}
