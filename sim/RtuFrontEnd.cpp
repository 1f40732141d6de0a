#include "RtuFrontEnd.h"

#include "Crc16.h"
#include "base/SerialPort.h"

#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quirel::sim {

namespace {

QString errnoText(const char* what) {
    return QString("%1: %2").arg(what, std::strerror(errno));
}

} // namespace

RtuFrontEnd::RtuFrontEnd(RequestProcessor& processor, Faults& faults, std::uint8_t slave, QObject* parent)
    : QObject(parent), m_processor(processor), m_faults(faults), m_slave(slave) {
    m_silence.setSingleShot(true);
    // Longer than any gap inside one frame written by a client, short against a reply time-out.
    m_silence.setInterval(50);
    connect(&m_silence, &QTimer::timeout, this, &RtuFrontEnd::onSilence);
}

RtuFrontEnd::~RtuFrontEnd() {
    delete m_readNotifier;
    delete m_writeNotifier;
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_heldSlaveFd >= 0)
        ::close(m_heldSlaveFd);
}

bool RtuFrontEnd::openPty(QString& error) {
    m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        error = errnoText("posix_openpt");
        return false;
    }
    if (::grantpt(m_fd) != 0 || ::unlockpt(m_fd) != 0) {
        error = errnoText("grantpt/unlockpt");
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(m_fd, name, sizeof name) != 0) {
        error = errnoText("ptsname");
        return false;
    }
    m_path = QString::fromLocal8Bit(name);
    m_heldSlaveFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_heldSlaveFd < 0) {
        error = errnoText("open pty slave");
        return false;
    }
    // Raw 8N1 on the slave side, so that a client that does not configure the line still gets bytes as sent.
    termios tio{};
    if (::tcgetattr(m_heldSlaveFd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(m_heldSlaveFd, TCSANOW, &tio);
    }
    startNotifiers();
    return true;
}

bool RtuFrontEnd::openDevice(const QString& device, const LineSettings& line, QString& error) {
    m_fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        error = errnoText("open");
        return false;
    }
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0) {
        error = errnoText("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CSTOPB | CRTSCTS);
    if (line.parity == 'E')
        tio.c_cflag |= PARENB;
    else if (line.parity == 'O')
        tio.c_cflag |= PARENB | PARODD;
    if (line.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    bool known = false;
    const speed_t speed = quirel::termiosSpeed(static_cast<std::uint32_t>(line.baud), &known);
    if (!known) {
        error = QString("unsupported baud rate %1").arg(line.baud);
        return false;
    }
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        error = errnoText("tcsetattr");
        return false;
    }
    ::tcflush(m_fd, TCIOFLUSH);
    m_deviceBaud = line.baud;
    m_path = device;
    startNotifiers();
    return true;
}

void RtuFrontEnd::startNotifiers() {
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &RtuFrontEnd::onReadable);
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &RtuFrontEnd::flushPending);
}

void RtuFrontEnd::onReadable() {
    char chunk[512];
    QByteArray received;
    for (;;) {
        const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            received.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN, or EIO while no client holds the pty (cannot happen while we hold its slave)
    }
    if (m_bootLoader && m_bootLoader->active()) {
        m_bootLoader->receive(received);
        return;
    }
    m_buffer.append(received);
    processBuffer();
}

void RtuFrontEnd::attachBootLoader(const BootLoaderOptions& options) {
    BootLoader::Line line;
    line.write = [this](const QByteArray& bytes) { writeFrame(bytes); };
    line.peerBaud = [this] { return BootLoader::lineBaud(m_fd); };
    line.setBaud = [this](int baud) { setOwnBaud(baud); };
    line.leave = [this] {
        setOwnBaud(m_deviceBaud);
        m_buffer.clear();
    };
    line.idle = [this] { return m_pending.isEmpty(); };
    m_bootLoader = std::make_unique<BootLoader>(options, std::move(line));
}

void RtuFrontEnd::setOwnBaud(int baud) {
    // A pty's settings belong to the client that opened it; only a real line has a speed of our own.
    if (m_deviceBaud == 0 || baud == 0)
        return;
    termios tio{};
    bool known = false;
    const speed_t speed = quirel::termiosSpeed(static_cast<std::uint32_t>(baud), &known);
    if (!known || ::tcgetattr(m_fd, &tio) != 0)
        return;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    ::tcsetattr(m_fd, TCSADRAIN, &tio); // after what is on its way at the old speed
}

