#pragma once

#include "base/UiPort.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

// A UI port for tests: records everything posted and every message box, from any thread, and answers
// boxes with a chosen result. Boxes can be held open until released, as a user who has not yet clicked.
class RecordingUiPort : public IUiPort {
public:
    struct Box {
        std::string text;
        std::string caption;
        MbIcon icon;
        MbButtons buttons;
    };
    struct ProgressStep {
        std::string caption;
        std::string text;
        int pos;
        int max;
    };
    struct Update {
        CDocument* doc;
        int64_t hint;
    };

    void PostDocumentUpdate(CDocument* doc, int64_t hint) override {
        std::lock_guard lock(m_mutex);
        m_updates.push_back({doc, hint});
        m_cv.notify_all();
    }
    void PostConnectionState(int state) override {
        std::lock_guard lock(m_mutex);
        m_states.push_back(state);
        m_cv.notify_all();
    }
    int MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons) override {
        std::unique_lock lock(m_mutex);
        m_boxes.push_back({text, caption, icon, buttons});
        m_cv.notify_all();
        m_cv.wait(lock, [this] { return !m_holdBoxes; });
        return m_answer;
    }

    void Progress(const std::string& caption, const std::string& text, int pos, int max) override {
        std::lock_guard lock(m_mutex);
        m_progress.push_back({caption, text, pos, max});
        m_cv.notify_all();
    }
    void EndProgress() override {
        std::lock_guard lock(m_mutex);
        ++m_progressEnds;
    }
    bool ProgressCancelled() override {
        std::lock_guard lock(m_mutex);
        return m_cancelAfterSteps >= 0 && static_cast<int>(m_progress.size()) >= m_cancelAfterSteps;
    }
    // ProgressCancelled turns true once `steps` progress calls have been made (-1: never).
    void CancelAfterProgressSteps(int steps) {
        std::lock_guard lock(m_mutex);
        m_cancelAfterSteps = steps;
    }
    std::vector<ProgressStep> ProgressSteps() const {
        std::lock_guard lock(m_mutex);
        return m_progress;
    }
    int ProgressEnds() const {
        std::lock_guard lock(m_mutex);
        return m_progressEnds;
    }

    void SetAnswer(int answer) {
        std::lock_guard lock(m_mutex);
        m_answer = answer;
    }
    // While held, MessageBox blocks its caller until ReleaseBoxes.
    void HoldBoxes() {
        std::lock_guard lock(m_mutex);
        m_holdBoxes = true;
    }
    void ReleaseBoxes() {
        std::lock_guard lock(m_mutex);
        m_holdBoxes = false;
        m_cv.notify_all();
    }

    std::vector<Box> Boxes() const {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }
    std::vector<Update> Updates() const {
        std::lock_guard lock(m_mutex);
        return m_updates;
    }
    std::vector<int> States() const {
        std::lock_guard lock(m_mutex);
        return m_states;
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_boxes.clear();
        m_updates.clear();
        m_states.clear();
        m_progress.clear();
        m_progressEnds = 0;
    }

    // Each waits (at most timeoutMs) until at least n entries have been recorded.
    bool WaitForBoxes(std::size_t n, int timeoutMs = 30000) const {
        return WaitFor([&] { return m_boxes.size() >= n; }, timeoutMs);
    }
    bool WaitForUpdates(std::size_t n, int timeoutMs = 30000) const {
        return WaitFor([&] { return m_updates.size() >= n; }, timeoutMs);
    }
    bool WaitForStates(std::size_t n, int timeoutMs = 30000) const {
        return WaitFor([&] { return m_states.size() >= n; }, timeoutMs);
    }

private:
    template <class P> bool WaitFor(P predicate, int timeoutMs) const {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), predicate);
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    std::vector<Box> m_boxes;
    std::vector<Update> m_updates;
    std::vector<int> m_states;
    std::vector<ProgressStep> m_progress;
    int m_progressEnds = 0;
    int m_cancelAfterSteps = -1;
    int m_answer = IDOK;
    bool m_holdBoxes = false;
};
