#include "base/SerialPort.h"

#include "base/CancelSignal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace quirel {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

speed_t termiosSpeed(std::uint32_t baud, bool* known) {
    *known = true;
    switch (baud) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    case 1152000:
        return B1152000;
    case 1500000:
        return B1500000;
    case 2000000:
        return B2000000;
    case 2500000:
        return B2500000;
    case 3000000:
        return B3000000;
    case 3500000:
        return B3500000;
    case 4000000:
        return B4000000;
    default:
        *known = false;
        return B0;
    }
}

namespace {

// Milliseconds left until the deadline, rounded up so that a wait never ends early.
int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for the given poll events; returns 1 ready, 0 time-out, -1 failure or cancelled.
int waitFor(int fd, short events, Clock::time_point deadline, const CancelSignal* cancel) {
    for (;;) {
        pollfd p[2] = {{fd, events, 0}, {cancel ? cancel->fd() : -1, POLLIN, 0}};
        const int left = remainingMs(deadline);
        int r = ::poll(p, 2, left);
        if (r > 0 && p[1].revents != 0)
            return -1;
        // Readiness or an error condition: the next read or write tells which. Past the deadline a
        // descriptor that stays "ready" without giving bytes must not keep the caller looping.
        if (r > 0)
            return left > 0 ? 1 : 0;
        if (r == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

} // namespace

SerialPort::~SerialPort() {
    SerialPort::close();
}

SerialPort::Result SerialPort::open(const std::string& path) {
    close();
    lastError_ = 0;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = errno;
        switch (lastError_) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return Result::NotFound;
        case EACCES:
        case EPERM:
        case EBUSY:
            return Result::AccessDenied;
        default:
            return Result::Failure;
        }
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) { // not a terminal
        lastError_ = errno;
        ::close(fd);
        return Result::Failure;
    }
    // TIOCEXCL keeps other users out, but not root; the advisory lock covers that case between programs
    // that lock serial devices the same way.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        // Another program holds the lock: say "busy", not the lock call's "try again".
        lastError_ = err == EWOULDBLOCK ? EBUSY : err;
        return err == EWOULDBLOCK ? Result::AccessDenied : Result::Failure;
    }
    ::ioctl(fd, TIOCEXCL);
    saved_ = tio;
    savedValid_ = true;
    ::tcflush(fd, TCIOFLUSH);

    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        lastError_ = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        savedValid_ = false;
        return Result::Failure;
    }
    fd_ = fd;
    baudRate_ = 9600;
    handshake_ = 0;
    // Modem lines do not exist on pseudo-terminals (ENOTTY); that is no reason to refuse the port.
    int dtr = TIOCM_DTR;
    ::ioctl(fd_, TIOCMBIS, &dtr);
    setRts(false);
    return Result::Ok;
}

void SerialPort::close() {
    if (fd_ < 0)
        return;
    // The last bytes written (a bootloader's final answer, say) must still leave: a flush of the output
    // would drop them on USB adapters and UARTs alike, and on a pty it even empties the peer's input. What
    // cannot leave within a generous bound (a stalled handshake) is dropped, so that closing never hangs.
    const int sendMs = baudRate_ > 0 ? static_cast<int>(4096u * 10u * 1000u / baudRate_) : 0;
    const bool sent = waitUntilSent(std::max(500, sendMs)) == Result::Ok;
    ::tcflush(fd_, sent ? TCIFLUSH : TCIOFLUSH);
    if (savedValid_)
        ::tcsetattr(fd_, TCSANOW, &saved_);
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_); // also releases the lock
    fd_ = -1;
    savedValid_ = false;
}

