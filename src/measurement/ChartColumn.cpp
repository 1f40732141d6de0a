#include "measurement/ChartColumn.h"

#include "measurement/DocMeasurementBase.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// One core reads memory faster when it asks for the cells a few pages ahead than when it waits for each
// line: this many cells ahead.
constexpr size_t kPrefetchCells = 512;

// NaN compares false both ways, so it never becomes a minimum or maximum: a range of NaN alone gives
// +inf/-inf and is left out of envelopes.
template <class T> void Widen(T v, T& lo, T& hi) {
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
}

// Takes in a summarised range, which may be +inf/-inf.
void Merge(double mn, double mx, double& lo, double& hi) {
    lo = mn < lo ? mn : lo;
    hi = mx > hi ? mx : hi;
}

// What a pass over cells finds: extremes (+inf/-inf without a number), and the sum and count of the
// numbers, NaN left out. The sums come with the extremes so that a mean never costs a second pass.
struct CellStats {
    double lo, hi, sum;
    size_t count;
};

// The stats of n float cells; false, leaving `out` alone, when one of them is of another type.
bool FloatRange(const PARAMVALUE* cells, size_t n, CellStats& out) {
    float mn = static_cast<float>(kInf), mx = -mn;
    double sum = 0.0;
    size_t count = 0;
    size_t k = 0;
#if defined(__SSE2__)
    // A pass over millions of cells keeps up with reading them only at a cycle or so per cell: eight at a
    // time, the value being the upper half of each 8-byte cell and the type the lower.
    static_assert(offsetof(PARAMVALUE, raw) == 4);
    const __m128i floatType = _mm_set1_epi32(static_cast<int>(DataTypeCode::kFloat));
    __m128i same = _mm_set1_epi32(-1);
    __m128 mn0 = _mm_set1_ps(mn), mx0 = _mm_set1_ps(mx), mn1 = mn0, mx1 = mx0;
    __m128d sum0 = _mm_setzero_pd(), sum1 = sum0;
    for (; k + 8 <= n; k += 8) {
        const auto* words = reinterpret_cast<const float*>(cells + k);
        const __m128 a = _mm_loadu_ps(words), b = _mm_loadu_ps(words + 4);
        const __m128 c = _mm_loadu_ps(words + 8), d = _mm_loadu_ps(words + 12);
        const __m128 v0 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 v1 = _mm_shuffle_ps(c, d, _MM_SHUFFLE(3, 1, 3, 1));
        same = _mm_and_si128(
            same,
            _mm_cmpeq_epi32(_mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))), floatType));
        same = _mm_and_si128(
            same,
            _mm_cmpeq_epi32(_mm_castps_si128(_mm_shuffle_ps(c, d, _MM_SHUFFLE(2, 0, 2, 0))), floatType));
        mn0 = _mm_min_ps(v0, mn0); // a NaN value keeps the second operand
        mx0 = _mm_max_ps(v0, mx0);
        mn1 = _mm_min_ps(v1, mn1);
        mx1 = _mm_max_ps(v1, mx1);
        // Summed in double, NaN as 0 and not counted.
        const __m128 ord0 = _mm_cmpord_ps(v0, v0), ord1 = _mm_cmpord_ps(v1, v1);
        const __m128 z0 = _mm_and_ps(v0, ord0), z1 = _mm_and_ps(v1, ord1);
        sum0 = _mm_add_pd(sum0, _mm_add_pd(_mm_cvtps_pd(z0), _mm_cvtps_pd(_mm_movehl_ps(z0, z0))));
        sum1 = _mm_add_pd(sum1, _mm_add_pd(_mm_cvtps_pd(z1), _mm_cvtps_pd(_mm_movehl_ps(z1, z1))));
        count += static_cast<size_t>(
            __builtin_popcount(static_cast<unsigned>(_mm_movemask_ps(ord0) | (_mm_movemask_ps(ord1) << 4))));
    }
    if (_mm_movemask_epi8(same) != 0xFFFF)
        return false;
    sum0 = _mm_add_pd(sum0, sum1);
    sum = _mm_cvtsd_f64(_mm_add_sd(sum0, _mm_unpackhi_pd(sum0, sum0)));
    mn0 = _mm_min_ps(mn1, mn0);
    mx0 = _mm_max_ps(mx1, mx0);
    mn0 = _mm_min_ps(_mm_movehl_ps(mn0, mn0), mn0);
    mx0 = _mm_max_ps(_mm_movehl_ps(mx0, mx0), mx0);
    mn0 = _mm_min_ss(_mm_shuffle_ps(mn0, mn0, 1), mn0);
    mx0 = _mm_max_ss(_mm_shuffle_ps(mx0, mx0, 1), mx0);
    mn = _mm_cvtss_f32(mn0);
    mx = _mm_cvtss_f32(mx0);
