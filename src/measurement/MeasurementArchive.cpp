#include "measurement/MeasurementArchive.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Below this a series is copied into the field buffer rather than written on its own.
constexpr size_t kDirectWriteBytes = 64 * 1024;

} // namespace

void CMeasurementArchiveOut::WriteCells(const CParameterValues::Cells& cells) {
    m_fields.writeCount(static_cast<uint32_t>(cells.size()));
    if constexpr (std::endian::native == std::endian::little) {
        const std::string_view bytes(reinterpret_cast<const char*>(cells.data()),
                                     cells.size() * sizeof(PARAMVALUE));
        if (m_file && bytes.size() >= kDirectWriteBytes) {
            Flush();
            if (!m_failed && !m_file->Write(bytes))
                m_failed = true;
        } else {
            m_fields.writeBytes(bytes);
        }
    } else {
        for (const PARAMVALUE& cell : cells) {
            m_fields.writeU32(cell.dataType);
            m_fields.writeU32(cell.raw);
        }
    }
}

bool CMeasurementArchiveOut::Flush() {
    if (m_file) {
        const std::string pending = m_fields.take();
        if (!m_failed && !pending.empty() && !m_file->Write(pending))
            m_failed = true;
    }
    return !m_failed;
}

CMeasurementArchiveIn::CMeasurementArchiveIn(int fd) : m_fd(fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        m_size = static_cast<size_t>(st.st_size);
}

quirel::ArchiveReader CMeasurementArchiveIn::Window(size_t maxBytes) {
    const size_t want = std::min(maxBytes, Remaining());
    if (m_fd < 0)
        return quirel::ArchiveReader(m_memory.substr(m_offset, want));
    if (m_buffer.size() < want) {
        const size_t have = m_buffer.size();
        m_buffer.resize(want);
        size_t got = have;
        while (got < want) {
            const ssize_t n = ::read(m_fd, m_buffer.data() + got, want - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        m_buffer.resize(got); // a file that shrank meanwhile ends early
    }
    return quirel::ArchiveReader(std::string_view(m_buffer).substr(0, want));
}

void CMeasurementArchiveIn::Consume(size_t bytes) {
    m_offset += bytes;
    if (m_fd >= 0)
        m_buffer.erase(0, std::min(bytes, m_buffer.size()));
}

size_t CMeasurementArchiveIn::Skip(size_t n) {
    n = std::min(n, Remaining());
    if (m_fd >= 0) {
        const size_t buffered = std::min(n, m_buffer.size());
        m_buffer.erase(0, buffered);
        if (n > buffered && ::lseek(m_fd, static_cast<off_t>(n - buffered), SEEK_CUR) < 0)
            n = buffered;
    }
    m_offset += n;
    return n;
}

size_t CMeasurementArchiveIn::ReadInto(char* out, size_t n) {
    n = std::min(n, Remaining());
    if (m_fd < 0) {
        if (n > 0)
            std::memcpy(out, m_memory.data() + m_offset, n);
        m_offset += n;
        return n;
    }
    size_t got = std::min(n, m_buffer.size());
    if (got > 0) {
        std::memcpy(out, m_buffer.data(), got);
        m_buffer.erase(0, got);
    }
    while (got < n) {
        const ssize_t r = ::read(m_fd, out + got, n - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<size_t>(r);
    }
    m_offset += got;
    return got;
}

void CMeasurementArchiveIn::ReadCells(CParameterValues::Cells& cells) {
    quirel::ArchiveReader ar = Window(6);
    const uint32_t count = ar.readCount();
    Consume(ar.position());
    // Only the cells that are there whole: a count beyond the data never allocates more than the data.
    const size_t whole = std::min<size_t>(count, Remaining() / sizeof(PARAMVALUE));
    cells.clear();
    cells.reserve(whole);
    cells.resize(whole);
    const size_t got = ReadInto(reinterpret_cast<char*>(cells.data()), whole * sizeof(PARAMVALUE));
    cells.resize(got / sizeof(PARAMVALUE));
    if constexpr (std::endian::native != std::endian::little) {
        for (PARAMVALUE& cell : cells) {
            cell.dataType = __builtin_bswap32(cell.dataType);
            cell.raw = __builtin_bswap32(cell.raw);
        }
    }
    if (cells.size() < count)
        throw quirel::ArchiveError("the file ends inside a value series");
}
