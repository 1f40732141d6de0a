// What the chart knows of a measurement: envelopes that match the values they stand for at any zoom and
// for every data type, appends taken over without a rebuild, rewrites noticed; the visible range as CSV.
#include "measurement/ChartData.h"
#include "TestCatalogue.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementCsv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

PARAMVALUE Float(float f) {
    PARAMVALUE v(8, 0);
    v.SetFloat(f);
    return v;
}

// Every column's stroke must span exactly what the values it covers span (blocks may reach one block
// beyond the range at either end).
void ExpectEnvelopeCovers(const CChartColumn& c, const std::vector<PARAMVALUE>& cells, size_t first,
                          size_t end, size_t columns) {
    auto at = [&](size_t j) { return CChartColumn::ValueOf(cells[j]); };
    std::vector<CChartColumn::Point> points;
    c.Envelope(cells.data(), first, end, columns, points);
    const size_t count = end - first;
    if (count <= 2 * columns) {
        ASSERT_EQ(points.size(), count);
        for (size_t k = 0; k < count; ++k)
            EXPECT_EQ(points[k].value, at(first + k));
        return;
    }
    ASSERT_LE(points.size(), 2 * columns + 2);
    ASSERT_EQ(points.size() % 2, 0u);
    const double inf = std::numeric_limits<double>::infinity();
    double reachLo = inf, reachHi = -inf;
    for (const auto& p : points) {
        reachLo = std::min(reachLo, p.value);
        reachHi = std::max(reachHi, p.value);
        EXPECT_GE(p.index, double(first));
        EXPECT_LT(p.index, double(end));
    }
    // Every extreme of the range is drawn, and nothing from beyond one column's width outside it.
    double inLo = inf, inHi = -inf;
    for (size_t j = first; j < end; ++j) {
        inLo = std::min(inLo, at(j));
        inHi = std::max(inHi, at(j));
    }
    EXPECT_LE(reachLo, inLo);
    EXPECT_GE(reachHi, inHi);
    const size_t margin = count / columns + 1;
    double outLo = inf, outHi = -inf;
    for (size_t j = first >= margin ? first - margin : 0; j < std::min(c.Size(), end + margin); ++j) {
        outLo = std::min(outLo, at(j));
        outHi = std::max(outHi, at(j));
    }
    EXPECT_GE(reachLo, outLo);
    EXPECT_LE(reachHi, outHi);
}

} // namespace

TEST(ChartColumn, EnvelopesSpanTheirValuesAtEveryZoom) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<PARAMVALUE> cells(300001);
    for (size_t j = 0; j < cells.size(); ++j)
        cells[j] = Float(float(std::sin(j * 0.001) * 100 + noise(random) + (j == 123457 ? 1e6 : 0.0)));
    CChartColumn bulk, pieces;
    bulk.Append(cells.data(), cells.size());
    // Appends of every size give the same summaries as one append.
    for (size_t j = 0, n = 1; j < cells.size(); j += n, n = n * 3 % 1000 + 1)
        pieces.Append(cells.data(), std::min(j + n, cells.size()));
    struct Case {
        size_t first, end, columns;
    };
    for (const Case& k :
         {Case{0, 300001, 1000}, Case{0, 300001, 7}, Case{123000, 124000, 800}, Case{100, 1700, 800},
          Case{5, 20, 800}, Case{299990, 300001, 3}, Case{1000, 200000, 1}, Case{1000, 30000, 1000}}) {
        SCOPED_TRACE(testing::Message() << k.first << ".." << k.end << " in " << k.columns);
        ExpectEnvelopeCovers(bulk, cells, k.first, k.end, k.columns);
        std::vector<CChartColumn::Point> a, b;
        bulk.Envelope(cells.data(), k.first, k.end, k.columns, a);
        pieces.Envelope(cells.data(), k.first, k.end, k.columns, b);
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i)
            EXPECT_EQ(a[i].value, b[i].value);
        // The range's own extremes and mean, whatever blocks it cuts.
        double lo = 1e300, hi = -1e300, sum = 0;
        for (size_t j = k.first; j < k.end; ++j) {
            lo = std::min(lo, CChartColumn::ValueOf(cells[j]));
            hi = std::max(hi, CChartColumn::ValueOf(cells[j]));
            sum += CChartColumn::ValueOf(cells[j]);
        }
        const CChartColumn::RangeStats s = pieces.Summarise(cells.data(), k.first, k.end);
        EXPECT_EQ(s.min, lo);
        EXPECT_EQ(s.max, hi);
        EXPECT_NEAR(s.mean, sum / double(k.end - k.first), 1e-9 * std::abs(hi));
        EXPECT_EQ(s.count, k.end - k.first);
    }
    EXPECT_EQ(bulk.Max(), cells[123457].GetFloat());
    // The spike of one value shows however far out the chart is zoomed.
    std::vector<CChartColumn::Point> all;
    bulk.Envelope(cells.data(), 0, cells.size(), 500, all);
    EXPECT_EQ(
        std::max_element(all.begin(), all.end(), [](auto& x, auto& y) { return x.value < y.value; })->value,
        bulk.Max());
}

