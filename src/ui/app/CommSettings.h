#pragma once

#include <string>

class CControllerModbus;

namespace quirel::ui {

class ISettingsStore;

inline constexpr const char* kCommSection = "ModbusCommunicationController";

// Moves the connection settings between the store and the controller. Loading hands over both sets of
// parameters, the selected protocol last, so that the other protocol's values survive the next save.
void ExchangeCommSettings(ISettingsStore& store, CControllerModbus& controller, bool load);

// The serial port a first start uses: the first port the system lists, else "/dev/ttyUSB0".
std::string DefaultSerialPort();

} // namespace quirel::ui
