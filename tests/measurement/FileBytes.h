#pragma once

#include <cstdint>
#include <cstring>
#include <string>

// Measurement files written by hand, byte by byte, little-endian, for the readers under test.
class FileBytes {
public:
    FileBytes& u8(uint8_t v) {
        m_bytes.push_back(static_cast<char>(v));
        return *this;
    }
    FileBytes& u16(uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
    FileBytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    FileBytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    FileBytes& f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        return u32(static_cast<uint32_t>(bits)).u32(static_cast<uint32_t>(bits >> 32));
    }
    FileBytes& text(const std::string& s) {
        m_bytes += s;
        return *this;
    }
    // A value cell: type code, then the four value bytes.
    FileBytes& cell(uint32_t type, uint32_t raw) { return u32(type).u32(raw); }
    // Identifier, axis, factor, offset: what follows a channel's cells.
    FileBytes& channelTail(uint32_t id, uint32_t axis, double factor, double offset) {
        return u32(id).u32(axis).f64(factor).f64(offset);
    }
    // The measurement-start record with schema 1.
    FileBytes& start(int y, int mo, int d, int h, int mi, int s) {
        return u16(0xFFFF).u16(1).u16(10).text("CMeasStart").i32(y).i32(mo).i32(d).i32(h).i32(mi).i32(s);
    }
    const std::string& str() const { return m_bytes; }

private:
    std::string m_bytes;
};
