// The chart's own copy of a measurement: envelopes that match the values they stand for at any zoom,
// appends taken over without a rebuild, rewrites noticed; the visible range as CSV and as a workbook.
#include "measurement/ChartData.h"
#include "TestSupport.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementCsv.h"
#include "measurement/SpreadsheetFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <utility>

namespace {

PARAMVALUE Float(float f) {
    PARAMVALUE v(8, 0);
    v.SetFloat(f);
    return v;
}

// An envelope draws at most two points a pixel column, reaches every extreme of its range and nothing from
// farther than one column's width outside it; a range of few values is drawn as the values themselves.
void ExpectEnvelopeCovers(const CChartColumn& c, size_t first, size_t end, size_t columns) {
    std::vector<CChartColumn::Point> points;
    c.Envelope(first, end, columns, points);
    if (end - first <= 2 * columns) {
        ASSERT_EQ(points.size(), end - first);
        for (size_t k = 0; k < points.size(); ++k)
            EXPECT_EQ(points[k].value, c.At(first + k));
        return;
    }
    auto extremes = [&](size_t from, size_t to) {
        double lo = INFINITY, hi = -INFINITY;
        for (size_t j = from; j < std::min(to, c.Size()); ++j)
            lo = std::min(lo, c.At(j)), hi = std::max(hi, c.At(j));
        return std::pair{lo, hi};
    };
    ASSERT_LE(points.size(), 2 * columns + 2);
    double lo = INFINITY, hi = -INFINITY;
    for (const auto& p : points)
        lo = std::min(lo, p.value), hi = std::max(hi, p.value);
    const auto [inLo, inHi] = extremes(first, end);
    const size_t margin = (end - first) / columns + 1;
    const auto [outLo, outHi] = extremes(first >= margin ? first - margin : 0, end + margin);
    EXPECT_TRUE(outLo <= lo && lo <= inLo && inHi <= hi && hi <= outHi) << lo << " " << hi;
}

// One part of the zip container, as text; empty when it is not there.
std::string Part(const std::string& file, const std::string& part) {
    std::string text;
    if (std::FILE* pipe = ::popen(("unzip -p '" + file + "' '" + part + "' 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        ::pclose(pipe);
    }
    return text;
}

} // namespace

TEST(ChartColumn, EnvelopesSpanTheirValuesAtEveryZoom) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> values(300001);
    for (size_t j = 0; j < values.size(); ++j)
        values[j] = std::sin(j * 0.001) * 100 + noise(random) + (j == 123457 ? 1e6 : 0.0);
    CChartColumn bulk, pieces;
    bulk.Append(values.data(), values.size());
    // Appends of every size give the same summaries as one append.
    for (size_t j = 0, n = 1; j < values.size(); j += n, n = n * 3 % 1000 + 1)
        pieces.Append(values.data() + j, std::min(n, values.size() - j));
    struct Case {
        size_t first, end, columns;
    };
    for (const Case& k :
         {Case{0, 300001, 1000}, Case{0, 300001, 7}, Case{123000, 124000, 800}, Case{100, 1700, 800},
          Case{5, 20, 800}, Case{299990, 300001, 3}, Case{1000, 200000, 1}}) {
        SCOPED_TRACE(testing::Message() << k.first << ".." << k.end << " in " << k.columns);
        ExpectEnvelopeCovers(bulk, k.first, k.end, k.columns);
        std::vector<CChartColumn::Point> a, b;
        bulk.Envelope(k.first, k.end, k.columns, a);
        pieces.Envelope(k.first, k.end, k.columns, b);
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i)
            EXPECT_EQ(a[i].value, b[i].value);
    }
    EXPECT_EQ(bulk.Max(), values[123457]);
    // The spike of one value shows however far out the chart is zoomed.
    std::vector<CChartColumn::Point> all;
    bulk.Envelope(0, values.size(), 500, all);
    EXPECT_EQ(
        std::max_element(all.begin(), all.end(), [](auto& x, auto& y) { return x.value < y.value; })->value,
        values[123457]);
}

TEST(ChartColumn, NotANumberIsLeftOutOfSummaries) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> values(1000, nan);
    values[500] = -3.0;
    values[501] = 4.0;
    CChartColumn c;
    c.Append(values.data(), values.size());
    EXPECT_EQ(c.Min(), -3.0);
    EXPECT_EQ(c.Max(), 4.0);
    std::vector<CChartColumn::Point> points;
    c.Envelope(0, 1000, 10, points);
    ASSERT_EQ(points.size(), 2u); // the columns of NaN alone draw nothing
    EXPECT_EQ(points[0].value, -3.0);
    EXPECT_EQ(points[1].value, 4.0);
    CChartColumn empty;
    EXPECT_TRUE(std::isnan(empty.Min()));
}

