// Spreadsheets as the chart exports write them, read back from the .xlsx container with unzip.
#include "measurement/SpreadsheetFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

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
    const TempFolder parts;
    ASSERT_EQ(std::system(("unzip -q '" + path + "' -d '" + parts.path + "'").c_str()), 0);
    const auto Part = [&](const std::string& name) { return ReadBytes(parts / name); };

    const std::string book = Part("xl/workbook.xml");
    EXPECT_NE(book.find("name=\"Single measurement\""), std::string::npos) << book;
    EXPECT_NE(book.find("name=\"Single measurement 2\""), std::string::npos);
    const std::string first = Part("xl/worksheets/sheet1.xml");
    EXPECT_NE(first.find("<c r=\"A3\"><v>0.125</v></c>"), std::string::npos) << first;
    EXPECT_EQ(first.find("r=\"B3\""), std::string::npos); // NaN stays empty
    EXPECT_NE(first.find("<c r=\"B4\"><v>-3</v></c>"), std::string::npos);
    const std::string second = Part("xl/worksheets/sheet2.xml");
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
