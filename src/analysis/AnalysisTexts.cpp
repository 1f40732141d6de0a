#include "analysis/AnalysisTexts.h"

#include "base/StringTable.h"

namespace quirel::analysis {
namespace {

constexpr unsigned kIdsFileUnreadable = 1106;
constexpr unsigned kIdsUnknownSource = 1500;
constexpr unsigned kIdsIdTaken = 1501;
constexpr unsigned kIdsShortened = 1502;
constexpr unsigned kIdsDerivedSyntax = 1503;
constexpr unsigned kIdsFileLine = 1504;
constexpr unsigned kIdsIndicative = 1505;
constexpr unsigned kIdsUnknownLimitSet = 1506;

} // namespace

std::string UnknownSourceText(uint32_t id, uint32_t source) {
    return fillString(kIdsUnknownSource, {std::to_string(id), std::to_string(source)});
}

std::string IdTakenText(uint32_t id) {
    return fillString(kIdsIdTaken, {std::to_string(id)});
}

std::string ShortenedText(uint32_t id, size_t a, size_t b, size_t used) {
    return fillString(kIdsShortened,
                      {std::to_string(id), std::to_string(a), std::to_string(b), std::to_string(used)});
}

std::string DerivedSyntaxText(std::string_view text) {
    return loadString(kIdsDerivedSyntax) + std::string(text);
}

std::string FileLineText(size_t line, const std::string& path, const std::string& reason) {
    return fillString(kIdsFileLine, {std::to_string(line), path}) + reason;
}

std::string FileUnreadableText(const std::string& path, const std::string& reason) {
    return loadString(kIdsFileUnreadable) + path + (reason.empty() ? "" : ": " + reason);
}

std::string IndicativeNoteText() {
    return loadString(kIdsIndicative);
}

std::string UnknownLimitSetText(std::string_view name) {
    return loadString(kIdsUnknownLimitSet) + std::string(name);
}

} // namespace quirel::analysis
