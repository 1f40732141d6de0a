#include "modbus/MbusTrafficRecorder.h"

MbusTrafficEvent MbusTrafficRecord::event() const {
    MbusTrafficEvent e;
    e.time = time;
    e.kind = kind;
    e.reason = reason;
    e.framing = framing;
    e.bytes = bytes.data();
    e.length = bytes.size();
    return e;
}

void MbusTrafficRecorder::onTraffic(const MbusTrafficEvent& event) {
    // Copied before the lock: the master's thread holds it only for the queue operation.
    MbusTrafficRecord record{event.time, event.kind, event.reason, event.framing,
                             std::vector<std::uint8_t>(event.bytes, event.bytes + event.length)};
    std::lock_guard lock(mutex_);
    if (waiting_.size() >= capacity_) {
        waiting_.pop_front();
        ++dropped_;
    }
    waiting_.push_back(std::move(record));
}

std::uint64_t MbusTrafficRecorder::take(std::vector<MbusTrafficRecord>& out) {
    std::deque<MbusTrafficRecord> taken;
    std::uint64_t dropped;
    {
        std::lock_guard lock(mutex_);
        taken.swap(waiting_);
        dropped = dropped_;
        dropped_ = 0;
    }
    out.insert(out.end(), std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end()));
    return dropped;
}
