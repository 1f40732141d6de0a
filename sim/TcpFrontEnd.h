#pragma once

#include "Faults.h"
#include "RequestProcessor.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

namespace quirel::sim {

// Modbus TCP: MBAP framing over QTcpServer, with the fault options applied to each reply.
class TcpFrontEnd : public QObject {
    Q_OBJECT
public:
    TcpFrontEnd(RequestProcessor& processor, Faults& faults, std::uint8_t unitId, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port, QString& error);
    QHostAddress address() const { return m_address; }
    quint16 port() const { return m_port; }
    // Stops or resumes accepting connections (the refuse fault); existing connections stay. False with a
    // message when the port cannot be listened on again (taken meanwhile); a later call tries again.
    bool setRefusing(bool refuse, QString& error);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void handleFrame(QTcpSocket* socket, const QByteArray& frame);
    void send(QTcpSocket* socket, const QByteArray& bytes, bool closeAfter);

    RequestProcessor& m_processor;
    Faults& m_faults;
    std::uint8_t m_unitId;
    QTcpServer m_server;
    QHostAddress m_address;
    quint16 m_port = 0;
    bool m_refusing = false;
};

} // namespace quirel::sim
