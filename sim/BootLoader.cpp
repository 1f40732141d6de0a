#include "BootLoader.h"

#include "base/FileUtil.h"
#include "base/SerialPort.h"

#include <cstdio>
#include <termios.h>

namespace quirel::sim {
namespace {

constexpr int kBlock = 128;
constexpr int kFrame = 4 + 1 + kBlock + 1;
// The 1.0 bootloader's line buffer: 64 bytes with the carriage return and a closing zero.
constexpr int kMaxLine = 62;

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The bytes of an S-record line after "Sn": count, address, data, checksum; empty when malformed or when
// the checksum fails.
QByteArray recordBytes(const QByteArray& line) {
    QByteArray bytes;
    for (qsizetype i = 2; i + 1 < line.size(); i += 2) {
        const int hi = hexValue(line[i]), lo = hexValue(line[i + 1]);
        if (hi < 0 || lo < 0)
            return {};
        bytes.append(static_cast<char>(hi * 16 + lo));
    }
    if (bytes.isEmpty() || bytes.size() != static_cast<unsigned char>(bytes[0]) + 1)
        return {};
    unsigned sum = 0;
    for (char b : bytes)
        sum += static_cast<unsigned char>(b);
    return (sum & 0xFF) == 0xFF ? bytes : QByteArray();
}

} // namespace

BootLoader::BootLoader(const BootLoaderOptions& options, Line line, QObject* parent)
    : QObject(parent), m_options(options), m_line(std::move(line)), m_flash(kFlashSize, 0xFF) {
    m_firmwareValid = !options.powerCycle;
    m_bannerRepeat.setInterval(1000);
    connect(&m_bannerRepeat, &QTimer::timeout, this, [this] {
        // Only into an empty line, so that a port nobody reads does not pile banners up.
        if (m_state == State::Menu && !m_commandSeen && (!m_line.idle || m_line.idle()))
            sendBanner();
    });
    m_frameSilence.setSingleShot(true);
    m_frameSilence.setInterval(100);
    connect(&m_frameSilence, &QTimer::timeout, this, [this] {
        if (m_state == State::Blocks)
            m_buffer.clear();
    });
}

bool BootLoader::isEnterFrame(const QByteArray& frame) {
    static const QByteArray enter("\x10\x15\xAD\x00\x02\x04\x00\x0C\x00\x00", 10);
    return frame.size() == 11 && frame.mid(1) == enter;
}

int BootLoader::lineBaud(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return 0;
    const speed_t speed = ::cfgetospeed(&tio);
    for (int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600}) {
        bool known = false;
        if (quirel::termiosSpeed(static_cast<std::uint32_t>(baud), &known) == speed && known)
            return baud;
    }
    return 0;
}

void BootLoader::start() {
    m_state = State::Menu;
    m_baud = kBaud;
    m_line.setBaud(m_baud);
    m_commandSeen = false;
    m_buffer.clear();
    sendBanner();
    if (!m_firmwareValid)
        m_bannerRepeat.start();
}

bool BootLoader::powerCycle() {
    if (!m_firmwareValid) {
        start();
        return true;
    }
    if (active())
        leave();
    return false;
}

void BootLoader::send(const QByteArray& text) {
    m_line.write(text);
}

void BootLoader::sendBanner() {
    QByteArray banner = "\r\nLVAR FLASHLOADER V" + m_options.version.toLatin1() + "\r\n";
    banner += isText() ? "Download new firmware (y/n)?" : "2: binary download\r\n6: exit\r\n> ";
    send(banner);
}

void BootLoader::receive(const QByteArray& bytes) {
    if (m_state == State::Inactive)
        return;
    // The peer switches its speed some time after sending the baud command; until the command is
    // complete, its bytes are taken whatever its speed.
    if (m_state != State::BaudCommand && m_line.peerBaud && m_line.peerBaud() != m_baud)
        return;
    for (char c : bytes) {
        switch (m_state) {
        case State::Blocks:
            m_buffer.append(c);
            onBlockBytes();
            break;
        case State::Lines:
            if (c == '\r') {
                onLine(m_buffer);
                m_buffer.clear();
            } else if (c != '\n') {
                m_buffer.append(c);
            }
            break;
        default:
            onByte(static_cast<std::uint8_t>(c));
            break;
        }
    }
    if (m_state == State::Blocks && !m_buffer.isEmpty())
        m_frameSilence.start();
}

