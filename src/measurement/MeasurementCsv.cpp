#include "measurement/MeasurementCsv.h"

#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"

#include <charconv>
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

void WriteMeasurementCsv(const CDocMeasurementBase& doc, std::FILE* out) {
    const auto* single = dynamic_cast<const CDocMeasurementSingle*>(&doc);
    const auto* continuous = dynamic_cast<const CDocMeasurementContinuous*>(&doc);
    const CDocMeasurementBase::CReadPass pass(doc);
    const int channels = pass.GetChannelCount();
    const CMeasStart s = doc.GetMeasStart();

    std::string line =
        Format("# kind=%s channels=%d running=%d start=%04d-%02d-%02dT%02d:%02d:%02d",
               single ? "single" : "continuous", channels, doc.IsRunning() ? 1 : 0, s.GetYear(), s.GetMonth(),
               s.GetDay(), s.GetHour(), s.GetMinute(), s.GetSecond());
    double period = 0.0, shift = 0.0;
    if (single) {
        const CTrigger t = single->GetTrigger();
        const PARAMVALUE& level = t.GetLevel().GetValue();
        line +=
            Format(" trigger_id=%u trigger_type=%u trigger_raw=0x%08x delay=%d mode=%u divider=%u state=%u",
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
    size_t rows = 0;
    for (int i = 0; i < channels; ++i) {
        line += ',';
        AppendField(line, doc.GetChannelTitle(i));
        rows = std::max(rows, pass.Count(i));
    }
    line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), out);

    for (size_t j = 0; j < rows; ++j) {
        line.clear();
        // As the chart computes it, so that the numbers match what the window shows.
        AppendNumber(line, static_cast<double>(j) * period - shift);
        for (int i = 0; i < channels; ++i) {
            line += ',';
            if (j < pass.Count(i))
                AppendNumber(line, pass.Cells(i)[j].GetAsDouble().value_or(0.0));
        }
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), out);
    }
    std::fflush(out);
}
