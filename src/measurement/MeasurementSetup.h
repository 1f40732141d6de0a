#pragma once

#include "measurement/Trigger.h"
#include "parameters/ParamValue.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CParameterManager;

// What the user sets up for a measurement, and the rules the settings dialogs, the measurement views and
// the command line share to turn it into a trigger and a channel list.
namespace MeasurementSetup {

constexpr int kMaxChannels = 10;
// The longest interval of a continuous measurement: a window's timer counts in int milliseconds, and a
// longer period would sample at another pace than the time axis shows.
constexpr int64_t kMaxIntervalSeconds = 2147483;
// The choice that leaves a channel out.
constexpr const char* kNoChannel = "--";

// Kept by the single-measurement settings dialog between its showings.
struct SingleSettings {
    std::string triggerText;
    double level = 0.0;
    int mode = 0;
    int divider = 1;
    int delay = 0;
    int triggerIndex = 0;
    std::array<int, kMaxChannels> channelIndex{};
    std::array<std::string, kMaxChannels> channelText;
};

// Kept by the continuous-measurement settings dialog.
struct ContinuousSettings {
    int interval = 0;
    std::array<int, kMaxChannels> channelIndex{};
    std::array<std::string, kMaxChannels> channelText;
};

// The entries of the channel lists: "--", then the measured values of the catalogue in catalogue order
// ("%3d %s"). A catalogue without measured values offers "--" alone.
std::vector<std::string> ChannelChoices(const CParameterManager& catalogue);
// The entry a stored channel text selects: the equal one, else the one of the same parameter (a view
// writes "%d %s", the lists "%3d %s"); -1 when the parameter is no longer offered.
int FindChoice(const std::vector<std::string>& choices, const std::string& text);

// The parameter identifier a channel text starts with ("1234 Name" -> 1234; leading blanks are skipped,
// as the list's "%3d" puts them there); 0 when it starts with none.
int32_t ChannelId(std::string_view text);
// The identifiers of the texts that are not "--", in order, without gaps.
std::vector<uint32_t> ChannelIds(const std::array<std::string, kMaxChannels>& texts);

// The trigger level as a raw value of the trigger channel's data type: 16-bit types cut toward zero with
// the upper half 0, 32-bit types cut toward zero, floats as they are, texts and "nothing" 0.
PARAMVALUE LevelCell(uint32_t dataType, double level);
// The trigger the settings describe. Throws CParameterException when the catalogue does not know the
// trigger channel.
CTrigger BuildTrigger(const CParameterManager& catalogue, const SingleSettings& settings);

// The start checks, in their order; 0 when the measurement may start, else the string resource to show:
// 133 no channel, 136 interval below 1 s, 1205 above kMaxIntervalSeconds (continuous), 135 not
// connected, 138 divider below 1 (single).
unsigned CheckSingleStart(size_t channels, bool connected, int64_t divider);
unsigned CheckContinuousStart(size_t channels, int64_t interval, bool connected);

// The read-only fields of the single-measurement dialog, with the decimal comma: "0,03125 ms".
std::string FormatSamplePeriod(int64_t divider);
std::string FormatDelayTime(int64_t delay, int64_t divider);
// The level as the dialog shows it ("%0.4f", decimal comma).
std::string FormatLevel(double level);

// The device's trigger state as the status texts name it (149 to 152); "" for any other state.
std::string TriggerStateText(uint32_t state);

} // namespace MeasurementSetup
