#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

void FuzzFail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

MemoryFile::MemoryFile(std::string_view bytes) : m_fd(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
    if (m_fd < 0)
        FuzzFail("memfd_create");
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            FuzzFail("writing the memory file");
        done += static_cast<std::size_t>(n);
    }
    m_path = "/proc/self/fd/" + std::to_string(m_fd);
}

MemoryFile::~MemoryFile() {
    ::close(m_fd);
}
