#pragma once

#include "parameters/ParamValue.h"
#include "parameters/ParameterDescription.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CParameterManager;

namespace quirel::paramset {

// The parameters a section of a new file holds, in tree order: every parameter below the folder
// "DeviceData" and "Commissioning" (sub-folders included), only the folder's own parameters for
// "MeasuredValues". A name that is absent or names a parameter gives none.
std::vector<CParameterDescription> SectionParameters(const CParameterManager& catalogue,
                                                     std::string_view section);

// The value of a key line: "<number>=<text>", or "<number>=<index>;<text>" for a parameter with value
// texts, the index being the text's position in them (without regard to case; -1 when absent). The text
// is in the language the catalogue was loaded in. Without a value (the device delivered none) the text is
// "-error-" with index -1, never a made-up value.
std::string FormatEntryValue(const CParameterDescription& d, const std::optional<PARAMVALUE>& value);

// A new parameter-set file: sections and "Param<n>" keys numbered from 0 in each section. The bytes are
// Windows-1252 with CRLF line ends, as the tools of the field read them.
class CParamSetWriter {
public:
    void BeginSection(std::string_view name);
    void AddEntry(const CParameterDescription& d, const std::optional<PARAMVALUE>& value);
    std::string Bytes() const;

private:
    std::string m_text; // UTF-8
    int m_nextKey = 0;
};

} // namespace quirel::paramset
