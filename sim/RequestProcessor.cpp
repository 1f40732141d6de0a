#include "RequestProcessor.h"

#include <array>

namespace quirel::sim {

namespace {

std::uint16_t be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void put16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v & 0xFF));
}

} // namespace

std::string RequestProcessor::exceptionReply(std::uint8_t functionCode, std::uint8_t code) {
    std::string reply;
    reply.push_back(static_cast<char>(functionCode | 0x80));
    reply.push_back(static_cast<char>(code));
    return reply;
}

bool RequestProcessor::isBroadcastable(std::uint8_t functionCode) {
    return functionCode == 5 || functionCode == 6 || functionCode == 16;
}

std::string RequestProcessor::process(const std::string& pdu) {
    if (pdu.empty())
        return {};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pdu.data());
    const std::uint8_t fc = bytes[0];
    const std::uint8_t* data = bytes + 1;
    const std::size_t size = pdu.size() - 1;

    // Injected exceptions for a register range win over the model's own answer.
    if ((fc == 1 || fc == 3 || fc == 4 || fc == 5 || fc == 6 || fc == 16) && size >= 4) {
        const int first = be16(data) + 1;
        const int count = (fc == 5 || fc == 6) ? 1 : std::max<int>(1, be16(data + 2));
        if (const std::uint8_t code = m_faults.exceptionFor(first, count); code != 0)
            return exceptionReply(fc, code);
    }
    switch (fc) {
    case 1:
        return readBits(data, size, fc);
    case 3:
    case 4:
        return readRegisters(data, size, fc);
    case 5:
        return writeSingleCoil(data, size);
    case 6:
        return writeSingleRegister(data, size);
    case 16:
        return writeMultipleRegisters(data, size);
    case 20:
        return readFileRecord(data, size);
    case 43:
        return readDeviceIdentification(data, size);
    default:
        return exceptionReply(fc, static_cast<std::uint8_t>(Exception::IllegalFunction));
    }
}

std::string RequestProcessor::readBits(const std::uint8_t* data, std::size_t size, std::uint8_t fc) {
    if (size != 4)
        return exceptionReply(fc, 3);
    const std::uint16_t address = be16(data);
    const std::uint16_t count = be16(data + 2);
    if (count < 1 || count > 2000)
        return exceptionReply(fc, 3);
    std::vector<bool> bits;
    if (Exception e = m_model.readCoils(address, count, bits); e != Exception::None)
        return exceptionReply(fc, static_cast<std::uint8_t>(e));
    std::string reply(1, static_cast<char>(fc));
    const std::size_t n = (count + 7U) / 8U;
    reply.push_back(static_cast<char>(n));
    std::string packed(n, '\0');
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i])
            packed[i / 8] = static_cast<char>(packed[i / 8] | (1 << (i % 8)));
    return reply + packed;
}

std::string RequestProcessor::readRegisters(const std::uint8_t* data, std::size_t size, std::uint8_t fc) {
    if (size != 4)
        return exceptionReply(fc, 3);
    const std::uint16_t address = be16(data);
    const std::uint16_t count = be16(data + 2);
    if (count < 1 || count > 125)
        return exceptionReply(fc, 3);
    std::vector<std::uint16_t> regs;
    const Exception e =
        fc == 3 ? m_model.readHolding(address, count, regs) : m_model.readInput(address, count, regs);
    if (e != Exception::None)
        return exceptionReply(fc, static_cast<std::uint8_t>(e));
    std::string reply(1, static_cast<char>(fc));
    reply.push_back(static_cast<char>(count * 2));
    for (std::uint16_t r : regs)
        put16(reply, r);
    return reply;
}

std::string RequestProcessor::writeSingleCoil(const std::uint8_t* data, std::size_t size) {
    if (size != 4)
        return exceptionReply(5, 3);
    const std::uint16_t value = be16(data + 2);
    if (value != 0xFF00 && value != 0x0000)
        return exceptionReply(5, 3);
    if (Exception e = m_model.writeCoil(be16(data), value == 0xFF00); e != Exception::None)
        return exceptionReply(5, static_cast<std::uint8_t>(e));
    return std::string(1, '\x05') + std::string(reinterpret_cast<const char*>(data), 4);
}

