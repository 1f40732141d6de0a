#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quirel {

// Writes a file so that a crash or a full disk never leaves it half written: the bytes go to a
// temporary file beside it, which then replaces the old one.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

} // namespace quirel
