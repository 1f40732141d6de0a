#include "measurement/MeasurementCsv.h"

#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

namespace {

// "%.10g" whatever locale the process runs in.
void AppendNumber(std::string& line, double v) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 10);
    line.append(buffer, r.ptr);
}

void AppendField(std::string& line, const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        line += field;
        return;
    }
    line += '"';
    for (char c : field) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

constexpr size_t kRowsPerPiece = 4096;

// Sized to what it formats: a damaged file's trigger fields run to ten digits each, and a cut description
// line would lose the fields a reader of it looks for.
std::string Format(const char* format, auto... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

} // namespace

bool WriteMeasurementCsv(const CDocMeasurementBase& doc, size_t firstRow, size_t endRow,
                         const std::function<bool(std::string_view)>& sink) {
    const auto* single = dynamic_cast<const CDocMeasurementSingle*>(&doc);
    const auto* continuous = dynamic_cast<const CDocMeasurementContinuous*>(&doc);
    std::string line;
    double period = 0.0, shift = 0.0;
    int channels = 0;
    size_t rows = 0;
    uint64_t rewrites = 0;
    {
        const CDocMeasurementBase::CReadPass pass(doc);
        channels = pass.GetShownCount();
        rewrites = doc.GetRewriteCount();
        const CMeasStart s = doc.GetMeasStart();
        line = Format("# kind=%s channels=%d running=%d start=%04d-%02d-%02dT%02d:%02d:%02d",
                      single ? "single" : "continuous", channels, doc.IsRunning() ? 1 : 0, s.GetYear(),
                      s.GetMonth(), s.GetDay(), s.GetHour(), s.GetMinute(), s.GetSecond());
        if (single) {
            const CTrigger t = single->GetTrigger();
            const PARAMVALUE& level = t.GetLevel().GetValue();
            line += Format(
                " trigger_id=%u trigger_type=%u trigger_raw=0x%08x delay=%d mode=%u divider=%u state=%u",
                t.GetParameterId(), level.dataType, level.raw, t.GetDelay(), t.GetMode(), t.GetDivider(),
                single->GetTriggerState());
            period = t.GetSamplePeriodMs();
            shift = t.GetDelayMs();
        } else if (continuous) {
            line += Format(" interval=%u", continuous->GetInterval());
            period = continuous->GetInterval();
        }
        line += "\r\n";
        line += single ? "time_ms" : "time_s";
        for (int i = 0; i < channels; ++i) {
            line += ',';
            AppendField(line, doc.GetChannelTitle(i));
            rows = std::max(rows, pass.Count(i));
        }
        line += "\r\n";
    }
    if (!sink(line))
        return false;

    endRow = std::min(endRow, rows);
    for (size_t j = firstRow; j < endRow;) {
        line.clear();
        const CDocMeasurementBase::CReadPass pass(doc);
        // A document rewritten meanwhile (another measurement) ends the table where it stands.
        if (doc.GetRewriteCount() != rewrites)
            return false;
        for (const size_t end = std::min(endRow, j + kRowsPerPiece); j < end; ++j) {
            // As the chart computes it, so that the numbers match what the window shows.
            AppendNumber(line, static_cast<double>(j) * period - shift);
            for (int i = 0; i < channels; ++i) {
                line += ',';
                if (j < pass.Count(i))
                    AppendNumber(line, pass.Cells(i)[j].GetAsDouble().value_or(0.0));
            }
            line += "\r\n";
        }
        if (!sink(line))
            return false;
    }
    return true;
}

void WriteMeasurementCsv(const CDocMeasurementBase& doc, std::FILE* out) {
    WriteMeasurementCsv(doc, 0, SIZE_MAX, [out](std::string_view piece) {
        return std::fwrite(piece.data(), 1, piece.size(), out) == piece.size();
    });
    std::fflush(out);
}