std::string RequestProcessor::writeSingleRegister(const std::uint8_t* data, std::size_t size) {
    if (size != 4)
        return exceptionReply(6, 3);
    if (Exception e = m_model.writeHolding(be16(data), {be16(data + 2)}); e != Exception::None)
        return exceptionReply(6, static_cast<std::uint8_t>(e));
    return std::string(1, '\x06') + std::string(reinterpret_cast<const char*>(data), 4);
}

std::string RequestProcessor::writeMultipleRegisters(const std::uint8_t* data, std::size_t size) {
    if (size < 5)
        return exceptionReply(16, 3);
    const std::uint16_t address = be16(data);
    const std::uint16_t count = be16(data + 2);
    const std::uint8_t byteCount = data[4];
    if (count < 1 || count > 123 || byteCount != count * 2 || size != 5U + byteCount)
        return exceptionReply(16, 3);
    std::vector<std::uint16_t> values(count);
    for (std::uint16_t i = 0; i < count; ++i)
        values[i] = be16(data + 5 + 2 * i);
    if (Exception e = m_model.writeHolding(address, values); e != Exception::None)
        return exceptionReply(16, static_cast<std::uint8_t>(e));
    std::string reply(1, '\x10');
    put16(reply, address);
    put16(reply, count);
    return reply;
}

std::string RequestProcessor::readFileRecord(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return exceptionReply(20, 3);
    const std::uint8_t byteCount = data[0];
    if (byteCount < 7 || byteCount > 245 || byteCount % 7 != 0 || size != 1U + byteCount)
        return exceptionReply(20, 3);
    std::string body;
    for (std::size_t offset = 1; offset < size; offset += 7) {
        const std::uint8_t* sub = data + offset;
        if (sub[0] != 6)
            return exceptionReply(20, 2);
        const int file = be16(sub + 1);
        const int record = be16(sub + 3);
        const int length = be16(sub + 5);
        std::string bytes;
        if (Exception e = m_model.readFileRecord(file, record, length, bytes); e != Exception::None)
            return exceptionReply(20, static_cast<std::uint8_t>(e));
        body.push_back(static_cast<char>(1 + bytes.size()));
        body.push_back('\x06');
        body += bytes;
    }
    if (body.size() > 251) // the whole answer must fit one PDU
        return exceptionReply(20, 3);
    std::string reply(1, '\x14');
    reply.push_back(static_cast<char>(body.size()));
    return reply + body;
}

std::string RequestProcessor::readDeviceIdentification(const std::uint8_t* data, std::size_t size) {
    if (size != 3 || data[0] != 0x0E)
        return exceptionReply(43, 3);
    const std::uint8_t readCode = data[1];
    std::uint8_t objectId = data[2];
    if (readCode < 1 || readCode > 4)
        return exceptionReply(43, 3);
    const DeviceIdentity& id = m_model.identity();
    const std::array<const std::string*, 3> values = {&id.vendorName, &id.productCode, &id.revision};
    auto object = [](std::uint8_t number, const std::string& value) {
        std::string v = value.substr(0, kIdentificationObjectLength - 1);
        v.resize(kIdentificationObjectLength, '\0');
        std::string out;
        out.push_back(static_cast<char>(number));
        out.push_back(static_cast<char>(v.size()));
        return out + v;
    };
    std::string objects;
    std::uint8_t count = 0;
    if (readCode == 4) {
        if (objectId > 2)
            return exceptionReply(43, 2);
        objects = object(objectId, *values[objectId]);
        count = 1;
    } else {
        // Only the basic objects exist; a stream read from an unknown object starts over at 0.
        if (objectId > 2)
            objectId = 0;
        for (std::uint8_t o = objectId; o < 3; ++o, ++count)
            objects += object(o, *values[o]);
    }
    std::string reply = "\x2B\x0E";
    reply.push_back(static_cast<char>(readCode));
    reply.push_back('\x81'); // basic identification, stream and individual access
    reply.push_back('\x00'); // no more follows
    reply.push_back('\x00');
    reply.push_back(static_cast<char>(count));
    return reply + objects;
}

} // namespace quirel::sim