// Appends are taken over without a rebuild; scaling is drawn, not stored in the cells; every rewrite (a
// document emptied and refilled to the same count, a new time base read back from the device, a file read,
// a new document) redraws everything.
TEST(ChartData, AppendsAreTakenOverAndEveryRewriteRedrawsEverything) {
    CDocMeasurementSingle doc(&Catalogue(), nullptr);
    CChartData chart;
    const std::pair<std::function<void()>, CChartData::Change> steps[] = {
        {[&] {
             doc.InitMeasurement(CTrigger(), {180, 181}, CMeasStart());
         },
         CChartData::Change::kRebuilt},
        {[&] { doc.AddValue(0, Float(1.0f)), doc.AddValue(0, Float(2.0f)); }, CChartData::Change::kAppended},
        {[] {}, CChartData::Change::kNone},
        {[&] { doc.SetFactor(0, 2.0); }, CChartData::Change::kNone},
        {[&] { doc.ClearValues(), doc.AddValue(0, Float(7.0f)), doc.AddValue(0, Float(7.0f)); },
         CChartData::Change::kRebuilt},
        {[&] { doc.SetTrigger(10, 0, 4, 180, 8, 0); }, CChartData::Change::kRebuilt},
        {[&] { doc.Deserialize(doc.Serialize()); }, CChartData::Change::kRebuilt},
        {[&] { doc.OnNewDocument(); }, CChartData::Change::kRebuilt}};
    for (size_t k = 0; k < std::size(steps); ++k) {
        steps[k].first();
        EXPECT_EQ(chart.Sync(doc), steps[k].second) << k;
        if (k == 1 || k == 4) {
            ASSERT_EQ(chart.Column(0).Size(), 2u);
            EXPECT_EQ(chart.Column(0).At(1), k == 1 ? 2.0 : 7.0);
        }
        if (k == 1 || k == 5) {
            EXPECT_EQ(chart.X(1), k == 1 ? 0.03125 : -1.125); // 10 samples of 0,125 ms before the trigger
        }
    }
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

// As the chart exports write them, read back from the .xlsx container with unzip.
TEST(SpreadsheetFile, ARealWorkbookWithTheTableAndItsOverflowSheets) {
    const TempFolder dir;
    const std::string path = dir / "sheet.xlsx";
    SpreadsheetTable table;
    table.sheetName = "Single measurement";
    table.header = {"Time [ms]", "180 Instantaneous mains current L1 [A]"};
    table.rows = 5;
    table.rowsPerSheet = 3;
    table.cell = [](size_t row, size_t column) {
        return column == 0 ? row * 0.125 : (row == 1 ? NAN : -1.5 * row);
    };
    ASSERT_TRUE(WriteSpreadsheet(path, table));

    const std::string book = Part(path, "xl/workbook.xml");
    EXPECT_NE(book.find("name=\"Single measurement\""), std::string::npos) << book;
    EXPECT_NE(book.find("name=\"Single measurement 2\""), std::string::npos);
    const std::string first = Part(path, "xl/worksheets/sheet1.xml");
    EXPECT_NE(first.find("<c r=\"A3\"><v>0.125</v></c>"), std::string::npos) << first;
    EXPECT_EQ(first.find("r=\"B3\""), std::string::npos); // NaN stays empty
    EXPECT_NE(first.find("<c r=\"B4\"><v>-3</v></c>"), std::string::npos);
    const std::string second = Part(path, "xl/worksheets/sheet2.xml");
    EXPECT_NE(second.find("<c r=\"A3\"><v>0.5</v></c>"), std::string::npos) << second;
    EXPECT_NE(first.find("180 Instantaneous mains current L1 [A]"), std::string::npos); // inline strings

    // A stop asked for midway leaves the file as it was.
    const auto before = std::filesystem::file_size(path);
    table.rows = 20000;
    table.rowsPerSheet = SpreadsheetTable::kMaxRowsPerSheet;
    EXPECT_FALSE(WriteSpreadsheet(path, table, [](size_t) { return false; }));
    EXPECT_EQ(std::filesystem::file_size(path), before);
    EXPECT_EQ(dir.Entries(), 1); // nothing left over
    EXPECT_FALSE(WriteSpreadsheet("/nonexistent-folder/x.xlsx", table));
}
