#include "measurement/SpreadsheetFile.h"

#include "base/FileUtil.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

static_assert(SpreadsheetTable::kMaxRowsPerSheet == LXW_ROW_MAX - 1);
constexpr size_t kProgressStep = 8192;

// libxlsxwriter writes to a file name of its own choosing only: a private temporary file, removed
// whatever happens.
class TemporaryFile {
public:
    TemporaryFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quirel-xlsx-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        if (fd >= 0) {
            ::close(fd);
            m_path = pattern;
        }
    }
    ~TemporaryFile() {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace

bool WriteSpreadsheet(const std::string& path, const SpreadsheetTable& table,
                      const std::function<bool(size_t)>& progress) {
    TemporaryFile temporary;
    if (temporary.Path().empty())
        return false;
    std::string tmpdir = std::filesystem::temp_directory_path().string();
    // Constant memory: each row goes to the disk as soon as the next begins, whatever the table's size.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpdir.data();
    options.use_zip64 = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(temporary.Path().c_str(), &options);
    if (!book)
        return false;
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);

    bool ok = true;
    const size_t columns = table.header.size();
    const size_t perSheet = std::clamp<size_t>(table.rowsPerSheet, 1, SpreadsheetTable::kMaxRowsPerSheet);
    const size_t sheets = table.rows == 0 ? 1 : (table.rows + perSheet - 1) / perSheet;
    for (size_t s = 0; s < sheets && ok; ++s) {
        const std::string name = s == 0 ? table.sheetName : table.sheetName + " " + std::to_string(s + 1);
        lxw_worksheet* sheet = workbook_add_worksheet(book, name.c_str());
        if (!sheet) {
            ok = false;
            break;
        }
        worksheet_freeze_panes(sheet, 1, 0);
        for (size_t c = 0; c < columns; ++c) {
            worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                 c == 0 ? 12 : std::max<double>(14, table.header[c].size() * 0.9), nullptr);
            ok = ok && worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), table.header[c].c_str(),
                                              bold) == LXW_NO_ERROR;
        }
        const size_t first = s * perSheet;
        const size_t end = std::min(table.rows, first + perSheet);
        for (size_t r = first; r < end && ok; ++r) {
            const auto row = static_cast<lxw_row_t>(r - first + 1);
            for (size_t c = 0; c < columns; ++c) {
                const double v = table.cell(r, c);
                if (std::isfinite(v))
                    ok = ok && worksheet_write_number(sheet, row, static_cast<lxw_col_t>(c), v, nullptr) ==
                                   LXW_NO_ERROR;
            }
            if (progress && (r + 1) % kProgressStep == 0)
                ok = ok && progress(r + 1);
        }
    }
    // The workbook is closed (and its memory freed) whether or not the rows were all written.
    const bool closed = workbook_close(book) == LXW_NO_ERROR;
    if (!ok || !closed)
        return false;
    const std::optional<std::string> bytes = quirel::readWholeFile(temporary.Path(), quirel::kMaxMeasurementFileBytes);
    return bytes && quirel::writeFileAtomically(path, *bytes);
}
