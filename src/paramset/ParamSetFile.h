#pragma once

#include "base/IniFile.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quirel::paramset {

// The sections of a parameter-set file, in the order they are written and reported.
inline constexpr const char* kDeviceData = "DeviceData";
inline constexpr const char* kMeasuredValues = "MeasuredValues";
inline constexpr const char* kCommissioning = "Commissioning";
inline constexpr std::array<const char*, 3> kSections = {kDeviceData, kMeasuredValues, kCommissioning};

// Readers take the keys Param0 to Param5000 of a section and at most 255 characters of each value (the
// buffer the files were always read with).
inline constexpr int kLastKey = 5000;
inline constexpr size_t kMaxValueCharacters = 255;

// The text that stands for a value nobody could read or match.
inline constexpr const char* kErrorText = "-error-";

// One key of a section: "Param<key>=<number>=<stored>".
struct ParamSetEntry {
    int key = 0;
    int32_t number = 0;
    std::string stored; // everything after the first "=" (an indexed value keeps "index;text")
};

// Splits a key's value: the number is the text before the first "=" read as atol reads it, the stored
// value everything after it. A value without "=" is parameter 0 with the whole value stored.
ParamSetEntry ParseEntryValue(int key, std::string_view value);

// "The file could not be read: <path> (<why>)": a file that Load refused, named with the reason.
std::string FileNotReadText(const std::string& path, const std::string& why);

// A parameter-set file as the readers see it, parsed once.
class CParamSetFile {
public:
    // False when the file cannot be read; `why` then says why.
    bool Load(const std::string& path, std::string* why = nullptr);
    void Parse(std::string_view bytes);

    // The non-empty keys Param0..Param5000 of `section`, in key order; gaps are skipped, keys beyond
    // Param5000 are not read.
    std::vector<ParamSetEntry> Entries(std::string_view section) const;

private:
    IniFile m_ini;
};

} // namespace quirel::paramset
