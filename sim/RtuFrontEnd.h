#pragma once

#include "BootLoader.h"
#include "Faults.h"
#include "RequestProcessor.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace quirel::sim {

// Modbus RTU slave on a serial device or on a pseudo-terminal the simulator creates. Frames are cut by the
// length their function code implies (a pty has no character timing); bytes that do not make a frame within
// a short silence are thrown away, as a slave does after a broken frame.
class RtuFrontEnd : public QObject {
    Q_OBJECT
public:
    struct LineSettings {
        int baud = 9600;
        char parity = 'N'; // N, E or O
        int stopBits = 1;
    };

    RtuFrontEnd(RequestProcessor& processor, Faults& faults, std::uint8_t slave, QObject* parent = nullptr);
    ~RtuFrontEnd() override;

    // Creates a pseudo-terminal; path() is the name clients open.
    bool openPty(QString& error);
    bool openDevice(const QString& device, const LineSettings& line, QString& error);
    QString path() const { return m_path; }

    // Gives the device a serial bootloader: the enter-bootloader frame hands the line over to it.
    void attachBootLoader(const BootLoaderOptions& options);
    BootLoader* bootLoader() const { return m_bootLoader.get(); }

    // Expected length of the request frame at the start of buffer, 0 when not yet known, -1 when the
    // function code is unknown (the frame then ends at the next silence).
    static int expectedRequestLength(const QByteArray& buffer);

private:
    void onReadable();
    void onSilence();
    void processBuffer();
    void handleFrame(const QByteArray& frame);
    void writeFrame(const QByteArray& frame);
    void flushPending();
    void startNotifiers();
    void setOwnBaud(int baud);

    RequestProcessor& m_processor;
    Faults& m_faults;
    std::uint8_t m_slave;
    int m_fd = -1;
    int m_heldSlaveFd = -1; // keeps the pty's slave side open so the master never sees a hang-up
    QString m_path;
    QByteArray m_buffer;
    QByteArray m_pending;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QTimer m_silence;
    int m_deviceBaud = 0; // a real serial device's own speed; 0 on a pty, whose settings are the client's
    std::unique_ptr<BootLoader> m_bootLoader;
};

} // namespace quirel::sim
