#pragma once

#include "DeviceModel.h"
#include "Faults.h"
#include "RequestProcessor.h"
#include "RtuFrontEnd.h"
#include "TcpFrontEnd.h"

#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <string>
#include <thread>

class QSocketNotifier;

namespace quirel::sim {

struct SimulatorOptions {
    QString cataloguePath;       // register map; empty: the demo catalogue
    QString deviceCataloguePath; // what the catalogue file records serve; empty: cataloguePath
    bool tcp = false;
    QHostAddress tcpAddress = QHostAddress::LocalHost;
    quint16 tcpPort = 0; // 0: a free port
    bool pty = false;
    QString rtuDevice;
    RtuFrontEnd::LineSettings line;
    QString link; // symlink to the pty
    int slave = 1;
    QString vendor;   // empty: the catalogue's [DeviceId] VendorName
    QString product;  // empty: the catalogue's [DeviceId] ProductCode
    QString revision; // empty: the served catalogue's [DeviceId] Revision
    std::uint32_t seed = 1;
    QStringList faultCommands; // command lines applied at start
    bool control = false;
    QHostAddress controlAddress = QHostAddress::LocalHost;
    quint16 controlPort = 0;
    bool commandsOnStdin = false;
    BootLoaderOptions bootLoader; // RTU only
};

// The simulated filter with its front ends, living in the thread of the event loop that runs it. Every
// transport answers from the one device model.
class Simulator : public QObject {
    Q_OBJECT
public:
    explicit Simulator(QObject* parent = nullptr);
    ~Simulator() override;

    bool start(const SimulatorOptions& options, QString& error);

    QHostAddress tcpAddress() const { return m_tcp ? m_tcp->address() : QHostAddress(); }
    quint16 tcpPort() const { return m_tcp ? m_tcp->port() : 0; }
    QString rtuPath() const { return m_rtu ? m_rtu->path() : QString(); }
    QString linkPath() const { return m_linkCreated ? m_link : QString(); }
    quint16 controlPort() const;
    // The lines a program prints so that clients know where to connect.
    QStringList connectionLines() const;

    // Runs one command line (faults, "status", "help", "quit") and returns the answer line.
    QString command(const QString& line);

    DeviceModel* device() { return m_model.get(); }
    Faults& faults() { return m_faults; }

signals:
    void quitRequested();

private:
    void onControlConnection();
    void onStdin();

    SimulatorOptions m_options;
    std::unique_ptr<DeviceModel> m_model;
    Faults m_faults;
    std::unique_ptr<RequestProcessor> m_processor;
    std::unique_ptr<TcpFrontEnd> m_tcp;
    std::unique_ptr<RtuFrontEnd> m_rtu;
    class QTcpServer* m_control = nullptr;
    QSocketNotifier* m_stdin = nullptr;
    QByteArray m_stdinBuffer;
    QTimer m_tick;
    QString m_link;
    bool m_linkCreated = false;
};

// Runs a simulator in a thread of its own with its own event loop, for programs that want one beside their
// own (the viewer's demo mode). start() returns once it listens; stop() ends it. Nothing but a pipe and the
// start result cross between the threads.
class SimulatorThread {
public:
    SimulatorThread() = default;
    ~SimulatorThread();
    SimulatorThread(const SimulatorThread&) = delete;
    SimulatorThread& operator=(const SimulatorThread&) = delete;

    bool start(const SimulatorOptions& options, QString& error);
    void stop();
    quint16 tcpPort() const { return m_tcpPort; }
    QString rtuPath() const { return QString::fromStdString(m_rtuPath); }

private:
    std::thread m_thread;
    int m_stopPipe[2] = {-1, -1};
    quint16 m_tcpPort = 0;
    std::string m_rtuPath;
};

} // namespace quirel::sim
