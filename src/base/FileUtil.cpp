#include "base/FileUtil.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
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

} // namespace

AtomicFileWriter::~AtomicFileWriter() {
    Abandon();
}

bool AtomicFileWriter::Open(const std::string& path) {
    Abandon();
    m_path = path;
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

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0)
        return std::nullopt;
    std::string bytes(static_cast<size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size))
        return std::nullopt;
    return bytes;
}

} // namespace quirel
