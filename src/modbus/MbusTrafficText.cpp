#include "modbus/MbusTrafficText.h"

#include "modbus/MbusBytes.h"
#include "modbus/MbusMasterFunctions.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

using mbus::getWord;
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

// Texts and numbers appended to `out`, without printf: a busy line formats thousands of frames a second.
void put1(std::string& out, const char* text) {
    out += text;
}
void put1(std::string& out, unsigned n) {
    char digits[12];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}
template <class... Pieces> void put(std::string& out, Pieces... pieces) {
    (put1(out, pieces), ...);
}

// The text of exception n without its " exception response", or its number alone.
void appendException(std::string& out, unsigned code) {
    const char* text = MbusMasterFunctions::getErrorText(static_cast<int>(MBUS_EXCEPTION + code));
    const char* tail = std::strstr(text, " exception response");
    put(out, ", exception ", code);
    if (code != 0 && tail != nullptr && tail != text) {
        out += ": ";
        out.append(text, tail);
    }
}

void appendCoil(std::string& out, const std::uint8_t* data, std::size_t length) {
    if (length < 4)
        return;
    const unsigned value = getWord(data + 2);
    if (value == 0xFF00 || value == 0)
        put(out, ", address ", getWord(data), value != 0 ? ", ON" : ", OFF");
    else
        put(out, ", address ", getWord(data), ", value ", value);
}

// The function-specific part of a request's decoding.
void appendRequest(std::string& out, unsigned function, const std::uint8_t* data, std::size_t length) {
    switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 15:
    case 16:
        if (length >= 4)
            put(out, ", address ", getWord(data), ", count ", getWord(data + 2));
        break;
    case 5:
        appendCoil(out, data, length);
        break;
    case 6:
        if (length >= 4)
            put(out, ", address ", getWord(data), ", value ", getWord(data + 2));
        break;
    case 20:
        if (length >= 8)
            put(out, ", file ", getWord(data + 2), ", record ", getWord(data + 4), ", length ",
                getWord(data + 6));
        break;
    case 43:
        if (length >= 3)
            put(out, "/", unsigned{data[0]}, ", object ", unsigned{data[2]});
        break;
    default:
        break;
    }
}

void appendReply(std::string& out, unsigned function, const std::uint8_t* data, std::size_t length) {
    if (length < 1)
        return;
    switch (function) {
    case 3:
    case 4:
        put(out, ", ", data[0] / 2u, data[0] / 2 == 1 ? " register" : " registers");
        break;
    case 5:
        appendCoil(out, data, length);
        break;
    case 6:
    case 15:
    case 16:
        appendRequest(out, function, data, length);
        break;
    case 20:
        put(out, ", ", unsigned{data[0]}, " bytes");
        break;
    case 43:
        put(out, "/", unsigned{data[0]});
        break;
    default:
        break;
    }
}

void appendHex(std::string& out, const std::uint8_t* bytes, std::size_t length) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (length == 0)
        return;
    const std::size_t at = out.size();
    out.resize(at + 3 * length - 1, ' ');
    for (std::size_t i = 0; i < length; ++i) {
        out[at + 3 * i] = kDigits[bytes[i] >> 4];
        out[at + 3 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
}

void appendClock(std::string& out, steady_clock::time_point time) {
    const auto wall = duration_cast<milliseconds>(time.time_since_epoch() + wallOffset()).count();
    const std::time_t seconds = static_cast<std::time_t>(wall / 1000);
    // One conversion to local time per second of events.
    thread_local std::time_t cachedSecond = -1;
    thread_local char cachedText[16] = {};
    if (seconds != cachedSecond) {
        std::tm local{};
        localtime_r(&seconds, &local);
        std::snprintf(cachedText, sizeof cachedText, "%02d:%02d:%02d.", local.tm_hour, local.tm_min,
                      local.tm_sec);
        cachedSecond = seconds;
    }
    const auto ms = static_cast<unsigned>(wall % 1000);
    out += cachedText;
    out += static_cast<char>('0' + ms / 100);
    out += static_cast<char>('0' + ms / 10 % 10);
    out += static_cast<char>('0' + ms % 10);
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

void appendDecoding(std::string& out, const MbusTrafficEvent& e) {
    if (e.kind == MbusTrafficKind::TimeOut) {
        out += "reply time-out";
        return;
    }
    if (e.kind == MbusTrafficKind::Discarded) {
        out += discardText(e.reason, e.framing);
        return;
    }
    // Slave and function: RTU address, function, data, CRC; TCP MBAP header (unit last), function, data.
    const bool tcp = e.framing == MbusFraming::Tcp;
    const std::size_t head = tcp ? 8 : 2;
    const std::size_t tail = tcp ? 0 : 2;
    if (e.length < head + tail)
        return;
    const unsigned function = e.bytes[head - 1];
    const std::uint8_t* data = e.bytes + head;
    const std::size_t length = e.length - head - tail;
    put(out, "slave ", unsigned{e.bytes[head - 2]}, ", fc ", function & 0x7Fu);
    if (e.kind == MbusTrafficKind::Received && (function & 0x80) != 0) {
        if (length >= 1)
            appendException(out, data[0]);
    } else if (e.kind == MbusTrafficKind::Sent) {
        appendRequest(out, function, data, length);
    } else {
        appendReply(out, function, data, length);
    }
}

void appendLine(std::string& out, const MbusTrafficEvent& e) {
    out.reserve(out.size() + 3 * e.length + 80);
    appendClock(out, e.time);
    out += ' ';
    out += mbusTrafficDirection(e.kind);
    out += ' ';
    if (e.kind == MbusTrafficKind::TimeOut) {
        appendDecoding(out, e);
        return;
    }
    appendHex(out, e.bytes, e.length);
    const std::size_t before = out.size();
    out += "  ; ";
    appendDecoding(out, e);
    if (out.size() == before + 4)
        out.resize(before); // nothing to say
}

} // namespace

std::string mbusTrafficClock(steady_clock::time_point time) {
    std::string text;
    appendClock(text, time);
    return text;
}

std::string mbusTrafficHex(const std::uint8_t* bytes, std::size_t length) {
    std::string text;
    text.reserve(3 * length);
    appendHex(text, bytes, length);
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
    std::string text;
    appendDecoding(text, e);
    return text;
}

std::string mbusTrafficLine(const MbusTrafficEvent& e) {
    std::string line;
    appendLine(line, e);
    return line;
}

bool mbusTrafficIsError(const MbusTrafficEvent& e) {
    if (e.kind == MbusTrafficKind::Discarded || e.kind == MbusTrafficKind::TimeOut)
        return true;
    const std::size_t functionAt = e.framing == MbusFraming::Tcp ? 7 : 1;
    return e.kind == MbusTrafficKind::Received && e.length > functionAt && (e.bytes[functionAt] & 0x80) != 0;
}

void MbusTrafficTraceWriter::onTraffic(const MbusTrafficEvent& event) {
    // Kept per thread: a busy line formats without allocating.
    thread_local std::string line;
    line.clear();
    appendLine(line, event);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stream_);
}
