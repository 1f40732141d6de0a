// The device scan over a serial line modelled as UARTs see it: characters sent at another baud rate or
// parity than the receiver's arrive garbled or not at all (a pseudo-terminal cannot show this: it has no
// character format). The slave behind the line is the simulator's request processing.
#include "comm/DeviceScan.h"
#include "Crc16.h"
#include "DeviceModel.h"
#include "Faults.h"
#include "RequestProcessor.h"
#include "SimCatalogue.h"
#include "base/CancelSignal.h"
#include "modbus/MbusRtuMasterProtocol.h"

#include <bit>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;
using quirel::SerialPort;

// What a receiver set to `to` makes of characters sent as `from`. Stop bits do not matter: a UART checks
// only the first.
Bytes Received(const Bytes& sent, const ScanLine& from, const ScanLine& to) {
    if (from.baud == to.baud && from.parity == to.parity)
        return sent;
    Bytes out;
    for (const uint8_t c : sent) {
        if (from.baud != to.baud)
            out.push_back(static_cast<uint8_t>(c >> 1 | 0x80)); // sampled at the wrong instants
        else if (std::popcount(c) % 2 == 0)
            out.push_back(c); // the others fail the parity check
    }
    return out;
}

// One slave on the line, in its own character format; address 0 is a line without one.
struct Slave {
    ScanLine line;
    uint8_t address = 0;
    std::string fault; // a simulator fault command
};

class UartLine : public SerialPort {
public:
    UartLine(const Slave& slave, quirel::sim::RequestProcessor& processor)
        : m_slave(slave), m_processor(processor) {}

    Result open(const std::string&) override { return m_open = true, Result::Ok; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    Result configure(uint32_t baud, int, int stopBits, int parity, int) override {
        m_line = ScanLine{baud, "NOE"[parity], stopBits};
        return Result::Ok;
    }
    Result write(const uint8_t* bytes, std::size_t count, int) override {
        const Bytes frame = Received(Bytes(bytes, bytes + count), m_line, m_slave.line);
        const std::size_t n = frame.size();
        if (m_slave.address == 0 || n < 4 || frame[0] != m_slave.address ||
            quirel::sim::crc16Modbus(frame.data(), n) != 0) // over the CRC too: 0 when it holds
            return Result::Ok;                              // the slave keeps quiet
        const std::string pdu = m_processor.process(std::string(frame.begin() + 1, frame.end() - 2));
        Bytes reply{frame[0]};
        reply.insert(reply.end(), pdu.begin(), pdu.end());
        const uint16_t crc = quirel::sim::crc16Modbus(reply.data(), reply.size());
        reply.push_back(static_cast<uint8_t>(crc & 0xFF));
        reply.push_back(static_cast<uint8_t>(crc >> 8));
        m_arrived = Received(reply, m_slave.line, m_line);
        return Result::Ok;
    }
    Result read(uint8_t* buffer, std::size_t count, int timeoutMs, std::size_t* got) override {
        const std::size_t n = std::min(count, m_arrived.size());
        std::copy_n(m_arrived.begin(), n, buffer);
        m_arrived.erase(m_arrived.begin(), m_arrived.begin() + static_cast<long>(n));
        if (got)
            *got = n;
        if (n == count)
            return Result::Ok;
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs)); // a quiet line
        return Result::TimeOut;
    }
    Result purge() override { return m_arrived.clear(), Result::Ok; }
    Result drain(int) override { return Result::Ok; }

private:
    const Slave& m_slave;
    quirel::sim::RequestProcessor& m_processor;
    ScanLine m_line;
    Bytes m_arrived;
    bool m_open = false;
};

class LineMaster : public MbusRtuMasterProtocol {
public:
    explicit LineMaster(std::unique_ptr<SerialPort> line) : MbusRtuMasterProtocol(std::move(line)) {}
};

struct Recorder : IDeviceScanObserver {
    quirel::CancelSignal* cancelAt1 = nullptr; // raised before the first probe
    std::vector<std::string> probes, found;
    std::size_t total = 0;
    void OnProbe(const ScanTarget& next, std::size_t, std::size_t all) override {
        if (cancelAt1)
            cancelAt1->raise();
        probes.push_back(LineText(next.line) + " " + std::to_string(next.slave));
        total = all;
    }
    void OnFound(const ScanAnswer& a) override {
        found.push_back(LineText(a.at.line) + " slave " + std::to_string(a.at.slave) + " result " +
                        std::to_string(a.result) + " " + a.identification.vendorName + "/" +
                        a.identification.productCode);
    }
    void OnLineRefused(const ScanLine&, const std::string&) override {}
};

