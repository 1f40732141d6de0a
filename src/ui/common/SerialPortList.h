#pragma once

#include <string>

class QComboBox;

namespace quirel::ui {

// Fills an editable port list with the serial ports the system lists and selects the configured one. A
// Windows-style name keeps only what follows its device prefix ("\\.\COM3" -> "COM3"). A configured device
// the system does not list (a pseudo-terminal, an unplugged adapter) is put first and stays chosen instead of
// being replaced by whatever port happens to come first; with none configured the first entry is chosen.
void FillSerialPortList(QComboBox* box, const std::string& configured);

} // namespace quirel::ui
