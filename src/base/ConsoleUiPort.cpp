#include "base/ConsoleUiPort.h"

#include "base/Document.h"

ConsoleUiPort::ConsoleUiPort(std::FILE* out, int defaultAnswer)
    : m_out(out), m_defaultAnswer(defaultAnswer) {}

void ConsoleUiPort::PostDocumentUpdate(CDocument* doc, int64_t hint) {
    std::lock_guard lock(m_mutex);
    m_posted.push_back({doc, hint});
}

void ConsoleUiPort::PostConnectionState(int state) {
    std::lock_guard lock(m_mutex);
    m_lastState = state;
}

int ConsoleUiPort::MessageBox(const std::string& text, const std::string& caption, MbIcon icon, MbButtons) {
    std::lock_guard lock(m_mutex);
    if (icon == MbIcon::Error)
        ++m_errors;
    if (m_out) {
        if (!caption.empty())
            std::fprintf(m_out, "%s\n", caption.c_str());
        std::fprintf(m_out, "%s\n", text.c_str());
        std::fflush(m_out);
    }
    return m_defaultAnswer;
}

int ConsoleUiPort::ProcessPosted() {
    std::deque<Posted> posted;
    {
        std::lock_guard lock(m_mutex);
        posted.swap(m_posted);
    }
    for (const Posted& p : posted)
        if (p.doc)
            p.doc->UpdateAllViews(nullptr, p.hint);
    return static_cast<int>(posted.size());
}

int ConsoleUiPort::GetErrorCount() const {
    std::lock_guard lock(m_mutex);
    return m_errors;
}

int ConsoleUiPort::GetLastState() const {
    std::lock_guard lock(m_mutex);
    return m_lastState;
}

void ConsoleUiPort::Progress(const std::string& caption, const std::string& text, int pos, int max) {
    std::lock_guard lock(m_mutex);
    const int percent = max > 0 ? static_cast<int>(100LL * pos / max) : 0;
    if (!m_out || (percent == m_progressPercent && text == m_progressText))
        return;
    m_progressPercent = percent;
    m_progressText = text;
    if (caption.empty())
        std::fprintf(m_out, "%s (%d %%)\n", text.c_str(), percent);
    else
        std::fprintf(m_out, "%s: %s (%d %%)\n", caption.c_str(), text.c_str(), percent);
    std::fflush(m_out);
}

void ConsoleUiPort::EndProgress() {
    std::lock_guard lock(m_mutex);
    m_progressPercent = -1;
    m_progressText.clear();
}

bool ConsoleUiPort::ProgressCancelled() {
    return m_cancelRequested.load();
}