TEST(DeviceScan, FindsWhatAnswersOnTheLineTryingTheCommonSettingsFirst) {
    quirel::sim::SimCatalogue catalogue;
    std::string error;
    ASSERT_TRUE(quirel::sim::loadSimCatalogue(QUIREL_RESOURCES_DIR "/Parameters.ini", catalogue, error));
    const quirel::sim::DeviceModel pristine(catalogue, {"Tolvane International Ltd", "AHF-100", "V2.14"}, 1);
    struct Case {
        Slave slave;
        std::vector<uint32_t> bauds;
        std::string parities;
        std::vector<int> stops, slaves;
        bool cancel;
        std::vector<std::string> found;
        std::size_t probes;
        std::vector<std::string> firstProbes;
    };
    // Another baud rate, parity and address than the defaults; two stop bits find it again, but it is one
    // device, and slave 1 is tried at every line setting first. An exception answer is a slave that is
    // there. A silent line; a scan cancelled before its first probe.
    // clang-format off
    const Case cases[] = {
        {{{57600, 'E', 1}, 7, ""}, {57600, 115200}, "NE", {1, 2}, {7, 6, 1}, false,
         {"57600 8E1 slave 7 result 0 Tolvane International Ltd/AHF-100"}, 23,
         {"115200 8N1 1", "115200 8E1 1", "57600 8N1 1", "57600 8E1 1", "115200 8N2 1", "115200 8E2 1",
          "57600 8N2 1", "57600 8E2 1", "115200 8N1 6"}},
        {{{115200, 'N', 1}, 1, "exception 2 10 11"}, {115200}, "N", {1}, {1}, false,
         {"115200 8N1 slave 1 result 162 Tolvane International Ltd/AHF-100"}, 1, {}},
        {{{115200, 'N', 1}, 0, ""}, {115200}, "NE", {1}, {1, 2}, false, {}, 4, {}},
        {{{115200, 'N', 1}, 1, ""}, {115200}, "N", {1}, {1}, true, {}, 1, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        quirel::sim::DeviceModel model = pristine;
        quirel::sim::Faults faults;
        std::string reply;
        ASSERT_TRUE(c.slave.fault.empty() || faults.apply(c.slave.fault, reply)) << reply;
        quirel::sim::RequestProcessor processor(model, faults);
        DeviceScanOptions options;
        options.target = "line";
        options.bauds = c.bauds;
        options.parities = c.parities;
        options.stopBits = c.stops;
        options.slaves = c.slaves;
        options.replyTimeoutMs = 5;
        options.makeRtuMaster = [&] {
            return std::make_unique<LineMaster>(std::make_unique<UartLine>(c.slave, processor));
        };
        quirel::CancelSignal cancel;
        Recorder recorder;
        recorder.cancelAt1 = c.cancel ? &cancel : nullptr;
        const DeviceScanSummary summary = RunDeviceScan(options, recorder, &cancel);
        EXPECT_EQ(summary.end, c.cancel ? ScanEnd::kCancelled : ScanEnd::kCompleted);
        EXPECT_EQ(recorder.found, c.found);
        EXPECT_EQ(summary.found, c.found.size());
        EXPECT_EQ(summary.probes, c.probes);
        recorder.probes.resize(std::min(recorder.probes.size(), c.firstProbes.size()));
        EXPECT_EQ(recorder.probes, c.firstProbes);
        EXPECT_EQ(recorder.total, c.bauds.size() * c.parities.size() * c.stops.size() * c.slaves.size());
    }
    // Without a choice of lines, the common settings come first.
    std::vector<std::string> lines;
    for (const ScanLine& line : OrderScanLines(DeviceScanOptions()))
        lines.push_back(LineText(line));
    ASSERT_EQ(lines.size(), 30u);
    lines.erase(lines.begin() + 8, lines.end() - 1);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"38400 8N1", "38400 8E1", "38400 8O1", "19200 8N1", "19200 8E1",
                                        "19200 8O1", "9600 8N1", "9600 8E1", "57600 8O2"}));
}

} // namespace
