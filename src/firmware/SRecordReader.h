#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace quirel::firmware {

// The device's flash: one byte per address from 0, erased bytes read 0xFF.
constexpr std::size_t kFlashImageSize = 0x200000;
// Lines that do not start with "S" a firmware file may carry (blank lines, a comment) before it is taken
// for something else.
constexpr int kMaxForeignLines = 10;

// What reading an S-record file found.
struct SRecordReport {
    enum class Status {
        Ok,
        NotSRecord, // more than kMaxForeignLines lines that are no records
        Damaged,    // a record whose checksum does not match, that is cut short or not hexadecimal, an end
                    // record whose count does not fit its address, or any record after the end record
    };
    Status status = Status::Ok;
    int damagedLine = 0; // 1-based line of the damaged record
    int foreignLines = 0;
    bool headerSeen = false; // S0 with address 0
    bool endSeen = false;    // S7, S8 or S9
    // Records of these types that carry at least one data byte.
    int s1Records = 0, s2Records = 0, s3Records = 0;
    // The largest count field of any record: the line the record makes for a bootloader that takes the
    // records as text is count * 2 + 4 characters.
    int largestCount = 0;

    bool ok() const { return status == Status::Ok; }
};

// A flash image with every byte erased.
std::vector<std::uint8_t> MakeErasedImage();

// Reads the S-record text line by line and places the data of every S3 record at its address minus
// `base` (records below the base are skipped, bytes beyond the image dropped); S1 and S2 records are
// recognised and counted without being placed. A damaged record stops the read and rejects the whole file:
// a corrupt image must never reach the flash. The image keeps what was placed before a failure, so callers
// discard it unless the report is ok().
SRecordReport ReadSRecordImage(std::istream& in, std::vector<std::uint8_t>& image, std::uint32_t base);

// One record line checked on its own: the count field (characters 3 and 4) and whether the count bytes
// that follow are hexadecimal and their checksum holds. False for a line too short for its count.
bool CheckSRecordLine(const std::string& line, int* count);

} // namespace quirel::firmware
