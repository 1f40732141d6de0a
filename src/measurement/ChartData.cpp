#include "measurement/ChartData.h"

#include "measurement/DocMeasurementBase.h"

#include <algorithm>

namespace {
// Cells are converted in pieces, so a file of millions of values needs no second copy of itself.
constexpr size_t kPiece = 1 << 16;
} // namespace

void CChartData::Clear() {
    m_columns.clear();
    m_synced = false;
}

size_t CChartData::GetMaxCount() const {
    size_t most = 0;
    for (const CChartColumn& c : m_columns)
        most = std::max(most, c.Size());
    return most;
}

CChartData::Change CChartData::Sync(const CDocMeasurementBase& doc) {
    const CDocMeasurementBase::CReadPass pass(doc);
    const uint64_t rewrites = doc.GetRewriteCount();
    const int channels = pass.GetChannelCount();
    const double x0 = doc.GetX(0);
    const double dx = doc.GetX(1) - x0;
    bool rebuild =
        !m_synced || rewrites != m_rewrites || channels != GetChannelCount() || x0 != m_x0 || dx != m_dx;
    // A channel shorter than its copy was rewritten, whatever the counter says.
    for (int i = 0; !rebuild && i < channels; ++i)
        rebuild = pass.Count(i) < m_columns[static_cast<size_t>(i)].Size();
    if (rebuild) {
        m_columns.assign(static_cast<size_t>(channels), CChartColumn());
        m_x0 = x0;
        m_dx = dx;
        m_rewrites = rewrites;
        m_synced = true;
    }
    bool appended = false;
    std::vector<double> piece;
    for (int i = 0; i < channels; ++i) {
        CChartColumn& column = m_columns[static_cast<size_t>(i)];
        const size_t count = pass.Count(i);
        const PARAMVALUE* cells = pass.Cells(i);
        if (rebuild)
            column.Reserve(count);
        for (size_t from = column.Size(); from < count;) {
            const size_t n = std::min(kPiece, count - from);
            piece.resize(n);
            for (size_t k = 0; k < n; ++k)
                piece[k] = cells[from + k].GetAsDouble().value_or(0.0);
            column.Append(piece.data(), n);
            from += n;
            appended = true;
        }
    }
    if (rebuild)
        return Change::kRebuilt;
    return appended ? Change::kAppended : Change::kNone;
}
