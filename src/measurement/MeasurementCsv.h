#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string_view>

class CDocMeasurementBase;

// A measurement as text for other programs (quirel-cli show): a first line "# " with blank-separated
// key=value pairs describing the document, then RFC 4180 CSV (comma, decimal point, UTF-8, CR LF): the
// header "time_ms" or "time_s" and one column "ID name" per channel, then one row per value index up to
// the longest channel with the time as the kind's chart computes it and each value unscaled ("%.10g"),
// an empty cell where a channel has fewer values. The document's lock is held while it is written.
void WriteMeasurementCsv(const CDocMeasurementBase& doc, std::FILE* out);

// The same for the rows of value indices [firstRow, endRow) only (a chart's visible range), handed to
// `sink` piece by piece; false as soon as the sink refuses a piece. The document's lock is held for one
// piece at a time, so a recording goes on meanwhile.
bool WriteMeasurementCsv(const CDocMeasurementBase& doc, size_t firstRow, size_t endRow,
                         const std::function<bool(std::string_view)>& sink);
