#pragma once

#include "parameters/ParamValue.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

class CDocMeasurementBase;

// One channel as a chart draws it: the minimum and maximum of its values summarised over blocks of
// growing size, so that the envelope of any range at any zoom costs about as much as the pixels it fills,
// however many values the channel holds. The values themselves stay in the document's cells and are read
// from there under its lock; the chart keeps only the summaries (about a twelfth of the cells' size), so
// taking over a recording of millions of values reads each cell once and copies none.
class CChartColumn {
public:
    // Block sizes: 32, 128, 512, ... values per summary entry.
    static constexpr size_t kFirstBlock = 32;
    static_assert(kFirstBlock <= 255, "a block's count is kept in a byte");
    static constexpr size_t kFanOut = 4;

    // A point of an envelope: a value index (fractional where a column starts) and a value.
    struct Point {
        double index;
        double value;
    };

    // The value drawn for a cell: its number, 0 for a cell that holds none (text, nothing).
    static double ValueOf(const PARAMVALUE& cell) { return cell.GetAsDouble().value_or(0.0); }

    // Where the values are: channel `channel` of `doc`, as long as its rewrite count stays `rewrites`.
    void Attach(const CDocMeasurementBase* doc, int channel, uint64_t rewrites);
    // Takes cells [Size(), count) over; the cells before them are the ones taken over earlier.
    void Append(const PARAMVALUE* cells, size_t count);
    // Append in three steps, so that parts of a long column can be summarised on several threads at once:
    // Prepare makes room for `count` values and returns the first-level entries to fill [from, to);
    // SummariseBlocks fills a part of them (parts that do not overlap may run at once); Complete, once
    // all are filled, takes them in.
    std::pair<size_t, size_t> Prepare(size_t count);
    void SummariseBlocks(const PARAMVALUE* cells, size_t count, size_t from, size_t to);
    void Complete(size_t count, size_t from);

    size_t Size() const { return m_size; }
    // Value j, read from the document; NaN outside Size() and once the document was rewritten.
    double At(size_t j) const;
    // Over every value, NaN left out; both NaN when there is no number at all.
    double Min() const;
    double Max() const;

    // The values of [first, end) for a chart `columns` pixels wide: every value while there are no more
    // than about two per column, else per column its minimum and its maximum, in index order (a vertical
    // stroke per column, as an oscilloscope draws it). Columns follow the summary blocks, so a column may
    // reach up to one block beyond the range at either end. Replaces the content of `out`; empty where
    // the values are needed and the document was rewritten since they were taken over.
    void Envelope(size_t first, size_t end, size_t columns, std::vector<Point>& out) const;
    // The same with the cells at hand (those Append was given, or more).
    void Envelope(const PARAMVALUE* cells, size_t first, size_t end, size_t columns,
                  std::vector<Point>& out) const;

    // The smallest, largest and mean value of [first, end) and how many numbers it holds (NaN left out;
    // NaN figures without a number, and once the document was rewritten). Costs about as much as reading
    // two blocks of cells, whatever the range: the extremes come from the summaries, the mean from running
    // sums over whole first-level blocks, whose sums the summarising pass takes with their extremes.
    struct RangeStats {
        double min, max, mean;
        size_t count;
    };
    RangeStats Summarise(size_t first, size_t end) const;
    // The same with the cells at hand (those Append was given, or more).
    RangeStats Summarise(const PARAMVALUE* cells, size_t first, size_t end) const;

private:
    struct Level {
        size_t block; // values per entry
        std::vector<double> min, max;
    };
    // Recomputes the entries of the coarser levels that cover level-0 entries from `from` on.
    void SummariseLevels(size_t from);

    const CDocMeasurementBase* m_doc = nullptr;
    int m_channel = 0;
    uint64_t m_rewrites = 0;
    size_t m_size = 0;
    std::vector<Level> m_levels; // the first always of kFirstBlock once there is a value
    // Extremes of the whole first-level entries [from, to) at `level` and coarser.
    void EntriesRange(size_t level, size_t from, size_t to, double& lo, double& hi) const;
    // Per first-level entry the sum and count of its numbers, filled with its extremes.
    std::vector<double> m_blockSums;
    std::vector<uint8_t> m_blockCounts; // at most kFirstBlock
    // Running sums over the complete first-level blocks: [e] sums the numbers of blocks 0 .. e-1.
    mutable std::vector<double> m_sums{0.0};
    mutable std::vector<size_t> m_counts{0};
    // +inf and -inf until a number comes.
    double m_lo = std::numeric_limits<double>::infinity();
    double m_hi = -std::numeric_limits<double>::infinity();
};
