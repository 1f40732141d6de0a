#include "modbus/MbusTrafficText.h"

#include "modbus/MbusMasterFunctions.h"

#include <cstring>
#include <ctime>

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
using std::chrono::system_clock;

system_clock::duration wallOffset() {
    static const system_clock::duration offset =
        system_clock::now().time_since_epoch() -
        duration_cast<system_clock::duration>(steady_clock::now().time_since_epoch());
    return offset;
}

unsigned word(const std::uint8_t* p) {
    return (static_cast<unsigned>(p[0]) << 8) | p[1];
}

// The text of exception n without its " exception response", or its number alone.
std::string exceptionName(unsigned code) {
    std::string text = MbusMasterFunctions::getErrorText(static_cast<int>(MBUS_EXCEPTION + code));
    const std::string tail = " exception response";
    if (code == 0 || text.size() <= tail.size() ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
        return "exception " + std::to_string(code);
    return "exception " + std::to_string(code) + ": " + text.substr(0, text.size() - tail.size());
}

std::string addressCount(const std::uint8_t* data, std::size_t length) {
    if (length < 4)
        return std::string();
    return ", address " + std::to_string(word(data)) + ", count " + std::to_string(word(data + 2));
}

std::string coil(const std::uint8_t* data, std::size_t length) {
    if (length < 4)
        return std::string();
    const unsigned value = word(data + 2);
    const std::string state = value == 0xFF00 ? "ON" : value == 0 ? "OFF" : "value " + std::to_string(value);
    return ", address " + std::to_string(word(data)) + ", " + state;
}

// The function-specific part of a request's decoding.
std::string requestDetail(unsigned function, const std::uint8_t* data, std::size_t length) {
    switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 15:
    case 16:
        return addressCount(data, length);
    case 5:
        return coil(data, length);
    case 6:
        return length < 4
                   ? std::string()
                   : ", address " + std::to_string(word(data)) + ", value " + std::to_string(word(data + 2));
    case 20:
        return length < 8 ? std::string()
                          : ", file " + std::to_string(word(data + 2)) + ", record " +
                                std::to_string(word(data + 4)) + ", length " + std::to_string(word(data + 6));
    case 43:
        return length < 3 ? std::string()
                          : "/" + std::to_string(data[0]) + ", object " + std::to_string(data[2]);
    default:
        return std::string();
    }
}

std::string replyDetail(unsigned function, const std::uint8_t* data, std::size_t length) {
    switch (function) {
    case 3:
    case 4:
        return length < 1
                   ? std::string()
                   : ", " + std::to_string(data[0] / 2) + (data[0] / 2 == 1 ? " register" : " registers");
    case 5:
        return coil(data, length);
    case 6:
    case 15:
    case 16:
        return requestDetail(function, data, length);
    case 20:
        return length < 1 ? std::string() : ", " + std::to_string(data[0]) + " bytes";
    case 43:
        return length < 1 ? std::string() : "/" + std::to_string(data[0]);
    default:
        return std::string();
    }
}

const char* discardText(MbusDiscardReason reason, MbusFraming framing) {
    switch (reason) {
    case MbusDiscardReason::CrcError:
        return "CRC error";
    case MbusDiscardReason::WrongSlave:
        return framing == MbusFraming::Tcp ? "wrong unit identifier" : "wrong slave address";
    case MbusDiscardReason::WrongFunction:
        return "wrong function code";
    case MbusDiscardReason::BadLength:
        return "invalid length field";
    case MbusDiscardReason::StrayReply:
        return "stray reply discarded";
    case MbusDiscardReason::StrayBytes:
        return "stray bytes discarded";
    case MbusDiscardReason::ExcessBytes:
        return "excess bytes discarded";
    case MbusDiscardReason::IncompleteReply:
        return "incomplete reply discarded";
    case MbusDiscardReason::None:
        break;
    }
    return "discarded";
}

} // namespace

std::string mbusTrafficClock(steady_clock::time_point time) {
    const auto wall = duration_cast<milliseconds>(time.time_since_epoch() + wallOffset()).count();
    const std::time_t seconds = static_cast<std::time_t>(wall / 1000);
    // One conversion per second of events: a busy line logs thousands of frames a second.
    thread_local std::time_t cachedSecond = -1;
    thread_local char cachedText[16] = {};
    if (seconds != cachedSecond) {
        std::tm local{};
        localtime_r(&seconds, &local);
        std::snprintf(cachedText, sizeof cachedText, "%02d:%02d:%02d", local.tm_hour, local.tm_min,
                      local.tm_sec);
        cachedSecond = seconds;
    }
    char text[24];
    std::snprintf(text, sizeof text, "%s.%03d", cachedText, static_cast<int>(wall % 1000));
    return text;
}

std::string mbusTrafficHex(const std::uint8_t* bytes, std::size_t length) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(length > 0 ? 3 * length - 1 : 0, ' ');
    for (std::size_t i = 0; i < length; ++i) {
        text[3 * i] = kDigits[bytes[i] >> 4];
        text[3 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return text;
}

const char* mbusTrafficDirection(MbusTrafficKind kind) {
    switch (kind) {
    case MbusTrafficKind::Sent:
        return "TX";
    case MbusTrafficKind::Received:
    case MbusTrafficKind::Discarded:
        return "RX";
    case MbusTrafficKind::TimeOut:
        break;
    }
    return "--";
}

std::string mbusTrafficDecoding(const MbusTrafficEvent& e) {
    if (e.kind == MbusTrafficKind::TimeOut)
        return "reply time-out";
    if (e.kind == MbusTrafficKind::Discarded)
        return discardText(e.reason, e.framing);
    // Slave and function: RTU address, function, data, CRC; TCP MBAP header (unit last), function, data.
    const bool tcp = e.framing == MbusFraming::Tcp;
    const std::size_t head = tcp ? 8 : 2;
    const std::size_t tail = tcp ? 0 : 2;
    if (e.length < head + tail)
        return std::string();
    const unsigned slave = e.bytes[head - 2];
    const unsigned function = e.bytes[head - 1];
    const std::uint8_t* data = e.bytes + head;
    const std::size_t length = e.length - head - tail;
    std::string text = "slave " + std::to_string(slave) + ", fc " + std::to_string(function & 0x7F);
    if (e.kind == MbusTrafficKind::Received && (function & 0x80) != 0)
        return length < 1 ? text : text + ", " + exceptionName(data[0]);
    return text + (e.kind == MbusTrafficKind::Sent ? requestDetail(function, data, length)
                                                   : replyDetail(function, data, length));
}

std::string mbusTrafficLine(const MbusTrafficEvent& e) {
    std::string line = mbusTrafficClock(e.time);
    line += ' ';
    line += mbusTrafficDirection(e.kind);
    line += ' ';
    if (e.kind == MbusTrafficKind::TimeOut)
        return line + mbusTrafficDecoding(e);
    line += mbusTrafficHex(e.bytes, e.length);
    const std::string decoding = mbusTrafficDecoding(e);
    if (!decoding.empty())
        line += "  ; " + decoding;
    return line;
}

bool mbusTrafficIsError(const MbusTrafficEvent& e) {
    if (e.kind == MbusTrafficKind::Discarded || e.kind == MbusTrafficKind::TimeOut)
        return true;
    const std::size_t functionAt = e.framing == MbusFraming::Tcp ? 7 : 1;
    return e.kind == MbusTrafficKind::Received && e.length > functionAt && (e.bytes[functionAt] & 0x80) != 0;
}

void MbusTrafficTraceWriter::onTraffic(const MbusTrafficEvent& event) {
    std::string line = mbusTrafficLine(event);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stream_);
}
