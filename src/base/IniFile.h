#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quirel {

// Case-insensitive hashing and comparison (the folding below), usable with string_view keys without a copy.
struct NoCaseHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const;
};
struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// A private-profile (".ini") file with the semantics Windows tools give it: section and key names match
// without regard to case, the first matching section and key win, values are cut to 1022 characters.
// The file is parsed once into an index; writes update the key in place or append it (and its section)
// and keep every other line as it was.
class IniFile {
public:
    enum class Encoding { Utf8, Windows1252 };
    static constexpr size_t kMaxValueLength = 1022;

    IniFile() = default;
    // Lines are views into buffers the object owns: it moves, but is not copied.
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;
    IniFile(IniFile&&) = default;
    IniFile& operator=(IniFile&&) = default;

    // False when the file cannot be read; the object is then empty.
    // False (and empty) when the file cannot be read; `why` then says why.
    bool load(const std::string& path, std::string* why = nullptr);
    void parse(std::string_view bytes);

    bool hasSection(std::string_view section) const;
    bool hasKey(std::string_view section, std::string_view key) const;

    // GetPrivateProfileString: the value (blanks around it and one pair of enclosing quotes removed),
    // or `def` when the section or key is absent.
    std::string getString(std::string_view section, std::string_view key, std::string_view def) const;

    // GetPrivateProfileInt: the leading (optionally signed) decimal digits of the value; a value without
    // digits gives 0, an absent key `def`.
    int getInt(std::string_view section, std::string_view key, int def) const;

    // A section looked up once for several reads of its keys (a catalogue reads a dozen per section);
    // valid until the next write. The reads below behave as the ones that take the section's name.
    struct SectionRef {
        size_t index = static_cast<size_t>(-1); // into the section list; -1 when absent
    };
    SectionRef section(std::string_view name) const;
    std::string getString(SectionRef section, std::string_view key, std::string_view def) const;
    int getInt(SectionRef section, std::string_view key, int def) const;
    // The names of the section's keys as written (trimmed), in no particular order, repeats included: a
    // reader that wants a numbered family of keys looks up only the names present.
    std::vector<std::string_view> keyNames(SectionRef section) const;

    // WritePrivateProfileString. Line breaks in the names or the value are written as blanks.
    void setString(std::string_view section, std::string_view key, std::string_view value);

    std::string serialize(Encoding encoding) const;
    bool save(const std::string& path, Encoding encoding) const;
    bool save(const std::string& path) const { return save(path, sourceEncoding_); }

    // How the loaded bytes were encoded (UTF-8 when they were valid UTF-8).
    Encoding sourceEncoding() const { return sourceEncoding_; }
    const std::vector<std::string_view>& lines() const { return lines_; }

private:
    struct KeyRef {
        size_t hash; // NoCaseHash of the key
        size_t line;
    };
    struct Section {
        size_t header; // line index of "[name]", npos for keys before any
        size_t end;    // one past its last line
        // Its keys: keys_[keyBegin, keyEnd), sorted by hash, then line. A lookup costs a binary search,
        // not a walk over the section, and among equal names the earliest line comes first, so the first
        // match wins.
        size_t keyBegin;
        size_t keyEnd;
    };

    void adopt(std::string&& bytes);
    void reindex();
    const Section* findSection(std::string_view section) const;
    // The value as written (blanks and enclosing quotes removed), or nothing when absent.
    std::optional<std::string_view> findValue(const Section* section, std::string_view key) const;
    // Line of the first `key` in `s`, or npos.
    size_t findKeyLine(const Section& s, std::string_view key) const;
    static bool splitKeyLine(std::string_view line, std::string_view& key, std::string_view& value);

    // The file's text is kept whole and its lines are views into it; lines written later live in
    // `written_`, whose elements never move. Both sit behind pointers so that a move keeps the views valid.
    std::unique_ptr<std::string> text_ = std::make_unique<std::string>();
    std::unique_ptr<std::deque<std::string>> written_ = std::make_unique<std::deque<std::string>>();
    std::vector<std::string_view> lines_; // UTF-8, no line endings
    std::vector<Section> sections_;
    std::vector<KeyRef> keys_; // of all sections, one run per section
    std::unordered_map<std::string, size_t, NoCaseHash, NoCaseEqual> sectionIndex_; // name -> first section
    Encoding sourceEncoding_ = Encoding::Windows1252;
    bool crlf_ = true;
};

// UTF-8 text cut to at most `max` characters, never inside a character (a reader's buffer of max + 1).
std::string cutToCharacters(std::string_view s, size_t max);

// Case folding of UTF-8 text for names and value texts: ASCII and the Latin-1 letters (umlauts).
std::string foldCase(std::string_view s);
bool equalsNoCase(std::string_view a, std::string_view b);

} // namespace quirel
