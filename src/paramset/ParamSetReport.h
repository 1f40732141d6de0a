#pragma once

#include <string>

class CParameterManager;

namespace quirel::paramset {

class CParamSetFile;

// What "Open parameter set" shows: each section's name in brackets, then one line per key,
// "<number> <name> = <stored> <unit>" (an indexed value shows as index, ";" and text), "unknown" and no
// unit for a number the catalogue lacks; the sections are separated by an empty line. `eol` ends every
// line: CRLF in a window, a plain line feed on a console.
std::string BuildReport(const CParamSetFile& file, const CParameterManager& catalogue,
                        const char* eol = "\r\n");

} // namespace quirel::paramset
