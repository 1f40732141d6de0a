#pragma once

#include "measurement/ChartColumn.h"

#include <cstdint>
#include <vector>

class CDocMeasurementBase;

// What a chart knows of a measurement: per channel the summaries of its values (the values stay in the
// document), and the common time base x = X0 + index x Dx. Kept in step with the document by Sync, which
// takes over only the values appended since the last look, unless the document was rewritten meanwhile.
class CChartData {
public:
    enum class Change { kNone, kAppended, kRebuilt };

    // Under the document's lock for its duration. The document must outlive the data.
    Change Sync(const CDocMeasurementBase& doc);
    void Clear();

    int GetChannelCount() const { return static_cast<int>(m_columns.size()); }
    const CChartColumn& Column(int i) const { return m_columns[static_cast<size_t>(i)]; }
    // The most values any channel holds.
    size_t GetMaxCount() const;

    double X0() const { return m_x0; }
    double Dx() const { return m_dx; }
    double X(double index) const { return m_x0 + index * m_dx; }
    // The value index at x, not rounded; 0 when the time base has no step.
    double IndexAt(double x) const { return m_dx > 0 ? (x - m_x0) / m_dx : 0.0; }

private:
    std::vector<CChartColumn> m_columns;
    double m_x0 = 0.0;
    double m_dx = 0.0;
    uint64_t m_rewrites = 0;
    bool m_synced = false;
};