int RtuFrontEnd::expectedRequestLength(const QByteArray& buffer) {
    if (buffer.size() < 2)
        return 0;
    const auto fc = static_cast<unsigned char>(buffer[1]);
    switch (fc) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
        return 8;
    case 15:
    case 16:
        return buffer.size() < 7 ? 0 : 9 + static_cast<unsigned char>(buffer[6]);
    case 20:
        return buffer.size() < 3 ? 0 : 5 + static_cast<unsigned char>(buffer[2]);
    case 43:
        return 7;
    default:
        return -1;
    }
}

void RtuFrontEnd::processBuffer() {
    for (;;) {
        const int expected = expectedRequestLength(m_buffer);
        if (expected > 0 && m_buffer.size() >= expected) {
            const QByteArray frame = m_buffer.left(expected);
            const auto* b = reinterpret_cast<const std::uint8_t*>(frame.constData());
            const std::uint16_t crc = crc16Modbus(b, static_cast<std::size_t>(expected - 2));
            if (b[expected - 2] != (crc & 0xFF) || b[expected - 1] != (crc >> 8)) {
                // A broken frame: everything up to the next silence belongs to it.
                m_silence.start();
                return;
            }
            m_buffer.remove(0, expected);
            handleFrame(frame);
            continue;
        }
        break;
    }
    if (!m_buffer.isEmpty())
        m_silence.start();
}

void RtuFrontEnd::onSilence() {
    // A frame of a function this slave cannot frame by length ends here; answer it if its CRC holds.
    if (expectedRequestLength(m_buffer) < 0 && m_buffer.size() >= 4) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(m_buffer.constData());
        const auto n = static_cast<std::size_t>(m_buffer.size());
        const std::uint16_t crc = crc16Modbus(b, n - 2);
        if (b[n - 2] == (crc & 0xFF) && b[n - 1] == (crc >> 8))
            handleFrame(m_buffer);
    }
    m_buffer.clear();
}

void RtuFrontEnd::handleFrame(const QByteArray& frame) {
    const auto address = static_cast<std::uint8_t>(frame[0]);
    const auto fc = static_cast<std::uint8_t>(frame[1]);
    if (address != m_slave && address != 0)
        return;
    if (address == 0 && !RequestProcessor::isBroadcastable(fc))
        return;
    if (m_bootLoader && address == m_slave && BootLoader::isEnterFrame(frame.left(frame.size() - 2))) {
        // Acknowledged like any register write, then the device restarts into its bootloader.
        QByteArray ack = frame.left(6);
        const std::uint16_t crc = crc16Modbus(reinterpret_cast<const std::uint8_t*>(ack.constData()),
                                              static_cast<std::size_t>(ack.size()));
        ack.append(static_cast<char>(crc & 0xFF));
        ack.append(static_cast<char>(crc >> 8));
        writeFrame(ack);
        m_buffer.clear();
        m_silence.stop();
        m_bootLoader->start();
        return;
    }
    const std::string reply = m_processor.process(frame.mid(1, frame.size() - 3).toStdString());
    if (address == 0 || reply.empty() || m_faults.takeDrop())
        return;
    QByteArray out;
    out.append(static_cast<char>(m_slave));
    out.append(reply.data(), static_cast<qsizetype>(reply.size()));
    const std::uint16_t crc = crc16Modbus(reinterpret_cast<const std::uint8_t*>(out.constData()),
                                          static_cast<std::size_t>(out.size()));
    out.append(static_cast<char>(crc & 0xFF));
    out.append(static_cast<char>(crc >> 8));
    if (m_faults.takeCorruptCrc()) {
        out[out.size() - 2] = static_cast<char>(out[out.size() - 2] ^ 0xFF);
        out[out.size() - 1] = static_cast<char>(out[out.size() - 1] ^ 0xFF);
    }
    const bool stray = m_faults.takeStray();
    const int delay = m_faults.delayMs();
    if (delay > 0)
        QTimer::singleShot(delay, this, [this, out] { writeFrame(out); });
    else
        writeFrame(out);
    if (stray)
        QTimer::singleShot(delay + m_faults.strayDelayMs(), this, [this, out] { writeFrame(out); });
}

void RtuFrontEnd::writeFrame(const QByteArray& frame) {
    m_pending.append(frame);
    flushPending();
}

void RtuFrontEnd::flushPending() {
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_fd, m_pending.constData(), static_cast<std::size_t>(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_writeNotifier->setEnabled(true);
            return;
        }
        m_pending.clear(); // the line is gone; a client that comes back starts afresh
        break;
    }
    m_writeNotifier->setEnabled(false);
}

} // namespace quirel::sim
