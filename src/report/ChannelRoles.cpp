#include "report/ChannelRoles.h"

#include "parameters/ParameterManager.h"

#include <string>

namespace quirel::report {
namespace {

using analysis::DerivedChannel;

// The demo catalogue's instantaneous values, each phase's three in a row.
constexpr uint32_t kFirstMainsCurrent = 180;
constexpr uint32_t kFirstMainsVoltage = 183;
constexpr uint32_t kFirstFilterCurrent = 186;
constexpr uint32_t kDcLink = 189;
constexpr uint32_t kCaptureDivider = 5;

} // namespace

ChannelRole RoleOfParameter(uint32_t id) {
    for (auto [first, quantity] : {std::pair{kFirstMainsCurrent, ChannelRole::kMainsCurrent},
                                   {kFirstMainsVoltage, ChannelRole::kMainsVoltage},
                                   {kFirstFilterCurrent, ChannelRole::kFilterCurrent}})
        if (id >= first && id < first + 3)
            return {quantity, static_cast<int>(id - first) + 1};
    return {id == kDcLink ? ChannelRole::kOther : ChannelRole::kUnknown, 0};
}

ChannelRole RoleOfDerived(const DerivedChannel& d) {
    if (d.op != DerivedChannel::Op::kDifference)
        return {};
    const ChannelRole a = RoleOfParameter(d.a), b = RoleOfParameter(d.b);
    if (a.quantity == ChannelRole::kMainsCurrent && b.quantity == ChannelRole::kFilterCurrent &&
        a.phase == b.phase)
        return {ChannelRole::kLoadCurrent, a.phase};
    return {};
}

DerivedChannel LoadCurrentDefinition(uint32_t mainsId, uint32_t filterId, int phase) {
    DerivedChannel d;
    d.op = DerivedChannel::Op::kDifference;
    d.a = mainsId;
    d.b = filterId;
    d.unit = "A";
    d.name = "L" + std::to_string(phase);
    return d;
}

ReportCapture ReportCaptureSetup(const CParameterManager& catalogue) {
    ReportCapture capture;
    if (!catalogue.Exists(static_cast<int32_t>(kFirstMainsVoltage)))
        return capture;
    for (uint32_t first : {kFirstMainsVoltage, kFirstMainsCurrent, kFirstFilterCurrent})
        for (uint32_t id = first; id < first + 3; ++id)
            if (catalogue.Exists(static_cast<int32_t>(id)))
                capture.ids.push_back(id);
    MeasurementSetup::SingleSettings settings;
    settings.triggerText = std::to_string(kFirstMainsVoltage);
    settings.level = 0.0;
    settings.mode = 0; // rising through the level
    settings.divider = static_cast<int>(kCaptureDivider);
    settings.delay = 0;
    capture.trigger = MeasurementSetup::BuildTrigger(catalogue, settings);
    return capture;
}

} // namespace quirel::report
