#include "base/CancelSignal.h"

#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quirel {

CancelSignal::CancelSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (fd_ >= 0)
        ::close(fd_);
}

void CancelSignal::raise() {
    const uint64_t one = 1;
    // Only the counter's being non-zero matters; a full counter (EAGAIN) is raised already.
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

bool CancelSignal::raised() const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

} // namespace quirel
