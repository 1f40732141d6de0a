#include "parameters/ParameterValues.h"

#include "base/BinaryArchive.h"

void CParameterValues::Serialize(quirel::ArchiveWriter& ar) const {
    ar.writeCount(static_cast<uint32_t>(m_values.size()));
    for (const auto& v : m_values) {
        ar.writeU32(v.dataType);
        ar.writeU32(v.raw);
    }
    ar.writeI32(m_id);
}

void CParameterValues::Deserialize(quirel::ArchiveReader& ar) {
    const uint32_t count = ar.readCount();
    // Never trust a count beyond the bytes that are actually there.
    if (static_cast<uint64_t>(count) * 8 + 4 > ar.remaining())
        throw quirel::ArchiveError("value series longer than its file");
    Cells values;
    values.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t type = ar.readU32();
        const uint32_t raw = ar.readU32();
        values.emplace_back(type, raw);
    }
    m_id = ar.readI32();
    m_values = std::move(values);
}
