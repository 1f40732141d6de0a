#include "base/IniFile.h"

#include "base/DecimalNumber.h"
#include "base/FileUtil.h"
#include "base/TextEncoding.h"

#include <algorithm>

namespace quirel {
namespace {

constexpr size_t npos = static_cast<size_t>(-1);

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on chains of string operator+.
std::string keyLine(std::string_view key, std::string_view value) {
    std::string line;
    line.reserve(key.size() + value.size() + 1);
    line.append(key).append(1, '=').append(value);
    return line;
}

// A line break inside a written name or value would start a line of its own, which a later read takes
// as a key or even a section of its own (a device text "x\n[Commissioning]" would hide the real one).
std::string oneLine(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

} // namespace

std::string cutToCharacters(std::string_view s, size_t max) {
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == max)
                return std::string(s.substr(0, i));
            ++chars;
        }
    }
    return std::string(s);
}

namespace {

// Lower-cases ASCII letters and the Latin-1 letters À..Þ (UTF-8 C3 80..C3 9E, without ×), so that
// "ÄNDERN" and "ändern" match as Windows would match them. `prev` is the byte before `c`.
unsigned char foldByte(unsigned char prev, unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c - 'A' + 'a');
    if (prev == 0xC3 && c >= 0x80 && c <= 0x9E && c != 0x97)
        return static_cast<unsigned char>(c + 0x20);
    return c;
}

} // namespace

std::string foldCase(std::string_view s) {
    std::string out(s);
    unsigned char prev = 0;
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        c = static_cast<char>(foldByte(prev, b));
        prev = b;
    }
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    unsigned char pa = 0, pb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (foldByte(pa, x) != foldByte(pb, y))
            return false;
        pa = x, pb = y;
    }
    return true;
}

size_t NoCaseHash::operator()(std::string_view s) const {
    size_t h = 14695981039346656037ull; // FNV-1a over the folded bytes
    unsigned char prev = 0;
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        h = (h ^ foldByte(prev, b)) * 1099511628211ull;
        prev = b;
    }
    return h;
}

bool NoCaseEqual::operator()(std::string_view a, std::string_view b) const {
    return equalsNoCase(a, b);
}

bool IniFile::load(const std::string& path, std::string* why) {
    auto bytes = readWholeFile(path, kMaxTextFileBytes, why);
    adopt(bytes ? std::move(*bytes) : std::string());
    return bytes.has_value();
}

void IniFile::parse(std::string_view bytes) {
    adopt(std::string(bytes));
}

// Takes the file's bytes over without another copy when they already are UTF-8.
void IniFile::adopt(std::string&& bytes) {
    const bool utf8 = isValidUtf8(bytes);
    sourceEncoding_ = utf8 ? Encoding::Utf8 : Encoding::Windows1252;
    *text_ = utf8 ? std::move(bytes) : cp1252ToUtf8(bytes);
    written_->clear();
    std::string_view text = *text_;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    crlf_ = text.find("\r\n") != std::string::npos || text.find('\n') == std::string::npos;
    lines_.clear();
    lines_.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl;
        size_t len = end - start;
        if (len > 0 && text[end - 1] == '\r')
            --len;
        lines_.push_back(text.substr(start, len));
        start = nl == std::string::npos ? text.size() : nl + 1;
    }
    reindex();
}

bool IniFile::splitKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    return !key.empty();
}

void IniFile::reindex() {
    sections_.clear();
    sectionIndex_.clear();
    keys_.clear();
    keys_.reserve(lines_.size());
    sections_.push_back({npos, 0, 0, 0}); // keys before the first header belong to no section
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view line = trim(lines_[i]);
        if (!line.empty() && line.front() == '[') {
            sections_.back().end = i;
            sections_.back().keyEnd = keys_.size();
            const size_t close = line.find(']');
            std::string_view name = trim(line.substr(1, close == std::string_view::npos ? npos : close - 1));
            sectionIndex_.try_emplace(std::string(name), sections_.size());
            sections_.push_back({i, lines_.size(), keys_.size(), keys_.size()});
            continue;
        }
        if (line.empty() || line.front() == ';')
            continue;
        std::string_view key, value;
        if (splitKeyLine(line, key, value))
            keys_.push_back({NoCaseHash()(key), i});
    }
    sections_.back().end = lines_.size();
    sections_.back().keyEnd = keys_.size();
    const auto byHashThenLine = [](const KeyRef& a, const KeyRef& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.line < b.line;
    };
    for (const Section& s : sections_)
        std::sort(keys_.begin() + static_cast<std::ptrdiff_t>(s.keyBegin),
                  keys_.begin() + static_cast<std::ptrdiff_t>(s.keyEnd), byHashThenLine);
}

