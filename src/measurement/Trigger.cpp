#include "measurement/Trigger.h"

#include "base/BinaryArchive.h"

void CTrigger::Set(int32_t delay, uint32_t mode, uint32_t divider, uint32_t parameterId, uint32_t dataType,
                   uint32_t raw) {
    m_delay = delay;
    m_mode = mode;
    m_divider = divider;
    m_level = CParameterValue(parameterId, dataType, raw);
}

void CTrigger::Serialize(quirel::ArchiveWriter& ar) const {
    m_level.Serialize(ar);
    ar.writeI32(m_delay);
    ar.writeU32(m_mode);
    ar.writeU32(m_divider);
}

void CTrigger::Deserialize(quirel::ArchiveReader& ar) {
    m_level.Deserialize(ar);
    m_delay = ar.readI32();
    m_mode = ar.readU32();
    m_divider = ar.readU32();
}
