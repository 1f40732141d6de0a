#include "ModbusOperations.h"

#include "modbus/MbusMasterFunctions.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// A caller's array: exactly as long as the count asks, so that a write past it is found, and filled with a
// pattern, so that what a failed operation leaves in it is seen.
template <typename T> std::vector<T> Output(std::size_t count) {
    std::vector<T> values(count);
    std::fill_n(reinterpret_cast<std::uint8_t*>(values.data()), count * sizeof(T), 0xA5);
    return values;
}

// After any failure a read leaves its caller's array all zeros.
template <typename T> void CheckZeroAfterFailure(int rc, const std::vector<T>& values) {
    if (rc == MBUS_SUCCESS)
        return;
    const auto* p = reinterpret_cast<const std::uint8_t*>(values.data());
    if (std::any_of(p, p + values.size() * sizeof(T), [](std::uint8_t b) { return b != 0; }))
        FuzzFail("a failed read left other than zeros");
}

bool KnownResult(int rc) {
    return rc == MBUS_SUCCESS || rc == MBUS_ILLEGAL_ARGUMENT || rc == MBUS_ILLEGAL_STATE ||
           (rc > MBUS_IO_ERROR_CLASS && rc <= MBUS_PORT_NOT_AVAILABLE) ||
           (rc > MBUS_PROTOCOL_ERROR_CLASS && rc <= MBUS_SEND_TIMEOUT) || (rc >= MBUS_EXCEPTION && rc <= 255);
}

template <typename T> std::vector<T> Values(FuzzInput& in, int count) {
    std::vector<T> values(static_cast<std::size_t>(count));
    for (T& v : values) {
        const std::uint32_t raw = sizeof(T) == 2 ? in.u16() : in.u32();
        std::memcpy(&v, &raw, sizeof(T)); // the low bytes on this little-endian host
    }
    return values;
}

// A read of count values into a caller's array, checked as above.
template <typename T, typename Read> int ReadChecked(std::size_t count, Read read) {
    auto values = Output<T>(count);
    const int rc = read(values.data(), static_cast<int>(values.size()));
    CheckZeroAfterFailure(rc, values);
    return rc;
}

} // namespace

int RunMasterOperation(MbusMasterFunctions& master, FuzzInput& in) {
    const std::uint8_t op = in.u8();
    const std::uint8_t s = in.u8();
    // Mostly the device's own address; sometimes broadcast or another one.
    const int slave = s < 192 ? 1 : s - 192;
    const int ref = 1 + in.u16();
    const std::uint8_t c = in.u8();
    int rc = MBUS_SUCCESS;
    switch (op % 10) {
    case 0:
        rc = ReadChecked<std::uint16_t>(1 + c % 125, [&](std::uint16_t* v, int n) {
            return master.readHoldingRegisters(slave, ref, v, n);
        });
        break;
    case 1:
        rc = ReadChecked<std::int32_t>(
            1 + c % 62, [&](std::int32_t* v, int n) { return master.readHoldingLongInts(slave, ref, v, n); });
        break;
    case 2:
        rc = ReadChecked<float>(1 + c % 62,
                                [&](float* v, int n) { return master.readHoldingFloats(slave, ref, v, n); });
        break;
    case 3:
        rc = ReadChecked<std::int32_t>(
            1 + c % 62, [&](std::int32_t* v, int n) { return master.readInputLongInts(slave, ref, v, n); });
        break;
    case 4: {
        const auto values = Values<std::uint16_t>(in, 1 + c % 100);
        rc = master.writeMultipleRegisters(slave, ref, values.data(), static_cast<int>(values.size()));
        break;
    }
    case 5: {
        const auto values = Values<std::int32_t>(in, 1 + c % 50);
        rc = master.writeMultipleLongInts(slave, ref, values.data(), static_cast<int>(values.size()));
        break;
    }
    case 6: {
        const auto values = Values<float>(in, 1 + c % 50);
        rc = master.writeMultipleFloats(slave, ref, values.data(), static_cast<int>(values.size()));
        break;
    }
    case 7:
        rc = master.writeSingleCoil(slave, ref, c & 1);
        break;
    case 8: {
        const int recordLength = c % 123;
        const int record = in.u16() % 10000;
        rc = ReadChecked<std::uint8_t>(
            2 * static_cast<std::size_t>(recordLength), [&](std::uint8_t* out, int) {
                return master.readFileRecord(slave, 7, ref - 1, record, recordLength, out);
            });
        break;
    }
    default: {
        const std::uint8_t code = in.u8();
        rc = ReadChecked<std::uint8_t>(c, [&](std::uint8_t* out, int n) {
            return master.readDeviceIdentification(slave, n, 1 + code % 4, code >> 2, out);
        });
        break;
    }
    }
    if (!KnownResult(rc))
        FuzzFail("an operation returned a code that is none of the master's");
    return rc;
}