const IniFile::Section* IniFile::findSection(std::string_view section) const {
    auto it = sectionIndex_.find(section);
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

size_t IniFile::findKeyLine(const Section& s, std::string_view key) const {
    const size_t h = NoCaseHash()(key);
    const auto end = keys_.begin() + static_cast<std::ptrdiff_t>(s.keyEnd);
    auto it = std::lower_bound(keys_.begin() + static_cast<std::ptrdiff_t>(s.keyBegin), end, h,
                               [](const KeyRef& k, size_t hash) { return k.hash < hash; });
    for (; it != end && it->hash == h; ++it) {
        std::string_view name, value;
        if (splitKeyLine(trim(lines_[it->line]), name, value) && equalsNoCase(name, key))
            return it->line;
    }
    return npos;
}

bool IniFile::hasSection(std::string_view section) const {
    return findSection(section) != nullptr;
}

bool IniFile::hasKey(std::string_view section, std::string_view key) const {
    const Section* s = findSection(section);
    return s && findKeyLine(*s, key) != npos;
}

std::optional<std::string_view> IniFile::findValue(const Section* s, std::string_view key) const {
    if (!s)
        return std::nullopt;
    const size_t line = findKeyLine(*s, key);
    if (line == npos)
        return std::nullopt;
    std::string_view k, value;
    splitKeyLine(trim(lines_[line]), k, value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

IniFile::SectionRef IniFile::section(std::string_view name) const {
    const Section* s = findSection(name);
    return s ? SectionRef{static_cast<size_t>(s - sections_.data())} : SectionRef{};
}

std::string IniFile::getString(SectionRef section, std::string_view key, std::string_view def) const {
    const Section* s = section.index < sections_.size() ? &sections_[section.index] : nullptr;
    return cutToCharacters(findValue(s, key).value_or(def), kMaxValueLength);
}

std::vector<std::string_view> IniFile::keyNames(SectionRef section) const {
    std::vector<std::string_view> names;
    if (section.index >= sections_.size())
        return names;
    const Section& s = sections_[section.index];
    names.reserve(s.keyEnd - s.keyBegin);
    for (size_t i = s.keyBegin; i < s.keyEnd; ++i) {
        std::string_view name, value;
        if (splitKeyLine(trim(lines_[keys_[i].line]), name, value))
            names.push_back(name);
    }
    return names;
}

int IniFile::getInt(SectionRef section, std::string_view key, int def) const {
    const Section* s = section.index < sections_.size() ? &sections_[section.index] : nullptr;
    const auto value = findValue(s, key);
    return value ? parseLong(value->substr(0, kMaxValueLength)) : def;
}

std::string IniFile::getString(std::string_view section, std::string_view key, std::string_view def) const {
    return getString(this->section(section), key, def);
}

int IniFile::getInt(std::string_view section, std::string_view key, int def) const {
    return getInt(this->section(section), key, def);
}

void IniFile::setString(std::string_view sectionText, std::string_view keyText, std::string_view valueText) {
    const std::string section = oneLine(sectionText), key = oneLine(keyText), value = oneLine(valueText);
    std::string line = keyLine(key, value);
    const Section* s = findSection(section);
    if (!s) {
        if (!lines_.empty() && !trim(lines_.back()).empty())
            lines_.push_back({});
        std::string header;
        header.append(1, '[').append(section).append(1, ']');
        lines_.push_back(written_->emplace_back(std::move(header)));
        lines_.push_back(written_->emplace_back(std::move(line)));
        reindex();
        return;
    }
    const size_t existing = findKeyLine(*s, key);
    if (existing != npos) {
        // Keep the key as it was spelt in the file.
        std::string_view oldKey, oldValue;
        splitKeyLine(trim(lines_[existing]), oldKey, oldValue);
        lines_[existing] = written_->emplace_back(keyLine(oldKey, value));
        return;
    }
    size_t at = s->end;
    while (at > s->header + 1 && trim(lines_[at - 1]).empty())
        --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), written_->emplace_back(std::move(line)));
    reindex();
}

std::string IniFile::serialize(Encoding encoding) const {
    std::string text;
    const char* eol = crlf_ ? "\r\n" : "\n";
    for (const auto& l : lines_) {
        text += l;
        text += eol;
    }
    return encoding == Encoding::Utf8 ? text : utf8ToCp1252(text);
}

bool IniFile::save(const std::string& path, Encoding encoding) const {
    return writeFileAtomically(path, serialize(encoding));
}

} // namespace quirel
