#include "report/ReportAnalysis.h"

#include "analysis/MeasurementChannels.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementTexts.h"
#include "report/ReportTexts.h"

#include <cmath>

namespace quirel::report {
namespace {

using namespace quirel::analysis;

// Identifiers of the load currents the report derives: far above any catalogue's, and never written
// anywhere.
constexpr uint32_t kFirstReportLoadId = 0xFFFFFF00u;

const ReportChannel* FindRole(const std::vector<ReportChannel>& channels, ChannelRole::Quantity q,
                              int phase) {
    for (const ReportChannel& c : channels)
        if (c.role.quantity == q && c.role.phase == phase)
            return &c;
    return nullptr;
}

} // namespace

bool LimitApplies(const LimitChoice& choice, const ChannelRole& role, const std::string& unit) {
    if (choice.ForCurrents())
        return role.quantity == ChannelRole::kMainsCurrent ||
               (role.quantity == ChannelRole::kUnknown && unit == "A");
    return role.quantity == ChannelRole::kMainsVoltage ||
           (role.quantity == ChannelRole::kUnknown && unit == "V");
}

ReportMeasurement AnalyseMeasurement(const CDocMeasurementSingle& doc,
                                     std::span<const DerivedChannel> derived,
                                     std::span<const LimitChoice> limits, std::vector<MissingPart>& missing,
                                     const std::string& derivedWhat) {
    ReportMeasurement r;
    r.start = MeasurementTexts::StartLine(doc.GetMeasStart());
    r.triggerLines = MeasurementTexts::TriggerLines(doc);
    r.samplePeriodMs = doc.GetTrigger().GetDivider() * 0.03125;
    r.firstTimeMs = doc.GetX(0);

    // The roles of the captured channels and of the side file's, and the load currents to derive.
    std::vector<ChannelRole> capturedRoles;
    for (int i = 0; i < doc.GetChannelCount(); ++i)
        capturedRoles.push_back(RoleOfParameter(doc.GetParameterId(i)));
    auto derive = [&](bool withSideFile) {
        std::vector<DerivedChannel> all;
        std::vector<ChannelRole> roles = capturedRoles;
        if (withSideFile)
            for (const DerivedChannel& d : derived) {
                all.push_back(d);
                roles.push_back(RoleOfDerived(d));
            }
        for (int phase = 1; phase <= 3; ++phase) {
            auto find = [&](ChannelRole::Quantity q) -> int {
                for (size_t k = 0; k < roles.size(); ++k)
                    if (roles[k] == ChannelRole{q, phase})
                        return static_cast<int>(k);
                return -1;
            };
            const int mains = find(ChannelRole::kMainsCurrent), filter = find(ChannelRole::kFilterCurrent);
            const auto captured = static_cast<int>(capturedRoles.size());
            if (mains < 0 || filter < 0 || mains >= captured || filter >= captured ||
                find(ChannelRole::kLoadCurrent) >= 0)
                continue;
            DerivedChannel load =
                LoadCurrentDefinition(doc.GetParameterId(mains), doc.GetParameterId(filter), phase);
            load.id = kFirstReportLoadId + static_cast<uint32_t>(phase);
            load.name = Text(kLoadCurrentName, {std::to_string(phase)});
            all.push_back(load);
            roles.push_back({ChannelRole::kLoadCurrent, phase});
        }
        return std::pair{all, roles};
    };
    auto [definitions, roles] = derive(true);
    MeasurementChannels m = CollectChannels(doc, definitions);
    if (!m.error.empty()) {
        missing.push_back({derivedWhat, m.error});
        std::tie(definitions, roles) = derive(false);
        m = CollectChannels(doc, definitions);
    }
    r.notes = m.notes;
    r.sampleRateHz = m.sampleRateHz;
    r.nominalHz = NominalMainsHz(m);
    const double nominal = r.nominalHz;

    for (size_t k = 0; k < m.channels.size() && k < roles.size(); ++k) {
        Channel& c = m.channels[k];
        ReportChannel rc;
        rc.id = c.id;
        rc.name = c.name;
        rc.unit = c.unit;
        rc.derived = c.derived;
        rc.role = roles[k];
        rc.figures = AnalyseTrace(c.values, m.sampleRateHz, nominal);
        rc.values = std::move(c.values);
        for (size_t l = 0; l < limits.size() && !rc.check; ++l)
            if (LimitApplies(limits[l], rc.role, rc.unit) && rc.figures.HasFundamental()) {
                rc.check = limits[l].Check(rc.figures.harmonics);
                rc.limitIndex = static_cast<int>(l);
            }
        r.channels.push_back(std::move(rc));
    }

    for (int phase = 1; phase <= 3; ++phase) {
        const ReportChannel* u = FindRole(r.channels, ChannelRole::kMainsVoltage, phase);
        const ReportChannel* i = FindRole(r.channels, ChannelRole::kMainsCurrent, phase);
        if (u && i)
            r.phases.push_back(
                {phase, u->id, i->id, AnalysePair(u->values, i->values, r.sampleRateHz, nominal)});
        const ReportChannel* load = FindRole(r.channels, ChannelRole::kLoadCurrent, phase);
        if (load && i) {
            ReportEffectiveness e;
            e.phase = phase;
            e.mainsId = i->id;
            e.loadId = load->id >= kFirstReportLoadId ? 0 : load->id;
            if (const ReportChannel* f = FindRole(r.channels, ChannelRole::kFilterCurrent, phase);
                f && !e.loadId)
                e.filterId = f->id;
            e.figures = CompareCurrents(load->values, i->values, r.sampleRateHz, nominal);
            r.effectiveness.push_back(std::move(e));
        }
    }
    return r;
}

} // namespace quirel::report
