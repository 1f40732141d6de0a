#pragma once

#include <string>

// Thrown by value by every catalogue or document lookup that finds nothing.
class CParameterException {
public:
    explicit CParameterException(std::string message) : message_(std::move(message)) {}
    // The text of a resource string in the current user-interface language, followed by `argument`.
    CParameterException(unsigned resourceId, const std::string& argument);

    const std::string& GetMessage() const { return message_; }

private:
    std::string message_;
};
