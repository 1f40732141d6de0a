#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// The little-endian binary form in which the measurement and value files store objects.
namespace quirel {

class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ArchiveWriter {
public:
    void writeU8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
    void writeU16(uint16_t v);
    void writeU32(uint32_t v);
    void writeI32(int32_t v) { writeU32(static_cast<uint32_t>(v)); }
    void writeF64(double v);
    void writeBytes(std::string_view b) { bytes_.append(b); }
    // Element count of an array: 16-bit, or 0xFFFF followed by 32-bit when the count does not fit.
    void writeCount(uint32_t count);

    const std::string& bytes() const { return bytes_; }
    // Hands the bytes written so far over and starts empty again (a writer that streams to a file).
    std::string take() {
        std::string out;
        out.swap(bytes_);
        return out;
    }

private:
    std::string bytes_;
};

class ArchiveReader {
public:
    explicit ArchiveReader(std::string_view bytes) : bytes_(bytes) {}
    // The reader only views its bytes: a temporary string would be gone before the first read.
    explicit ArchiveReader(std::string&&) = delete;

    // Each throws ArchiveError when the data ends early.
    uint8_t readU8();
    uint16_t readU16();
    uint32_t readU32();
    int32_t readI32() { return static_cast<int32_t>(readU32()); }
    double readF64();
    std::string_view readBytes(size_t n);
    uint32_t readCount();

    size_t position() const { return pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }
    bool atEnd() const { return pos_ == bytes_.size(); }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

} // namespace quirel
