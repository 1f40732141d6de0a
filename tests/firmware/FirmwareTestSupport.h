#pragma once

#include "TempFolder.h"
#include "base/FileUtil.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quirel::test {

// One S-record line, written here independently of the reader: type, count, address of `addressBytes`
// bytes, data, checksum.
std::string SRecord(char type, std::uint32_t address, int addressBytes,
                    const std::vector<std::uint8_t>& data);

// An S-record file for a flash image: a header, S3 records of `perRecord` bytes for every stretch that is
// not erased, and the end record.
std::string SRecordFile(const std::vector<std::uint8_t>& image, int perRecord = 16);

// Flash images: the first 256 bytes only, starting with the reset configuration word; or scattered blocks
// (the word, a part-filled block, a block in the middle and the very last block).
std::vector<std::uint8_t> SmallImage();
std::vector<std::uint8_t> ScatteredImage();

inline bool WriteTextFile(const std::string& path, const std::string& text) {
    return quirel::writeFileAtomically(path, text);
}
inline std::vector<std::uint8_t> ReadBinaryFile(const std::string& path) {
    const std::string bytes = quirel::readWholeFile(path, quirel::kMaxFirmwareFileBytes).value_or("");
    return {bytes.begin(), bytes.end()};
}

using TempDir = ::TempFolder;

} // namespace quirel::test
