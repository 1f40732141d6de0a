#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The analysis' messages in the user-interface language, so that the windows and the CLI say the same.
namespace quirel::analysis {

std::string UnknownSourceText(uint32_t id, uint32_t source);
std::string IdTakenText(uint32_t id);
std::string ShortenedText(uint32_t id, size_t a, size_t b, size_t used);
std::string DerivedSyntaxText(std::string_view text);
// "Line N of FILE: reason"
std::string FileLineText(size_t line, const std::string& path, const std::string& reason);
// "The file could not be read: FILE: reason"
std::string FileUnreadableText(const std::string& path, const std::string& reason);
// Every verdict carries it.
std::string IndicativeNoteText();
std::string UnknownLimitSetText(std::string_view name);

} // namespace quirel::analysis