#endif
    for (; k < n; ++k) {
        if (cells[k].dataType != DataTypeCode::kFloat)
            return false;
        const float v = cells[k].GetFloat();
        Widen(v, mn, mx);
        if (!std::isnan(v)) {
            sum += v;
            ++count;
        }
    }
    out = {mn, mx, sum, count};
    return true;
}

template <class T> CellStats IntRange(const PARAMVALUE* cells, size_t n) {
    T mn = static_cast<T>(cells[0].raw), mx = mn;
    int64_t sum = 0;
    for (size_t k = 0; k < n; ++k) {
        const T v = static_cast<T>(cells[k].raw);
        Widen(v, mn, mx);
        sum += v;
    }
    return {static_cast<double>(mn), static_cast<double>(mx), static_cast<double>(sum), n};
}

// The stats of n > 0 cells. A channel's cells share one data type, so a range of one type is summarised
// in that type instead of converting cell by cell.
CellStats CellRange(const PARAMVALUE* cells, size_t n) {
    CellStats out{};
    const uint32_t type = cells[0].dataType;
    if (type == DataTypeCode::kFloat && FloatRange(cells, n, out))
        return out;
    uint32_t differ = 0;
    for (size_t k = 1; k < n; ++k)
        differ |= cells[k].dataType ^ type;
    if (differ == 0) {
        switch (PARAMVALUE::KindOf(type)) {
        case PARAMVALUE::Kind::Int16:
            return IntRange<int16_t>(cells, n);
        case PARAMVALUE::Kind::UInt16:
            return IntRange<uint16_t>(cells, n);
        case PARAMVALUE::Kind::Int32:
            return IntRange<int32_t>(cells, n);
        case PARAMVALUE::Kind::UInt32:
            return IntRange<uint32_t>(cells, n);
        default:
            return {0.0, 0.0, 0.0, n}; // cells without a number are drawn and counted as 0
        }
    }
    out = {kInf, -kInf, 0.0, 0};
    for (size_t k = 0; k < n; ++k) {
        const double v = CChartColumn::ValueOf(cells[k]);
        Widen(v, out.lo, out.hi);
        if (!std::isnan(v)) {
            out.sum += v;
            ++out.count;
        }
    }
    return out;
}

} // namespace

void CChartColumn::Attach(const CDocMeasurementBase* doc, int channel, uint64_t rewrites) {
    m_doc = doc;
    m_channel = channel;
    m_rewrites = rewrites;
}

double CChartColumn::Min() const {
    return m_lo <= m_hi ? m_lo : kNaN;
}

double CChartColumn::Max() const {
    return m_lo <= m_hi ? m_hi : kNaN;
}

void CChartColumn::Append(const PARAMVALUE* cells, size_t count) {
    if (count <= m_size)
        return;
    const auto [from, to] = Prepare(count);
    SummariseBlocks(cells, count, from, to);
    Complete(count, from);
}

std::pair<size_t, size_t> CChartColumn::Prepare(size_t count) {
    if (m_levels.empty())
        m_levels.push_back(Level{kFirstBlock, {}, {}});
    const size_t entries = (count + kFirstBlock - 1) / kFirstBlock;
    m_levels[0].min.resize(entries);
    m_levels[0].max.resize(entries);
    m_blockSums.resize(entries);
    m_blockCounts.resize(entries);
    return {m_size / kFirstBlock, entries};
}

