// analyse: the power-quality figures of a single measurement's channels, or of its voltage/current pairs.
#include "CliCommon.h"
#include "CliSession.h"

#include "analysis/DerivedFile.h"
#include "analysis/MeasurementChannels.h"
#include "analysis/PairFigures.h"
#include "base/StringTable.h"
#include "measurement/DocMeasurementSingle.h"

#include <charconv>
#include <cmath>

namespace quirel::cli {
namespace {

using namespace quirel::analysis;

// "%.10g" whatever the locale; an empty cell where the figure cannot be had.
void AppendNumber(std::string& line, double v) {
    line += ',';
    if (std::isnan(v))
        return;
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 10);
    line.append(buffer, r.ptr);
}

// RFC 4180: a field with a comma, a quote or a line break goes in quotes.
void AppendField(std::string& line, const std::string& field) {
    line += ',';
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        line += field;
        return;
    }
    line += '"';
    for (char c : field)
        line += c == '"' ? std::string("\"\"") : std::string(1, c);
    line += '"';
}

bool ParsePair(const std::string& text, std::pair<uint32_t, uint32_t>& out) {
    const size_t colon = text.find(':');
    long u = 0, i = 0;
    if (colon == std::string::npos || !ParseInt(text.substr(0, colon), 0, UINT32_MAX, u) ||
        !ParseInt(text.substr(colon + 1), 0, UINT32_MAX, i))
        return false;
    out = {static_cast<uint32_t>(u), static_cast<uint32_t>(i)};
    return true;
}

int Analyse(CliSession& s, const std::vector<std::string>& args) {
    if (args.empty() || args[0].rfind("--", 0) == 0)
        return s.Usage("analyse needs a FILE.nbts first");
    const std::string& path = args[0];
    const std::string ext = LowerExtension(path);
    if (ext != "nbts" && ext != "bts")
        return s.Usage("analyse reads single measurements (.nbts, .bts)");
    std::vector<std::pair<std::string, std::string>> options;
    if (const std::string why = ParseOptions({args.begin() + 1, args.end()}, {"--mains", "--pair"}, options);
        !why.empty())
        return s.Usage(why);
    long mains = 50;
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    for (const auto& [key, value] : options) {
        if (key == "--mains" && (!ParseInt(value, 50, 60, mains) || (mains != 50 && mains != 60)))
            return s.Usage("--mains is 50 or 60");
        if (key == "--pair" && !ParsePair(value, pairs.emplace_back()))
            return s.Usage("--pair takes U_ID:I_ID, the identifiers of a voltage and a current channel");
    }

    CDocMeasurementSingle doc(&s.Catalogue(), nullptr);
    const MeasurementFileResult result = doc.ReadFile(path, ext == "nbts");
    if (result == MeasurementFileResult::kCannotOpen)
        return s.Fail(quirel::loadString(kIdsCannotOpenFile) + " " + path);
    if (result == MeasurementFileResult::kDamaged)
        return s.Fail(quirel::loadString(kIdsFileDamaged));
    const DerivedFileContent derived = ReadDerivedFile(path);
    if (!derived.error.empty())
        return s.Fail(derived.error);
    const MeasurementChannels m = CollectChannels(doc, derived.channels);
    if (!m.error.empty())
        return s.Fail(m.error);
    for (const auto& [u, i] : pairs)
        for (uint32_t id : {u, i})
            if (!m.Find(id))
                return s.Fail("channel " + std::to_string(id) + " is not in " + path);
    for (const std::string& note : m.notes)
        std::fprintf(s.Err(), "%s\n", note.c_str());

    const double nominal = static_cast<double>(mains);
    std::string text;
    if (pairs.empty()) {
        text = "id,name,unit,rms,peak,mean,frequency_hz,thd_percent,periods\r\n";
        for (const Channel& c : m.channels) {
            const TraceFigures f = AnalyseTrace(c.values, m.sampleRateHz, nominal);
            text += std::to_string(c.id);
            AppendField(text, c.name);
            AppendField(text, c.unit);
            for (double v : {f.rms, f.peak, f.mean, f.frequencyHz, f.thdPercent})
                AppendNumber(text, v);
            text += ',' + std::to_string(f.periods) + "\r\n";
        }
    } else {
        text = "u_id,i_id,phase_deg,dpf,pf,p_w,q_var,s_va\r\n";
        for (const auto& [u, i] : pairs) {
            const PairFigures p = AnalysePair(m.Find(u)->values, m.Find(i)->values, m.sampleRateHz, nominal);
            text += std::to_string(u) + ',' + std::to_string(i);
            for (double v : {p.phaseDeg, p.displacementPowerFactor, p.powerFactor, p.activePowerW,
                             p.reactivePowerVar, p.apparentPowerVA})
                AppendNumber(text, v);
            text += "\r\n";
        }
    }
    std::fwrite(text.data(), 1, text.size(), s.Out());
    std::fflush(s.Out());
    return kOk;
}

} // namespace

void AddAnalysisCommands(std::vector<CommandSpec>& commands) {
    commands.push_back(
        {"analyse",
         "  analyse FILE.nbts [--mains 50|60] [--pair U_ID:I_ID ...]\n"
         "                        power-quality figures of a single measurement as CSV on stdout: per\n"
         "                        channel RMS, peak, mean, fundamental frequency, THD and the whole periods\n"
         "                        used; with --pair per voltage/current pair the phase angle, DPF, PF, P, Q\n"
         "                        and S; derived channels from FILE.nbts.derived are analysed too\n",
         true, Analyse});
}

} // namespace quirel::cli
