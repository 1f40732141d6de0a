#pragma once

#include "modbus/MbusTrafficObserver.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// One event of the traffic, kept.
struct MbusTrafficRecord {
    std::chrono::steady_clock::time_point time;
    MbusTrafficKind kind = MbusTrafficKind::Sent;
    MbusDiscardReason reason = MbusDiscardReason::None;
    MbusFraming framing = MbusFraming::Rtu;
    std::vector<std::uint8_t> bytes;

    // The event it was made from (valid while the record lives).
    MbusTrafficEvent event() const;
};

// Keeps the events the master's thread reports until another thread takes them: a window that shows
// them at its own pace, in batches. At most `capacity` wait; beyond that the oldest are dropped and
// counted, so a window that does not come to take them never costs more memory.
class MbusTrafficRecorder : public MbusTrafficObserver {
public:
    explicit MbusTrafficRecorder(std::size_t capacity) : capacity_(capacity) {}
    void onTraffic(const MbusTrafficEvent& event) override;
    // Appends what waits to `out` and returns how many were dropped since the last call.
    std::uint64_t take(std::vector<MbusTrafficRecord>& out);

private:
    const std::size_t capacity_;
    std::mutex mutex_;
    std::deque<MbusTrafficRecord> waiting_;
    std::uint64_t dropped_ = 0;
};
