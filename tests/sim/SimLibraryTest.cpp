// The simulator library in-process, as the viewer's demo mode uses it: a thread of its own, a free port.

#include "SimProcess.h"
#include "Simulator.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

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
    const int port = thread.tcpPort();
    EXPECT_EQ(RawTcp(port).transact(1, {0x04, 0x00, 0x09, 0x00, 0x02}).size(), 7U + 2 + 4) << "connect probe";
    thread.stop();
    EXPECT_EQ(thread.tcpPort(), 0);
    EXPECT_FALSE(RawTcp(port).connected()) << "nothing listens after stop";
    options.cataloguePath = "/nonexistent/Parameters.ini";
    EXPECT_FALSE(thread.start(options, error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
