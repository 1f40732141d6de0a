#pragma once

#include <string>

// One stored event-log text: in practice the whole log as read from the device or from a file.
class CSingleError {
public:
    CSingleError() = default;
    explicit CSingleError(std::string text) : m_text(std::move(text)) {}

    const std::string& GetText() const { return m_text; }
    void SetText(std::string text) { m_text = std::move(text); }

private:
    std::string m_text;
};
