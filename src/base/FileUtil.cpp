#include "base/FileUtil.h"

#include "base/StringTable.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quirel {
namespace {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

constexpr unsigned kIdsNotRegularFile = 1020; // "it is not a regular file"
constexpr unsigned kIdsFileTooLarge = 1021;   // "it is larger than %1 MiB"

void setReason(std::string* why, const std::string& text) {
    if (why)
        *why = text;
}

std::string tooLarge(size_t maxBytes) {
    return fillString(kIdsFileTooLarge, {std::to_string((maxBytes + (1u << 20) - 1) >> 20)});
}

// Reads until the end rather than trusting the size fstat gives: a file may grow or shrink meanwhile.
std::optional<std::string> readRegular(const std::string& path, size_t maxBytes, bool head,
                                       std::string* why) {
    const int fd = openRegularFile(path, why);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    ::fstat(fd, &st);
    const size_t expected = static_cast<size_t>(std::max<off_t>(st.st_size, 0));
    if (!head && expected > maxBytes) {
        ::close(fd);
        setReason(why, tooLarge(maxBytes));
        return std::nullopt;
    }
    std::string bytes;
    bytes.resize(std::min(expected, maxBytes) + (head ? 0 : 1));
    size_t got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > maxBytes || (head && got == maxBytes))
                break;
            bytes.resize(std::min(std::max<size_t>(bytes.size() * 2, 4096), maxBytes + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            setReason(why, std::strerror(errno));
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got > maxBytes) {
        if (!head) {
            setReason(why, tooLarge(maxBytes));
            return std::nullopt;
        }
        got = maxBytes;
    }
    bytes.resize(got);
    return bytes;
}

} // namespace

AtomicFileWriter::~AtomicFileWriter() {
    Abandon();
}

bool AtomicFileWriter::Open(const std::string& path) {
    Abandon();
    m_path = path;
    // A folder in the target's place would refuse the rename only at Commit, after the caller's work.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return false;
    // A name of its own per save, so two programs (or threads) saving the same file never share one
    // temporary; created like any new file, so the umask gives it the usual permissions.
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_tmp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        m_fd = ::open(m_tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            return false;
    }
    if (m_fd < 0)
        return false;
    m_failed = false;
    return true;
}

bool AtomicFileWriter::Write(std::string_view bytes) {
    if (m_fd < 0 || m_failed)
        return false;
    m_failed = !writeAll(m_fd, bytes);
    return !m_failed;
}

bool AtomicFileWriter::Commit() {
    if (m_fd < 0)
        return false;
    // The data must be on the disk before the name points at it, or a power cut leaves an empty file.
    const bool ok = !m_failed && ::fsync(m_fd) == 0;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!ok || !closed || std::rename(m_tmp.c_str(), m_path.c_str()) != 0) {
        std::remove(m_tmp.c_str());
        return false;
    }
    const int dir = ::open(folderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir); // the rename itself
        ::close(dir);
    }
    return true;
}

void AtomicFileWriter::Abandon() {
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    std::remove(m_tmp.c_str());
}

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
    AtomicFileWriter writer;
    return writer.Open(path) && writer.Write(bytes) && writer.Commit();
}

int openRegularFile(const std::string& path, std::string* why) {
    // O_NONBLOCK so that opening a FIFO without a writer returns at once; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        setReason(why, std::strerror(errno));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        setReason(why, loadString(kIdsNotRegularFile));
        return -1;
    }
    // Back to blocking reads: a regular file never waits, and the callers expect plain read semantics.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::optional<std::string> readWholeFile(const std::string& path, size_t maxBytes, std::string* why) {
    return readRegular(path, maxBytes, false, why);
}

std::optional<std::string> readFileHead(const std::string& path, size_t maxBytes, std::string* why) {
    return readRegular(path, maxBytes, true, why);
}

} // namespace quirel
