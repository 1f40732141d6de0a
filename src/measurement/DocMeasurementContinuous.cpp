#include "measurement/DocMeasurementContinuous.h"

#include "base/BinaryArchive.h"
#include "base/StringTable.h"

namespace {
constexpr unsigned kIdsContinuousMeasurement = 174;
} // namespace

CDocMeasurementContinuous::CDocMeasurementContinuous(const CParameterManager* catalogue, IUiPort* uiPort)
    : CDocMeasurementBase(catalogue, uiPort) {}

void CDocMeasurementContinuous::DeleteContents() {
    std::lock_guard lock(m_mutex);
    CDocMeasurementBase::DeleteContents();
    m_interval.store(0);
}

std::string CDocMeasurementContinuous::GetDefaultTitle() const {
    return quirel::loadString(kIdsContinuousMeasurement);
}

void CDocMeasurementContinuous::InitMeasurement(uint32_t interval, const std::vector<uint32_t>& ids,
                                                CMeasStart start) {
    {
        std::lock_guard lock(m_mutex);
        DeleteContents();
        m_interval.store(interval);
        SetMeasStart(start);
        AppendChannels(ids);
    }
    UpdateAllViews(nullptr, UpdateHint::kDataChanged);
}

void CDocMeasurementContinuous::WriteKindPart(quirel::ArchiveWriter& ar, bool withMeasStart) const {
    ar.writeU32(m_interval.load());
    WriteMeasStart(ar, withMeasStart);
}

void CDocMeasurementContinuous::ReadKindPart(quirel::ArchiveReader& ar, bool withMeasStart) {
    m_interval.store(ar.readU32());
    ReadMeasStart(ar, withMeasStart);
}