// Each data type counts as its number; NaN and cells without a number (text: 0) as the cell would show.
TEST(ChartColumn, ExtremesOfEveryDataType) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::vector<PARAMVALUE> cells;
        double min, max;
    } cases[] = {
        {{PARAMVALUE(2, 0xFFFF), PARAMVALUE(2, 0x7FFF)}, -1, 32767},
        {{PARAMVALUE(5, 0x1FFFF), PARAMVALUE(6, 3)}, 3, 65535},
        {{PARAMVALUE(4, 0x80000000u), PARAMVALUE(13, 5)}, -2147483648.0, 5},
        {{PARAMVALUE(7, 0xFFFFFFFFu), PARAMVALUE(7, 1)}, 1, 4294967295.0},
        {{PARAMVALUE(9, 77), PARAMVALUE(9, 5)}, 0, 0},
        {{Float(2.5f), PARAMVALUE(2, 0xFFFE), PARAMVALUE(9, 7)}, -2, 2.5},
        {std::vector<PARAMVALUE>(40, Float(1.0f)), -7, 4},
        {std::vector<PARAMVALUE>(1000, Float(float(nan))), nan, nan},
        {std::vector<PARAMVALUE>(64, PARAMVALUE(4, 0xFFFFFFFEu)), -2, -2}, // whole blocks of one type
    };
    cases[6].cells[5] = PARAMVALUE(2, 0xFFF9); // among floats
    cases[6].cells[30] = Float(4.0f);
    cases[7].cells[500] = Float(-3.0f);
    cases[7].cells[501] = Float(4.0f);
    for (auto& k : cases) {
        SCOPED_TRACE(k.cells.front().dataType);
        CChartColumn c;
        c.Append(k.cells.data(), k.cells.size());
        if (std::isnan(k.min)) {
            EXPECT_EQ(c.Min(), -3.0);
            EXPECT_EQ(c.Max(), 4.0);
            std::vector<CChartColumn::Point> points;
            c.Envelope(k.cells.data(), 0, 1000, 10, points);
            ASSERT_EQ(points.size(), 2u); // the columns of NaN alone draw nothing
            EXPECT_EQ(points[0].value, -3.0);
            EXPECT_EQ(points[1].value, 4.0);
            EXPECT_EQ(c.Summarise(k.cells.data(), 0, 1000).mean, 0.5); // of the two numbers alone
        } else {
            EXPECT_EQ(c.Min(), k.min);
            EXPECT_EQ(c.Max(), k.max);
            double sum = 0;
            for (const PARAMVALUE& cell : k.cells)
                sum += CChartColumn::ValueOf(cell);
            EXPECT_EQ(c.Summarise(k.cells.data(), 0, k.cells.size()).mean, sum / double(k.cells.size()));
        }
    }
    EXPECT_TRUE(std::isnan(CChartColumn().Min()));
}

