#pragma once

#include <string_view>

namespace quirel {

// `s` without the blanks and tabs around it; empty when it holds nothing else.
inline std::string_view trimBlanks(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

} // namespace quirel
