#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A cursor over a fuzzer's input: numbers, choices and pieces taken from the front. Once the input is used
// up every number reads 0 and every piece is empty, so a target never has to check before it takes.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : m_bytes(reinterpret_cast<const char*>(data), size) {}

    bool empty() const { return m_bytes.empty(); }
    std::size_t remaining() const { return m_bytes.size(); }

    std::uint8_t u8() {
        if (m_bytes.empty())
            return 0;
        const auto b = static_cast<std::uint8_t>(m_bytes.front());
        m_bytes.remove_prefix(1);
        return b;
    }
    std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | (u8() << 8)); }
    std::uint32_t u32() { return u16() | (static_cast<std::uint32_t>(u16()) << 16); }

    // Up to n bytes.
    std::string_view bytes(std::size_t n) {
        const std::string_view piece = m_bytes.substr(0, std::min(n, m_bytes.size()));
        m_bytes.remove_prefix(piece.size());
        return piece;
    }
    // A piece whose length comes first, in one byte.
    std::string_view piece() { return bytes(u8()); }
    std::string_view rest() { return bytes(m_bytes.size()); }

private:
    std::string_view m_bytes;
};

// A finding the sanitizers cannot see (a broken invariant): reported as a crash, which the fuzzer saves.
[[noreturn]] void FuzzFail(const char* what);

// Bytes as a file that readers open by path, kept in memory (no disk, nothing left behind).
class MemoryFile {
public:
    explicit MemoryFile(std::string_view bytes);
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
};
