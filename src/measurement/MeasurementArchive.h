#pragma once

#include "base/BinaryArchive.h"
#include "base/FileUtil.h"
#include "parameters/ParamValue.h"

#include <string>
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
    void WriteCells(const std::vector<PARAMVALUE>& cells);
    // Hands what is still buffered to the file; false when any write to it failed.
    bool Flush();
    // Memory mode: everything written.
    const std::string& Bytes() const { return m_fields.bytes(); }

private:
    quirel::AtomicFileWriter* m_file;
    quirel::ArchiveWriter m_fields;
    bool m_failed = false;
};

// Reads a series of cells written by WriteCells. Throws quirel::ArchiveError when the data end inside
// it; `cells` then holds the cells that were there whole.
void ReadCells(quirel::ArchiveReader& ar, std::vector<PARAMVALUE>& cells);
