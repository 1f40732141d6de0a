// The Modbus RTU master's reply handling: a line that answers every request the master sends with the next
// piece of the input (a reply, a part of one, garbage, several frames), for a run of operations of every
// function code, with retries. Input: the retry count, then per operation its choice and arguments and,
// as each request goes out, a length byte and that many reply bytes.
#include "ModbusOperations.h"

#include "base/SerialPort.h"
#include "modbus/MbusRtuMasterProtocol.h"

#include <memory>

namespace {

class FuzzLine : public quirel::SerialPort {
public:
    explicit FuzzLine(FuzzInput& in) : m_in(in) {}

    // Opened once the master's settings are made, which it takes only while closed.
    bool isOpen() const override { return m_open; }
    void open() { m_open = true; }

    Result write(const std::uint8_t* buffer, std::size_t count, int) override {
        // Every request is a whole frame under its own CRC.
        const std::uint16_t crc = count >= 4 ? quirel::modbusCrc16(buffer, count - 2) : 0;
        if (count < 4 || buffer[count - 2] != (crc & 0xFF) || buffer[count - 1] != (crc >> 8))
            FuzzFail("the master sent a broken frame");
        m_arrived = m_in.piece();
        m_afterRequest = true;
        return Result::Ok;
    }

    Result read(std::uint8_t* buffer, std::size_t count, int, std::size_t* got) override {
        const std::size_t n = std::min(count, m_arrived.size());
        std::copy_n(m_arrived.begin(), n, buffer);
        m_arrived.remove_prefix(n);
        if (got)
            *got = n;
        if (n == count)
            return Result::Ok;
        if (m_afterRequest)
            m_replyTimedOut = true;
        return Result::TimeOut;
    }

    Result purge() override {
        m_arrived = {};
        m_afterRequest = false;
        return Result::Ok;
    }
    Result drain(int) override { return Result::Ok; }
    Result raiseRts() override { return Result::Ok; }
    Result dropRts() override { return Result::Ok; }

    // A reply timed out, and the master will wait out the time a late one could take before a different
    // request: a wait on the clock, not on bytes, so the run ends there.
    bool replyTimedOut() const { return m_replyTimedOut; }

private:
    FuzzInput& m_in;
    std::string_view m_arrived; // what the line holds for the master
    bool m_open = false;
    bool m_afterRequest = false;
    bool m_replyTimedOut = false;
};

class FuzzRtuMaster : public MbusRtuMasterProtocol {
public:
    explicit FuzzRtuMaster(std::unique_ptr<FuzzLine> line) : MbusRtuMasterProtocol(std::move(line)) {}
    FuzzLine& line() { return static_cast<FuzzLine&>(*port_); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const int retries = in.u8() % 3;
    FuzzRtuMaster master(std::make_unique<FuzzLine>(in));
    if (master.setTimeout(1) != MBUS_SUCCESS || master.setRetryCount(retries) != MBUS_SUCCESS)
        FuzzFail("the settings were refused");
    master.line().open();
    for (int i = 0; i < 16 && !in.empty() && !master.line().replyTimedOut(); ++i)
        RunMasterOperation(master, in);
    return 0;
}
