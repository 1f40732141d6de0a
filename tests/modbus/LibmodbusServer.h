#pragma once

#include <atomic>
#include <functional>
#include <modbus/modbus.h>
#include <mutex>
#include <string>
#include <thread>

namespace quirel::test {

// A libmodbus slave answering from its register map on a thread of its own: 100 coils, 200 holding and
// 200 input registers.
class LibmodbusServer {
public:
    virtual ~LibmodbusServer();
    bool ok() const { return ok_; }
    // Runs f on the register map while no request is being answered.
    void withMapping(const std::function<void(modbus_mapping_t&)>& f);

protected:
    LibmodbusServer();
    void stop();
    // Answers one request waiting on ctx; false when the connection is gone.
    bool serveOne(modbus_t* ctx);

    modbus_mapping_t* mapping_ = nullptr;
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    bool ok_ = false;
};

// Modbus TCP on a free loopback port; any number of clients at once.
class LibmodbusTcpServer : public LibmodbusServer {
public:
    explicit LibmodbusTcpServer(int slave = 1);
    ~LibmodbusTcpServer() override;
    int port() const { return port_; }

private:
    int listen_ = -1;
    int port_ = 0;
    modbus_t* ctx_ = nullptr;
};

// Modbus RTU on a serial device (one side of a pty pair), 8N1.
class LibmodbusRtuServer : public LibmodbusServer {
public:
    LibmodbusRtuServer(const std::string& path, int baud, int slave = 1);
    ~LibmodbusRtuServer() override;

private:
    modbus_t* ctx_ = nullptr;
};

} // namespace quirel::test
