#pragma once

#include <span>
#include <string_view>

namespace quirel::analysis {

// The files of resources/limits/, turned into strings at build time (cmake/EmbedFiles.cmake).
struct EmbeddedFile {
    std::string_view name, text;
};
std::span<const EmbeddedFile> EmbeddedLimitFiles();

} // namespace quirel::analysis
