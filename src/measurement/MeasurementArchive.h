#pragma once

#include "base/BinaryArchive.h"
#include "base/FileUtil.h"
#include "parameters/ParameterValues.h"

#include <string>
#include <string_view>
#include <vector>

// The byte stream of a measurement file. Fields collect in a small buffer; a series of cells goes out as
// it lies in memory (the file's cell layout is the in-memory one on a little-endian machine), so writing
// a long recording costs little more than copying its bytes. Without a file everything collects in
// memory (Bytes()).
class CMeasurementArchiveOut {
public:
    explicit CMeasurementArchiveOut(quirel::AtomicFileWriter* file = nullptr) : m_file(file) {}

    quirel::ArchiveWriter& Fields() { return m_fields; }
    // The count field, then every cell (type code, value bytes).
    void WriteCells(const CParameterValues::Cells& cells);
    // Hands what is still buffered to the file; false when any write to it failed.
    bool Flush();
    // Memory mode: everything written.
    const std::string& Bytes() const { return m_fields.bytes(); }

private:
    quirel::AtomicFileWriter* m_file;
    quirel::ArchiveWriter m_fields;
    bool m_failed = false;
};

// The byte stream of a measurement file being read: fields through a small buffer, each series of cells
// straight into its array, so that reading a long recording costs little more than reading its bytes and
// no copy of the whole file is ever held. Over bytes in memory, or over an open file (not owned).
class CMeasurementArchiveIn {
public:
    explicit CMeasurementArchiveIn(std::string_view bytes) : m_memory(bytes), m_size(bytes.size()) {}
    explicit CMeasurementArchiveIn(int fd);

    // The next bytes, at most `maxBytes` (all that remain when fewer do), for a reader of fields; tell
    // Consume how many of them were read.
    quirel::ArchiveReader Window(size_t maxBytes);
    void Consume(size_t bytes);
    // Passes over the next n bytes without reading them (a file seeks); returns how many there were.
    size_t Skip(size_t n);
    // A series written by WriteCells. Throws quirel::ArchiveError when the data end inside it; `cells`
    // then holds the cells that were there whole. Never allocates more than the data can fill.
    void ReadCells(CParameterValues::Cells& cells);

private:
    size_t Remaining() const { return m_size - m_offset; }
    // Copies up to n bytes from the stream into `out`; returns how many there were.
    size_t ReadInto(char* out, size_t n);

    std::string_view m_memory;
    int m_fd = -1;
    size_t m_size = 0;    // of the whole stream
    size_t m_offset = 0;  // consumed so far
    std::string m_buffer; // file mode: bytes read ahead, from m_offset on
};