SerialPort::Result SerialPort::configure(std::uint32_t baudRate, int dataBits, int stopBits, int parity,
                                         int handshake) {
    if (fd_ < 0)
        return Result::NotOpen;
    // A value this class or the driver does not take reads as EINVAL, the driver's own word for it.
    lastError_ = EINVAL;
    bool known = false;
    speed_t speed = termiosSpeed(baudRate, &known);
    if (!known || (dataBits != 7 && dataBits != 8) || (stopBits != 1 && stopBits != 2) || parity < 0 ||
        parity > 2 || handshake < 0 || handshake > 1)
        return Result::Refused;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        lastError_ = errno;
        return Result::Refused;
    }
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    tio.c_cflag |= (dataBits == 7 ? CS7 : CS8) | CLOCAL | CREAD;
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY | ISTRIP | PARMRK | IGNPAR);
    if (parity != 0) {
        tio.c_cflag |= PARENB;
        if (parity == 1)
            tio.c_cflag |= PARODD;
        tio.c_iflag |= INPCK;
    }
    if (handshake == 1)
        tio.c_cflag |= CRTSCTS;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        lastError_ = errno;
        return Result::Refused;
    }
    // tcsetattr succeeds when any part was taken; a line setting the driver silently kept (pseudo-terminals
    // force 8 data bits without parity) is refused all the same.
    termios now{};
    const tcflag_t lineBits = CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS;
    if (::tcgetattr(fd_, &now) != 0 || (now.c_cflag & lineBits) != (tio.c_cflag & lineBits) ||
        ::cfgetospeed(&now) != speed)
        return Result::Refused;
    lastError_ = 0;
    baudRate_ = baudRate;
    handshake_ = handshake;
    if (handshake == 0)
        setRts(false);
    return Result::Ok;
}

SerialPort::Result SerialPort::read(std::uint8_t* buffer, std::size_t count, int timeoutMs,
                                    std::size_t* got) {
    std::size_t done = 0;
    if (got)
        *got = 0;
    if (fd_ < 0)
        return Result::NotOpen;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (done < count) {
        ssize_t n = ::read(fd_, buffer + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            if (got)
                *got = done;
            continue;
        }
        // In non-blocking raw mode an empty line gives EAGAIN; 0 bytes means the terminal hung up (the
        // adapter was pulled, the other end of a pty closed), which poll keeps reporting as ready.
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return Result::Failure;
        int w = waitFor(fd_, POLLIN, deadline, cancel_);
        if (w < 0)
            return Result::Failure;
        if (w == 0)
            return Result::TimeOut;
    }
    return Result::Ok;
}

SerialPort::Result SerialPort::write(const std::uint8_t* buffer, std::size_t count, int timeoutMs) {
    if (fd_ < 0)
        return Result::NotOpen;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, buffer + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return Result::Failure;
        int w = waitFor(fd_, POLLOUT, deadline, cancel_);
        if (w < 0)
            return Result::Failure;
        if (w == 0)
            return Result::TimeOut;
    }
    return Result::Ok;
}

SerialPort::Result SerialPort::purge() {
    if (fd_ < 0)
        return Result::NotOpen;
    return ::tcflush(fd_, TCIOFLUSH) == 0 ? Result::Ok : Result::Failure;
}

SerialPort::Result SerialPort::purgeOutput() {
    if (fd_ < 0)
        return Result::NotOpen;
    return ::tcflush(fd_, TCOFLUSH) == 0 ? Result::Ok : Result::Failure;
}

SerialPort::Result SerialPort::drain(int timeoutMs) {
    if (fd_ < 0)
        return Result::NotOpen;
    if (handshake_ == 1)
        return Result::Refused;
    return waitUntilSent(timeoutMs);
}

SerialPort::Result SerialPort::waitUntilSent(int timeoutMs) {
    // tcdrain alone could wait without bound; watch the output queue against the deadline first. Once it
    // is empty, tcdrain only waits for the last characters in the hardware.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int pending = 0;
        if (::ioctl(fd_, TIOCOUTQ, &pending) != 0)
            return Result::Failure;
        if (pending <= 0)
            break;
        if (Clock::now() >= deadline)
            return Result::TimeOut;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return ::tcdrain(fd_) == 0 ? Result::Ok : Result::Failure;
}

SerialPort::Result SerialPort::raiseRts() {
    return setRts(true);
}

SerialPort::Result SerialPort::dropRts() {
    return setRts(false);
}

SerialPort::Result SerialPort::dropDtr() {
    if (fd_ < 0)
        return Result::NotOpen;
    int bits = TIOCM_DTR;
    return ::ioctl(fd_, TIOCMBIC, &bits) == 0 ? Result::Ok : Result::Failure;
}

SerialPort::Result SerialPort::setRts(bool on) {
    if (fd_ < 0)
        return Result::NotOpen;
    if (handshake_ == 1)
        return Result::Refused;
    int bits = TIOCM_RTS;
    return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? Result::Ok : Result::Failure;
}

} // namespace quirel
