#pragma once

#include "comm/DeviceIdentification.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class MbusRtuMasterProtocol;
namespace quirel {
class CancelSignal;
}

// Finding a device whose settings nobody wrote down: Connect's probe sent to every combination of line
// setting and slave address, in an order that finds the usual settings first, and the identification read
// from every device that answers. The command line's scan and the connection settings' "Search ..." and
// "Test" all run this.

// The character format of a serial line (8 data bits).
struct ScanLine {
    uint32_t baud = 38400;
    char parity = 'N'; // 'N', 'E' or 'O'
    int stopBits = 1;
};

struct DeviceScanOptions {
    static constexpr int kDefaultReplyTimeoutMs = 100;
    static constexpr int kMaxRtuSlave = 247; // 248-255 are reserved on a serial line
    static constexpr int kMaxTcpUnit = 255;

    bool tcp = false;
    std::string target; // the serial device, or HOST[:PORT]
    std::vector<uint32_t> bauds{9600, 19200, 38400, 57600, 115200};
    std::string parities = "NEO";
    std::vector<int> stopBits{1, 2};
    int dataBits = 8;        // what RTU allows; "Test" passes what was entered
    std::vector<int> slaves; // empty: 1 to 247
    int replyTimeoutMs = kDefaultReplyTimeoutMs;
    // The master of one line setting, still closed: a seam for a stand-in line. Empty: a plain one.
    std::function<std::unique_ptr<MbusRtuMasterProtocol>()> makeRtuMaster;
};

// One probe: a line setting (serial only) and a slave address.
struct ScanTarget {
    ScanLine line;
    int slave = 1;
};

// What a probe came to.
struct ScanAnswer {
    ScanTarget at;
    int result = 0;                // of the probe: 0, an exception (160 + n), or why nothing usable came
    std::vector<uint8_t> unusable; // what came back instead of a reply (with 129 and 130)
    int identificationResult = -1; // -1: not asked, nobody answered
    DeviceIdentification identification;

    // A slave answered the probe: normally, with a byte count that does not fit the request, or with an
    // exception of its own (a gateway's "path unavailable" or "target failed to respond" says the slave is
    // not there).
    bool Answered() const;
    bool Identified() const { return identificationResult == 0; }
};

class IDeviceScanObserver {
public:
    virtual ~IDeviceScanObserver() = default;
    // Before each probe sent; `done` of `total` are behind, probes that were skipped included.
    virtual void OnProbe(const ScanTarget& next, std::size_t done, std::size_t total) = 0;
    virtual void OnFound(const ScanAnswer& answer) = 0;
    // The port refused a line setting (a pseudo-terminal refuses parity): its probes are skipped.
    virtual void OnLineRefused(const ScanLine& line, const std::string& why) = 0;
};

enum class ScanEnd {
    kCompleted,
    kCancelled,
    kNoPort, // the port or host could not be opened, or was lost on the way; `failure` says why
};

struct DeviceScanSummary {
    ScanEnd end = ScanEnd::kCompleted;
    std::size_t found = 0;
    std::size_t probes = 0; // sent
    std::string failure;
};

// The line settings in the order they are tried: 38400 8N1 first (this program's and the filter's own
// setting), then 19200 (the Modbus serial line's default, with even parity), 9600, 115200, 57600, each with
// no, even and odd parity; one stop bit before two. Values not named here follow in the order given.
std::vector<ScanLine> OrderScanLines(const DeviceScanOptions& options);
// The slave addresses, ascending, each once; empty options give 1 to 247.
std::vector<int> ScanSlaves(const DeviceScanOptions& options);
// "38400 8N1"
std::string LineText(const ScanLine& line);

// Runs the scan on the calling thread: first slave 1 at every line setting (most devices keep it), then
// the other addresses at every line setting. A slave found at one stop-bit setting is not probed at the
// other. `cancel` (may be null; raised from any thread or a signal handler) cuts off the probe under way and
// ends the scan with kCancelled.
DeviceScanSummary RunDeviceScan(const DeviceScanOptions& options, IDeviceScanObserver& observer,
                                const quirel::CancelSignal* cancel);

// The connection test: Connect's probe and the identification with the first line setting and slave of
// `options`, without connecting. When the port or host cannot be opened, the answer's result is that of
// the open, and `openFailure` its text.
ScanAnswer TestDeviceSetting(const DeviceScanOptions& options, const quirel::CancelSignal* cancel,
                             std::string* openFailure);
