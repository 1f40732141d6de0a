// Functions 20 and 43/14 against a QtSerialBus slave, an implementation independent of ours.
#include "TestPeers.h"

#include "modbus/MbusTcpMasterProtocol.h"

#include <QCoreApplication>
#include <QModbusDeviceIdentification>
#include <QModbusTcpServer>
#include <QVariant>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

using namespace std::chrono_literals;

// QtSerialBus keeps a small allocation per served TCP client beyond the server's life; not ours to fix.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6SerialBus.so";
}

namespace {

// Record r of file f holds the words f * 1000 + r + i; Qt itself refuses function 20.
template <typename Base> class RecordServer : public Base {
protected:
    QModbusResponse processRequest(const QModbusPdu& request) override {
        if (request.functionCode() != QModbusPdu::ReadFileRecord)
            return Base::processRequest(request);
        const QByteArray d = request.data();
        if (d.size() != 8 || d[1] != 6)
            return QModbusExceptionResponse(request.functionCode(),
                                            QModbusExceptionResponse::IllegalDataValue);
        auto word = [&](int i) { return (quint8(d[i]) << 8) | quint8(d[i + 1]); };
        const int file = word(2), record = word(4), length = word(6);
        QByteArray reply;
        reply.append(char(2 * length + 2));
        reply.append(char(2 * length + 1));
        reply.append(char(6));
        for (int i = 0; i < length; ++i) {
            const int value = file * 1000 + record + i;
            reply.append(char(value >> 8));
            reply.append(char(value & 0xFF));
        }
        return QModbusResponse(QModbusPdu::ReadFileRecord, reply);
    }
};

// Basic identification objects padded so that the reply is the 108 bytes the device always sends.
const QByteArray kVendor = "Tolvane International Ltd";
const QByteArray kRevision = "V1.02";
const QByteArray kProduct = QByteArray("AHF-100 active harmonic filter").leftJustified(96 - 25 - 5, ' ');

// Runs the master call on a thread of its own while the Qt slave's events are handled here.
template <typename Call> int runAgainstQt(Call call) {
    auto result = std::async(std::launch::async, call);
    while (result.wait_for(0ms) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return result.get();
}

} // namespace

TEST(ModbusQtPeer, FileRecordAndDeviceIdentification) {
    int argc = 1;
    char name[] = "quirel_modbus_qt_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    RecordServer<QModbusTcpServer> server;
    int port = 0;
    for (int attempt = 0; attempt < 5 && server.state() != QModbusDevice::ConnectedState; ++attempt) {
        port = quirel::test::unusedLoopbackPort();
        server.setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
        server.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
        server.setServerAddress(1);
        server.connectDevice();
    }
    ASSERT_EQ(server.state(), QModbusDevice::ConnectedState);
    QModbusDeviceIdentification id;
    id.insert(QModbusDeviceIdentification::VendorNameObjectId, kVendor);
    id.insert(QModbusDeviceIdentification::ProductCodeObjectId, kProduct);
    id.insert(QModbusDeviceIdentification::MajorMinorRevisionObjectId, kRevision);
    id.setConformityLevel(QModbusDeviceIdentification::BasicConformityLevel);
    server.setValue(QModbusServer::DeviceIdentification, QVariant::fromValue(id));
    MbusTcpMasterProtocol master;
    ASSERT_EQ(runAgainstQt([&] { return master.openProtocol("127.0.0.1:" + std::to_string(port)); }), 0);
    std::uint8_t record[6];
    ASSERT_EQ(runAgainstQt([&] { return master.readFileRecord(1, 7, 4, 20, 3, record); }), 0);
    EXPECT_EQ(quirel::test::Bytes(record, record + 6),
              (quirel::test::Bytes{0x0F, 0xB4, 0x0F, 0xB5, 0x0F, 0xB6})); // 4020, 4021, 4022

    std::uint8_t out[102];
    ASSERT_EQ(runAgainstQt([&] { return master.readDeviceIdentification(1, sizeof out, 1, 0, out); }), 0);
    // Objects 0, 1, 2 in turn: id, length, text.
    std::size_t at = 0;
    const QByteArray expected[] = {kVendor, kProduct, kRevision};
    for (int object = 0; object < 3; ++object) {
        ASSERT_EQ(out[at], object);
        ASSERT_EQ(out[at + 1], expected[object].size());
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(out + at + 2), out[at + 1]), expected[object]);
        at += 2 + out[at + 1];
    }
    EXPECT_EQ(at, sizeof out);
    master.closeProtocol();
    server.disconnectDevice();
}