void BootLoader::onByte(std::uint8_t byte) {
    switch (m_state) {
    case State::Menu:
        if (byte == '6') {
            m_commandSeen = true;
            m_state = State::ExitQuestion;
            send("\r\nexit? (y/n)");
        } else if (isText() && byte == 'y') {
            m_commandSeen = true;
            erase();
            m_state = State::Lines;
            send("\r\nErasing flash ... done\r\nSend S-records\r\n");
        } else if (isText() && byte == 'n') {
            leave();
        } else if (!isText() && byte == '2') {
            m_commandSeen = true;
            m_state = State::BaudCommand;
            send("\r\nBinary download: send the baud rate\r\n");
        }
        break;
    case State::ExitQuestion:
        if (byte == 'y') {
            leave();
        } else if (byte == 'n') {
            m_state = State::Menu;
            sendBanner();
        }
        break;
    case State::Again:
        if (byte == 'y') {
            erase();
            m_state = State::Lines;
            send("\r\nErasing flash ... done\r\nSend S-records\r\n");
        } else if (byte == 'n') {
            leave();
        }
        break;
    case State::BaudCommand: {
        if (m_buffer.isEmpty() && byte != 'B')
            break;
        m_buffer.append(static_cast<char>(byte));
        if (m_buffer.size() < 5)
            break;
        const auto* b = reinterpret_cast<const unsigned char*>(m_buffer.constData());
        const auto baud = static_cast<std::uint32_t>(b[1] | b[2] << 8 | b[3] << 16 | b[4] << 24);
        m_buffer.clear();
        bool known = false;
        quirel::termiosSpeed(baud, &known);
        if (!known || baud > 4000000) {
            m_state = State::Menu;
            send("\r\nBaud rate not supported\r\n");
            break;
        }
        send("\r\nBaud rate " + QByteArray::number(baud) + "\r\n");
        m_baud = static_cast<int>(baud);
        m_line.setBaud(m_baud);
        erase();
        m_state = State::Blocks;
        break;
    }
    default:
        break;
    }
}

void BootLoader::onBlockBytes() {
    const auto* b = reinterpret_cast<const unsigned char*>(m_buffer.constData());
    if (m_buffer.size() == 5 && m_buffer == QByteArray(5, '\xFF')) {
        m_buffer.clear();
        m_firmwareValid = true;
        completeDownload();
        m_state = State::Menu;
        send("\r\nDownload complete\r\n");
        return;
    }
    if (m_buffer.size() < kFrame)
        return;
    const std::uint32_t address =
        std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
    unsigned sum = 0;
    for (int i = 0; i < kBlock; ++i)
        sum += b[5 + i];
    const bool ok = b[4] == kBlock && static_cast<std::uint8_t>(0xFF - sum) == b[kFrame - 1] &&
                    address <= static_cast<std::uint32_t>(kFlashSize - kBlock);
    if (ok)
        std::copy(b + 5, b + 5 + kBlock, m_flash.begin() + address);
    m_buffer.clear();
    QByteArray answer = ok ? "ok!" : "er!";
    ++m_blockAnswers;
    if (m_options.corruptAnswerEvery > 0 && m_blockAnswers % m_options.corruptAnswerEvery == 0)
        answer[1] = static_cast<char>(answer[1] ^ 0x20); // a bit lost on the way back
    send(answer);
}

void BootLoader::onLine(const QByteArray& received) {
    if (received.isEmpty())
        return;
    QByteArray line = received;
    if (m_options.corruptLineEvery > 0 && ++m_linesReceived % m_options.corruptLineEvery == 0)
        line[line.size() - 1] = static_cast<char>(line.back() ^ 0x01); // a bit lost on the way in
    const QByteArray bytes =
        line.size() <= kMaxLine && line.startsWith('S') ? recordBytes(line) : QByteArray();
    const char type = line.size() > 1 ? line[1] : '\0';
    const int addressLength = type == '1' || type == '9'   ? 2
                              : type == '2' || type == '8' ? 3
                              : type == '3' || type == '7' ? 4
                                                           : 0;
    if (bytes.isEmpty() || bytes.size() < addressLength + 2) {
        m_downloadFailed = true;
        send("\r\nRecord error\r\n");
        return;
    }
    if (type == '7' || type == '8' || type == '9') {
        m_firmwareValid = !m_downloadFailed;
        completeDownload();
        m_state = State::Again;
        send(m_downloadFailed ? "\r\nDownload FAILED\r\nDownload again (y/n)?"
                              : "\r\nDownload complete\r\nDownload again (y/n)?");
        return;
    }
    if (type < '1' || type > '3')
        return;
    // Wide enough that data running past the top of the 32-bit address space is dropped, not wrapped to 0.
    std::uint64_t address = 0;
    for (int i = 0; i < addressLength; ++i)
        address = address << 8 | static_cast<unsigned char>(bytes[1 + i]);
    for (qsizetype i = 1 + addressLength; i < bytes.size() - 1; ++i, ++address)
        if (address < static_cast<std::uint64_t>(kFlashSize))
            m_flash[address] = static_cast<std::uint8_t>(bytes[i]);
}

void BootLoader::erase() {
    m_flash.assign(kFlashSize, 0xFF);
    m_firmwareValid = false;
    m_downloadFailed = false;
}

void BootLoader::completeDownload() {
    if (m_options.flashOut.isEmpty())
        return;
    const std::string_view image(reinterpret_cast<const char*>(m_flash.data()), m_flash.size());
    if (!quirel::writeFileAtomically(m_options.flashOut.toStdString(), image))
        std::fprintf(stderr, "quirel-sim: cannot write %s\n", qPrintable(m_options.flashOut));
}

void BootLoader::leave() {
    // Without valid firmware there is nothing to start: the device comes back into its bootloader.
    if (!m_firmwareValid) {
        start();
        return;
    }
    m_bannerRepeat.stop();
    m_frameSilence.stop();
    m_buffer.clear();
    m_state = State::Inactive;
    m_line.leave();
}

} // namespace quirel::sim
