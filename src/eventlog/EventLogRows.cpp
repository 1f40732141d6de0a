#include "eventlog/EventLogRows.h"

#include "base/StringTable.h"
#include "eventlog/DocErrorMemory.h"

namespace {

constexpr unsigned kIdsNoEntries = 212; // "No entries available."
constexpr size_t kMinLineLength = 6;    // characters; shorter lines are no events

// Characters, not bytes: a line of five umlauts is still five characters.
size_t CharacterCount(std::string_view utf8) {
    size_t n = 0;
    for (char c : utf8)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// strtok over a view: skips leading `delim`, returns the text up to the next `delim` (or the end) and moves
// past that delimiter. Once the text is used up every further token is empty.
std::string_view NextToken(std::string_view& rest, char delim) {
    const size_t start = rest.find_first_not_of(delim);
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const size_t end = rest.find(delim);
    const std::string_view token = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return token;
}

EventKind KindOf(std::string_view line) {
    // A marker at position 0 does not count: it must follow the line's first character.
    if (line.find(";Error", 1) != std::string_view::npos)
        return EventKind::Error;
    if (line.find(";Status", 1) != std::string_view::npos)
        return EventKind::Status;
    return EventKind::Info;
}

} // namespace

const char* EventKindText(EventKind kind) {
    switch (kind) {
    case EventKind::Error:
        return "Error";
    case EventKind::Status:
        return "Status";
    case EventKind::Info:
        break;
    }
    return "Info";
}

std::vector<EventLogRow> SplitEventLogLines(std::string_view text) {
    std::vector<EventLogRow> rows;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (CharacterCount(line) < kMinLineLength)
            continue;
        EventLogRow row;
        row.kind = KindOf(line);
        row.kindText = EventKindText(row.kind);
        std::string_view rest = line;
        row.date = NextToken(rest, ' ');
        row.time = NextToken(rest, ' ');
        row.description = NextToken(rest, ';');
        row.hours = NextToken(rest, ';');
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<EventLogRow> EventLogRowsOf(const CDocErrorMemory& doc) {
    std::vector<EventLogRow> rows;
    for (size_t i = 0; i < doc.GetCount(); ++i) {
        std::vector<EventLogRow> more = SplitEventLogLines(doc.GetEntry(i));
        rows.insert(rows.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    if (rows.empty() && doc.HoldsLog()) {
        EventLogRow none;
        none.kind = EventKind::Info;
        none.description = quirel::loadString(kIdsNoEntries);
        rows.push_back(std::move(none));
    }
    return rows;
}