void CChartColumn::SummariseBlocks(const PARAMVALUE* cells, size_t count, size_t from, size_t to) {
    Level& base = m_levels[0];
    for (size_t e = from; e < to; ++e) {
        const size_t begin = e * kFirstBlock;
#if defined(__GNUC__)
        if (begin + kPrefetchCells + kFirstBlock <= count)
            for (size_t k = 0; k < kFirstBlock; k += 64 / sizeof(PARAMVALUE))
                __builtin_prefetch(cells + begin + kPrefetchCells + k);
#endif
        const CellStats st = CellRange(cells + begin, std::min(kFirstBlock, count - begin));
        base.min[e] = st.lo;
        base.max[e] = st.hi;
        m_blockSums[e] = st.sum;
        m_blockCounts[e] = static_cast<uint8_t>(st.count);
    }
}

void CChartColumn::Complete(size_t count, size_t from) {
    m_size = count;
    SummariseLevels(from);
    // The coarsest level has a few entries that cover everything.
    const Level& top = m_levels.back();
    m_lo = kInf;
    m_hi = -kInf;
    for (size_t e = 0; e < top.min.size(); ++e)
        Merge(top.min[e], top.max[e], m_lo, m_hi);
}

void CChartColumn::SummariseLevels(size_t from) {
    size_t lowCount = m_levels[0].min.size();
    size_t lowFrom = from;
    for (size_t level = 1;; ++level) {
        if (lowCount <= kFanOut && level >= m_levels.size())
            break; // one entry would summarise everything: no level needed (yet)
        if (level == m_levels.size())
            m_levels.push_back(Level{m_levels[level - 1].block * kFanOut, {}, {}});
        const Level& low = m_levels[level - 1];
        Level& lv = m_levels[level];
        const size_t entries = (lowCount + kFanOut - 1) / kFanOut;
        const size_t firstEntry = lowFrom / kFanOut;
        lv.min.resize(entries);
        lv.max.resize(entries);
        for (size_t e = firstEntry; e < entries; ++e) {
            double mn = kInf, mx = -kInf;
            for (size_t k = e * kFanOut; k < std::min((e + 1) * kFanOut, lowCount); ++k)
                Merge(low.min[k], low.max[k], mn, mx);
            lv.min[e] = mn;
            lv.max[e] = mx;
        }
        lowCount = entries;
        lowFrom = firstEntry;
    }
}

double CChartColumn::At(size_t j) const {
    if (!m_doc || j >= m_size)
        return kNaN;
    const CDocMeasurementBase::CReadPass pass(*m_doc);
    if (m_doc->GetRewriteCount() != m_rewrites || j >= pass.Count(m_channel))
        return kNaN;
    return ValueOf(pass.Cells(m_channel)[j]);
}

void CChartColumn::Envelope(size_t first, size_t end, size_t columns, std::vector<Point>& out) const {
    out.clear();
    end = std::min(end, m_size);
    if (first >= end)
        return;
    const size_t count = end - first;
    columns = std::max<size_t>(columns, 1);
    const bool needsCells =
        count <= 2 * columns || static_cast<double>(count) / static_cast<double>(columns) < kFirstBlock;
    if (!needsCells) {
        Envelope(nullptr, first, end, columns, out);
        return;
    }
    if (!m_doc)
        return;
    const CDocMeasurementBase::CReadPass pass(*m_doc);
    if (m_doc->GetRewriteCount() == m_rewrites && pass.Count(m_channel) >= end)
        Envelope(pass.Cells(m_channel), first, end, columns, out);
}

