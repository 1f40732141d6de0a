#include "paramset/ParamSetReport.h"

#include "parameters/ParameterManager.h"
#include "paramset/ParamSetFile.h"

namespace quirel::paramset {

std::string BuildReport(const CParamSetFile& file, const CParameterManager& catalogue, const char* eol) {
    std::string report;
    bool first = true;
    for (const char* section : kSections) {
        if (!first)
            report += eol;
        first = false;
        report.append("[").append(section).append("]").append(eol);
        for (const ParamSetEntry& e : file.Entries(section)) {
            report.append(std::to_string(e.number)).append(" ");
            if (const CParameterDescription* d = catalogue.FindDescription(e.number))
                report.append(d->GetName()).append(" = ").append(e.stored).append(" ").append(d->GetUnit());
            else
                report.append("unknown = ").append(e.stored).append(" ");
            report += eol;
        }
    }
    return report;
}

} // namespace quirel::paramset
