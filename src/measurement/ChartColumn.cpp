#include "measurement/ChartColumn.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
} // namespace

CChartColumn::CChartColumn() : m_min(kNaN), m_max(kNaN) {}

void CChartColumn::Clear() {
    m_values.clear();
    m_levels.clear();
    m_min = m_max = kNaN;
}

void CChartColumn::Append(const double* values, size_t count) {
    if (count == 0)
        return;
    const size_t from = m_values.size();
    m_values.insert(m_values.end(), values, values + count);
    for (size_t k = 0; k < count; ++k) {
        const double v = values[k];
        if (std::isnan(v))
            continue;
        // The first number replaces the NaN both start with.
        if (std::isnan(m_min) || v < m_min)
            m_min = v;
        if (std::isnan(m_max) || v > m_max)
            m_max = v;
    }
    Summarise(from);
}

void CChartColumn::Summarise(size_t from) {
    // NaN compares false both ways, so it never becomes a minimum or maximum: a block of NaN alone keeps
    // +inf/-inf and is left out of envelopes.
    const double* lowMin = m_values.data();
    const double* lowMax = m_values.data();
    size_t lowCount = m_values.size();
    size_t lowFrom = from;
    size_t fan = kFirstBlock;
    size_t block = kFirstBlock;
    for (size_t level = 0;; ++level) {
        if (lowCount <= fan && level >= m_levels.size())
            break; // one entry would summarise everything: no level needed (yet)
        if (level == m_levels.size())
            m_levels.push_back(Level{block, {}, {}});
        Level& lv = m_levels[level];
        const size_t entries = (lowCount + fan - 1) / fan;
        const size_t firstEntry = lowFrom / fan;
        lv.min.resize(entries);
        lv.max.resize(entries);
        for (size_t e = firstEntry; e < entries; ++e) {
            const size_t begin = e * fan;
            const size_t end = std::min(begin + fan, lowCount);
            double mn = kInf, mx = -kInf;
            for (size_t k = begin; k < end; ++k) {
                if (lowMin[k] < mn)
                    mn = lowMin[k];
                if (lowMax[k] > mx)
                    mx = lowMax[k];
            }
            lv.min[e] = mn;
            lv.max[e] = mx;
        }
        lowMin = lv.min.data();
        lowMax = lv.max.data();
        lowCount = entries;
        lowFrom = firstEntry;
        fan = kFanOut;
        block *= kFanOut;
    }
}

void CChartColumn::Envelope(size_t first, size_t end, size_t columns, std::vector<Point>& out) const {
    out.clear();
    end = std::min(end, m_values.size());
    if (first >= end)
        return;
    const size_t count = end - first;
    columns = std::max<size_t>(columns, 1);
    if (count <= 2 * columns) {
        out.reserve(count);
        for (size_t j = first; j < end; ++j)
            out.push_back({static_cast<double>(j), m_values[j]});
        return;
    }
    const double perColumn = static_cast<double>(count) / static_cast<double>(columns);
    // The coarsest summary that still gives each column at least one entry of its own; the values
    // themselves below the first block size.
    size_t block = 1;
    const double* mins = m_values.data();
    const double* maxs = m_values.data();
    for (const Level& lv : m_levels) {
        if (static_cast<double>(lv.block) > perColumn)
            break;
        block = lv.block;
        mins = lv.min.data();
        maxs = lv.max.data();
    }
    out.reserve(2 * columns + 2);
    const size_t e0 = first / block;
    const size_t e1 = (end - 1) / block + 1;
    size_t column = SIZE_MAX;
    double mn = kInf, mx = -kInf;
    auto flush = [&] {
        if (column == SIZE_MAX || !(mn <= mx))
            return;
        const double index = static_cast<double>(first) + static_cast<double>(column) * perColumn;
        out.push_back({index, mn});
        out.push_back({index, mx});
    };
    for (size_t e = e0; e < e1; ++e) {
        const size_t start = std::max(e * block, first);
        const auto c = static_cast<size_t>(static_cast<double>(start - first) / perColumn);
        if (c != column) {
            flush();
            column = c;
            mn = kInf;
            mx = -kInf;
        }
        if (mins[e] < mn)
            mn = mins[e];
        if (maxs[e] > mx)
            mx = maxs[e];
    }
    flush();
}
