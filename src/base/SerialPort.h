#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>

namespace quirel {

class CancelSignal;

// The termios constant of a baud rate; B0 with *known false when termios has none.
speed_t termiosSpeed(std::uint32_t baud, bool* known);

// A serial device opened by path (/dev/ttyUSB0, /dev/pts/N) on termios. Every operation that waits is
// bounded by a total time-out in milliseconds; the descriptor stays non-blocking for its whole life. The
// operations a protocol drives the line with are virtual, so that a stand-in can deliver bytes that come
// from elsewhere (a fuzzer's, a test's model of a line) at memory speed.
class SerialPort {
public:
    enum class Result {
        Ok,
        NotFound,     // no such device
        AccessDenied, // permission refused, or another program holds the port
        Failure,      // any other failure of the operating system
        TimeOut,      // fewer bytes than asked for within the time-out
        Refused,      // a setting the port or this class does not support
        NotOpen,
    };

    SerialPort() = default;
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device exclusively, saves its settings and puts it into 9600 8N1 raw mode, DTR on, RTS
    // off. A port already open is closed first.
    virtual Result open(const std::string& path);
    // Lets what was written leave the port, discards unread input, writes the settings saved at open back
    // and closes.
    virtual void close();
    virtual bool isOpen() const { return fd_ >= 0; }

    // dataBits 7 or 8, stopBits 1 or 2, parity 0 none, 1 odd, 2 even; handshake 0 none, 1 RTS/CTS.
    virtual Result configure(std::uint32_t baudRate, int dataBits, int stopBits, int parity, int handshake);

    // Reads exactly count bytes unless the total time-out ends first; *got says how many arrived.
    virtual Result read(std::uint8_t* buffer, std::size_t count, int timeoutMs, std::size_t* got = nullptr);
    // Writes count bytes within the total time-out.
    virtual Result write(const std::uint8_t* buffer, std::size_t count, int timeoutMs);
    // Discards what waits in both directions.
    virtual Result purge();
    // Discards what waits to be sent only.
    virtual Result purgeOutput();
    // Waits until the output has left the port, for at most timeoutMs.
    virtual Result drain(int timeoutMs);
    virtual Result raiseRts();
    virtual Result dropRts();
    // Clears DTR (open raises it). Fails on a pseudo-terminal, which has no modem lines.
    Result dropDtr();

    // Waits end at once, as failures, when `signal` is raised. Not owned; null for none.
    void setCancelSignal(const CancelSignal* signal) { cancel_ = signal; }

    // errno of the last open or configure that failed (0 after success), for the user's message.
    int lastError() const { return lastError_; }

    std::uint32_t baudRate() const { return baudRate_; }
    int handshake() const { return handshake_; }

private:
    Result setRts(bool on);
    Result waitUntilSent(int timeoutMs);

    std::uint32_t baudRate_ = 0;
    int handshake_ = 0;
    int fd_ = -1;
    const CancelSignal* cancel_ = nullptr;
    int lastError_ = 0;
    bool savedValid_ = false;
    termios saved_{};
};

} // namespace quirel
