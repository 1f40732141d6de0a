#include "Simulator.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quirel::sim {

Simulator::Simulator(QObject* parent) : QObject(parent) {
    // The trigger is followed continuously, so a capture completes even while nobody polls.
    m_tick.setInterval(20);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        if (m_model)
            m_model->advance();
    });
}

Simulator::~Simulator() {
    if (m_linkCreated)
        ::unlink(m_link.toLocal8Bit().constData());
}

bool Simulator::start(const SimulatorOptions& options, QString& error) {
    m_options = options;
    const std::string mapPath =
        options.cataloguePath.isEmpty() ? defaultCataloguePath() : options.cataloguePath.toStdString();
    SimCatalogue catalogue;
    std::string message;
    if (!loadSimCatalogue(mapPath, catalogue, message)) {
        error = QString::fromStdString(message);
        return false;
    }
    if (!options.deviceCataloguePath.isEmpty()) {
        SimCatalogue served;
        if (!loadSimCatalogue(options.deviceCataloguePath.toStdString(), served, message)) {
            error = QString::fromStdString(message);
            return false;
        }
        catalogue.fileBytes = served.fileBytes;
        catalogue.revision = served.revision;
    }
    if (catalogue.fileBytes.size() >= DeviceModel::kCatalogueFileBytes * 11) {
        error = "the catalogue does not fit the device's catalogue files (220000 bytes)";
        return false;
    }
    if (options.slave < 1 || options.slave > 247) {
        error = "slave address must be 1 to 247";
        return false;
    }
    DeviceIdentity identity;
    identity.vendorName =
        options.vendor.isEmpty()
            ? (catalogue.vendorName.empty() ? "Tolvane International Ltd" : catalogue.vendorName)
            : options.vendor.toStdString();
    identity.productCode = options.product.isEmpty()
                               ? (catalogue.productCode.empty() ? "AHF-100" : catalogue.productCode)
                               : options.product.toStdString();
    identity.revision = options.revision.isEmpty() ? catalogue.revision : options.revision.toStdString();
    m_model = std::make_unique<DeviceModel>(std::move(catalogue), identity, options.seed);
    m_model->setStoredValue(230, static_cast<std::uint32_t>(options.slave));
    m_processor = std::make_unique<RequestProcessor>(*m_model, m_faults);

    for (const QString& line : options.faultCommands) {
        std::string reply;
        if (!m_faults.apply(line.toStdString(), reply)) {
            error = QString::fromStdString(reply);
            return false;
        }
    }
    const auto unit = static_cast<std::uint8_t>(options.slave);
    if (options.tcp) {
        m_tcp = std::make_unique<TcpFrontEnd>(*m_processor, m_faults, unit);
        if (!m_tcp->listen(options.tcpAddress, options.tcpPort, error))
            return false;
        m_tcp->setRefusing(m_faults.refuse());
    }
    if (options.pty || !options.rtuDevice.isEmpty()) {
        m_rtu = std::make_unique<RtuFrontEnd>(*m_processor, m_faults, unit);
        const bool ok =
            options.pty ? m_rtu->openPty(error) : m_rtu->openDevice(options.rtuDevice, options.line, error);
        if (!ok)
            return false;
        if (options.pty && !options.link.isEmpty()) {
            m_link = options.link;
            const QByteArray link = m_link.toLocal8Bit();
            struct stat st {};
            // Replace an old link of ours, never a real file.
            if (::lstat(link.constData(), &st) == 0 && S_ISLNK(st.st_mode))
                ::unlink(link.constData());
            if (::symlink(m_rtu->path().toLocal8Bit().constData(), link.constData()) != 0) {
                error = QString("cannot create link %1: %2").arg(m_link, std::strerror(errno));
                return false;
            }
            m_linkCreated = true;
        }
    }
    if (options.control) {
        m_control = new QTcpServer(this);
        connect(m_control, &QTcpServer::newConnection, this, &Simulator::onControlConnection);
        if (!m_control->listen(options.controlAddress, options.controlPort)) {
            error = m_control->errorString();
            return false;
        }
    }
    if (options.commandsOnStdin) {
        m_stdin = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_stdin, &QSocketNotifier::activated, this, &Simulator::onStdin);
    }
    m_tick.start();
    return true;
}

