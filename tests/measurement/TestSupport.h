#pragma once

#include "TestCatalogue.h"
#include "base/FileUtil.h"
#include "measurement/MeasurementCsv.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A private folder below /tmp, removed with everything in it when the test ends, also after a failure.
struct TempFolder {
    std::string path = [] {
        char dir[] = "/tmp/quirel-meas-XXXXXX";
        return std::string(::mkdtemp(dir) ? dir : "/nonexistent");
    }();
    ~TempFolder() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    // How many entries the folder holds: a save leaves no temporary file behind.
    long Entries() const {
        return std::distance(std::filesystem::directory_iterator(path),
                             std::filesystem::directory_iterator());
    }
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
    return quirel::readWholeFile(path, quirel::kMaxMeasurementFileBytes).value_or(std::string());
}

// The table another program reads from the document: the header line with every field, then the values.
inline std::string Csv(const CDocMeasurementBase& doc) {
    std::string text;
    WriteMeasurementCsv(doc, 0, SIZE_MAX, [&](std::string_view piece) {
        text += piece;
        return true;
    });
    return text;
}
