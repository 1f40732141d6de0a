#include "firmware/SRecordReader.h"

namespace quirel::firmware {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The hexadecimal pair at `pos`, or -1.
int HexByte(const std::string& line, std::size_t pos) {
    if (pos + 1 >= line.size())
        return -1;
    const int hi = HexDigit(line[pos]), lo = HexDigit(line[pos + 1]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

bool IsEndRecord(char type) {
    return type == '7' || type == '8' || type == '9';
}

// The address field's length by record type; types without one are not looked into further.
int AddressLength(char type) {
    switch (type) {
    case '0':
    case '1':
    case '5':
    case '9':
        return 2;
    case '2':
    case '8':
        return 3;
    case '3':
    case '7':
        return 4;
    default:
        return 0;
    }
}

} // namespace

std::vector<std::uint8_t> MakeErasedImage() {
    return std::vector<std::uint8_t>(kFlashImageSize, 0xFF);
}

bool CheckSRecordLine(const std::string& line, int* count) {
    const int n = HexByte(line, 2);
    if (line.size() < 2 || line[0] != 'S' || n < 0)
        return false;
    if (count)
        *count = n;
    // The checksum is the ones' complement of the low byte of the sum of count, address and data, so the
    // sum over all of them and the checksum itself comes to 0xFF.
    unsigned sum = static_cast<unsigned>(n);
    for (int i = 0; i < n; ++i) {
        const int b = HexByte(line, 4 + 2 * static_cast<std::size_t>(i));
        if (b < 0)
            return false;
        sum += static_cast<unsigned>(b);
    }
    return n > 0 && (sum & 0xFF) == 0xFF;
}

SRecordReport ReadSRecordImage(std::istream& in, std::vector<std::uint8_t>& image, std::uint32_t base) {
    SRecordReport report;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] != 'S') {
            // Counted over the whole file; blank lines count too.
            if (++report.foreignLines > kMaxForeignLines) {
                report.status = SRecordReport::Status::NotSRecord;
                return report;
            }
            continue;
        }
        int count = 0;
        const char type = line.size() > 1 ? line[1] : '\0';
        const int addressLength = AddressLength(type);
        // A record too short for its own address and checksum is as damaged as one whose checksum fails; so
        // is an end record with more than its address, and any record after the end (two images run
        // together, or a cut and paste gone wrong).
        if (!CheckSRecordLine(line, &count) || count < addressLength + 1 ||
            (IsEndRecord(type) && count != addressLength + 1) || report.endSeen) {
            report.status = SRecordReport::Status::Damaged;
            report.damagedLine = number;
            return report;
        }
        if (count > report.largestCount)
            report.largestCount = count;
        std::uint32_t address = 0;
        for (int i = 0; i < addressLength; ++i)
            address =
                address << 8 | static_cast<std::uint32_t>(HexByte(line, 4 + 2 * static_cast<std::size_t>(i)));
        const bool data = count > addressLength + 1;
        switch (type) {
        case '0':
            report.headerSeen = report.headerSeen || address == 0;
            break;
        case '1':
            report.s1Records += data;
            break;
        case '2':
            report.s2Records += data;
            break;
        case '3': {
            report.s3Records += data;
            if (address < base)
                break;
            const std::uint64_t offset = address - base;
            const int dataLength = count - 5;
            for (int i = 0; i < dataLength; ++i) {
                const std::uint64_t at = offset + static_cast<std::uint64_t>(i);
                if (at >= image.size())
                    break;
                image[at] = static_cast<std::uint8_t>(HexByte(line, 12 + 2 * static_cast<std::size_t>(i)));
            }
            break;
        }
        case '7':
        case '8':
        case '9':
            report.endSeen = true;
            break;
        default: // S4, S5 (a record count nobody needs), S6 and unknown types
            break;
        }
    }
    return report;
}

} // namespace quirel::firmware
