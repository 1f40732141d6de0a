#include "analysis/DerivedFile.h"

#include "analysis/AnalysisTexts.h"
#include "base/FileUtil.h"

#include <filesystem>
#include <string_view>

namespace quirel::analysis {
namespace {

// Hand-written definitions: a few lines. The cap only keeps a wrong file from filling the memory.
constexpr size_t kMaxDerivedFileBytes = 1u << 20;

} // namespace

std::string DerivedFilePath(const std::string& measurementPath) {
    return measurementPath + ".derived";
}

DerivedFileContent ReadDerivedFile(const std::string& measurementPath) {
    DerivedFileContent content;
    const std::string path = DerivedFilePath(measurementPath);
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        return content;
    content.present = true;
    std::string why;
    const std::optional<std::string> bytes = readWholeFile(path, kMaxDerivedFileBytes, &why);
    if (!bytes) {
        content.error = FileUnreadableText(path, why);
        return content;
    }
    std::string_view text(*bytes);
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    size_t number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#')
            continue;
        std::string reason;
        std::optional<DerivedChannel> d = DerivedChannel::Parse(line, &reason);
        if (!d) {
            content.channels.clear();
            content.error = FileLineText(number, path, reason);
            return content;
        }
        content.channels.push_back(std::move(*d));
    }
    return content;
}

bool WriteDerivedFile(const std::string& measurementPath, std::span<const DerivedChannel> channels) {
    const std::string path = DerivedFilePath(measurementPath);
    if (channels.empty()) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return !ec;
    }
    std::string text = "# Derived channels: ID=OP(A,B);UNIT;NAME, OP sum, diff, product; "
                       "ID=scale(A,K[,OFFSET]);UNIT;NAME\n";
    for (const DerivedChannel& d : channels)
        text += d.ToText() + '\n';
    return writeFileAtomically(path, text);
}

} // namespace quirel::analysis
