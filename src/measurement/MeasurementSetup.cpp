#include "measurement/MeasurementSetup.h"

#include "base/DecimalNumber.h"
#include "base/StringTable.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"

namespace MeasurementSetup {
namespace {

constexpr unsigned kIdsNoChannel = 133;
constexpr unsigned kIdsNoConnection = 135;
constexpr unsigned kIdsIntervalTooSmall = 136;
constexpr unsigned kIdsSampleRateTooHigh = 138;
constexpr unsigned kIdsIntervalTooLarge = 1205;
constexpr unsigned kIdsFirstTriggerState = 149; // 149 to 152: states 0 to 3

} // namespace

std::vector<std::string> ChannelChoices(const CParameterManager& catalogue) {
    std::vector<std::string> names;
    try {
        catalogue.GetMeasuredValueNames(names);
    } catch (const CParameterException&) {
        names.clear(); // no measured-values folder: nothing to offer but "--"
    }
    names.insert(names.begin(), kNoChannel);
    return names;
}

int32_t ChannelId(std::string_view text) {
    return quirel::parseLong(text);
}

int FindChoice(const std::vector<std::string>& choices, const std::string& text) {
    for (size_t i = 0; i < choices.size(); ++i)
        if (choices[i] == text)
            return static_cast<int>(i);
    if (text == kNoChannel)
        return -1;
    const int32_t id = ChannelId(text);
    if (id == 0)
        return -1;
    for (size_t i = 0; i < choices.size(); ++i)
        if (choices[i] != kNoChannel && ChannelId(choices[i]) == id)
            return static_cast<int>(i);
    return -1;
}

std::vector<uint32_t> ChannelIds(const std::array<std::string, kMaxChannels>& texts) {
    std::vector<uint32_t> ids;
    for (const std::string& text : texts)
        if (!text.empty() && text != kNoChannel)
            ids.push_back(static_cast<uint32_t>(ChannelId(text)));
    return ids;
}

PARAMVALUE LevelCell(uint32_t dataType, double level) {
    PARAMVALUE cell(dataType, 0);
    cell.SetFromDouble(level); // cuts toward zero; leaves texts and "nothing" at 0
    return cell;
}

CTrigger BuildTrigger(const CParameterManager& catalogue, const SingleSettings& settings) {
    const int32_t id = ChannelId(settings.triggerText);
    const CParameterDescription d = catalogue.GetDescription(id);
    const PARAMVALUE level = LevelCell(static_cast<uint32_t>(d.GetDataType()), settings.level);
    CTrigger trigger;
    trigger.Set(settings.delay, static_cast<uint32_t>(settings.mode), static_cast<uint32_t>(settings.divider),
                static_cast<uint32_t>(id), level.dataType, level.raw);
    return trigger;
}

unsigned CheckSingleStart(size_t channels, bool connected, int64_t divider) {
    if (channels == 0)
        return kIdsNoChannel;
    if (!connected)
        return kIdsNoConnection;
    if (divider < 1)
        return kIdsSampleRateTooHigh;
    return 0;
}

unsigned CheckContinuousStart(size_t channels, int64_t interval, bool connected) {
    if (channels == 0)
        return kIdsNoChannel;
    if (interval < 1)
        return kIdsIntervalTooSmall;
    if (interval > kMaxIntervalSeconds)
        return kIdsIntervalTooLarge;
    if (!connected)
        return kIdsNoConnection;
    return 0;
}

std::string FormatSamplePeriod(int64_t divider) {
    return quirel::formatDecimalComma(static_cast<double>(divider) * CTrigger::kSampleUnitMs, 5) + " ms";
}

std::string FormatDelayTime(int64_t delay, int64_t divider) {
    return quirel::formatDecimalComma(
               static_cast<double>(delay) * static_cast<double>(divider) * CTrigger::kSampleUnitMs, 5) +
           " ms";
}

std::string FormatLevel(double level) {
    return quirel::formatDecimalComma(level, 4);
}

std::string TriggerStateText(uint32_t state) {
    return state <= 3 ? quirel::loadString(kIdsFirstTriggerState + state) : std::string();
}

} // namespace MeasurementSetup
