#pragma once

#include "analysis/DerivedChannel.h"

#include <span>
#include <string>
#include <vector>

// The derived channels of a measurement live beside it, in "<measurement file>.derived": the measurement
// file format has no place for them that older readers would not take for captured channels. UTF-8
// text, one definition per line in the text form of DerivedChannel; blank lines and lines starting with
// '#' are ignored.
namespace quirel::analysis {

std::string DerivedFilePath(const std::string& measurementPath);

struct DerivedFileContent {
    bool present = false; // false: there is no side file, which is no error
    std::vector<DerivedChannel> channels;
    std::string error; // why the file could not be read, or its first bad line; channels is then empty
};

DerivedFileContent ReadDerivedFile(const std::string& measurementPath);

// Replaces the side file as a whole (or removes it when `channels` is empty); false when it could not.
bool WriteDerivedFile(const std::string& measurementPath, std::span<const DerivedChannel> channels);

} // namespace quirel::analysis
