// The simulator library in-process, as the viewer's demo mode uses it: a thread of its own, a free port.

#include "Simulator.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>

namespace {

TEST(SimLibrary, ThreadServesOnAFreePortAndStops) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    quirel::sim::SimulatorThread thread;
    quirel::sim::SimulatorOptions options;
    options.tcp = true;
    QString error;
    ASSERT_TRUE(thread.start(options, error)) << error.toStdString();
    ASSERT_GT(thread.tcpPort(), 0);

    modbus_t* mb = modbus_new_tcp("127.0.0.1", thread.tcpPort());
    modbus_set_slave(mb, 1);
    ASSERT_EQ(modbus_connect(mb), 0);
    uint16_t regs[2];
    EXPECT_EQ(modbus_read_input_registers(mb, 9, 2, regs), 2) << modbus_strerror(errno);
    modbus_close(mb);
    modbus_free(mb);

    const quint16 port = thread.tcpPort();
    thread.stop();
    EXPECT_EQ(thread.tcpPort(), 0);
    mb = modbus_new_tcp("127.0.0.1", port);
    EXPECT_EQ(modbus_connect(mb), -1) << "nothing listens after stop";
    modbus_free(mb);

    options.cataloguePath = "/nonexistent/Parameters.ini";
    EXPECT_FALSE(thread.start(options, error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
