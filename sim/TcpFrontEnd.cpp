#include "TcpFrontEnd.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace quirel::sim {

namespace {
const char* kBufferProperty = "quirelBuffer";
const char* kCountProperty = "quirelRequests";
} // namespace

TcpFrontEnd::TcpFrontEnd(RequestProcessor& processor, Faults& faults, std::uint8_t unitId, QObject* parent)
    : QObject(parent), m_processor(processor), m_faults(faults), m_unitId(unitId) {
    connect(&m_server, &QTcpServer::newConnection, this, &TcpFrontEnd::onNewConnection);
}

bool TcpFrontEnd::listen(const QHostAddress& address, quint16 port, QString& error) {
    if (!m_server.listen(address, port)) {
        error = m_server.errorString();
        return false;
    }
    m_address = address;
    m_port = m_server.serverPort();
    return true;
}

bool TcpFrontEnd::setRefusing(bool refuse, QString& error) {
    if (refuse == m_refusing)
        return true;
    if (refuse) {
        // Closing the listening socket makes the kernel answer connects with a reset.
        m_server.close();
    } else if (!m_server.listen(m_address, m_port)) {
        error = QString("cannot listen on port %1 again: %2").arg(m_port).arg(m_server.errorString());
        return false;
    }
    m_refusing = refuse;
    return true;
}

void TcpFrontEnd::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_faults.refuse()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setProperty(kCountProperty, 0);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TcpFrontEnd::onReadyRead(QTcpSocket* socket) {
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    while (buffer.size() >= 7) {
        const auto* b = reinterpret_cast<const unsigned char*>(buffer.constData());
        const int protocol = (b[2] << 8) | b[3];
        const int length = (b[4] << 8) | b[5];
        if (protocol != 0 || length < 2 || length > 254) {
            // Not Modbus TCP: nothing after this can be framed reliably.
            socket->abort();
            return;
        }
        if (buffer.size() < 6 + length)
            break;
        const QByteArray frame = buffer.left(6 + length);
        buffer.remove(0, 6 + length);
        handleFrame(socket, frame);
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
    socket->setProperty(kBufferProperty, buffer);
}

void TcpFrontEnd::handleFrame(QTcpSocket* socket, const QByteArray& frame) {
    const auto unit = static_cast<std::uint8_t>(frame[6]);
    // A directly attached device answers its own unit id and the two "this device" ids of Modbus TCP;
    // anything else stays unanswered, as on a serial line.
    if (unit != m_unitId && unit != 0 && unit != 0xFF)
        return;
    const int requests = socket->property(kCountProperty).toInt() + 1;
    socket->setProperty(kCountProperty, requests);
    const bool closeAfter = m_faults.closeAfter() > 0 && requests >= m_faults.closeAfter();

    const std::string reply = m_processor.process(frame.mid(7).toStdString());
    if (reply.empty() || m_faults.takeDrop()) {
        if (closeAfter)
            send(socket, {}, true);
        return;
    }
    QByteArray out = frame.left(4);
    out.append(static_cast<char>((reply.size() + 1) >> 8));
    out.append(static_cast<char>((reply.size() + 1) & 0xFF));
    out.append(static_cast<char>(unit));
    out.append(reply.data(), static_cast<qsizetype>(reply.size()));
    send(socket, out, closeAfter);
    if (m_faults.takeStray()) {
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(m_faults.delayMs() + m_faults.strayDelayMs(), socket, [guard, out] {
            if (guard && guard->state() == QAbstractSocket::ConnectedState)
                guard->write(out);
        });
    }
}

void TcpFrontEnd::send(QTcpSocket* socket, const QByteArray& bytes, bool closeAfter) {
    auto deliver = [bytes, closeAfter](QTcpSocket* s) {
        if (s->state() != QAbstractSocket::ConnectedState)
            return;
        if (!bytes.isEmpty())
            s->write(bytes);
        if (closeAfter)
            s->disconnectFromHost();
    };
    if (m_faults.delayMs() <= 0) {
        deliver(socket);
        return;
    }
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(m_faults.delayMs(), socket, [guard, deliver] {
        if (guard)
            deliver(guard.data());
    });
}

} // namespace quirel::sim
