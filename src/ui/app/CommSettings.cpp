#include "ui/app/CommSettings.h"

#include "comm/ControllerModbus.h"
#include "ui/common/SettingsStore.h"

#include <QSerialPortInfo>

namespace quirel::ui {

std::string DefaultSerialPort() {
    // "COM1" names nothing here: the first port the system lists, else the usual USB adapter.
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    if (!ports.isEmpty())
        return ports.first().systemLocation().toStdString();
    return "/dev/ttyUSB0";
}

void ExchangeCommSettings(ISettingsStore& store, CControllerModbus& controller, bool load) {
    const char* s = kCommSection;
    if (load) {
        const int protocol = store.GetInt(s, "Protocol", 1);
        const std::string host = store.GetString(s, "Host", "0.0.0.0");
        const std::string port = store.GetString(s, "ComPort", DefaultSerialPort());
        const int baud = store.GetInt(s, "BaudRate", 38400);
        const int dataBits = store.GetInt(s, "DataBits", 8);
        const int stopBits = store.GetInt(s, "StopBits", 1);
        const std::string parity = store.GetString(s, "Parity", "N");
        const int slaveId = store.GetInt(s, "SlaveId", 1);
        const int modem = store.GetInt(s, "Modem", 0);

        controller.SetSlaveId(slaveId);
        controller.SetModem(modem);
        // A value outside what the master accepts is not taken: the default stays.
        controller.SetTimeout(store.GetInt(s, "ReplyTimeout", CControllerModbus::kTimeoutMs));
        controller.SetTries(store.GetInt(s, "Tries", CControllerModbus::kTries));
        const auto serial = [&] {
            controller.SetSerialSettings(port, static_cast<uint32_t>(baud), static_cast<int16_t>(dataBits),
                                         static_cast<int16_t>(stopBits), parity);
        };
        if (protocol == 0) {
            serial();
            controller.SetTcpSettings(host);
        } else if (protocol == 1) {
            controller.SetTcpSettings(host);
            serial();
        }
        return;
    }
    store.WriteInt(s, "Protocol", controller.GetProtocol());
    store.WriteString(s, "Host", controller.GetHost());
    store.WriteInt(s, "SlaveId", controller.GetSlaveId());
    store.WriteString(s, "ComPort", controller.GetPortName());
    store.WriteInt(s, "BaudRate", static_cast<int>(controller.GetBaudRate()));
    store.WriteInt(s, "DataBits", controller.GetDataBits());
    store.WriteInt(s, "StopBits", controller.GetStopBits());
    store.WriteString(s, "Parity", controller.GetParity());
    store.WriteInt(s, "Modem", controller.GetModem());
    store.WriteInt(s, "ReplyTimeout", controller.GetTimeout());
    store.WriteInt(s, "Tries", controller.GetTries());
    store.Flush();
}

} // namespace quirel::ui
