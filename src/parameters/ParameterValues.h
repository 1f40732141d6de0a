#pragma once

#include "base/LargeArrayAllocator.h"
#include "parameters/ParamValue.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace quirel {
class ArchiveReader;
class ArchiveWriter;
} // namespace quirel

// One parameter's series of value cells (the samples of a measurement channel).
class CParameterValues {
public:
    // A recording may hold millions of cells: kept in one array, in memory that fills cheaply.
    using Cells = std::vector<PARAMVALUE, quirel::LargeArrayAllocator<PARAMVALUE>>;

    CParameterValues() = default;
    explicit CParameterValues(int32_t id) : m_id(id) {}
    virtual ~CParameterValues() = default;

    void Assign(const CParameterValues& other) {
        m_values = other.m_values;
        m_id = other.m_id;
    }
    size_t Add(const PARAMVALUE& v) {
        m_values.push_back(v);
        return m_values.size() - 1;
    }
    // Throws std::invalid_argument for an index outside the series.
    const PARAMVALUE& GetAt(size_t index) const {
        if (index >= m_values.size())
            throw std::invalid_argument("value index outside the series");
        return m_values[index];
    }
    double GetAsDouble(size_t index) const { return GetAt(index).GetAsDouble().value_or(0.0); }
    size_t GetSize() const { return m_values.size(); }
    void RemoveAll() { m_values.clear(); }
    int32_t GetId() const { return m_id; }
    void SetId(int32_t id) { m_id = id; }
    const Cells& GetValues() const { return m_values; }
    // Takes a whole series over (a file being read) instead of appending it cell by cell.
    void SetValues(Cells values) { m_values = std::move(values); }

    // The count (16-bit, or 0xFFFF and 32-bit), every cell as 8 raw bytes, then the identifier.
    void Serialize(quirel::ArchiveWriter& ar) const;
    // Throws quirel::ArchiveError on truncated data; the object is unchanged then.
    void Deserialize(quirel::ArchiveReader& ar);

private:
    Cells m_values;
    int32_t m_id = 0;
};
