#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// A table of numbers as a real spreadsheet (.xlsx, Office Open XML), the form the chart exports take: a
// bold header row, then one row per entry. A sheet holds at most 1 048 575 rows below its header; longer
// tables go on in further sheets named "<name> 2", "<name> 3", ...
struct SpreadsheetTable {
    static constexpr size_t kMaxRowsPerSheet = 1048575;

    std::string sheetName;
    std::vector<std::string> header;
    size_t rows = 0;
    // The number at (row, column); NaN leaves the cell empty.
    std::function<double(size_t row, size_t column)> cell;
    // Rows below the header of one sheet.
    size_t rowsPerSheet = kMaxRowsPerSheet;
};

// Writes the table to `path`, which stays as it was unless the whole file was written. `progress` (may be
// empty) hears how many rows are done now and then; false from it stops the writing, which then fails.
bool WriteSpreadsheet(const std::string& path, const SpreadsheetTable& table,
                      const std::function<bool(size_t done)>& progress = {});
