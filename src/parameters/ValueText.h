#pragma once

#include "parameters/ParamValue.h"

#include <optional>
#include <string>
#include <string_view>

class CParameterDescription;

// Where a value text comes from. A typed text is matched against the parameter's value texts; a text of
// a parameter-set file carries the number before a ";" instead, and value texts are not consulted.
enum class ValueTextSource { Typed, File };

// A value text read whole: the value it stands for, or why it stands for none (in the user-interface
// language, naming what is expected).
struct ParsedValueText {
    std::optional<PARAMVALUE> value;
    std::string error;
};

// The one judge of whether a text is a whole value of parameter `d`, for every place that turns text into
// a value to write: the edit dialog, the CLI and parameter sets. A text the number parsers would read only
// in part ("0.90" for a float, "12x"), an unknown value text, a number outside the data type's range and
// a form the type does not take are refused; nothing is ever read as a different number. A decimal point
// where the form has a comma is refused with a message that says a comma is expected. `current` is the
// cell the value replaces (its data type decides the form; a 16-bit value leaves the upper half as it was).
ParsedValueText ParseValueText(const CParameterDescription& d, const PARAMVALUE& current,
                               std::string_view text, ValueTextSource source = ValueTextSource::Typed);

// The text forms the typed parsers read, for a dialog that inserts the PC's clock: a date and time for
// code 11, a time of day for codes 12 and 13; empty for every other code.
std::string ClockTextForType(uint32_t dataType, int year, int month, int day, int hour, int minute,
                             int second);

// Four decimal numbers 0..255 joined by points, as the address parameters take them.
std::optional<uint32_t> ParseAddressText(std::string_view text);