void CChartColumn::Envelope(const PARAMVALUE* cells, size_t first, size_t end, size_t columns,
                            std::vector<Point>& out) const {
    out.clear();
    end = std::min(end, m_size);
    if (first >= end)
        return;
    const size_t count = end - first;
    columns = std::max<size_t>(columns, 1);
    if (count <= 2 * columns) {
        out.reserve(count);
        for (size_t j = first; j < end; ++j)
            out.push_back({static_cast<double>(j), ValueOf(cells[j])});
        return;
    }
    const double perColumn = static_cast<double>(count) / static_cast<double>(columns);
    out.reserve(2 * columns + 2);
    auto put = [&](size_t column, double mn, double mx) {
        if (!(mn <= mx))
            return;
        const double index = static_cast<double>(first) + static_cast<double>(column) * perColumn;
        out.push_back({index, mn});
        out.push_back({index, mx});
    };
    if (perColumn < kFirstBlock) {
        // Below the first summary the cells themselves, column by column.
        size_t from = first;
        for (size_t column = 0; column < columns && from < end; ++column) {
            auto to = static_cast<size_t>(std::ceil(static_cast<double>(column + 1) * perColumn)) + first;
            to = std::clamp(to, from + 1, end);
            const CellStats st = CellRange(cells + from, to - from);
            put(column, st.lo, st.hi);
            from = to;
        }
        return;
    }
    // The coarsest summary that still gives each column at least one entry of its own.
    const Level* lv = &m_levels[0];
    for (const Level& l : m_levels) {
        if (static_cast<double>(l.block) > perColumn)
            break;
        lv = &l;
    }
    const size_t block = lv->block;
    const size_t e0 = first / block;
    const size_t e1 = (end - 1) / block + 1;
    size_t column = SIZE_MAX;
    double mn = kInf, mx = -kInf;
    for (size_t e = e0; e < e1; ++e) {
        const size_t start = std::max(e * block, first);
        const auto c = static_cast<size_t>(static_cast<double>(start - first) / perColumn);
        if (c != column) {
            if (column != SIZE_MAX)
                put(column, mn, mx);
            column = c;
            mn = kInf;
            mx = -kInf;
        }
        Merge(lv->min[e], lv->max[e], mn, mx);
    }
    put(column, mn, mx);
}

void CChartColumn::EntriesRange(size_t level, size_t from, size_t to, double& lo, double& hi) const {
    const Level& lv = m_levels[level];
    if (level + 1 < m_levels.size()) {
        // Whole groups of kFanOut entries are one entry of the next level.
        const size_t a = std::min(to, (from + kFanOut - 1) / kFanOut * kFanOut);
        const size_t b = std::max(a, to / kFanOut * kFanOut);
        if (a < b)
            EntriesRange(level + 1, a / kFanOut, b / kFanOut, lo, hi);
        for (size_t e = b; e < to; ++e)
            Merge(lv.min[e], lv.max[e], lo, hi);
        to = a;
    }
    for (size_t e = from; e < to; ++e)
        Merge(lv.min[e], lv.max[e], lo, hi);
}

CChartColumn::RangeStats CChartColumn::Summarise(size_t first, size_t end) const {
    if (!m_doc)
        return {kNaN, kNaN, kNaN, 0};
    const CDocMeasurementBase::CReadPass pass(*m_doc);
    if (m_doc->GetRewriteCount() != m_rewrites || pass.Count(m_channel) < m_size)
        return {kNaN, kNaN, kNaN, 0};
    return Summarise(pass.Cells(m_channel), first, end);
}

CChartColumn::RangeStats CChartColumn::Summarise(const PARAMVALUE* cells, size_t first, size_t end) const {
    RangeStats stats{kNaN, kNaN, kNaN, 0};
    end = std::min(end, m_size);
    if (first >= end)
        return stats;
    // Running sums over the complete blocks not yet taken in; the blocks' own sums came with their extremes.
    const size_t complete = m_size / kFirstBlock;
    m_sums.reserve(complete + 1);
    m_counts.reserve(complete + 1);
    for (size_t e = m_sums.size() - 1; e < complete; ++e) {
        m_sums.push_back(m_sums.back() + m_blockSums[e]);
        m_counts.push_back(m_counts.back() + m_blockCounts[e]);
    }
    const size_t e0 = std::min((first + kFirstBlock - 1) / kFirstBlock, end / kFirstBlock);
    const size_t e1 = std::max(e0, end / kFirstBlock);
    double lo = kInf, hi = -kInf, sum = 0.0;
    size_t count = 0;
    auto take = [&](size_t from, size_t to) {
        for (size_t j = from; j < to; ++j) {
            const double v = ValueOf(cells[j]);
            if (!std::isnan(v)) {
                Widen(v, lo, hi);
                sum += v;
                ++count;
            }
        }
    };
    if (e0 == e1) {
        take(first, end);
    } else {
        take(first, e0 * kFirstBlock);
        take(e1 * kFirstBlock, end);
        EntriesRange(0, e0, e1, lo, hi);
        sum += m_sums[e1] - m_sums[e0];
        count += m_counts[e1] - m_counts[e0];
    }
    if (count > 0)
        stats = {lo, hi, sum / static_cast<double>(count), count};
    return stats;
}
