#pragma once

#include <cstddef>
#include <vector>

// One channel's values as a chart draws them, with their minimum and maximum summarised over blocks of
// growing size, so that the envelope of any range at any zoom costs about as much as the pixels it fills,
// however many values the channel holds. Appending costs a few dozen operations per value, whatever the
// size.
class CChartColumn {
public:
    // Block sizes: 8, 32, 128, ... values per summary entry.
    static constexpr size_t kFirstBlock = 8;
    static constexpr size_t kFanOut = 4;

    // A point of an envelope: a value index (fractional where a column starts) and a value.
    struct Point {
        double index;
        double value;
    };

    CChartColumn();

    void Clear();
    void Append(const double* values, size_t count);
    void Reserve(size_t count) { m_values.reserve(count); }

    size_t Size() const { return m_values.size(); }
    double At(size_t j) const { return m_values[j]; }
    const double* Data() const { return m_values.data(); }
    // Over every value, NaN left out; both NaN when there is no number at all.
    double Min() const { return m_min; }
    double Max() const { return m_max; }

    // The values of [first, end) for a chart `columns` pixels wide: every value while there are no more
    // than about two per column, else per column its minimum and its maximum, in index order (a vertical
    // stroke per column, as an oscilloscope draws it). Columns follow the summary blocks, so a column may
    // reach up to one block beyond the range at either end. Replaces the content of `out`.
    void Envelope(size_t first, size_t end, size_t columns, std::vector<Point>& out) const;

private:
    struct Level {
        size_t block; // values per entry
        std::vector<double> min, max;
    };
    // Recomputes the summary entries that cover values from `from` on, level by level.
    void Summarise(size_t from);

    std::vector<double> m_values;
    std::vector<Level> m_levels;
    double m_min;
    double m_max;
};
