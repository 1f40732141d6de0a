#pragma once

#include "measurement/MeasurementSetup.h"

#include <QString>

#include <array>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QDialog;
class QGridLayout;
class QLineEdit;
class QWidget;

// What the two measurement settings dialogs share: the ten channel lists and the checks of their edits.
namespace MeasDialogControls {

using ChannelCombos = std::array<QComboBox*, MeasurementSetup::kMaxChannels>;

// A drop-down list of the choices, named `objectName`.
QComboBox* MakeChoiceList(QWidget* parent, const char* objectName, const std::vector<std::string>& choices);
// Selects the entry that `text` names (MeasurementSetup::FindChoice); none when it is no longer offered.
void SelectChoice(QComboBox* combo, const std::vector<std::string>& choices, const std::string& text);
// "Trace0" to "Trace9" with their lists, added to `grid` from `row` on.
ChannelCombos AddChannelLists(QWidget* parent, QGridLayout* grid, int row,
                              const std::vector<std::string>& choices);
// The selected entries' indices and texts (index 0 and "--" for a list without a selection).
void TakeChannels(const ChannelCombos& combos, const std::vector<std::string>& choices,
                  std::array<int, MeasurementSetup::kMaxChannels>& indices,
                  std::array<std::string, MeasurementSetup::kMaxChannels>& texts);

// The dialog's layout: `grid` above OK and Cancel.
void LayOut(QDialog* dialog, QGridLayout* grid);

// The whole number in `edit` within [min, max]; otherwise the range message, the edit focused, nothing.
std::optional<long> TakeInteger(QWidget* dialog, QLineEdit* edit, long min, long max);
// The number (decimal comma) in `edit`; otherwise the number message, the edit focused, nothing.
std::optional<double> TakeNumber(QWidget* dialog, QLineEdit* edit);

} // namespace MeasDialogControls
