#pragma once

// The device's register map of a single measurement (references counted from 1).
namespace TriggerRegister {
constexpr int kChannel = 60000;      // trigger channel: parameter identifier (16 bits)
constexpr int kLevel = 60001;        // trigger level: 60001-60002, the channel's raw value, low word first
constexpr int kMode = 60003;         // 0 "more than", 1 "less than"
constexpr int kDelay = 60004;        // pre-trigger samples, 0 to 512, signed 16 bits
constexpr int kDivider = 60005;      // sample period in units of 0.03125 ms
constexpr int kChannelCount = 60006; // 1 to 10
constexpr int kChannelList = 60010;  // + i: parameter identifier of channel i
constexpr int kControl = 60030;      // written: 1 arms, 0 cancels or resets; read: the trigger state
constexpr int kTraceBase = 10000;    // + 5000 c: channel c's value count (32 bits), its values from + 2
constexpr int kTraceStride = 5000;
constexpr int kMaxChannels = 10;
// Values per trace read request: 124 registers.
constexpr int kBlockValues = 62;
// The most values a channel's register block can hold before the next channel's begins.
constexpr int kMaxTraceValues = (kTraceStride - 2) / 2;
} // namespace TriggerRegister
