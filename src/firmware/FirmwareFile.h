#pragma once

#include "firmware/SRecordReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quirel::firmware {

// A firmware file as a download needs it: its lines for the text transfer and its flash image for the
// block transfer, both from one read of the file.
struct FirmwareFile {
    SRecordReport report;
    std::vector<std::uint8_t> image;
    std::vector<std::string> lines;
};

// Reads the file at `path` and checks it whole, so that a file that cannot be loaded never makes a
// bootloader erase the flash. Returns, in the user-interface language, why no bootloader can take it (the
// file cannot be read, is no S-record file, has a damaged record or holds no data at all); empty when it
// may go on.
std::string ReadFirmwareFile(const std::string& path, FirmwareFile& file);

// Why the bootloader that takes text lines (`text`, version 1.0) or the one that takes blocks cannot take
// this file whole; empty when it can. Bootloader 1.0 builds each line in a 64-byte buffer and waits for an
// end record; the blocks come from the S3 records alone, so S1 and S2 data would be lost on the way.
std::string RefusalFor(const FirmwareFile& file, bool text);

} // namespace quirel::firmware
