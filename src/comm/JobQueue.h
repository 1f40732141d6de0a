#pragma once

#include "comm/JobAbstract.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

// A bounded first-in-first-out list of jobs, locked for one list operation at a time. The queue owns
// the jobs it holds; whatever is still queued when it is destroyed is deleted with it.
class CJobQueue {
public:
    static constexpr int kDefaultCapacity = 20;

    explicit CJobQueue(int capacity = kDefaultCapacity)
        : m_capacity(capacity > 0 ? capacity : kDefaultCapacity) {}
    virtual ~CJobQueue() = default;
    CJobQueue(const CJobQueue&) = delete;
    CJobQueue& operator=(const CJobQueue&) = delete;

    // Appends the job unless the queue is full. A refused job is handed back through `job`.
    bool Push(std::unique_ptr<CJobAbstract>& job);
    // The head, or null when the queue is empty.
    std::unique_ptr<CJobAbstract> Pop();
    // Deletes every waiting job; returns how many there were.
    int Clear();

    // Lock-free reads of the count; a stale answer costs one refusal or one more look.
    bool IsEmpty() const { return m_count.load(std::memory_order_acquire) == 0; }
    bool IsFull() const { return m_count.load(std::memory_order_acquire) >= m_capacity; }
    int GetCount() const { return m_count.load(std::memory_order_acquire); }
    int GetCapacity() const { return m_capacity; }

private:
    const int m_capacity;
    mutable std::mutex m_mutex;
    std::deque<std::unique_ptr<CJobAbstract>> m_jobs;
    std::atomic<int> m_count{0};
};
