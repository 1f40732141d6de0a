#include "measurement/ChartData.h"

#include "measurement/DocMeasurementBase.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// From this many new cells on, the channels are summarised on every core: a pass over a recording of
// millions of values is bound by how fast one core can read memory, not by the work per value.
constexpr size_t kCellsPerThread = size_t{1} << 20;
// First-level entries per piece of work: small enough that no thread waits long for another at the end.
constexpr size_t kPieceEntries = size_t{1} << 13;

// Runs work(i) for every i < n on up to `threads` threads (this one included); rethrows the first
// exception once all have ended.
template <class Work> void ForEachParallel(size_t n, unsigned threads, const Work& work) {
    std::atomic<size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto run = [&] {
        for (size_t i; (i = next++) < n;) {
            try {
                work(i);
            } catch (...) {
                const std::lock_guard lock(failureLock);
                if (!failure)
                    failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(run);
        } catch (const std::system_error&) {
            break; // fewer helpers: the rest is done here
        }
    }
    run();
    for (std::thread& helper : helpers)
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
}

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
    const int channels = pass.GetShownCount();
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
    // What each channel gained, in pieces of a few hundred thousand values.
    struct Piece {
        CChartColumn* column;
        const PARAMVALUE* cells;
        size_t count, from, to;
    };
    std::vector<Piece> pieces;
    std::vector<size_t> counts(static_cast<size_t>(channels)), firstNew(counts.size());
    size_t fresh = 0;
    for (int i = 0; i < channels; ++i) {
        CChartColumn& column = m_columns[static_cast<size_t>(i)];
        column.Attach(&doc, i, rewrites);
        const size_t count = counts[static_cast<size_t>(i)] = pass.Count(i);
        if (count <= column.Size())
            continue;
        fresh += count - column.Size();
        const auto [from, to] = column.Prepare(count);
        firstNew[static_cast<size_t>(i)] = from;
        for (size_t e = from; e < to; e += kPieceEntries)
            pieces.push_back({&column, pass.Cells(i), count, e, std::min(to, e + kPieceEntries)});
    }
    const auto threads = static_cast<unsigned>(std::min<size_t>(
        {fresh / kCellsPerThread + 1, std::max(1u, std::thread::hardware_concurrency()), pieces.size()}));
    // The helpers only read the cells, which the pass keeps as they are until it ends, and each fills
    // entries of its own.
    ForEachParallel(pieces.size(), threads, [&pieces](size_t k) {
        const Piece& p = pieces[k];
        p.column->SummariseBlocks(p.cells, p.count, p.from, p.to);
    });
    ForEachParallel(counts.size(), threads, [&](size_t i) {
        if (counts[i] > m_columns[i].Size())
            m_columns[i].Complete(counts[i], firstNew[i]);
    });
    const bool appended = fresh > 0;
    if (rebuild)
        return Change::kRebuilt;
    return appended ? Change::kAppended : Change::kNone;
}
