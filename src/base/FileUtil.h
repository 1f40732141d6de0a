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

// Size caps by kind of file, generous for any genuine file of that kind and small enough that a wrong
// choice (a disk image, a log) is refused at once instead of filling the memory.
inline constexpr size_t kMaxTextFileBytes = 64u << 20;       // catalogues, parameter sets, INI files
inline constexpr size_t kMaxFirmwareFileBytes = 64u << 20;   // S-record text of a 2 MiB image is ~6 MiB
inline constexpr size_t kMaxMeasurementFileBytes = 1u << 30; // ten channels of a long recording

// Every file the program opens by a name the user gave goes through here. Only regular files are read: a
// folder, a FIFO or a device is refused without waiting on it. A file larger than `maxBytes` is refused.
// On failure `why` (when given) receives the reason in the user-interface language.
std::optional<std::string> readWholeFile(const std::string& path, size_t maxBytes,
                                         std::string* why = nullptr);

// The first `maxBytes` bytes of a regular file (all of it when shorter), for formats whose readers look at
// a bounded head only.
std::optional<std::string> readFileHead(const std::string& path, size_t maxBytes, std::string* why = nullptr);

// Opens a regular file for reading without blocking on FIFOs or devices: the descriptor, or -1 with `why`.
int openRegularFile(const std::string& path, std::string* why = nullptr);

} // namespace quirel