quint16 Simulator::controlPort() const {
    return m_control ? m_control->serverPort() : 0;
}

QStringList Simulator::connectionLines() const {
    QStringList lines;
    if (m_tcp) {
        const QString host = m_tcp->address().protocol() == QAbstractSocket::IPv6Protocol
                                 ? QString("[%1]").arg(m_tcp->address().toString())
                                 : m_tcp->address().toString();
        lines << QString("tcp %1:%2").arg(host).arg(m_tcp->port());
    }
    if (m_rtu)
        lines << QString("%1 %2").arg(m_options.pty ? "pty" : "rtu", m_rtu->path());
    if (m_linkCreated)
        lines << QString("link %1").arg(m_link);
    if (m_control)
        lines << QString("control %1:%2")
                     .arg(m_control->serverAddress().toString())
                     .arg(m_control->serverPort());
    return lines;
}

QString Simulator::command(const QString& line) {
    const QString trimmed = line.trimmed();
    if (trimmed == "quit") {
        emit quitRequested();
        return "ok quit";
    }
    std::string reply;
    m_faults.apply(trimmed.toStdString(), reply);
    if (m_tcp)
        m_tcp->setRefusing(m_faults.refuse());
    return QString::fromStdString(reply);
}

void Simulator::onControlConnection() {
    while (QTcpSocket* socket = m_control->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QString line = QString::fromUtf8(socket->readLine());
                if (line.trimmed().isEmpty())
                    continue;
                socket->write(command(line).toUtf8() + "\n");
            }
        });
    }
}

void Simulator::onStdin() {
    char chunk[1024];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            m_stdin->setEnabled(false); // end of input: keep serving
        return;
    }
    m_stdinBuffer.append(chunk, n);
    for (qsizetype end; (end = m_stdinBuffer.indexOf('\n')) >= 0;) {
        const QString line = QString::fromUtf8(m_stdinBuffer.left(end));
        m_stdinBuffer.remove(0, end + 1);
        if (line.trimmed().isEmpty())
            continue;
        const QByteArray reply = command(line).toUtf8() + "\n";
        ::fwrite(reply.constData(), 1, static_cast<std::size_t>(reply.size()), stdout);
        ::fflush(stdout);
    }
}

SimulatorThread::~SimulatorThread() {
    stop();
}

bool SimulatorThread::start(const SimulatorOptions& options, QString& error) {
    stop();
    m_thread = new QThread;
    m_thread->setObjectName("quirel-sim");
    m_thread->start();
    bool ok = false;
    Simulator* simulator = nullptr;
    SimulatorOptions threadOptions = options;
    threadOptions.commandsOnStdin = false; // the host program owns its stdin
    // Create the simulator inside the thread, so that its sockets and timers belong to that thread.
    auto* context = new QObject;
    context->moveToThread(m_thread);
    QMetaObject::invokeMethod(
        context,
        [&] {
            simulator = new Simulator;
            ok = simulator->start(threadOptions, error);
            if (!ok) {
                delete simulator;
                simulator = nullptr;
            }
        },
        Qt::BlockingQueuedConnection);
    context->deleteLater();
    m_simulator = simulator;
    if (!ok) {
        stop();
        return false;
    }
    m_tcpPort = m_simulator->tcpPort();
    m_rtuPath = m_simulator->rtuPath();
    return true;
}

void SimulatorThread::stop() {
    if (!m_thread)
        return;
    if (m_simulator) {
        Simulator* simulator = m_simulator;
        QMetaObject::invokeMethod(
            simulator, [simulator] { delete simulator; }, Qt::BlockingQueuedConnection);
        m_simulator = nullptr;
    }
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_tcpPort = 0;
    m_rtuPath.clear();
}

} // namespace quirel::sim
