#include "LibmodbusServer.h"

#include "TestPeers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace quirel::test {

LibmodbusServer::LibmodbusServer() {
    mapping_ = modbus_mapping_new(100, 0, 200, 200);
}

LibmodbusServer::~LibmodbusServer() {
    stop();
    modbus_mapping_free(mapping_);
}

void LibmodbusServer::stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void LibmodbusServer::withMapping(const std::function<void(modbus_mapping_t&)>& f) {
    std::lock_guard lock(mutex_);
    f(*mapping_);
}

bool LibmodbusServer::serveOne(modbus_t* ctx) {
    std::uint8_t query[MODBUS_MAX_ADU_LENGTH];
    int length = modbus_receive(ctx, query);
    if (length > 0) {
        std::lock_guard lock(mutex_);
        modbus_reply(ctx, query, length, mapping_);
    }
    return length >= 0;
}

LibmodbusTcpServer::LibmodbusTcpServer(int slave) {
    listen_ = listenOnFreeLoopbackPort(&port_);
    if (listen_ < 0)
        return;
    ctx_ = modbus_new_tcp("127.0.0.1", port_);
    modbus_set_slave(ctx_, slave); // its TCP default would be 0xFF
    modbus_set_indication_timeout(ctx_, 1, 0);
    ok_ = mapping_ && ctx_;
    if (!ok_)
        return;
    thread_ = std::thread([this] {
        std::vector<int> clients;
        while (!stop_) {
            std::vector<pollfd> fds{{listen_, POLLIN, 0}};
            for (int c : clients)
                fds.push_back({c, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                int c = ::accept(listen_, nullptr, nullptr);
                if (c >= 0) {
                    int noDelay = 1;
                    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
                    clients.push_back(c);
                }
            }
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                modbus_set_socket(ctx_, fds[i].fd);
                if (!serveOne(ctx_)) {
                    ::close(fds[i].fd);
                    std::erase(clients, fds[i].fd);
                }
            }
        }
        for (int c : clients)
            ::close(c);
    });
}

LibmodbusTcpServer::~LibmodbusTcpServer() {
    stop();
    if (ctx_) {
        modbus_set_socket(ctx_, -1);
        modbus_free(ctx_);
    }
    if (listen_ >= 0)
        ::close(listen_);
}

LibmodbusRtuServer::LibmodbusRtuServer(const std::string& path, int baud, int slave) {
    ctx_ = modbus_new_rtu(path.c_str(), baud, 'N', 8, 1);
    if (!ctx_ || !mapping_)
        return;
    modbus_set_slave(ctx_, slave);
    if (modbus_connect(ctx_) != 0)
        return;
    // Wake up now and then to see whether the test is done.
    modbus_set_indication_timeout(ctx_, 0, 50000);
    ok_ = true;
    thread_ = std::thread([this] {
        while (!stop_)
            serveOne(ctx_);
    });
}

LibmodbusRtuServer::~LibmodbusRtuServer() {
    stop();
    if (ctx_) {
        modbus_close(ctx_);
        modbus_free(ctx_);
    }
}

} // namespace quirel::test
