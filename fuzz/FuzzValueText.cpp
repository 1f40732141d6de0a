// The value text parsers: a text typed into the edit dialog or the CLI, or read from a parameter-set file,
// for a parameter of any data type, with or without value texts, and the device clock's date and time forms.
// Input: data type, flags, the current cell, the value texts, then the text.
#include "FuzzSupport.h"

#include "parameters/ParameterDescription.h"
#include "parameters/ParameterValue.h"
#include "parameters/ValueText.h"

namespace {

// Identifiers with rules of their own: an ordinary one and the IPv4 address settings.
constexpr int32_t kIds[] = {100, 240, 242, 243};

// A value that a text stands for is shown as a text that stands for it again. Not for floats (shown to the
// catalogue's precision) nor for code 13 (signed seconds shown as a time of day), which show a rounding.
void CheckShownTextReadsBack(const CParameterDescription& d, const PARAMVALUE& current, const PARAMVALUE& v) {
    if (d.HasValueTexts() || v.dataType == DataTypeCode::kFloat || v.dataType == DataTypeCode::kSeconds)
        return;
    const std::string shown = CParameterValue::FormatText(d, v);
    const ParsedValueText again = ParseValueText(d, current, shown);
    if (!again.value || !(*again.value == v))
        FuzzFail("a shown value does not read back as itself");
}

void CheckClockForms(std::string_view text) {
    if (const auto t = DeviceTime::ParseDateTime(text))
        if (DeviceTime::ParseDateTime(DeviceTime::FormatDateTime(*t)) != t)
            FuzzFail("a date and time does not read back as itself");
    if (const auto t = DeviceTime::ParseTimeOfDay(text))
        if (DeviceTime::ParseTimeOfDay(DeviceTime::FormatTimeOfDay(*t)) != t)
            FuzzFail("a time of day does not read back as itself");
    (void)ParseAddressText(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    CParameterDescription d;
    d.m_dataType = in.u8() % 16;
    const uint8_t flags = in.u8();
    const auto source = flags & 1 ? ValueTextSource::File : ValueTextSource::Typed;
    d.m_id = kIds[(flags >> 1) & 3];
    d.m_precision = (flags >> 3) & 7;
    d.m_accessType = kAccessRW;
    const PARAMVALUE current(static_cast<uint32_t>(d.m_dataType), in.u32());
    for (int n = (flags >> 6) * 2; n > 0; --n)
        d.m_valueTexts.emplace_back(in.piece());
    const std::string_view text = in.rest();

    const ParsedValueText parsed = ParseValueText(d, current, text, source);
    if (parsed.value.has_value() == !parsed.error.empty())
        FuzzFail("a text is neither taken nor refused with a reason");
    if (parsed.value) {
        (void)CParameterValue::FormatText(d, *parsed.value);
        if (source == ValueTextSource::Typed)
            CheckShownTextReadsBack(d, current, *parsed.value);
    }
    CheckClockForms(text);
    return 0;
}
