#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// What a traffic monitor is told about one thing that happened on the line, in the order it happened.
enum class MbusTrafficKind : std::uint8_t {
    Sent,      // a whole request frame left for the device
    Received,  // a whole frame taken as the reply (a normal reply or an exception response)
    Discarded, // bytes that arrived and were thrown away; the reason says why
    TimeOut,   // the reply did not come (or not completely) within the time-out; no bytes
};

enum class MbusDiscardReason : std::uint8_t {
    None,
    CrcError,       // an RTU frame whose checksum does not fit
    WrongSlave,     // a frame from another slave address (RTU) or unit identifier (TCP)
    WrongFunction,  // a frame of another function code
    BadLength,      // an MBAP length field no frame can have: nothing to find the next frame by
    StrayReply,     // a TCP frame of another transaction (a late or repeated reply), skipped
    StrayBytes,     // what waited on the line before a request went out (a late reply, noise, an echo)
    ExcessBytes,    // what followed the reply beyond the length the request predicts
    IncompleteReply // the part of a reply that had come when the time-out ended
};

// How the bytes are framed: an RTU frame (address, PDU, CRC) or a TCP frame (MBAP header, PDU).
enum class MbusFraming : std::uint8_t { Rtu, Tcp };

struct MbusTrafficEvent {
    std::chrono::steady_clock::time_point time;
    MbusTrafficKind kind = MbusTrafficKind::Sent;
    MbusDiscardReason reason = MbusDiscardReason::None;
    MbusFraming framing = MbusFraming::Rtu;
    // Valid for the duration of the call only.
    const std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
};

// Sees every frame a master sends and receives, every byte it throws away and every time-out, exactly as
// they went over the line. It is called on the thread that uses the master, inside the exchange, so it
// must be quick and must not call the master.
class MbusTrafficObserver {
public:
    virtual ~MbusTrafficObserver() = default;
    virtual void onTraffic(const MbusTrafficEvent& event) = 0;
};
