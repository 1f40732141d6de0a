#pragma once

#include <cstdio>

class CDocMeasurementBase;

// A measurement as text for other programs (quirel-cli show): a first line "# " with blank-separated
// key=value pairs describing the document, then RFC 4180 CSV (comma, decimal point, UTF-8, CR LF): the
// header "time_ms" or "time_s" and one column "ID name" per channel, then one row per value index up to
// the longest channel with the time as the kind's chart computes it and each value unscaled ("%.10g"),
// an empty cell where a channel has fewer values. The document's lock is held while it is written.
void WriteMeasurementCsv(const CDocMeasurementBase& doc, std::FILE* out);
