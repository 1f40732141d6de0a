#include "Simulator.h"

#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <future>
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
    // An identification object holds the value and at least one closing zero byte; a longer value would be
    // answered cut, unlike the [DeviceId] Revision of the served catalogue.
    constexpr auto kMaxIdentification = RequestProcessor::kIdentificationObjectLength - 1;
    for (const QString* value : {&options.vendor, &options.product, &options.revision}) {
        if (static_cast<std::size_t>(value->toUtf8().size()) > kMaxIdentification) {
            error = QString("vendor, product and revision take at most %1 bytes: %2")
                        .arg(kMaxIdentification)
                        .arg(*value);
            return false;
        }
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
    if (!options.bootLoader.version.isEmpty() && !options.pty && options.rtuDevice.isEmpty()) {
        error = "the bootloader serves a serial line: give --pty or --rtu";
        return false;
    }
    const auto unit = static_cast<std::uint8_t>(options.slave);
    if (options.tcp) {
        m_tcp = std::make_unique<TcpFrontEnd>(*m_processor, m_faults, unit);
        if (!m_tcp->listen(options.tcpAddress, options.tcpPort, error) ||
            !m_tcp->setRefusing(m_faults.refuse(), error))
            return false;
    }
    if (options.pty || !options.rtuDevice.isEmpty()) {
        m_rtu = std::make_unique<RtuFrontEnd>(*m_processor, m_faults, unit);
        const bool ok =
            options.pty ? m_rtu->openPty(error) : m_rtu->openDevice(options.rtuDevice, options.line, error);
        if (!ok)
            return false;
        if (!options.bootLoader.version.isEmpty()) {
            m_rtu->attachBootLoader(options.bootLoader);
            if (options.bootLoader.powerCycle)
                m_rtu->bootLoader()->start();
        }
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
    const QStringList words = trimmed.split(' ', Qt::SkipEmptyParts);
    // An event text must fit the device's description field and must not split the line's fields.
    const auto eventText = [](const QString& text) {
        return !text.contains(';') &&
               static_cast<std::size_t>(text.toUtf8().size()) <= EventLog::kMaxDescription;
    };
    if (!words.isEmpty() && words[0] == "trip") {
        bool ok = false;
        const int detail = words.size() >= 2 ? words[1].toInt(&ok) : 0;
        const QString text = words.mid(2).join(' ');
        if (!ok || !eventText(text) || !m_model->trip(detail, text.toStdString()))
            return "error usage: trip DETAIL [TEXT] (DETAIL 1..11 of parameter 21; TEXT at most 40 bytes, "
                   "no \";\")";
        return QString("ok trip %1").arg(detail);
    }
    if (trimmed == "power-cycle") {
        BootLoader* loader = m_rtu ? m_rtu->bootLoader() : nullptr;
        if (!loader)
            return "error power-cycle needs --bootloader";
        return loader->powerCycle() ? "ok power-cycle bootloader" : "ok power-cycle firmware";
    }
    if (!words.isEmpty() && words[0] == "event") {
        const QString kind = words.size() >= 2 ? words[1].toLower() : QString();
        const QString text = words.mid(2).join(' ');
        if ((kind != "error" && kind != "status" && kind != "info") || text.isEmpty() || !eventText(text))
            return "error usage: event error|status|info TEXT (TEXT at most 40 bytes, no \";\")";
        const double t = m_model->now();
        const auto k = kind == "error"    ? EventLog::Kind::Error
                       : kind == "status" ? EventLog::Kind::Status
                                          : EventLog::Kind::Info;
        m_model->eventLog().append(t + m_model->clockOffset(), t, text.toStdString(), k);
        return "ok event";
    }
    std::string reply;
    m_faults.apply(trimmed.toStdString(), reply);
    QString error;
    if (m_tcp && !m_tcp->setRefusing(m_faults.refuse(), error))
        return "error " + error;
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
        if (n < 0 && errno == EIO && ::isatty(STDIN_FILENO)) {
            // A background job of a terminal (the program ignores SIGTTIN): the input belongs to the
            // foreground job. Look again later, so that commands work once the job is brought to the front.
            m_stdin->setEnabled(false);
            QTimer::singleShot(1000, m_stdin, [notifier = m_stdin] { notifier->setEnabled(true); });
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            m_stdin->setEnabled(false); // end of input: keep serving
        }
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
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        error = QString("pipe: %1").arg(std::strerror(errno));
        return false;
    }
    struct Started {
        bool ok = false;
        std::string error;
        quint16 port = 0;
        std::string rtuPath;
    };
    std::promise<Started> started;
    std::future<Started> result = started.get_future();
    SimulatorOptions threadOptions = options;
    threadOptions.commandsOnStdin = false; // the host program owns its stdin
    const int stopFd = m_stopPipe[0];
    m_thread = std::thread([threadOptions, stopFd, &started] {
        // Everything Qt lives in this thread: simulator, sockets, timers and the loop that runs them.
        QEventLoop loop;
        Simulator simulator;
        QString message;
        Started outcome;
        outcome.ok = simulator.start(threadOptions, message);
        outcome.error = message.toStdString();
        outcome.port = simulator.tcpPort();
        outcome.rtuPath = simulator.rtuPath().toStdString();
        const bool ok = outcome.ok;
        started.set_value(std::move(outcome));
        if (!ok)
            return;
        QSocketNotifier stopNotifier(stopFd, QSocketNotifier::Read);
        QObject::connect(&stopNotifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        QObject::connect(&simulator, &Simulator::quitRequested, &loop, &QEventLoop::quit);
        loop.exec();
    });
    const Started outcome = result.get();
    if (!outcome.ok) {
        error = QString::fromStdString(outcome.error);
        stop();
        return false;
    }
    m_tcpPort = outcome.port;
    m_rtuPath = outcome.rtuPath;
    return true;
}

void SimulatorThread::stop() {
    if (m_thread.joinable()) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(m_stopPipe[1], &byte, 1);
        m_thread.join();
    }
    for (int& fd : m_stopPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    m_tcpPort = 0;
    m_rtuPath.clear();
}

} // namespace quirel::sim
