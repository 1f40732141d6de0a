// The Modbus TCP master's reply handling: a connection that answers every request the master sends with the
// next piece of the input (a reply, late replies to earlier requests, a part of one, garbage), delivered in
// pieces, then either falls silent or is closed by the peer; for a run of operations of every function code,
// with retries and reconnects. Input: the retry count, then per operation its choice and arguments and, as
// each request goes out, a 16-bit word (length, how the bytes arrive, whether the peer closes) and the bytes.
#include "ModbusOperations.h"

#include "modbus/MbusTcpMasterProtocol.h"

namespace {

class FuzzTcpMaster : public MbusTcpMasterProtocol {
public:
    explicit FuzzTcpMaster(FuzzInput& in) : m_in(in) {}

    // Opened once the master's settings are made, which it takes only while closed.
    bool isOpen() const override { return m_open; }
    void open() { m_open = true; }

protected:
    int connectSocket() override {
        m_arrived = {};
        m_closed = false;
        return MBUS_SUCCESS;
    }

    int discardPending() override {
        m_arrived = {};
        if (!m_closed)
            return MBUS_SUCCESS;
        m_closed = false;
        return MBUS_CONNECTION_CLOSED;
    }

    int sendFrame(const std::uint8_t* frame, std::size_t length) override {
        // Every request is one whole frame: protocol 0, a length field that counts what follows it.
        if (length < 8 || frame[2] != 0 || frame[3] != 0 ||
            static_cast<std::size_t>((frame[4] << 8) | frame[5]) != length - 6)
            FuzzFail("the master sent a broken frame");
        const std::uint16_t how = m_in.u16();
        m_arrived = m_in.bytes(how & 0x1FF);
        m_piece = 1 + ((how >> 9) & 0x3F); // bytes per receive, 64 meaning all there are
        m_closed = (how & 0x8000) != 0;
        return MBUS_SUCCESS;
    }

    int receiveSome(std::uint8_t* into, std::size_t room, std::chrono::steady_clock::time_point,
                    std::size_t* got) override {
        if (m_arrived.empty())
            return m_closed ? MBUS_CONNECTION_CLOSED : MBUS_REPLY_TIMEOUT;
        const std::size_t n = std::min({room, m_arrived.size(), m_piece == 64 ? room : m_piece});
        if (n == 0)
            FuzzFail("the master asked for nothing");
        std::copy_n(m_arrived.begin(), n, into);
        m_arrived.remove_prefix(n);
        *got = n;
        return MBUS_SUCCESS;
    }

private:
    FuzzInput& m_in;
    std::string_view m_arrived; // what the connection holds for the master
    std::size_t m_piece = 1;
    bool m_closed = false; // the peer closes once m_arrived is read
    bool m_open = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const int retries = in.u8() % 3;
    FuzzTcpMaster master(in);
    if (master.setTimeout(1) != MBUS_SUCCESS || master.setRetryCount(retries) != MBUS_SUCCESS)
        FuzzFail("the settings were refused");
    master.open();
    for (int i = 0; i < 16 && !in.empty(); ++i)
        RunMasterOperation(master, in);
    return 0;
}
