#pragma once

#include <string>
#include <string_view>

namespace quirel::report {

// Text for HTML and SVG: the five characters markup gives a meaning to are written as references, so a
// name, value or file name from a device or a file is always shown as text, never taken as markup.
inline std::string EscapeMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace quirel::report
