#include "measurement/MeasurementArchive.h"

#include <bit>
#include <cstring>
#include <string_view>

namespace {

// Below this a series is copied into the field buffer rather than written on its own.
constexpr size_t kDirectWriteBytes = 64 * 1024;

} // namespace

void CMeasurementArchiveOut::WriteCells(const std::vector<PARAMVALUE>& cells) {
    m_fields.writeCount(static_cast<uint32_t>(cells.size()));
    if constexpr (std::endian::native == std::endian::little) {
        const std::string_view bytes(reinterpret_cast<const char*>(cells.data()),
                                     cells.size() * sizeof(PARAMVALUE));
        if (m_file && bytes.size() >= kDirectWriteBytes) {
            Flush();
            if (!m_failed && !m_file->Write(bytes))
                m_failed = true;
        } else {
            m_fields.writeBytes(bytes);
        }
    } else {
        for (const PARAMVALUE& cell : cells) {
            m_fields.writeU32(cell.dataType);
            m_fields.writeU32(cell.raw);
        }
    }
}

bool CMeasurementArchiveOut::Flush() {
    if (m_file) {
        const std::string pending = m_fields.take();
        if (!m_failed && !pending.empty() && !m_file->Write(pending))
            m_failed = true;
    }
    return !m_failed;
}

void ReadCells(quirel::ArchiveReader& ar, std::vector<PARAMVALUE>& cells) {
    const uint32_t count = ar.readCount();
    // Only the cells that are there whole: a count beyond the data never allocates more than the data.
    const size_t whole = std::min<size_t>(count, ar.remaining() / sizeof(PARAMVALUE));
    cells.resize(whole);
    const std::string_view bytes = ar.readBytes(whole * sizeof(PARAMVALUE));
    if constexpr (std::endian::native == std::endian::little) {
        if (whole > 0)
            std::memcpy(static_cast<void*>(cells.data()), bytes.data(), bytes.size());
    } else {
        quirel::ArchiveReader cellReader(bytes);
        for (PARAMVALUE& cell : cells) {
            cell.dataType = cellReader.readU32();
            cell.raw = cellReader.readU32();
        }
    }
    if (whole < count)
        throw quirel::ArchiveError("the file ends inside a value series");
}
