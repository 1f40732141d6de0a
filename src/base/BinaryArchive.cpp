#include "base/BinaryArchive.h"

#include <cstring>

namespace quirel {

void ArchiveWriter::writeU16(uint16_t v) {
    writeU8(static_cast<uint8_t>(v));
    writeU8(static_cast<uint8_t>(v >> 8));
}

void ArchiveWriter::writeU32(uint32_t v) {
    writeU16(static_cast<uint16_t>(v));
    writeU16(static_cast<uint16_t>(v >> 16));
}

void ArchiveWriter::writeF64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    writeU32(static_cast<uint32_t>(bits));
    writeU32(static_cast<uint32_t>(bits >> 32));
}

void ArchiveWriter::writeCount(uint32_t count) {
    if (count < 0xFFFF) {
        writeU16(static_cast<uint16_t>(count));
    } else {
        writeU16(0xFFFF);
        writeU32(count);
    }
}

std::string_view ArchiveReader::readBytes(size_t n) {
    if (n > remaining())
        throw ArchiveError("unexpected end of archive");
    std::string_view out = bytes_.substr(pos_, n);
    pos_ += n;
    return out;
}

uint8_t ArchiveReader::readU8() {
    return static_cast<uint8_t>(readBytes(1)[0]);
}

uint16_t ArchiveReader::readU16() {
    auto b = readBytes(2);
    return static_cast<uint16_t>(static_cast<uint8_t>(b[0]) | (static_cast<uint8_t>(b[1]) << 8));
}

uint32_t ArchiveReader::readU32() {
    uint32_t lo = readU16();
    uint32_t hi = readU16();
    return lo | (hi << 16);
}

double ArchiveReader::readF64() {
    uint64_t lo = readU32();
    uint64_t hi = readU32();
    uint64_t bits = lo | (hi << 32);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

uint32_t ArchiveReader::readCount() {
    uint16_t c = readU16();
    return c == 0xFFFF ? readU32() : c;
}

} // namespace quirel
