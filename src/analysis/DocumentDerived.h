#pragma once

#include "analysis/DerivedChannel.h"

#include <span>
#include <string>
#include <vector>

class CDocMeasurementBase;

// The derived channels a measurement document shows, in the terms of their definitions: what the
// measurement windows add, and open and save beside a measurement file (DerivedFile.h).
namespace quirel::analysis {

// Makes `channels` the document's derived channels, replacing any.
void SetDocumentDerived(CDocMeasurementBase& doc, std::span<const DerivedChannel> channels);
std::vector<DerivedChannel> DocumentDerived(const CDocMeasurementBase& doc);

// Whether a channel of the document, captured or derived, records `id`.
bool Holds(const CDocMeasurementBase& doc, uint32_t id);

// Why `d` cannot join the document's channels (its identifier is taken, a source is not there), in the
// user-interface language; empty when it can.
std::string RefuseDerived(const CDocMeasurementBase& doc, const DerivedChannel& d);

// After a measurement file was opened: the channels of its side file become the document's (none
// without one). A side file that cannot be read, or a channel that cannot be computed, is left out and
// said in the text returned; empty when all is well.
std::string LoadDerivedFile(CDocMeasurementBase& doc, const std::string& measurementPath);
// After it was saved: its side file holds the document's derived channels, and goes when there are none.
bool SaveDerivedFile(const CDocMeasurementBase& doc, const std::string& measurementPath);

} // namespace quirel::analysis
