#pragma once

#include <string>

namespace quirel::firmware {

// "Update Device Firmware" is offered while connected to a device whose firmware revision is not greater
// than "2.2.0.8", compared byte by byte as plain strings (so "2.10" counts as smaller): later firmware
// generations are not loaded through this bootloader.
inline bool FirmwareUpdateEnabled(bool connected, const std::string& revision) {
    // std::string compares its characters as unsigned bytes.
    return connected && revision.compare("2.2.0.8") <= 0;
}

} // namespace quirel::firmware
