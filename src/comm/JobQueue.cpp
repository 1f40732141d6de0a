#include "comm/JobQueue.h"

bool CJobQueue::Push(std::unique_ptr<CJobAbstract>& job) {
    std::lock_guard lock(m_mutex);
    if (!job || static_cast<int>(m_jobs.size()) >= m_capacity)
        return false;
    m_jobs.push_back(std::move(job));
    m_count.store(static_cast<int>(m_jobs.size()), std::memory_order_release);
    return true;
}

std::unique_ptr<CJobAbstract> CJobQueue::Pop() {
    std::lock_guard lock(m_mutex);
    if (m_jobs.empty())
        return nullptr;
    std::unique_ptr<CJobAbstract> job = std::move(m_jobs.front());
    m_jobs.pop_front();
    m_count.store(static_cast<int>(m_jobs.size()), std::memory_order_release);
    return job;
}

int CJobQueue::Clear() {
    std::deque<std::unique_ptr<CJobAbstract>> dropped;
    {
        std::lock_guard lock(m_mutex);
        dropped.swap(m_jobs);
        m_count.store(0, std::memory_order_release);
    }
    // Deleted outside the lock: a job's destructor may be slow or touch its document.
    return static_cast<int>(dropped.size());
}