TEST(ChartData, AppendsAreTakenOverAndRewritesNoticed) {
    CDocMeasurementContinuous doc(&Catalogue(), nullptr);
    doc.InitMeasurement(2, {100, 110}, CMeasStart());
    CChartData chart;
    EXPECT_EQ(chart.Sync(doc), CChartData::Change::kRebuilt);
    EXPECT_EQ(chart.Sync(doc), CChartData::Change::kNone);
    const uint64_t rewrites = doc.GetRewriteCount();
    for (int j = 0; j < 3; ++j) {
        doc.AddValue(0, Float(50.0f + j));
        doc.AddValue(1, Float(230.0f));
    }
    EXPECT_EQ(doc.GetRewriteCount(), rewrites); // appends are no rewrite
    EXPECT_EQ(chart.Sync(doc), CChartData::Change::kAppended);
    ASSERT_EQ(chart.Column(0).Size(), 3u);
    EXPECT_EQ(chart.Column(0).At(2), 52.0);
    EXPECT_EQ(chart.X(2), 4.0);

    // Emptied and refilled to the same count: a rewrite, not an append of nothing. Until the chart looks
    // again, it reads no value of the new measurement as one of the old.
    doc.ClearValues();
    for (int j = 0; j < 3; ++j)
        doc.AddValue(0, Float(7.0f));
    EXPECT_NE(doc.GetRewriteCount(), rewrites);
    EXPECT_TRUE(std::isnan(chart.Column(0).At(2)));
    EXPECT_EQ(chart.Sync(doc), CChartData::Change::kRebuilt);
    EXPECT_EQ(chart.Column(0).At(2), 7.0);
    EXPECT_EQ(chart.Column(1).Size(), 0u);

    // A file of millions of values is taken over on every core, to the same extremes.
    std::vector<PARAMVALUE> many(700000, Float(1.0f));
    many[654321] = Float(9.0f);
    for (int i : {0, 1})
        doc.AddValues(i, many.data(), many.size(), doc.GetGeneration());
    EXPECT_EQ(chart.Sync(doc), CChartData::Change::kAppended);
    EXPECT_EQ(chart.Column(1).Max(), 9.0);
    EXPECT_EQ(chart.Column(0).Max(), 9.0);
    EXPECT_EQ(chart.Column(0).Min(), 1.0);

    // A new time base (the trigger read back from the device) redraws everything.
    CDocMeasurementSingle single(&Catalogue(), nullptr);
    single.InitMeasurement(CTrigger(), {180}, CMeasStart());
    single.AddValue(0, Float(1.0f));
    CChartData traces;
    traces.Sync(single);
    EXPECT_EQ(traces.X(1), 0.03125);
    single.SetTrigger(10, 0, 4, 180, 8, 0);
    EXPECT_EQ(traces.Sync(single), CChartData::Change::kRebuilt);
    EXPECT_EQ(traces.X(0), -1.25);
    EXPECT_EQ(traces.X(1), -1.125);
}

TEST(ChartData, EveryWayADocumentIsRewrittenCounts) {
    CDocMeasurementSingle doc(&Catalogue(), nullptr);
    uint64_t last = doc.GetRewriteCount();
    auto changed = [&] {
        const uint64_t now = doc.GetRewriteCount();
        const bool c = now != last;
        last = now;
        return c;
    };
    doc.InitMeasurement(CTrigger(), {180, 181}, CMeasStart());
    EXPECT_TRUE(changed());
    doc.AddValue(0, Float(1.0f));
    EXPECT_FALSE(changed());
    doc.SetFactor(0, 2.0); // scaling is drawn, not stored in the cells
    EXPECT_FALSE(changed());
    doc.ClearValues();
    EXPECT_TRUE(changed());
    doc.SetWithMeasStart(true);
    const std::string bytes = doc.Serialize();
    doc.Deserialize(bytes);
    EXPECT_TRUE(changed());
    doc.OnNewDocument();
    EXPECT_TRUE(changed());
}

TEST(MeasurementCsv, TheVisibleRowsHaveTheColumnsOfTheWholeTable) {
    CDocMeasurementContinuous doc(&Catalogue(), nullptr);
    doc.InitMeasurement(5, {100, 4711}, CMeasStart(2024, 3, 1, 8, 0, 0));
    for (int j = 0; j < 10000; ++j)
        doc.AddValue(0, Float(float(j)));
    doc.AddValue(1, Float(1.5f));
    std::string text;
    ASSERT_TRUE(WriteMeasurementCsv(doc, 9998, 20000, [&](std::string_view piece) {
        text += piece;
        return true;
    }));
    EXPECT_EQ(text, "# kind=continuous channels=2 running=0 start=2024-03-01T08:00:00 interval=5\r\n"
                    "time_s,100 Mains frequency,4711 --\r\n"
                    "49990,9998,\r\n"
                    "49995,9999,\r\n");
    // A sink that fails ends the writing.
    int pieces = 0;
    EXPECT_FALSE(WriteMeasurementCsv(doc, 0, SIZE_MAX, [&](std::string_view) { return ++pieces < 2; }));
    EXPECT_EQ(pieces, 2);
}
