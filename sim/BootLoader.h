#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <vector>

namespace quirel::sim {

struct BootLoaderOptions {
    QString version;            // "1.0" takes S-record lines, any other version 128-byte blocks; empty: none
    QString flashOut;           // the flash image is written here after each completed download
    int corruptAnswerEvery = 0; // garble every Nth answer to a block (0: none)
    int corruptLineEvery = 0;   // 1.0: flip a bit in every Nth S-record line received (0: none)
    bool powerCycle = false;    // start in the bootloader with no valid firmware, as after a failed download
};

// The device's serial bootloader. The RTU front end hands it the line when the enter-bootloader frame
// arrives (or at start, after a power cycle) and takes the line back when it exits. It keeps a 2 MiB flash
// image. Menu: "2" block download (then "B" and the baud rate, 32 bits little-endian, then 134-byte frames:
// address, 0x80, 128 data bytes, checksum 0xFF minus the data sum; each answered "ok!" or "er!"; five 0xFF
// end the download), "6" asks "exit?" ("y" leaves, "n" stays). Bootloader 1.0 asks "(y/n)?" in its banner:
// "y" erases and takes S-record lines ending in a carriage return until an S7, S8 or S9 record, then asks
// "(y/n)?" again; "n" leaves. Bytes sent at a speed other than the bootloader's are lost, as on a wire.
// Valid firmware needs a completed download that the bootloader found whole; until then leaving, or
// switching the device off and on, comes back into the bootloader.
class BootLoader : public QObject {
    Q_OBJECT
public:
    static constexpr int kFlashSize = 0x200000;
    static constexpr int kBaud = 38400;

    // What the front end lends while the bootloader owns the line.
    struct Line {
        std::function<void(const QByteArray&)> write;
        std::function<int()> peerBaud;    // the speed the other end runs at (a pty's settings are shared)
        std::function<void(int)> setBaud; // this end's speed
        std::function<void()> leave;      // the line goes back to Modbus
        std::function<bool()> idle;       // nothing waits to be sent
    };

    BootLoader(const BootLoaderOptions& options, Line line, QObject* parent = nullptr);

    // The enter-bootloader frame: write 0x000C, 0x0000 to the two registers from 5549.
    static bool isEnterFrame(const QByteArray& frameWithoutCrc);
    // The speed a terminal's settings give, in baud (0 when unknown). On a pty both ends share them.
    static int lineBaud(int fd);

    bool active() const { return m_state != State::Inactive; }
    // Restarts the bootloader on the line and sends its banner.
    void start();
    // Switched off and on: the device starts its firmware when that is valid, else its bootloader. True
    // when it is in the bootloader now.
    bool powerCycle();
    void receive(const QByteArray& bytes);

    const std::vector<std::uint8_t>& flash() const { return m_flash; }
    int blockAnswers() const { return m_blockAnswers; }

private:
    enum class State { Inactive, Menu, ExitQuestion, BaudCommand, Blocks, Lines, Again };

    void onByte(std::uint8_t byte);
    void onBlockBytes();
    void onLine(const QByteArray& line);
    void send(const QByteArray& text);
    void sendBanner();
    void erase();
    void completeDownload();
    void leave();
    bool isText() const { return m_options.version == "1.0"; }

    BootLoaderOptions m_options;
    Line m_line;
    State m_state = State::Inactive;
    int m_baud = kBaud;
    bool m_firmwareValid = true;
    bool m_commandSeen = false;
    bool m_downloadFailed = false;
    int m_blockAnswers = 0;
    int m_linesReceived = 0;
    QByteArray m_buffer;
    QTimer m_bannerRepeat; // a bootloader without valid firmware keeps announcing itself
    QTimer m_frameSilence; // a frame cut short is thrown away
    std::vector<std::uint8_t> m_flash;
};

} // namespace quirel::sim
