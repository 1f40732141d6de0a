#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quirel {

// Writes a file so that a crash or a full disk never leaves it half written: the bytes go to a
// temporary file beside it, which then replaces the old one.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

// The same for files written piece by piece: Open creates the temporary file beside `path`, Write appends,
// Commit flushes it to the disk and renames it over `path`. Without a successful Commit (a failed write,
// an exception, the object going away) the temporary file is removed and `path` stays as it was.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool Open(const std::string& path);
    bool Write(std::string_view bytes);
    bool Commit();
    void Abandon();
    bool IsOpen() const { return m_fd >= 0; }

private:
    std::string m_path, m_tmp;
    int m_fd = -1;
    bool m_failed = false;
};

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

} // namespace quirel
