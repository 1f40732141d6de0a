#pragma once

#include <string>
#include <string_view>

namespace quirel {

// Catalogue and data files come from Windows tools as 8-bit text; inside the program all text is UTF-8.
bool isValidUtf8(std::string_view bytes);
std::string cp1252ToUtf8(std::string_view bytes);

// Bytes that form valid UTF-8 are taken as they are, anything else is read as Windows-1252.
std::string decodeText(std::string_view bytes);

// Characters Windows-1252 cannot hold become '?'; `lossless` (when given) tells whether that happened.
std::string utf8ToCp1252(std::string_view utf8, bool* lossless = nullptr);

} // namespace quirel
